#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "db/connection.h"
#include "main_window_fixture.h"
#include "persist/config_store.h"
#include "platform/qt_ui.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "test_server.h"
#include "test_util.h"

namespace qb::app {
namespace {

using platform::from_qstring;
using platform::qtr;
using platform::to_qstring;
using test::G;

class MainWindowImportTest : public test::MainWindowFixture {
  protected:
    std::string make(const std::string& rel, const std::string& bytes) {
        const std::string p = dir_.file(rel);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        test::write_file(p, bytes);
        return p;
    }
};

TEST_F(MainWindowImportTest, TheImportButtonImportsTheFolder) {
    // Without a folder: the message, nothing else.
    window_->start_import(false);
    EXPECT_EQ(ui_.last_message(),
              G("请先选择要导入到数据库的文章所在目录，或者直接拖放文件列表到本窗口开始导入！"));
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window");
    make("arts/a.txt", G("甲文"));
    make("arts/sub/b.txt", G("乙文"));
    make("arts/c.html", "<title>x</title>");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("arts")));
    set("编辑框文件类型", "*.none");
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    EXPECT_EQ(
        ui_.last_message().rfind(G("根据文件类型设置[*.none]在这个目录中找不到文件：\r\n"), 0), 0u);
    set("编辑框文件类型", "*.txt");
    set("编辑框库名", "qb_test_window");
    set("编辑框表名", "t");
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 2 篇文章，当前表有 2 条记录！"));
    EXPECT_EQ(from_qstring(window_->unit<QPushButton>("按钮导入")->text()),
              G("导入文章到 MySQL 数据库"));
    EXPECT_EQ(window_->windowTitle(), qtr("Tarvo·Quillbase v1.1.0.1"));
    // The right button lists with the pattern taken whole.
    window_->unit<QCheckBox>("选择框遍历子目录")->setChecked(false);
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::RightButton);
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 1 篇文章，当前表有 3 条记录！"));

    // Dropped files: two files and a folder, after the question.
    const std::string f1 = make("d/1.txt", "one"), f2 = make("d/2.txt", "two");
    window_->import_dropped_file(3, 1, f1);
    window_->import_dropped_file(3, 2, dir_.file("arts"));
    window_->import_dropped_file(3, 3, f2);
    ASSERT_GE(ui_.shown.size(), 2u);
    EXPECT_EQ(ui_.shown[ui_.shown.size() - 2].text,
              G("确定要导入被拖放的 2 个文件到表[t]中吗？请首先设置好所有参数"));
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 2 篇文章，当前表有 5 条记录！"));
    db::execute_sql(window_->connection(), "drop database qb_test_window");
}

// With 保留全部字符 checked, the window's import and export carry every character, and the
// box cannot change while a run uses the connection.
TEST_F(MainWindowImportTest, TheLosslessBoxCarriesEveryCharacterThroughTheWindow) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window_lossless");
    make("arts/表情😀.txt",
         "\xEF\xBB\xBF"
         "x😀€");
    auto* box = window_->unit<QCheckBox>("选择框无损");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    ASSERT_TRUE(box->isChecked());
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("arts")));
    set("编辑框文件类型", "*.txt");
    set("编辑框库名", "qb_test_window_lossless");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}, {"body", G("文件内容"), ""}});
    bool box_enabled_during_run = true;
    ui_.on_pump = [&] { box_enabled_during_run = box_enabled_during_run && box->isEnabled(); };
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    ui_.on_pump = nullptr;
    EXPECT_FALSE(box_enabled_during_run);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 1 篇文章，当前表有 1 条记录！"));
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(
        db::execute_sql(c.get(), "select hex(name), hex(body) from qb_test_window_lossless.t"));
    auto r = db::take_result(c.get());
    std::string name, body;
    r->read_field(0u, name);
    r->read_field(1u, body);
    EXPECT_EQ(name, "E8A1A8E68385F09F9880");  // 表情😀
    EXPECT_EQ(body, "78F09F9880E282AC");      // x😀€

    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("out")));
    window_->unit<QComboBox>("组合框文件编码")->setCurrentIndex(2);  // UTF-8
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出"), Qt::LeftButton);
    EXPECT_EQ(test::read_file(dir_.file("out/表情😀.txt")),
              "\xEF\xBB\xBF"
              "x😀€");
    db::execute_sql(window_->connection(), "drop database qb_test_window_lossless");
}

