#include "app/main_window.h"
#include "platform/config_files.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>

#include "accessibility_check.h"
#include "app/start_program.h"
#include "persist/config_store.h"
#include "platform/qt_ui.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "platform/text_input_dialog.h"
#include "platform/unit_state.h"
#include "test_util.h"

namespace qb::app {
namespace {

using mapping::FieldMapping;
using platform::from_qstring;
using platform::qtr;
using test::G;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::set_ui(&ui_);
        path_ = dir_.file("Tarvo·Quillbase.ini");
        open();
    }
    void TearDown() override {
        window_.reset();
        platform::set_ui(nullptr);
    }

    // Opens the store and a window on it; prepare runs between construction and the
    // created event (the place of design-time properties such as tags).
    void open(const std::function<void(MainWindow&)>& prepare = {}) {
        store_ = std::make_unique<persist::ConfigStore>();
        platform::attach_store_to_ui(*store_);
        ASSERT_TRUE(store_->open_file(path_));
        window_ = std::make_unique<MainWindow>(*store_);
        if (prepare) prepare(*window_);
        window_->on_created();
    }
    void restart(const std::function<void(MainWindow&)>& prepare = {}) {
        window_->close();
        window_.reset();
        store_.reset();
        open(prepare);
    }

    template <class T>
    T* unit(const char* name) {
        T* w = window_->unit<T>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string text_of(const char* name) { return from_qstring(unit<QLineEdit>(name)->text()); }
    void set_text(const char* name, const std::string& gbk) {
        unit<QLineEdit>(name)->setText(platform::to_qstring(gbk));
    }
    void click(const char* name, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(unit<QPushButton>(name), button);
    }
    void choose_source(int index) { unit<QComboBox>("组合框数据来源")->setCurrentIndex(index); }
    std::vector<std::string> fields() {
        std::vector<std::string> out;
        for (const auto& r : window_->field_rows()) out.push_back(r.field);
        return out;
    }

    test::TempDir dir_;
    std::string path_;
    platform::ScriptedUi ui_;
    std::unique_ptr<persist::ConfigStore> store_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, FirstStartShowsEveryControlWithItsDefault) {
    EXPECT_EQ(window_->windowTitle(), qtr("Tarvo·Quillbase v1.1.0.1"));
    QStringList groups;
    for (auto* g : window_->findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_EQ(groups, (QStringList{qtr("数据库设置(MySQL)"), qtr("文章来源"),
                                   qtr("数据字段设置(MySQL.field)")}));

    EXPECT_EQ(text_of("编辑框服务器"), "127.0.0.1");
    EXPECT_EQ(text_of("编辑框用户名"), "root");
    EXPECT_EQ(text_of("编辑框密码").size(), 4u);
    EXPECT_EQ(unit<QLineEdit>("编辑框密码")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(text_of("编辑框库名"), "");
    EXPECT_EQ(text_of("编辑框表名"), "");
    EXPECT_EQ(text_of("编辑框文章目录"), "");
    EXPECT_EQ(text_of("编辑框文件类型"), "*.*");
    EXPECT_EQ(text_of("编辑框标签头"), "<title>");
    EXPECT_EQ(text_of("编辑框标签尾"), "</title>");
    EXPECT_EQ(text_of("编辑框摘要字数1"), "100");
    EXPECT_EQ(text_of("编辑框摘要字数2"), "200");
    EXPECT_EQ(text_of("编辑框时间表达式"), G("<年>-<月>-<日> <时>:<分>:<秒>"));
    EXPECT_EQ(text_of("编辑框年1"), "2012");
    EXPECT_EQ(text_of("编辑框年2"), "2015");
    EXPECT_EQ(text_of("编辑框词组"), G("词1|词2|词3|词4|词5|词6"));
    for (const char* name :
         {"编辑框汉字字数1", "编辑框汉字字数2", "编辑框数母字数1", "编辑框数母字数2", "编辑框数量1",
          "编辑框数量2", "编辑框固定的文本", "编辑框字段名"})
        unit<QLineEdit>(name);

    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"按钮库列表", "库.."},
        {"按钮表列表", "表.."},
        {"按钮建立连接", "建立连接"},
        {"按钮导入", "导入文章到 MySQL 数据库"},
        {"按钮导出", "从 MySQL 数据库导出文章"},
        {"按钮导入配置", "导入配置"},
        {"按钮导出配置", "导出配置"},
        {"按钮添加", "添加"},
        {"按钮修改", "修改"},
        {"按钮删除", "删除"}};
    for (auto [name, caption] : buttons) EXPECT_EQ(unit<QPushButton>(name)->text(), qtr(caption));
    for (const char* name : {"按钮读表字段", "按钮选择目录", "按钮问号1", "按钮输入词组"})
        unit<QPushButton>(name);
    for (const char* name : {"按钮库列表", "按钮表列表", "按钮读表字段", "按钮导入", "按钮导出"})
        EXPECT_FALSE(unit<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(unit<QPushButton>("按钮建立连接")->isEnabled());
    for (const char* name : {"链接新建表", "图片新建表", "链接管理器", "图片管理器"})
        unit<QLabel>(name);

    const std::vector<std::pair<const char*, const char*>> checks = {
        {"选择框遍历子目录", "遍历子目录"},       {"选择框乱序导入", "乱序导入"},
        {"选择框转为繁体", "转为繁体"},           {"选择框有数字", "数字"},
        {"选择框有小字母", "小写字母"},           {"选择框有大字母", "大写字母"},
        {"选择框转为全角", "转为全角"},           {"选择框当前时间", "当前时间"},
        {"选择框无损", "保留全部字符（utf8mb4）"}};
    for (auto [name, caption] : checks) EXPECT_EQ(unit<QCheckBox>(name)->text(), qtr(caption));
    EXPECT_FALSE(unit<QCheckBox>("选择框无损")->isChecked());
    const std::vector<std::pair<const char*, const char*>> radios = {
        {"单选框创建", "创建"},     {"单选框修改", "修改"},         {"单选框访问", "访问"},
        {"单选框最常用", "最常用"}, {"单选框一般常用", "一般常用"}, {"单选框次要常用", "次要常用"}};
    for (auto [name, caption] : radios) EXPECT_EQ(unit<QRadioButton>(name)->text(), qtr(caption));

    auto items = [&](const char* name) {
        QStringList out;
        auto* c = unit<QComboBox>(name);
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        return out;
    };
    EXPECT_EQ(items("组合框文件编码"), (QStringList{qtr("自动识别"), qtr("ANSI"), qtr("UTF-8"),
                                                    qtr("Unicode"), qtr("UnicodeBE")}));
    EXPECT_EQ(items("组合框类型"), (QStringList{qtr("全部"), qtr("日期"), qtr("时间")}));
    EXPECT_EQ(items("组合框模式"),
              (QStringList{qtr("不重复随机"), qtr("自然随机"), qtr("原始顺序")}));
    EXPECT_EQ(items("组合框数据来源").size(), 11);
    EXPECT_EQ(items("组合框数据来源")[10], qtr("固定文本"));
    EXPECT_EQ(unit<QTabWidget>("选择夹")->count(), 11);

    auto* list = unit<QTreeWidget>("超级列表框");
    EXPECT_EQ(list->headerItem()->text(0), qtr("字段名或位置"));
    EXPECT_EQ(list->headerItem()->text(1), qtr("数据来源"));
    EXPECT_EQ(list->headerItem()->text(2), qtr("数据配置"));
    EXPECT_EQ(fields(), (std::vector<std::string>{G("标题"), G("内容"), "title", "content"}));
    EXPECT_EQ(window_->field_rows()[2].source, G("文件主名"));

    // The session manager's save before a logout the user then cancels: a later close
    // still saves what changed after it.
    window_->save_state(false);
    set_text("编辑框库名", G("登出后"));
    // Closing writes the state.
    window_->close();
    const std::string bytes = test::read_file(path_);
    EXPECT_NE(bytes.find("\r\n" + G("编辑框库名=登出后")), std::string::npos);
    EXPECT_EQ(bytes.rfind("[" + G("主界面") + "]", 0), 0u);
    EXPECT_NE(bytes.find("\r\n" + G("字段数") + "=4"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n" + G("字段名或位置(3)") + "=title"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n" + G("编辑框服务器") + "=127.0.0.1"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n" + G("按钮导入.标记") + "="), std::string::npos);
}

TEST_F(MainWindowTest, EveryKindOfUnitAndTheFieldListSurviveARestart) {
    set_text("编辑框库名", G("文章库"));
    set_text("编辑框词组", G("甲|乙"));
    unit<QCheckBox>("选择框遍历子目录")->setChecked(false);
    unit<QCheckBox>("选择框乱序导入")->setChecked(true);
    unit<QCheckBox>("选择框无损")->setChecked(true);
    unit<QRadioButton>("单选框访问")->setChecked(true);
    unit<QComboBox>("组合框文件编码")->setCurrentIndex(3);
    unit<QComboBox>("组合框数据来源")->setCurrentIndex(7);
    platform::set_unit_tag(unit<QPushButton>("按钮导入"), "tagged");
    window_->set_field_rows({{"a", G("固定文本"), "x\r\ny" + G("┊?┊") + "z"},
                             {"2", G("请设置"), ""},
                             {G("内容"), G("文件内容"), G("无")}});
    restart();

    EXPECT_EQ(text_of("编辑框库名"), G("文章库"));
    EXPECT_EQ(text_of("编辑框词组"), G("甲|乙"));
    EXPECT_FALSE(unit<QCheckBox>("选择框遍历子目录")->isChecked());
    EXPECT_TRUE(unit<QCheckBox>("选择框乱序导入")->isChecked());
    EXPECT_TRUE(unit<QCheckBox>("选择框无损")->isChecked());
    EXPECT_TRUE(text::lossless_text());  // the restored box sets the mode
    EXPECT_NE(test::read_file(path_).find("\r\n" + G("选择框无损=真")), std::string::npos);
    EXPECT_TRUE(unit<QRadioButton>("单选框访问")->isChecked());
    EXPECT_FALSE(unit<QRadioButton>("单选框修改")->isChecked());
    EXPECT_EQ(unit<QComboBox>("组合框文件编码")->currentIndex(), 3);
    EXPECT_EQ(unit<QComboBox>("组合框数据来源")->currentIndex(), 7);
    EXPECT_EQ(unit<QTabWidget>("选择夹")->currentIndex(), 7);
    EXPECT_EQ(platform::unit_tag(unit<QPushButton>("按钮导入")), "tagged");
    auto rows = window_->field_rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].options, "x\r\ny" + G("┊?┊") + "z");
    EXPECT_EQ(rows[1].source, G("请设置"));
    EXPECT_EQ(rows[2].field, G("内容"));

    // A unit tagged 禁止保存 keeps its designed state although a value is stored for it.
    restart([](MainWindow& w) {
        platform::set_unit_tag(w.unit<QCheckBox>("选择框乱序导入"), G("禁止保存"));
    });
    EXPECT_FALSE(unit<QCheckBox>("选择框乱序导入")->isChecked());
    EXPECT_FALSE(unit<QCheckBox>("选择框遍历子目录")->isChecked());

    // An emptied field list comes back as the four default rows.
    window_->set_field_rows({});
    restart();
    EXPECT_EQ(fields(), (std::vector<std::string>{G("标题"), G("内容"), "title", "content"}));
}

TEST_F(MainWindowTest, AddModifyAndDeleteFollowTheFieldListRules) {
    // Empty (after trimming) is refused.
    set_text("编辑框字段名", G(" 　"));
    click("按钮添加");
    EXPECT_EQ(ui_.last_message(), G("请输入字段名或字段索引！"));
    EXPECT_EQ(window_->field_rows().size(), 4u);

    // Trimmed duplicate refused, the existing row becomes current.
    set_text("编辑框字段名", G("  title　"));
    click("按钮添加");
    EXPECT_EQ(ui_.last_message(), G("字段名不能重复：title"));
    EXPECT_EQ(window_->current_field_row(), 2);
    EXPECT_EQ(window_->field_rows().size(), 4u);

    // Case-sensitive: Title is new; the row gets the source and its options text.
    set_text("编辑框字段名", "Title");
    choose_source(mapping::kPageTitle);
    set_text("编辑框标签头", "<h1>");
    click("按钮添加");
    auto rows = window_->field_rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].field, "Title");
    EXPECT_EQ(rows[4].source, G("网页标题"));
    EXPECT_EQ(rows[4].options, "<h1>" + G("┊?┊") + "</title>");
    EXPECT_EQ(window_->current_field_row(), 4);

