#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/main_window.h"
#include "db/connection.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "platform/text_input_dialog.h"
#include "test_server.h"
#include "test_util.h"

namespace qb::app {
namespace {

using platform::from_qstring;
using platform::qtr;
using platform::ShowTextInput;
using platform::TextInputDialog;
using platform::TextInputRequest;
using platform::TextInputResult;
using test::G;

TextInputRequest request(const std::string& initial, std::optional<std::string> prompt,
                         const std::string& caption = {}, bool editable = true) {
    TextInputRequest r;
    r.initial = initial;
    r.prompt = std::move(prompt);
    r.caption = caption;
    r.editable = editable;
    return r;
}

class TextInputTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::set_ui(&ui_); }
    void TearDown() override { platform::set_ui(nullptr); }

    static QPushButton* button(QWidget* d, const char* name) {
        return d->findChild<QPushButton*>(qtr(name));
    }
    static std::string body(QWidget* d) {
        return from_qstring(d->findChild<QPlainTextEdit*>(qtr("编辑框正文"))->toPlainText());
    }
    static std::string prompt(QWidget* d) {
        return from_qstring(d->findChild<QPlainTextEdit*>(qtr("编辑框提示"))->toPlainText());
    }

    platform::ScriptedUi ui_;
};

TEST_F(TextInputTest, PromptDefaultsAndTheReadOnlyForm) {
    {
        TextInputDialog d(request("abc", std::string()));
        EXPECT_EQ(prompt(&d), G("请输入数据："));
        EXPECT_EQ(d.windowTitle(), qtr("Tarvo："));
        EXPECT_FALSE(button(&d, "按钮确定")->isHidden());
        EXPECT_EQ(button(&d, "按钮取消")->text(), qtr("取消"));
        EXPECT_TRUE(TextInputDialog::is_open());
        // Only one at a time.
        EXPECT_FALSE(ShowTextInput(request("x", std::nullopt)).accepted);
    }
    EXPECT_FALSE(TextInputDialog::is_open());
    {
        TextInputDialog d(request("info", std::string(), G("标题"), false));
        EXPECT_EQ(prompt(&d), G("以下为信息详情："));
        EXPECT_EQ(d.windowTitle(), qtr("标题"));
        EXPECT_TRUE(button(&d, "按钮确定")->isHidden());
        EXPECT_TRUE(d.findChild<QWidget*>(qtr("外形框"))->isHidden());
        EXPECT_EQ(button(&d, "按钮取消")->text(), qtr("关闭(&G)"));
        EXPECT_TRUE(d.findChild<QPlainTextEdit*>(qtr("编辑框正文"))->isReadOnly());
    }
    TextInputDialog no_prompt(request("x", std::nullopt));
    EXPECT_EQ(prompt(&no_prompt), "");
}

TEST_F(TextInputTest, EditingButtonsAndTheChangeQuestion) {
    TextInputDialog empty(request("", std::nullopt));
    QTest::mouseClick(button(&empty, "按钮恢复"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("启动值为空！"));

    TextInputDialog d(request(G("词1|词2"), std::nullopt));
    d.show();
    ui_.set_clipboard_text(G("剪贴板"));
    QTest::mouseClick(button(&d, "按钮粘贴"), Qt::LeftButton);
    EXPECT_EQ(body(&d), G("剪贴板"));
    QTest::mouseClick(button(&d, "按钮恢复"), Qt::LeftButton);
    EXPECT_EQ(body(&d), G("词1|词2"));
    QTest::mouseClick(button(&d, "按钮清空"), Qt::LeftButton);
    EXPECT_EQ(body(&d), "");

    test::TempDir dir;
    test::write_file(dir.file("a.txt"), G("甲乙"));
    const std::string path = qb::text::utf8_to_gbk(dir.file("a.txt"));
    ui_.open_files.push_back({path});
    QTest::mouseClick(button(&d, "按钮文件名"), Qt::LeftButton);
    ui_.open_files.push_back({path, path});
    QTest::mouseClick(button(&d, "按钮文件"), Qt::LeftButton);
    EXPECT_EQ(d.text(), path + "\r\n" + G("甲乙") + "\r\n" + G("甲乙") + "\r\n");

    // Closing a changed text asks; No keeps the dialog open with the text.
    ui_.answers = {false};
    QTest::mouseClick(button(&d, "按钮取消"), Qt::LeftButton);
    ASSERT_FALSE(ui_.shown.empty());
    EXPECT_EQ(ui_.shown.back().kind, platform::ScriptedUi::Shown::YesNo);
    EXPECT_EQ(ui_.shown.back().text, G("内容已被改动，是否要放弃？"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.result_text().accepted);
    d.set_text("line1\r\nline2");
    QTest::mouseClick(button(&d, "按钮确定"), Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(d.result_text().accepted);
    EXPECT_EQ(d.result_text().text, "line1\r\nline2");
}

// An initial text the edit box shows differently (a lone CR, a byte GBK cannot decode) is no
// change of the operator's; a given height and width are the text box's own.
TEST_F(TextInputTest, NoQuestionWithoutAChangeAndTheSizeIsTheTextBoxs) {
    for (const std::string& initial : {std::string("a\rb"), std::string("x\x80y"), G("词\r\n")}) {
        TextInputDialog d(request(initial, std::nullopt));
        d.show();
        QTest::mouseClick(button(&d, "按钮取消"), Qt::LeftButton);
        EXPECT_TRUE(ui_.shown.empty()) << initial;
        EXPECT_FALSE(d.isVisible());
    }
    TextInputRequest sized = request("", std::nullopt);
    sized.width = 700;
    sized.height = 300;
    TextInputDialog d(sized);
    d.show();
    auto* box = d.findChild<QPlainTextEdit*>(qtr("编辑框正文"));
    EXPECT_EQ(box->size(), QSize(700, 300));
}

TEST_F(TextInputTest, ShowTextInputReturnsTheAcceptedText) {
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TextInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->set_text(G("新的"));
        QTest::mouseClick(d->findChild<QPushButton*>(qtr("按钮确定")), Qt::LeftButton);
    });
    TextInputResult r = ShowTextInput(request(G("旧的"), G("提示")));
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.text, G("新的"));
}