// The right button of a greyed 导入 does what its left button does: nothing. Disconnected,
// it neither lists the folder nor says anything; during an export it starts no import.
TEST_F(MainWindowImportTest, TheRightButtonOfAGreyedImportDoesNothing) {
    make("arts/a.txt", "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("arts")));
    set("编辑框库名", "qb_test_window_grey");
    set("编辑框表名", "t");
    auto* button = window_->unit<QPushButton>("按钮导入");
    ASSERT_FALSE(button->isEnabled());
    QTest::mouseClick(button, Qt::RightButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(ui_.shown.empty());
    EXPECT_EQ(from_qstring(button->text()), G("导入文章到 MySQL 数据库"));
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window_grey");
    ASSERT_TRUE(db::execute_sql(window_->connection(),
                                "create database qb_test_window_grey charset utf8mb4"));
    ASSERT_TRUE(db::execute_sql(window_->connection(),
                                "create table qb_test_window_grey.t (ID int auto_increment "
                                "primary key, name text, body text)"));
    ASSERT_TRUE(db::execute_sql(window_->connection(),
                                "insert into qb_test_window_grey.t (name, body) values ('n', "
                                "'b')"));
    window_->set_field_rows({{"name", G("文件主名"), ""}, {"body", G("文件内容"), ""}});
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("out")));
    bool greyed = false;
    ui_.on_pump = [&] {
        if (greyed ||
            window_->unit<QPushButton>("按钮导出")->text() == qtr("从 MySQL 数据库导出文章"))
            return;
        greyed = !button->isEnabled();
        QTest::mouseClick(button, Qt::RightButton);
    };
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出"), Qt::LeftButton);
    ui_.on_pump = nullptr;
    EXPECT_TRUE(greyed);
    EXPECT_EQ(ui_.last_message(), G("导出完成，已导出 1 篇文章，表中有 1 条记录！"));
    EXPECT_EQ(ui_.shown.size(), 1u);
    db::execute_sql(window_->connection(), "drop database qb_test_window_grey");
}

TEST_F(MainWindowImportTest, ASecondPressStopsTheRunAfterTheCurrentFile) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window_stop");
    for (int i = 0; i < 250; ++i) make("many/" + std::to_string(i) + ".txt", "x");
    // A 50 MB article goes in whole.
    std::string big(50 << 20, 'a');
    for (size_t i = 0; i < big.size(); i += 1000) big[i] = '\n';
    make("big/huge.txt", big);
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("big")));
    set("编辑框库名", "qb_test_window_stop");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}, {"body", G("文件内容"), ""}});
    // A created table would give the contents a mediumtext (16 MB); this one has room.
    ASSERT_TRUE(db::execute_sql(window_->connection(), "create database qb_test_window_stop"));
    ASSERT_TRUE(db::execute_sql(window_->connection(),
                                "create table qb_test_window_stop.t (ID bigint auto_increment "
                                "primary key, name tinytext, body longtext)"));
    window_->start_import(false);
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 1 篇文章，当前表有 1 条记录！"));
    ASSERT_TRUE(
        db::execute_sql(window_->connection(), "select length(body) from qb_test_window_stop.t"));
    auto r = db::take_result(window_->connection());
    int64_t length = 0;
    r->read_field(0u, length);
    EXPECT_EQ(length, 50 << 20);

    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("many")));
    std::vector<std::string> captions;
    int pumps = 0;
    ui_.on_pump = [&] {
        captions.push_back(from_qstring(window_->unit<QPushButton>("按钮导入")->text()));
        // The operator presses the button again once the first statement's hundred files
        // are in, while the next ones are under way.
        if (captions.back() == G("总 250 篇，已导入 100 篇") && ++pumps == 1)
            QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    const std::string summary = ui_.last_message();
    ASSERT_TRUE(
        db::execute_sql(window_->connection(), "select count(*) from qb_test_window_stop.t"));
    r = db::take_result(window_->connection());
    int64_t n = 0;
    r->read_field(0u, n);
    // The summary counts exactly the rows the run added (the big one was there before).
    EXPECT_EQ(summary, G("导入完成，已导入 ") + std::to_string(n - 1) + G(" 篇文章，当前表有 ") +
                           std::to_string(n) + G(" 条记录！"));
    // The statement in flight and the files made before the press go in; no statement is
    // left half sent.
    EXPECT_EQ(pumps, 1);
    EXPECT_GT(n - 1, 100);
    EXPECT_LT(n - 1, 250);
    EXPECT_EQ(from_qstring(window_->unit<QPushButton>("按钮导入")->text()),
              G("导入文章到 MySQL 数据库"));
    db::execute_sql(window_->connection(), "drop database qb_test_window_stop");
}