    // Modify without a current row is refused; modify to a duplicate is accepted.
    window_->set_current_field_row(-1);
    click("按钮修改");
    EXPECT_EQ(ui_.last_message(), G("请选中一个字段再修改！"));
    window_->set_current_field_row(0);
    set_text("编辑框字段名", "content");
    choose_source(mapping::kRandomAlnum);
    click("按钮修改");
    rows = window_->field_rows();
    EXPECT_EQ(rows[0].field, "content");
    EXPECT_EQ(rows[3].field, "content");
    EXPECT_EQ(rows[0].source, G("随机数母"));
    EXPECT_EQ(rows[0].options, G("真┊?┊真┊?┊假┊?┊假┊?┊6┊?┊12"));

    // Delete: none current, then the last of five rows, then down to none.
    window_->set_current_field_row(-1);
    click("按钮删除");
    EXPECT_EQ(ui_.last_message(), G("请选中一个字段再删除！右击按钮将全部清空！"));
    window_->set_current_field_row(4);
    click("按钮删除");
    EXPECT_EQ(window_->field_rows().size(), 4u);
    EXPECT_EQ(window_->current_field_row(), 3);
    window_->set_current_field_row(1);
    click("按钮删除");
    EXPECT_EQ(window_->current_field_row(), 1);
    window_->set_field_rows({{"only", G("文件主名"), G("无")}});
    window_->set_current_field_row(0);
    click("按钮删除");
    EXPECT_TRUE(window_->field_rows().empty());
    EXPECT_EQ(window_->current_field_row(), -1);
}