TEST_F(TextInputTest, ThePhraseButtonEditsThePhraseList) {
    persist::ConfigStore store;
    MainWindow window(store);
    window.on_created();
    std::string shown_prompt, shown_body;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TextInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        shown_prompt = prompt(d);
        shown_body = body(d);
        d->set_text(G("春\r\n夏|秋"));
        QTest::mouseClick(button(d, "按钮确定"), Qt::LeftButton);
    });
    QTest::mouseClick(window.unit<QPushButton>("按钮输入词组"), Qt::LeftButton);
    EXPECT_EQ(shown_prompt,
              G("请输入将被随机调用的词组列表，可以使用|隔开多个词组，也可以一行一个："));
    EXPECT_EQ(shown_body, G("词1|词2|词3|词4|词5|词6"));
    // A single-line box: the line break survives as the program keeps it.
    EXPECT_EQ(from_qstring(window.unit<QLineEdit>("编辑框词组")->text()), G("春\r\n夏|秋"));
}

class ConnectButtonTest : public TextInputTest {
  protected:
    void SetUp() override {
        TextInputTest::SetUp();
        store_.open_file(dir_.file("c.ini"));
        window_ = std::make_unique<MainWindow>(store_);
        window_->on_created();
    }
    void TearDown() override {
        window_.reset();
        TextInputTest::TearDown();
    }
    void set_login(const test::ServerAddress& a, const std::string& password) {
        window_->unit<QLineEdit>("编辑框服务器")->setText(platform::to_qstring(a.text()));
        window_->unit<QLineEdit>("编辑框用户名")->setText(platform::to_qstring(a.user));
        window_->unit<QLineEdit>("编辑框密码")->setText(platform::to_qstring(password));
    }
    QPushButton* connect_button() { return window_->unit<QPushButton>("按钮建立连接"); }
    bool five_enabled() {
        bool all = true;
        for (const char* n : {"按钮库列表", "按钮表列表", "按钮读表字段", "按钮导入", "按钮导出"})
            all = all && window_->unit<QPushButton>(n)->isEnabled();
        return all;
    }