// The server drops the window's session in the middle of a run (a proxy with a smaller packet
// limit, a restart): the run says so, and the next press logs in again and imports, instead
// of taking the dead link for a missing database.
TEST_F(MainWindowImportTest, AConnectionDroppedDuringARunIsSaidAndTheNextRunLogsInAgain) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::Connection* c = window_->connection();
    db::execute_sql(c, "drop database if exists qb_test_window_drop");
    // Files for several statements after the one the drop hits: some are left unsent.
    for (int i = 0; i < 450; ++i) make("drop/" + std::to_string(i) + ".txt", "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("drop")));
    set("编辑框库名", "qb_test_window_drop");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}});
    auto killer = test::connect_to_test_server();
    const std::string kill = "kill connection " + std::to_string(db::session_id(c));
    bool killed = false;
    ui_.on_pump = [&] {
        if (!killed &&
            window_->unit<QPushButton>("按钮导入")->text() == qtr("总 450 篇，已导入 100 篇"))
            killed = db::execute_sql(killer.get(), kill);
    };
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    ui_.on_pump = nullptr;
    ASSERT_TRUE(killed);
    EXPECT_NE(ui_.last_message().find(G("与服务器的连接已断开，还有 ")), std::string::npos)
        << ui_.last_message();
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message().rfind(G("导入完成，已导入 450 篇文章，当前表有 "), 0), 0u);
    db::execute_sql(window_->connection(), "drop database qb_test_window_drop");
}

TEST_F(MainWindowImportTest, DisconnectAndCloseWaitForTheRun) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window_close");
    for (int i = 0; i < 30; ++i) make("c/" + std::to_string(i) + ".txt", "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("c")));
    set("编辑框库名", "qb_test_window_close");
    set("编辑框表名", "t");
    window_->show();
    int pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps == 10) {
            // The button looks disabled; a disconnect that reaches the window anyway is refused.
            EXPECT_FALSE(window_->unit<QPushButton>("按钮建立连接")->isEnabled());
            window_->toggle_connection();
            window_->close();
        }
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    // The disconnect was refused while the run used the connection; the close stopped the run
    // and happened after it.
    const std::vector<std::string> shown = ui_.messages();
    ASSERT_NE(std::find(shown.begin(), shown.end(), G("正在导入文章，请先停止导入再断开连接！")),
              shown.end());
    EXPECT_EQ(ui_.last_message().rfind(G("导入完成，已导入 ")), 0u);
    EXPECT_FALSE(window_->isVisible());
    ASSERT_TRUE(window_->connection());
    ASSERT_TRUE(
        db::execute_sql(window_->connection(), "select count(*) from qb_test_window_close.t"));
    auto r = db::take_result(window_->connection());
    int64_t n = 0;
    r->read_field(0u, n);
    EXPECT_LT(n, 30);
    db::execute_sql(window_->connection(), "drop database qb_test_window_close");
}