TEST_F(MainWindowTest, RightButtonOnDeleteClearsAfterConfirmation) {
    ui_.answers = {false, true};
    click("按钮删除", Qt::RightButton);
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].kind, platform::ScriptedUi::Shown::OkCancel);
    EXPECT_EQ(ui_.shown[0].text, G("确定要删除所有字段吗？"));
    EXPECT_EQ(window_->field_rows().size(), 4u);
    click("按钮删除", Qt::RightButton);
    EXPECT_TRUE(window_->field_rows().empty());
}

// Keyboard focus coming into the list makes a row current without choosing it: what the
// operator typed into the editors stays.
TEST_F(MainWindowTest, FocusEnteringTheListLeavesTheEditorsAlone) {
    window_->set_field_rows({{"row0", G("固定文本"), "zero"}, {"row1", G("文件主名"), G("无")}});
    unit<QLineEdit>("编辑框字段名")->setText(qtr("typed"));
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(unit<QTreeWidget>("超级列表框"), &in);
    EXPECT_EQ(text_of("编辑框字段名"), "typed");
    // A row chosen with the keyboard loads as before.
    QTest::keyClick(unit<QTreeWidget>("超级列表框"), Qt::Key_Down);
    EXPECT_EQ(window_->current_field_row(), 1);
    EXPECT_EQ(text_of("编辑框字段名"), "row1");
}