    test::TempDir dir_;
    persist::ConfigStore store_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(ConnectButtonTest, ConnectsInGbkAndDisconnectClosesDependentWindows) {
    QB_REQUIRE_SERVER();
    set_login(test::server_address(), test::server_address().password);
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    ASSERT_TRUE(window_->connection());
    EXPECT_EQ(connect_button()->text(), qtr("断开连接"));
    EXPECT_TRUE(five_enabled());
    ASSERT_TRUE(db::execute_sql(window_->connection(), "select @@character_set_connection"));
    auto r = db::take_result(window_->connection());
    std::string cs;
    r->read_field(0u, cs);
    EXPECT_EQ(cs, "gbk");

    QWidget manager;
    manager.show();
    window_->register_connection_window(&manager);
    window_->database_names_cache() = {"a", "b"};
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_FALSE(window_->connection());
    EXPECT_EQ(connect_button()->text(), qtr("建立连接"));
    EXPECT_FALSE(manager.isVisible());
    EXPECT_TRUE(window_->database_names_cache().empty());
    for (const char* n : {"按钮库列表", "按钮表列表", "按钮读表字段", "按钮导入", "按钮导出"})
        EXPECT_FALSE(window_->unit<QPushButton>(n)->isEnabled()) << n;
}

TEST_F(ConnectButtonTest, AFailedLoginShowsTheTroubleshootingText) {
    QB_REQUIRE_SERVER();
    set_login(test::server_address(), "wrong-password");
    std::string caption, prompt_text, body_text;
    bool ok_hidden = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TextInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        caption = from_qstring(d->windowTitle());
        prompt_text = prompt(d);
        body_text = body(d);
        ok_hidden = button(d, "按钮确定")->isHidden();
        QTest::mouseClick(button(d, "按钮取消"), Qt::LeftButton);
    });
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_EQ(caption, G("连接到MySQL失败"));
    EXPECT_EQ(prompt_text, G("请检查服务器地址、用户名、密码是否有误，或该服务器是否限制远程连接（"
                             "也就是只能在服务器上连接）！"));
    EXPECT_EQ(body_text.rfind(G("连接 Mysql 失败，请检查连接参数和权限！"), 0), 0u);
    EXPECT_NE(body_text.find("update user set host = '%' where user = 'root';"), std::string::npos);
    EXPECT_TRUE(ok_hidden);
    EXPECT_FALSE(window_->connection());
    EXPECT_EQ(connect_button()->text(), qtr("建立连接"));
    EXPECT_TRUE(connect_button()->isEnabled());
    EXPECT_FALSE(five_enabled());
}

// The link's protection is chosen in the window, said on the connected button, and a link
// that cannot be protected as asked is refused with the check that failed; the two units are
// saved with the window, and a settings file from before them means 自动.
TEST_F(ConnectButtonTest, TheLinkIsProtectedAsTheBoxSaysAndTheButtonSaysHow) {
    QB_REQUIRE_TLS_SERVERS();
    auto* mode = window_->unit<QComboBox>("组合框加密");
    auto* ca = window_->unit<QLineEdit>("编辑框证书");
    EXPECT_EQ(mode->currentText(), qtr("自动"));
    EXPECT_EQ(mode->count(), 4);

    set_login(test::server_address(), test::server_address().password);
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    ASSERT_TRUE(window_->connection());
    EXPECT_EQ(from_qstring(connect_button()->toolTip())
                  .rfind(G("已连接服务器 ") + test::server_address().text() +
                             G("，已使用加密连接 TLSv1."),
                         0),
              0u)
        << connect_button()->toolTip().toStdString();
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_TRUE(connect_button()->toolTip().isEmpty());

    // 必须 against the server without TLS: refused with that reason, no troubleshooting text.
    set_login(test::plain_server_address(), test::server_address().password);
    mode->setCurrentIndex(2);
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_FALSE(window_->connection());
    EXPECT_EQ(ui_.last_message(), G("加密连接失败：服务器没有提供加密连接（TLS）"));
    EXPECT_EQ(connect_button()->text(), qtr("建立连接"));

    // 验证证书 with a CA chosen through the "…" button: the name dialled must be on the
    // certificate.
    ui_.open_files.push_back({G(test::tls_file("ca.pem"))});
    QTest::mouseClick(window_->unit<QPushButton>("按钮证书"), Qt::LeftButton);
    EXPECT_EQ(from_qstring(ca->text()), G(test::tls_file("ca.pem")));
    mode->setCurrentIndex(3);
    set_login(test::server_address(), test::server_address().password);
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_FALSE(window_->connection());
    EXPECT_EQ(ui_.last_message(), G("加密连接失败：服务器证书上的名字与所连的主机“127.0.0.1”不符"));
    test::ServerAddress by_name = test::server_address();
    by_name.host = "localhost";
    set_login(by_name, by_name.password);
    QTest::mouseClick(connect_button(), Qt::LeftButton);
    EXPECT_TRUE(window_->connection());

    window_->save_field_list(store_);
    MainWindow again(store_);
    again.on_created();
    EXPECT_EQ(again.unit<QComboBox>("组合框加密")->currentIndex(), 3);
    EXPECT_EQ(again.unit<QLineEdit>("编辑框证书")->text(), ca->text());

    persist::ConfigStore older;
    test::write_file(dir_.file("old.ini"), G("[主界面]\r\n编辑框服务器=1.2.3.4\r\n"));
    older.open_file(dir_.file("old.ini"));
    MainWindow from_older(older);
    from_older.on_created();
    EXPECT_EQ(from_older.unit<QComboBox>("组合框加密")->currentText(), qtr("自动"));
    EXPECT_EQ(from_older.unit<QLineEdit>("编辑框证书")->text(), QString());
}

}  // namespace
}  // namespace qb::app