TEST_F(MainWindowImportTest, TheExportButtonWritesTheTableAndASecondPressStops) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::Connection* c = window_->connection();
    test::use_fresh_database(c, "qb_test_window_export");
    ASSERT_TRUE(db::execute_sql(c,
                                "create table t (ID bigint auto_increment primary key, "
                                "title tinytext, body mediumtext)"));
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(db::execute_sql(
            c, "insert into t set title='n" + std::to_string(i) + "', body='" + G("正文") + "'"));
    auto* button = window_->unit<QPushButton>("按钮导出");
    // The checks come first, with their focus.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("请输入库名！"));
    set("编辑框库名", "qb_test_window_export");
    set("编辑框表名", "t");
    const std::string out = dir_.file("out");
    set("编辑框文章目录", qb::text::utf8_to_gbk(out));
    set("编辑框文件类型", "*.txt");
    window_->set_field_rows({{"title", G("文件主名"), ""}, {"body", G("文件内容"), ""}});

    // A press during the run stops it; the import button and the disconnect wait for it.
    int pumps = 0;
    bool import_enabled_during_run = true, connect_enabled_during_run = true;
    std::string caption_after_stop;
    ui_.on_pump = [&] {
        if (++pumps == 10) {
            import_enabled_during_run = window_->unit<QPushButton>("按钮导入")->isEnabled();
            connect_enabled_during_run = window_->unit<QPushButton>("按钮建立连接")->isEnabled();
            window_->toggle_connection();
            QTest::mouseClick(button, Qt::LeftButton);
            caption_after_stop = from_qstring(button->text());
        }
    };
    QTest::mouseClick(button, Qt::LeftButton);
    ui_.on_pump = nullptr;
    EXPECT_FALSE(import_enabled_during_run);
    EXPECT_FALSE(connect_enabled_during_run);
    EXPECT_TRUE(window_->unit<QPushButton>("按钮导入")->isEnabled());
    EXPECT_TRUE(window_->unit<QPushButton>("按钮建立连接")->isEnabled());
    EXPECT_EQ(caption_after_stop, G("正在停止中.."));
    const std::vector<std::string> shown = ui_.messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), G("正在导出文章，请先停止导出再断开连接！")),
              shown.end());
    size_t written = 0;
    for (const auto& e : std::filesystem::directory_iterator(out)) {
        EXPECT_EQ(e.path().extension(), ".txt");
        EXPECT_EQ(test::read_file(e.path().string()), G("正文"));
        ++written;
    }
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 40u);
    EXPECT_EQ(ui_.last_message(),
              G("导出完成，已导出 ") + std::to_string(written) + G(" 篇文章，表中有 40 条记录！"));
    EXPECT_EQ(from_qstring(button->text()), G("从 MySQL 数据库导出文章"));
    EXPECT_EQ(from_qstring(window_->windowTitle()), G("Tarvo·Quillbase v1.1.0.1"));
    ASSERT_TRUE(window_->connection());
    db::execute_sql(window_->connection(), "drop database qb_test_window_export");
}