TEST_F(MainWindowTest, RowsLoadBackIntoTheEditors) {
    const std::string sep = G("┊?┊");
    window_->set_field_rows(
        {{"t", G("文件时间"), G("假") + sep + G("真") + sep + G("假") + sep + "2"},
         {"s", G("请设置"), ""},
         {"f", G("固定文本"), "before" + sep + "after"},
         {"c", G("随机汉字"),
          G("假") + sep + G("假") + sep + G("真") + sep + G("真") + sep + "3"}});
    // First make 创建 the checked one, so that loading must uncheck it.
    unit<QRadioButton>("单选框创建")->setChecked(true);
    window_->set_current_field_row(0);
    EXPECT_EQ(text_of("编辑框字段名"), "t");
    EXPECT_EQ(unit<QComboBox>("组合框数据来源")->currentIndex(), mapping::kFileTime);
    EXPECT_EQ(unit<QTabWidget>("选择夹")->currentIndex(), mapping::kFileTime);
    EXPECT_FALSE(unit<QRadioButton>("单选框创建")->isChecked());
    EXPECT_TRUE(unit<QRadioButton>("单选框修改")->isChecked());
    EXPECT_FALSE(unit<QRadioButton>("单选框访问")->isChecked());
    EXPECT_EQ(unit<QComboBox>("组合框类型")->currentIndex(), 2);

    window_->set_current_field_row(1);
    EXPECT_EQ(unit<QComboBox>("组合框数据来源")->currentIndex(), mapping::kFileBaseName);
    EXPECT_EQ(unit<QTabWidget>("选择夹")->currentIndex(), mapping::kFileBaseName);

    window_->set_current_field_row(2);
    EXPECT_EQ(text_of("编辑框固定的文本"), "before");
    EXPECT_EQ(window_->field_rows()[2].options, "before" + sep + "after");

    // Values past the last part read as empty text.
    window_->set_current_field_row(3);
    EXPECT_TRUE(unit<QRadioButton>("单选框次要常用")->isChecked());
    EXPECT_TRUE(unit<QCheckBox>("选择框转为繁体")->isChecked());
    EXPECT_EQ(text_of("编辑框汉字字数1"), "3");
    EXPECT_EQ(text_of("编辑框汉字字数2"), "");
    EXPECT_EQ(window_->build_options_text(mapping::kRandomChinese),
              G("假") + sep + G("假") + sep + G("真") + sep + G("真") + sep + "3" + sep);
    EXPECT_EQ(window_->build_options_text(mapping::kFileContent), G("无"));
    EXPECT_EQ(window_->build_options_text(11), "");
}

TEST_F(MainWindowTest, FolderButtonPicksAndOpensTheParent) {
    set_text("编辑框文章目录", G("/data/文章/新闻"));
    click("按钮选择目录");  // no folder scripted: cancel
    EXPECT_EQ(text_of("编辑框文章目录"), G("/data/文章/新闻"));
    ASSERT_EQ(ui_.dialog_initials.size(), 1u);
    EXPECT_EQ(ui_.dialog_initials[0], G("/data/文章/新闻"));
    ui_.folders.push_back(G("/srv/稿件"));
    click("按钮选择目录");
    EXPECT_EQ(text_of("编辑框文章目录"), G("/srv/稿件"));
    set_text("编辑框文章目录", G("/data/文章/新闻"));
    click("按钮选择目录", Qt::RightButton);
    EXPECT_EQ(ui_.opened_paths, (std::vector<std::string>{G("/data/文章")}));
}

TEST_F(MainWindowTest, HelpAndNameCommandsAndDrops) {
    click("按钮问号1");
    EXPECT_EQ(ui_.last_message(), G("表达式可以插入 <年><月><日><时><分><秒> 6个项目，自由引用！"));
    window_->apply_name_command(MainWindow::NameTarget::Database, G("库一"));
    window_->apply_name_command(MainWindow::NameTarget::Table, G("表一"));
    EXPECT_EQ(text_of("编辑框库名"), G("库一"));
    EXPECT_EQ(text_of("编辑框表名"), G("表一"));
    EXPECT_TRUE(window_->acceptDrops());

    // 帮助 and its picture open the program's own manual (the build's README.md here).
    QTest::mouseClick(unit<QLabel>("图片帮助"), Qt::LeftButton);
    emit unit<QLabel>("链接帮助")->linkActivated(QStringLiteral("#"));
    ASSERT_EQ(ui_.opened_paths.size(), 2u);
    EXPECT_EQ(ui_.opened_paths[0], ui_.opened_paths[1]);
    EXPECT_EQ(test::read_file(qb::text::gbk_to_utf8(ui_.opened_paths[0])),
              test::read_file(std::string(QB_SOURCE_DIR) + "/README.md"));
}