TEST_F(MainWindowImportTest, AStopDuringCollectionImportsNothing) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    db::execute_sql(window_->connection(), "drop database if exists qb_test_window_collect");
    for (int i = 0; i < 5; ++i) make("tree/d" + std::to_string(i) + "/a.txt", "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.file("tree")));
    set("编辑框库名", "qb_test_window_collect");
    set("编辑框表名", "t");
    bool pressed = false;
    ui_.on_pump = [&] {
        if (!pressed && from_qstring(window_->unit<QPushButton>("按钮导入")->text()) ==
                            G("正在读取文章列表..")) {
            pressed = true;
            QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
        }
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    EXPECT_TRUE(pressed);
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 0 篇文章，当前表有 0 条记录！"));
    db::execute_sql(window_->connection(), "drop database qb_test_window_collect");
}

TEST_F(MainWindowImportTest, ConfigurationsOfOtherWindowsAndRememberedPaths) {
    // A file holding only the create-table window's section changes nothing and says so.
    test::write_file(dir_.file("table.ini"), "[" + G("新建表") + "]\r\n" + G("字段数") + "=1\r\n" +
                                                 G("字段名或位置(1)") + "=x");
    set("编辑框库名", G("保留"));
    window_->set_field_rows({{"only", G("文件主名"), ""}});
    ui_.open_files = {{qb::text::utf8_to_gbk(dir_.file("table.ini"))}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(get("编辑框库名"), G("保留"));
    ASSERT_EQ(window_->field_rows().size(), 1u);
    EXPECT_EQ(window_->field_rows()[0].field, "only");
    EXPECT_EQ(ui_.last_message().rfind(G("导入配置失败！"), 0), 0u);

    // The last path survives a restart through the buttons' tags.
    const std::string ini = qb::text::utf8_to_gbk(dir_.file("keep.ini"));
    ui_.save_files = {ini};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
    window_->close();
    window_ = std::make_unique<MainWindow>(store_);
    window_->on_created();
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);  // cancelled
    EXPECT_EQ(ui_.dialog_initials.back(), ini);
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.dialog_initials.back(), ini);
}