TEST_F(MainWindowTest, EveryUnitHasASpokenNameAndItsUnitNameOnTheAccessibilityBus) {
    EXPECT_GT(test::expect_units_described(window_.get()), 50);
    const auto name = [&](const char* unit) {
        return QAccessible::queryAccessibleInterface(window_->findChild<QWidget*>(qtr(unit)))
            ->text(QAccessible::Name);
    };
    // An edit box is called by the label beside it, a button by its caption as it changes.
    EXPECT_EQ(name("编辑框库名"), qtr("库名"));
    EXPECT_EQ(name("编辑框服务器"), qtr("服务器"));
    EXPECT_EQ(name("按钮导入"), qtr("导入文章到 MySQL 数据库"));
    unit<QPushButton>("按钮建立连接")->setText(qtr("断开连接"));
    EXPECT_EQ(name("按钮建立连接"), qtr("断开连接"));
    EXPECT_EQ(name("编辑框表名"), qtr("表名"));
    EXPECT_EQ(name("编辑框数量2"), qtr("数量 到"));
    EXPECT_EQ(name("图片管理器"), qtr("管理器"));
}

TEST_F(MainWindowTest, ProgramTextIsShownAsPlainText) {
    // Every label shows its text as text (the 网页标题 page's "<title>…</title>" among them);
    // only the links are markup, and their captions are the program's own.
    int labels = 0;
    for (QLabel* l : window_->findChildren<QLabel*>()) {
        if (l->objectName().startsWith(qtr("链接"))) continue;
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->text().toStdString();
        ++labels;
    }
    EXPECT_GT(labels, 10);
    // A message with markup in it, in the real message box.
    platform::QtUi real;
    platform::set_ui(&real);
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer poll;  // until the box is up, however slow the machine
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) shown = label->text(), format = label->textFormat();
        box->accept();
    });
    poll.start(20);
    platform::ui().message(G("字段 <b>x</b> 不存在"));
    poll.stop();
    platform::set_ui(&ui_);
    EXPECT_EQ(shown, qtr("字段 <b>x</b> 不存在"));
    EXPECT_EQ(format, Qt::PlainText);
}

}  // namespace
}  // namespace qb::app

namespace qb::app {
namespace {

// SIGTERM (what a logout sends) with a menu, a changed text dialog, a message box or a file
// dialog open: each closes first (its call returns), then the window, with its state saved;
// nothing is freed under a call that is still running.
TEST(Termination, EveryMenuAndDialogClosesFirstThenTheWindow) {
    test::TempDir dir;
    platform::QtUi real;
    platform::set_ui(&real);
    persist::ConfigStore store;
    ASSERT_TRUE(store.open_file(dir.file("s.ini")));
    using platform::ui;
    const std::vector<std::function<void(QWidget*)>> modals{
        [](QWidget* w) { ui().popup_menu({platform::MenuItem::command(G("一"), 1)}, w); },
        [](QWidget* w) {
            QTimer::singleShot(30, [] {
                if (auto* d =
                        qobject_cast<platform::TextInputDialog*>(QApplication::activeModalWidget()))
                    d->set_text("changed");
            });
            platform::TextInputRequest r;
            r.initial = "a";
            r.parent = w;
            platform::ShowTextInput(r);
        },
        [](QWidget* w) { ui().message(G("消息"), {}, platform::Icon::None, w); },
        [](QWidget* w) { ui().pick_save_file(G("保存"), G("全部|*.*"), {}, w); },
    };
    for (size_t k = 0; k < modals.size(); ++k) {
        auto* window = new MainWindow(store);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->on_created();
        window->show();
        close_on_termination(window);
        QPointer<MainWindow> alive(window);
        QTimer::singleShot(100, [] { ::raise(SIGTERM); });
        modals[k](window);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (alive && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        EXPECT_FALSE(alive) << "modal " << k;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_NE(test::read_file(dir.file("s.ini")).find(G("[主界面]")), std::string::npos);
    }
    platform::set_ui(nullptr);
}

}  // namespace
}  // namespace qb::app