TEST_F(MainWindowImportTest, DropsOfFoldersAndConfigurations) {
    make("folder/x.txt", "x");
    window_->import_dropped_file(1, 1, dir_.file("folder"));
    EXPECT_EQ(get("编辑框文章目录"), qb::text::utf8_to_gbk(dir_.file("folder")));
    EXPECT_TRUE(ui_.shown.empty());

    // Two folders: the question about 0 files; Cancel does nothing.
    ui_.answers = {false};
    window_->import_dropped_file(2, 1, dir_.file("folder"));
    window_->import_dropped_file(2, 2, dir_.path().string());
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text, G("确定要导入被拖放的 0 个文件到表[]中吗？请首先设置好所有参数"));

    // Export with five rows, then three: the count says 3, rows 4 and 5 stay in the file.
    window_->set_field_rows({{"a", G("文件主名"), ""},
                             {"b", G("文件主名"), ""},
                             {"c", G("文件主名"), ""},
                             {"d", G("文件主名"), ""},
                             {"e", G("文件主名"), ""}});
    const std::string ini = qb::text::utf8_to_gbk(dir_.file("cfg.ini"));
    ui_.save_files = {ini};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("导出配置完成！"));
    window_->set_field_rows(
        {{"x", G("文件内容"), ""}, {"y", G("文件内容"), ""}, {"z", G("文件内容"), ""}});
    set("编辑框库名", G("配置库"));
    ui_.save_files = {ini};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.dialog_initials.back(), ini);  // starts at the last exported file
    const std::string bytes = test::read_file(dir_.file("cfg.ini"));
    EXPECT_NE(bytes.find("\r\n" + G("字段数") + "=3"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n" + G("字段名或位置(5)") + "=e"), std::string::npos);

    // Import by a name typed without ".ini"; a missing file is refused.
    window_->set_field_rows({});
    set("编辑框库名", "");
    ui_.open_files = {{ini.substr(0, ini.size() - 4)}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("导入配置完成！"));
    EXPECT_EQ(get("编辑框库名"), G("配置库"));
    EXPECT_EQ(window_->field_rows().size(), 3u);
    ui_.open_files = {{qb::text::utf8_to_gbk(dir_.file("nothing"))}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("请选择一个已存在的ini文件！"));

    // One dropped .ini restores it and starts nothing.
    set("编辑框库名", "other");
    window_->import_dropped_file(1, 1, dir_.file("cfg.ini"));
    EXPECT_EQ(ui_.last_message(), G("导入配置完成！"));
    EXPECT_EQ(get("编辑框库名"), G("配置库"));
}

TEST_F(MainWindowImportTest, ConfigurationFailuresAreToldAndChangeNothing) {
    const auto export_to = [&](const std::string& native) {
        ui_.save_files = {qb::text::utf8_to_gbk(native)};
        QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
        return ui_.last_message();
    };
    const auto failure = [](const char* what, const char* reason, const std::string& native) {
        return G(what) + G("\r\n原因：") + G(reason) + G("\r\n文件：") +
               qb::text::utf8_to_gbk(native);
    };
    // A folder where the file should be, and a file another program holds.
    std::filesystem::create_directories(dir_.file("taken.ini"));
    EXPECT_EQ(
        export_to(dir_.file("taken.ini")),
        failure("导出配置失败！", "这不是一个普通文件（可能是文件夹）", dir_.file("taken.ini")));
    const int holder = ::open(dir_.file("held.ini").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(export_to(dir_.file("held.ini")),
              failure("导出配置失败！", "文件正被另一个程序使用", dir_.file("held.ini")));
    EXPECT_EQ(test::read_file(dir_.file("held.ini")), "");
    ::close(holder);
    EXPECT_EQ(export_to(dir_.file("held.ini")), G("导出配置完成！"));
    // The program's own settings file is no other program's.
    EXPECT_EQ(export_to(dir_.file("s.ini")),
              failure("导出配置失败！", "这是本程序自己的设置文件，正在用它保存窗口状态",
                      dir_.file("s.ini")));

    // An import that cannot read its file keeps the field list and every unit as they are.
    window_->set_field_rows({{"kept", G("文件主名"), ""}});
    set("编辑框库名", G("保留"));
    const std::string huge = dir_.file("huge.ini");
    test::write_file(huge, std::string(persist::ConfigStore::kMaxFileSize + 1, '\n'));
    ui_.open_files = {{qb::text::utf8_to_gbk(huge)}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), failure("导入配置失败！", "文件太大，不是配置文件", huge));
    window_->import_dropped_file(1, 1, huge);
    EXPECT_EQ(ui_.last_message().rfind(G("导入配置失败！"), 0), 0u);
    // A file without the window's section (another window's, or none at all) holds nothing
    // for it.
    const std::string other = dir_.file("other.ini");
    test::write_file(other, G("[新建表]\r\n字段数=1\r\n"));
    ui_.open_files = {{qb::text::utf8_to_gbk(other)}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(),
              failure("导入配置失败！", "文件中没有[主界面]节，不是这个窗口导出的配置", other));
    ASSERT_EQ(window_->field_rows().size(), 1u);
    EXPECT_EQ(window_->field_rows()[0].field, "kept");
    EXPECT_EQ(get("编辑框库名"), G("保留"));
    // One written by a Linux editor, LF line ends only, is a configuration like any other.
    const std::string lf = dir_.file("lf.ini");
    test::write_file(lf, G("[主界面]\n编辑框库名=编辑过\n字段数=1\n字段名或位置(1)=lf\n"
                           "数据来源(1)=文件主名\n数据配置(1)=\n"));
    ui_.open_files = {{qb::text::utf8_to_gbk(lf)}};
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_EQ(ui_.last_message(), G("导入配置完成！"));
    EXPECT_EQ(get("编辑框库名"), G("编辑过"));
    ASSERT_EQ(window_->field_rows().size(), 1u);
    EXPECT_EQ(window_->field_rows()[0].field, "lf");
}

// Qt's own boxes and dialogs speak Chinese; 导出配置 merges into an existing file, so its
// dialog does not ask whether to replace it.
TEST_F(MainWindowImportTest, QtsOwnTextsAreChineseAndTheExportDialogDoesNotAskToReplace) {
    platform::install_chinese_qt_texts();
    platform::QtUi real;
    platform::set_ui(&real);
    QStringList buttons, labels;
    bool replace_asked = false;
    QPointer<QWidget> seen, settling;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == seen) return;
        if (modal != settling) {  // one tick for the dialog to fill itself in
            settling = modal;
            return;
        }
        seen = modal;
        for (auto* b : modal->findChildren<QAbstractButton*>())
            if (b->isVisible()) buttons << b->text();
        for (auto* l : modal->findChildren<QLabel*>())
            if (l->isVisible()) labels << l->text();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            replace_asked = replace_asked || box->text().contains(QStringLiteral("replace")) ||
                            box->text().contains(qtr("替换"));
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (replace_asked) return dialog->reject();  // asked, and told not to: give up
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(to_qstring(qb::text::utf8_to_gbk(dir_.file("there.ini"))));
            QTest::keyClick(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")),
                            Qt::Key_Return);
        }
    });
    poll.start(20);
    platform::ui().ask_ok_cancel(G("问"));
    EXPECT_TRUE(buttons.contains(qtr("确定"))) << buttons.join(u' ').toStdString();
    EXPECT_TRUE(buttons.contains(qtr("取消"))) << buttons.join(u' ').toStdString();
    buttons.clear();
    platform::ui().ask_yes_no(G("问"));
    EXPECT_TRUE(buttons.contains(qtr("是(&Y)")) || buttons.contains(qtr("是")))
        << buttons.join(u' ').toStdString();
    buttons.clear();
    test::write_file(dir_.file("there.ini"), G("[主界面]\r\n"));
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
    poll.stop();
    platform::set_ui(&ui_);
    EXPECT_FALSE(replace_asked);
    EXPECT_FALSE(labels.contains(QStringLiteral("Look in:"))) << labels.join(u' ').toStdString();
    EXPECT_FALSE(labels.contains(QStringLiteral("File name:")));
    EXPECT_FALSE(buttons.contains(QStringLiteral("&Save"))) << buttons.join(u' ').toStdString();
    EXPECT_TRUE(buttons.filter(qtr("保存")).size() > 0) << buttons.join(u' ').toStdString();
    EXPECT_NE(test::read_file(dir_.file("there.ini")).find(G("编辑框库名")), std::string::npos);
}

TEST_F(MainWindowImportTest, TheRealOpenDialogTakesANameTypedWithoutItsExtension) {
    const std::string ini = dir_.file("typed.ini");
    ui_.save_files = {qb::text::utf8_to_gbk(ini)};
    set("编辑框库名", G("来自文件"));
    QTest::mouseClick(window_->unit<QPushButton>("按钮导出配置"), Qt::LeftButton);
    set("编辑框库名", "");

    // The Qt dialog, typed into as a person would: "typed" (no such file) and Enter.
    platform::QtUi real;
    platform::set_ui(&real);
    std::vector<std::string> typed = {"typed", qb::text::gbk_to_utf8(G("无此文件"))};
    bool dialog_seen = false;
    QString said;
    QPointer<QFileDialog> answered;  // a dialog is typed into once, however slowly it closes
    QPointer<QFileDialog> settling;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            // The program's own message box after a refusal: close it.
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name || dialog == answered) return;
        // One tick to settle: the dialog fills its name box with the initial file after it is
        // shown, which would overwrite a name typed at once.
        if (dialog != settling) {
            settling = dialog;
            return;
        }
        answered = dialog;
        if (typed.empty()) {
            dialog->reject();  // a dialog that took neither name would wait for ever
            return;
        }
        dialog_seen = true;
        dialog->setDirectory(QString::fromStdString(dir_.path().string()));
        name->setText(QString::fromStdString(typed.front()));
        typed.erase(typed.begin());
        QTest::keyClick(name, Qt::Key_Return);
    });
    poll.start(20);
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_TRUE(dialog_seen);
    EXPECT_EQ(get("编辑框库名"), G("来自文件"));
    // A name that is no file, with or without ".ini", is refused after the dialog.
    set("编辑框库名", "");
    QTest::mouseClick(window_->unit<QPushButton>("按钮导入配置"), Qt::LeftButton);
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(said, QString::fromUtf8("请选择一个已存在的ini文件！"));
    EXPECT_EQ(get("编辑框库名"), "");
    poll.stop();
    platform::set_ui(&ui_);
}

}  // namespace
}  // namespace qb::app
