// The manager windows against the private server, offscreen, with the scripted Ui.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <memory>

#include "accessibility_check.h"
#include "app/main_window.h"
#include "db/connection.h"
#include "db/statements.h"
#include "list_clicks.h"
#include "manager/create_table_window.h"
#include "manager/manager_window.h"
#include "manager/result_list.h"
#include "manager/row_identity.h"
#include "manager/sql_window.h"
#include "manager/table_viewer.h"
#include "manager/user_window.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "platform/text_input_dialog.h"
#include "platform/unit_state.h"
#include "test_server.h"
#include "test_util.h"
#include "text/gbk.h"
#include "text_input_script.h"

namespace qb::manager {
namespace {

using platform::from_qstring;
using platform::to_qstring;
using test::G;

TEST(ResultText, RowsHeadersStatementsAndTemplates) {
    EXPECT_EQ(row_text({"a", "b c", ""}), "a\tb c\t");
    EXPECT_EQ(row_text({"x\r\ny", "t\tab", "\"q\""}), "\"x\\ny\"\t\"t\tab\"\t\"q\"");
    EXPECT_EQ(header_text({"id(1)", "title(2)"}), "\"id(1)\"\t\"title(2)\"");

    // Comments and blanks become one space; a trailing comma joins the next line.
    EXPECT_EQ(statement_lines("select 1,\r\n2;"), (std::vector<std::string>{"select 1,2;"}));
    EXPECT_EQ(statement_lines(G("show databases;\t//显示\r\n//只有注释\r\n\r\n  a  b ")),
              (std::vector<std::string>{"show databases;  ", " ", "", " a b "}));
    EXPECT_EQ(statement_lines(G("select　1;")), (std::vector<std::string>{"select 1;"}));

    EXPECT_EQ(SqlWindow::template_insertion(G("show variables like ''%char%'';//查看系统字符集")),
              G("show variables like \"%char%\";\t//查看系统字符集\r\n"));
}

using test::click_row;

class ManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::set_ui(&ui_);
        store_.open_file(dir_.file("s.ini"));
        main_ = std::make_unique<app::MainWindow>(store_);
        main_->on_created();
    }
    void TearDown() override {
        delete manager_.data();
        if (main_->connection()) {
            for (const char* d : {"qb_test_mgr", "qb_test_mgr2", "newdb_qb"})
                db::execute_sql(main_->connection(), std::string("drop database if exists ") + d);
            db::execute_sql(main_->connection(), "drop user if exists 'qb_test_user'@'%'");
        }
        main_.reset();
        platform::set_ui(nullptr);
    }
    void login(const std::string& password) {
        auto a = test::server_address();
        auto set = [&](const char* n, const std::string& v) {
            main_->unit<QLineEdit>(n)->setText(to_qstring(v));
        };
        set("编辑框服务器", a.text());
        set("编辑框用户名", a.user);
        set("编辑框密码", password);
    }
    void sql(const std::string& s) { ASSERT_TRUE(db::execute_sql(main_->connection(), s)) << s; }
    // Logs in through the manager's own check, with a database of three tables.
    void open() {
        login(test::server_address().password);
        ASSERT_TRUE(main_->ensure_connected());
        sql("drop database if exists qb_test_mgr");
        sql("drop database if exists qb_test_mgr2");
        sql("create database qb_test_mgr");
        sql("create table qb_test_mgr.alpha (id int, title varchar(20))");
        sql("create table qb_test_mgr.beta (id int)");
        sql("create table qb_test_mgr.gamma (id int)");
        manager_ = main_->open_manager();
        ASSERT_TRUE(manager_);
        databases_ = manager_->unit<QListWidget>("超级列表框库列表");
        tables_ = manager_->unit<QListWidget>("超级列表框表列表");
    }
    int row_of(QListWidget* list, const std::string& caption) {
        for (int r = 0; r < list->count(); ++r)
            if (from_qstring(list->item(r)->text()) == caption) return r;
        return -1;
    }
    void select_database(const std::string& name) {
        databases_->setCurrentRow(row_of(databases_, name));
    }
    void select_tables(const std::vector<std::string>& names) {
        tables_->clearSelection();
        for (const std::string& n : names) tables_->item(row_of(tables_, n))->setSelected(true);
    }
    std::string title(const char* group) {
        return from_qstring(manager_->unit<QGroupBox>(group)->title());
    }
    std::vector<std::string> captions(QListWidget* list) {
        std::vector<std::string> out;
        for (int r = 0; r < list->count(); ++r) out.push_back(from_qstring(list->item(r)->text()));
        return out;
    }
    bool shown(const std::string& message) {
        const std::vector<std::string> m = ui_.messages();
        return std::find(m.begin(), m.end(), message) != m.end();
    }
    int64_t count(const std::string& query) {
        if (!db::execute_sql(main_->connection(), query)) return -1;
        auto r = db::take_result(main_->connection());
        int64_t n = -1;
        r->read_field(0u, n);
        return n;
    }

    test::TempDir dir_;
    platform::ScriptedUi ui_;
    persist::ConfigStore store_;
    std::unique_ptr<app::MainWindow> main_;
    QPointer<ManagerWindow> manager_;
    QListWidget* databases_ = nullptr;
    QListWidget* tables_ = nullptr;
};

TEST_F(ManagerTest, OpensOnlyWithAConnection) {
    QB_REQUIRE_SERVER();
    login("wrong-password");
    test::answer_text_input(std::nullopt);  // closes the failed login's explanation
    EXPECT_EQ(main_->open_manager(), nullptr);
    EXPECT_EQ(ui_.last_message(), G("主界面尚未连接到MySQL，无法使用管理器功能！"));

    open();
    EXPECT_EQ(from_qstring(manager_->windowTitle()), G("MySQL 管理器"));
    EXPECT_GE(row_of(databases_, "qb_test_mgr"), 0);
    EXPECT_EQ(title("分组框库"),
              G("   在 MySQL 上的库( ") + std::to_string(databases_->count()) + G(" 个)："));
    EXPECT_EQ(main_->open_manager(), manager_.data());  // the open one comes forward

    // Disconnecting closes it.
    QTest::mouseClick(main_->unit<QPushButton>("按钮建立连接"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(!manager_ || !manager_->isVisible());
}

TEST_F(ManagerTest, ListsFindsHandsOverAndRemembers) {
    QB_REQUIRE_SERVER();
    open();
    select_database("qb_test_mgr");
    EXPECT_EQ(captions(tables_), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(title("分组框表"), G("   当前库 qb_test_mgr 的表( 3 个)："));

    // Find: case-insensitive, the remembered text, find next wrapping to the first entry.
    test::answer_text_input("A");
    manager_->find_table(false);
    EXPECT_EQ(manager_->selected_table(), "alpha");
    manager_->find_table(true);
    EXPECT_EQ(manager_->selected_table(), "beta");
    manager_->find_table(true);
    EXPECT_EQ(manager_->selected_table(), "gamma");
    manager_->find_table(true);
    EXPECT_EQ(manager_->selected_table(), "alpha");
    test::answer_text_input("zzz");
    manager_->find_table(false);
    EXPECT_EQ(ui_.last_message(), G("找不到输入的表名：zzz"));

    sql("create database qb_test_mgr2");
    manager_->refresh_database_list();
    test::answer_text_input("QB_TEST_MGR2");
    manager_->find_database(false);
    EXPECT_EQ(manager_->selected_database(), "qb_test_mgr2");
    EXPECT_EQ(title("分组框表"), G("   当前库 qb_test_mgr2 的表( 0 个)："));
    // From the last entry, find next starts again at the first.
    databases_->setCurrentRow(databases_->count() - 1);
    const std::string first_match = from_qstring(databases_->item(0)->text());
    test::answer_text_input(first_match);
    manager_->find_database(false);
    databases_->setCurrentRow(databases_->count() - 1);
    manager_->find_database(true);
    EXPECT_EQ(databases_->currentRow(), 0);

    // A database dropped behind the list's back lists no tables (not the previous ones).
    sql("drop database qb_test_mgr2");
    select_database("qb_test_mgr");
    select_database("qb_test_mgr2");
    EXPECT_TRUE(captions(tables_).empty());

    select_database("qb_test_mgr");
    select_tables({"beta"});
    manager_->hand_over_names();
    EXPECT_EQ(main_->main_text("编辑框库名"), "qb_test_mgr");
    EXPECT_EQ(main_->main_text("编辑框表名"), "beta");

    // The search text survives the window through its button's tag.
    manager_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(manager_);
    manager_ = main_->open_manager();
    ASSERT_TRUE(manager_);
    EXPECT_EQ(platform::unit_tag(manager_->unit<QPushButton>("按钮查找表")), "zzz");
}

TEST_F(ManagerTest, CreatesDropsRenamesAndClears) {
    QB_REQUIRE_SERVER();
    open();
    db::execute_sql(main_->connection(), "drop database if exists newdb_qb");
    std::string caption;
    test::answer_text_input("newdb_qb", &caption);
    manager_->create_database();
    EXPECT_EQ(caption, G("输入要新建库的名称(不推荐中文库名)："));
    EXPECT_EQ(manager_->selected_database(), "newdb_qb");
    const int n = databases_->count();
    test::answer_text_input("newdb_qb");
    manager_->create_database();
    EXPECT_EQ(ui_.last_message().rfind(G("创建库失败"), 0), 0u);
    EXPECT_EQ(databases_->count(), n);

    // Dropping the last entry (the new one) selects the first one.
    ASSERT_EQ(databases_->currentRow(), n - 1);
    ui_.answers = {false};
    manager_->drop_database();
    EXPECT_EQ(databases_->count(), n);
    manager_->drop_database();
    EXPECT_EQ(ui_.shown.back().text, G("确定要删除当前库 newdb_qb 吗？"));
    EXPECT_EQ(databases_->count(), n - 1);
    EXPECT_EQ(databases_->currentRow(), 0);
    EXPECT_EQ(count("select count(*) from information_schema.schemata where schema_name = "
                    "'newdb_qb'"),
              0);

    select_database("qb_test_mgr");
    // Rename: the name rules, a duplicate refused silently, then a Chinese name.
    select_tables({"alpha"});
    test::answer_text_input("new_table");
    manager_->rename_table();
    EXPECT_EQ(ui_.last_message(), G("表名不允许包含【半角英文标点、空格】"));
    test::answer_text_input(G("2015表"));
    manager_->rename_table();
    EXPECT_EQ(ui_.last_message(), G("表名首字符不能为【半角英文标点、空格和数字】！"));
    const size_t before = ui_.shown.size();
    test::answer_text_input("beta");
    manager_->rename_table();
    EXPECT_EQ(ui_.shown.size(), before);
    test::answer_text_input(G("表2015"));
    manager_->rename_table();
    EXPECT_EQ(captions(tables_), (std::vector<std::string>{G("表2015"), "beta", "gamma"}));

    // Clearing keeps the table and empties it.
    sql(G("insert into qb_test_mgr.`表2015` values (1,'a')"));
    select_tables({G("表2015")});
    manager_->drop_tables(true);
    EXPECT_EQ(ui_.shown[ui_.shown.size() - 2].text, G("确定要删除表 表2015 的全部记录数据吗？"));
    EXPECT_EQ(ui_.last_message(), G("已清空表记录！"));
    EXPECT_EQ(count(G("select count(*) from qb_test_mgr.`表2015`")), 0);
    // A table gone behind the manager's back cannot be cleared: it says so.
    sql("create table qb_test_mgr.gone (id int)");
    manager_->refresh_table_list();
    select_tables({"gone"});
    sql("drop table qb_test_mgr.gone");
    manager_->drop_tables(true);
    EXPECT_EQ(ui_.last_message(), G("清空表 gone 的记录失败！请检查权限或网络连接！"));
    manager_->refresh_table_list();

    // Dropping three, one locked by another session: that one stays with its message.
    auto other = test::connect_to_test_server();
    ASSERT_TRUE(db::execute_sql(other.get(), "lock tables qb_test_mgr.beta write"));
    sql("set session lock_wait_timeout = 1");
    select_tables({G("表2015"), "beta", "gamma"});
    manager_->drop_tables(false);
    EXPECT_EQ(captions(tables_), (std::vector<std::string>{"beta"}));
    EXPECT_TRUE(shown(G("删除表 beta 失败！请检查权限或网络连接！")));
    EXPECT_EQ(manager_->selected_table(), "beta");
    EXPECT_EQ(title("分组框表"), G("   当前库 qb_test_mgr 的表( 1 个)："));
    db::execute_sql(other.get(), "unlock tables");

    // Transactions show their outcome as 真 or 假.
    ui_.menu_choices = {G("提交事务")};
    manager_->show_transaction_menu();
    EXPECT_EQ(ui_.last_message(), G("真"));
}

TEST_F(ManagerTest, TheViewerShowsDeletesCopiesAndExports) {
    QB_REQUIRE_SERVER();
    open();
    sql("insert into qb_test_mgr.alpha values (5,'five'),(6,'05'),(7,NULL),(8,'a\\r\\nb')");
    select_database("qb_test_mgr");
    manager_->open_viewer(true);
    EXPECT_EQ(ui_.last_message(), G("请先选定一个表再查看表字段！"));
    select_tables({"alpha"});
    manager_->open_viewer(true);
    TableViewer* viewer = manager_->viewer();
    ASSERT_NE(viewer, nullptr);
    ResultList* list = viewer->list();
    EXPECT_EQ(list->titles(),
              (std::vector<std::string>{"Field", "Type", "Null", "Key", "Default", "Extra"}));
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 alpha 的字段列表(2)"));

    manager_->open_viewer(false);
    EXPECT_EQ(list->titles(), (std::vector<std::string>{"id(1)", "title(2)"}));
    EXPECT_EQ(list->row_count(), 4);
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 alpha 记录列表(4)"));

    // Copy and export: tab-separated, the line break quoted as \n.
    list->copy_rows(list->all_rows());
    EXPECT_EQ(ui_.clipboard_text(), "5\tfive\r\n6\t05\r\n7\t\r\n8\t\"a\\nb\"\r\n");
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("rows"))};
    viewer->export_rows();
    EXPECT_EQ(ui_.last_message(), G("保存成功！"));
    EXPECT_EQ(test::read_file(dir_.file("rows.csv")),
              "\"id(1)\"\t\"title(2)\"\r\n5\tfive\r\n6\t05\r\n7\t\r\n8\t\"a\\nb\"\r\n");
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("no/such/folder/x.csv"))};
    viewer->export_rows();
    EXPECT_EQ(ui_.last_message(), G("保存失败！"));

    // The record conditions of a table without a key: every column, numbers by their text,
    // the rest by the bytes the server holds, NULL found.
    db::RowStore* held = list->held();
    ASSERT_NE(held, nullptr);
    const std::vector<std::string> both{"id", "title"};
    EXPECT_EQ(record_condition(*held, 0, 2, both),
              "`id` = '5' AND CAST(`title` AS BINARY) = X'66697665'  LIMIT 1");
    EXPECT_EQ(record_condition(*held, 1, 2, both),
              "`id` = '6' AND CAST(`title` AS BINARY) = X'3035'  LIMIT 1");
    EXPECT_EQ(record_condition(*held, 2, 2, both), "`id` = '7' AND `title` IS NULL  LIMIT 1");

    list->clearSelection();
    viewer->delete_rows(false);
    EXPECT_EQ(ui_.last_message(), G("请先选定项目再删除！"));
    click_row(list, 1);
    click_row(list, 2);
    viewer->delete_rows(false);
    EXPECT_EQ(ui_.shown.back().text, G("确定要删除选定的 2 条记录吗？"));
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("总 2 条要删除的记录，实际删除成功 2 条"));
    EXPECT_EQ(list->row_count(), 2);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.alpha"), 2);

    // A row deleted behind the viewer's back is not reported as deleted.
    sql("delete from qb_test_mgr.alpha where id = 8");
    viewer->delete_rows(true);
    EXPECT_EQ(ui_.shown.back().text, G("确定要删除全部记录吗？"));
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("总 2 条要删除的记录，实际删除成功 1 条"));
    EXPECT_EQ(list->row_count(), 1);

    // Fields mode: dropping a column.
    manager_->open_viewer(true);
    list->clearSelection();
    click_row(list, 1);
    viewer->delete_rows(false);
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("总 1 个要删除的字段，实际删除成功 1 个"));
    EXPECT_EQ(count("select count(*) from information_schema.columns where table_schema = "
                    "'qb_test_mgr' and table_name = 'alpha'"),
              1);

    // Another table selected while the viewer is open reloads it.
    select_tables({"beta"});
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 beta 的字段列表(1)"));

    // The text "5" is deleted, not the "05" before it that a bare 5 would also find.
    sql("create table qb_test_mgr.codes (code varchar(5))");
    sql("insert into qb_test_mgr.codes values ('05'), ('5')");
    manager_->refresh_table_list();
    select_tables({"codes"});
    manager_->open_viewer(false);
    list->clearSelection();
    click_row(list, 1);
    viewer->delete_rows(false);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.codes where code = '05'"), 1);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.codes"), 1);

    // A table that cannot be read says so instead of showing "(0)" records.
    sql("drop table qb_test_mgr.codes");
    viewer->load();
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 codes 读取失败"));
    EXPECT_EQ(ui_.last_message(), G("读取表 codes 失败！请检查表是否存在或是否可读！"));
}

// The delete picks exactly the rows shown: not a row whose text looks the same through the
// GBK connection (a zero byte, an emoji shown as "?"), not the row now at the same place after
// other clients changed the table; and the export carries the bytes the server sent.
TEST_F(ManagerTest, TheViewerDeletesExactlyTheRowsShown) {
    QB_REQUIRE_SERVER();
    open();
    sql("create table qb_test_mgr.bin (b varbinary(4))");
    sql("insert into qb_test_mgr.bin values (0x610062), (0x61)");
    sql("create table qb_test_mgr.e (s varchar(10)) charset utf8mb4");
    sql("insert into qb_test_mgr.e values (0xF09F9880), ('?'), ('x')");
    sql("create table qb_test_mgr.k (id int primary key, s varchar(10)) charset utf8mb4");
    sql("insert into qb_test_mgr.k values (1, 0xF09F9880), (2, '?'), (3, 'a'), (4, 'A')");
    manager_->refresh_table_list();
    select_database("qb_test_mgr");
    auto delete_row = [&](const char* table, int row) {
        select_tables({table});
        manager_->open_viewer(false);
        ResultList* list = manager_->viewer()->list();
        list->clearSelection();
        click_row(list, row);
        manager_->viewer()->delete_rows(false);
        return from_qstring(manager_->viewer()->windowTitle());
    };
    EXPECT_EQ(delete_row("bin", 0), G("总 1 条要删除的记录，实际删除成功 1 条"));
    EXPECT_EQ(count("select count(*) from qb_test_mgr.bin where b = 0x61"), 1);
    EXPECT_EQ(delete_row("e", 0), G("总 1 条要删除的记录，实际删除成功 1 条"));
    EXPECT_EQ(count("select count(*) from qb_test_mgr.e where s = '?'"), 1);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.e"), 2);
    EXPECT_EQ(delete_row("k", 0), G("总 1 条要删除的记录，实际删除成功 1 条"));
    EXPECT_EQ(count("select count(*) from qb_test_mgr.k where id = 1"), 0);
    // "A" and "a" are one value to the table's collation, two rows to the operator.
    ResultList* list = manager_->viewer()->list();
    sql("delete from qb_test_mgr.k where id = 2");  // behind the viewer's back
    sql("insert into qb_test_mgr.k values (0, 'z')");
    list->clearSelection();
    click_row(list, 2);  // "A" (id 4), third of the rows shown
    manager_->viewer()->delete_rows(false);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.k where id = 4"), 0);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.k"), 2);  // 0 and 3 stay

    // The bytes of a binary column go to the file as they are, not through UTF-16.
    sql("create table qb_test_mgr.raw (b varbinary(4))");
    sql("insert into qb_test_mgr.raw values (0x80FF41)");
    manager_->refresh_table_list();
    select_tables({"raw"});
    manager_->open_viewer(false);
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("raw.csv"))};
    manager_->viewer()->export_rows();
    EXPECT_EQ(test::read_file(dir_.file("raw.csv")),
              "\"b(1)\"\r\n\x80\xFF"
              "A\r\n");
}

// With 保留全部字符 checked (by a click on the main window), the viewer shows, copies, exports
// and deletes by every character of a utf8mb4 table; unchecked, the same rows are GBK again.
TEST_F(ManagerTest, TheLosslessBoxShowsEveryCharacterInTheViewer) {
    QB_REQUIRE_SERVER();
    open();
    sql("create table qb_test_mgr.u (id int primary key, s varchar(10)) charset utf8mb4");
    sql("insert into qb_test_mgr.u values (1, 0xF09F9880E282AC), (2, 0xF09F9881)");  // 😀€, 😁
    manager_->refresh_table_list();
    select_database("qb_test_mgr");
    select_tables({"u"});
    auto* box = main_->unit<QCheckBox>("选择框无损");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    ASSERT_TRUE(box->isChecked());
    manager_->open_viewer(false);
    ResultList* list = manager_->viewer()->list();
    ASSERT_EQ(list->row_count(), 2);
    EXPECT_EQ(list->model()->index(0, 1).data().toString(), QString::fromUtf8("😀€"));
    list->copy_rows({0});
    EXPECT_EQ(qb::text::gbk_to_utf8(ui_.clipboard_text()), "1\t😀€\r\n");
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("u.csv"))};
    manager_->viewer()->export_rows();
    EXPECT_EQ(test::read_file(dir_.file("u.csv")),
              "\xEF\xBB\xBF\"id(1)\"\t\"s(2)\"\r\n1\t😀€\r\n2\t😁\r\n");
    list->clearSelection();
    click_row(list, 1);
    manager_->viewer()->delete_rows(false);
    EXPECT_EQ(count("select count(*) from qb_test_mgr.u where id = 2"), 0);

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    ASSERT_FALSE(box->isChecked());
    manager_->open_viewer(false);
    EXPECT_EQ(list->model()->index(0, 1).data().toString(), QString::fromUtf8("??"));
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("u.csv"))};
    manager_->viewer()->export_rows();
    EXPECT_EQ(test::read_file(dir_.file("u.csv")), "\"id(1)\"\t\"s(2)\"\r\n1\t??\r\n");
}

// 查找库 whose hit is the database already chosen lists its tables again.
TEST_F(ManagerTest, FindingTheChosenDatabaseListsItsTablesAgain) {
    QB_REQUIRE_SERVER();
    open();
    select_database("qb_test_mgr");
    sql("create table qb_test_mgr.delta (id int)");
    test::answer_text_input("qb_test_mgr");
    manager_->find_database(false);
    EXPECT_EQ(captions(tables_), (std::vector<std::string>{"alpha", "beta", "delta", "gamma"}));
}

// Clicking another database (with the mouse, as a person does) leaves no table selected: the
// viewer keeps what it shows and says nothing.
TEST_F(ManagerTest, NoTableSelectedLeavesTheViewerAlone) {
    QB_REQUIRE_SERVER();
    open();
    sql("create database qb_test_mgr2");
    sql("insert into qb_test_mgr.alpha values (1, 'one')");
    manager_->refresh_database_list();
    manager_->show();
    select_database("qb_test_mgr");
    select_tables({"alpha"});
    QTest::mouseClick(manager_->unit<QPushButton>("按钮查看记录"), Qt::LeftButton);
    TableViewer* viewer = manager_->viewer();
    ASSERT_NE(viewer, nullptr);
    const QString title = viewer->windowTitle();
    const size_t messages = ui_.messages().size();
    QListWidgetItem* other = databases_->item(row_of(databases_, "qb_test_mgr2"));
    QTest::mouseClick(databases_->viewport(), Qt::LeftButton, {},
                      databases_->visualItemRect(other).center());
    EXPECT_EQ(from_qstring(databases_->currentItem()->text()), "qb_test_mgr2");
    manager_->refresh_table_list();
    EXPECT_EQ(ui_.messages().size(), messages);
    EXPECT_EQ(viewer->windowTitle(), title);
    EXPECT_EQ(viewer->list()->row_count(), 1);
}

// Names reach the server as typed or listed, whatever they hold; a name the server would
// misread, or text GBK cannot hold, is refused with the character named and nothing sent.
TEST_F(ManagerTest, NamesReachTheServerExactlyOrAreRefused) {
    QB_REQUIRE_SERVER();
    open();
    const std::string odd = G("qb x`y'z\\中");
    const std::string odd_sql = "'" + db::escape_sql_value(odd) + "'";
    sql("drop database if exists `" + text::replace_all(odd, "`", "``") + "`");
    test::answer_text_input(odd);
    manager_->create_database();
    EXPECT_EQ(
        count("select count(*) from information_schema.schemata where schema_name = " + odd_sql),
        1);
    EXPECT_EQ(manager_->selected_database(), odd);
    const std::string table = G("t a`b'c\\表");
    sql("create table `" + text::replace_all(odd, "`", "``") + "`.`" +
        text::replace_all(table, "`", "``") + "` (id int)");
    sql("insert into `" + text::replace_all(odd, "`", "``") + "`.`" +
        text::replace_all(table, "`", "``") + "` values (1)");
    manager_->refresh_table_list();
    select_tables({table});
    manager_->open_viewer(false);
    EXPECT_EQ(manager_->viewer()->list()->row_count(), 1);
    ui_.answers = {true};
    manager_->drop_tables(true);  // clear
    EXPECT_EQ(ui_.last_message(), G("已清空表记录！"));
    ui_.answers = {true};
    manager_->drop_tables(false);
    EXPECT_EQ(
        count("select count(*) from information_schema.tables where table_schema = " + odd_sql), 0);
    ui_.answers = {true};
    manager_->drop_database();
    EXPECT_EQ(
        count("select count(*) from information_schema.schemata where schema_name = " + odd_sql),
        0);

    test::answer_text_input(G("x乣"));
    manager_->create_database();
    EXPECT_EQ(ui_.last_message(), G("库名“x乣”中的字符“乣”会被 MySQL 服务器读错，请换一个名称！"));
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<platform::TextInputDialog*>(QApplication::activeModalWidget());
        d->findChild<QPlainTextEdit*>(platform::qtr("编辑框正文"))
            ->setPlainText(QString::fromUtf8("x\xF0\x9F\x98\x80"));
        QTest::mouseClick(d->findChild<QPushButton*>(platform::qtr("按钮确定")), Qt::LeftButton);
    });
    manager_->create_database();
    EXPECT_EQ(ui_.last_message(), G("库名中有 GBK 无法表示的字符：U+1F600，没有新建"));
    // Neither name, nor what the server or a "?" would have made of them (other tests make
    // and drop databases meanwhile, so the names are counted, not all databases).
    EXPECT_EQ(count("select count(*) from information_schema.schemata where schema_name in "
                    "('x', 'x?', '" +
                    db::escape_sql_value(G("x乣")) + "')"),
              0);

    // The SQL window does not send "?" for the emoji (it would delete the "?" row).
    sql("create table qb_test_mgr.e (s varchar(10)) charset utf8mb4");
    sql("insert into qb_test_mgr.e values (0xF09F9880), ('?')");
    auto* w = new SqlWindow(*main_, manager_);
    w->findChild<QPlainTextEdit*>(platform::qtr("编辑框SQL语句"))
        ->setPlainText(QString::fromUtf8("delete from qb_test_mgr.e where s='\xF0\x9F\x98\x80';"));
    w->run();
    EXPECT_EQ(ui_.last_message(), G("语句中有 GBK 无法表示的字符：U+1F600，没有执行"));
    EXPECT_EQ(count("select count(*) from qb_test_mgr.e"), 2);
    w->close();
}

TEST_F(ManagerTest, TheSqlWindowRunsLinesAndShowsResults) {
    QB_REQUIRE_SERVER();
    open();
    auto* w = new SqlWindow(*main_, manager_);
    // The design-time text: nine statements, USE switching the database for the rest.
    w->run();
    QTreeWidget* statements = w->statements();
    ASSERT_EQ(statements->topLevelItemCount(), 9);
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(from_qstring(statements->topLevelItem(r)->text(2)), G("执行成功！")) << r;
    statements->setCurrentItem(statements->topLevelItem(7));  // select * from db
    EXPECT_GT(w->results()->titles().size(), 3u);
    statements->setCurrentItem(statements->topLevelItem(4));  // USE: no rows
    EXPECT_EQ(w->results()->titles().size(), 0u);

    w->set_sql_text(G("select 1,\r\n2;\r\n//只有注释\r\nselect nonsense from nowhere"));
    w->run();
    ASSERT_EQ(statements->topLevelItemCount(), 3);
    EXPECT_EQ(from_qstring(statements->topLevelItem(0)->text(1)), "select 1,2;");
    EXPECT_EQ(from_qstring(statements->topLevelItem(1)->text(2)), G("执行失败！"));
    EXPECT_EQ(from_qstring(statements->topLevelItem(2)->text(2)), G("执行失败！"));
    statements->setCurrentItem(statements->topLevelItem(0));
    EXPECT_EQ(w->results()->titles(), (std::vector<std::string>{"1", "2"}));
    // Refreshing shows the same rows again from the kept result.
    QTest::mouseClick(w->unit<QPushButton>("按钮刷新结果"), Qt::LeftButton);
    EXPECT_EQ(w->results()->row_count(), 1);

    // A template goes in at the caret; the text survives the window.
    w->set_sql_text("");
    ui_.menu_choices = {G("查看系统字符集")};
    w->show_template_menu();
    EXPECT_EQ(w->sql_text(), G("show variables like \"%char%\";\t//查看系统字符集\r\n"));
    ui_.menu_choices = {G("修改用户密码")};
    w->show_template_menu();
    EXPECT_NE(w->sql_text().find("WHERE User='" + test::server_address().user + "';\t//"),
              std::string::npos);
    const std::string text = w->sql_text();
    w->close();
    store_.set_section(G("SQL查询"));
    EXPECT_EQ(store_.read_text(G("语句"), ""), text);

    // Closing the main window closes the manager and the windows it owns, which keep their
    // text.
    w = new SqlWindow(*main_, manager_);
    EXPECT_EQ(w->sql_text(), text);
    w->set_sql_text("select 42;");
    w->show();
    main_->close();
    EXPECT_FALSE(manager_->isVisible());
    store_.set_section(G("SQL查询"));
    EXPECT_EQ(store_.read_text(G("语句"), ""), "select 42;");
}

TEST_F(ManagerTest, TheUserWindowAddsChangesAndRemovesAccounts) {
    QB_REQUIRE_SERVER();
    open();
    db::execute_sql(main_->connection(), "drop user if exists 'qb_test_user'@'%'");
    auto* w = new UserWindow(*main_, manager_);
    QListWidget* list = w->accounts();
    const int before = list->count();
    ASSERT_GT(before, 0);
    auto set = [&](const char* n, const std::string& v) {
        w->unit<QLineEdit>(n)->setText(to_qstring(v));
    };
    // A password the server would change or choke on unescaped: it logs in as typed.
    const std::string password = "a\\b'c\"d" + G("乗") + "%e";
    set("编辑框主机", "");
    set("编辑框用户", "qb_test_user");
    set("编辑框密码", password);
    set("编辑框数据库", "qb_test_mgr");
    set("编辑框权限", "1");
    w->add_account();
    ASSERT_EQ(list->count(), before + 1);
    EXPECT_EQ(from_qstring(list->currentItem()->text()), "qb_test_user");
    EXPECT_EQ(from_qstring(w->unit<QLineEdit>("编辑框主机")->text()), "%");
    EXPECT_EQ(count("select count(*) from mysql.user where user='qb_test_user' and host='%'"), 1);
    const auto a = test::server_address();
    EXPECT_TRUE(db::open_connection(a.host, "qb_test_user", password, {}, a.port));
    // Every entry loads its own account: the list is in step with the accounts after the add.
    for (int i = 0; i < list->count(); ++i) {
        list->setCurrentRow(i);
        EXPECT_EQ(w->unit<QLineEdit>("编辑框用户")->text(), list->item(i)->text()) << i;
    }
    // The same account again fails.
    w->add_account();
    EXPECT_EQ(ui_.last_message(),
              G("创建新用户失败，请确保您有创建用户的权限，或检查用户信息是否正确"));

    set("编辑框主机", "%");
    w->change_rights();
    EXPECT_EQ(ui_.last_message().rfind(G("修改成功！"), 0), 0u);

    test::answer_text_input("QB_TEST_USER");
    w->find_account(false);
    EXPECT_EQ(from_qstring(list->currentItem()->text()), "qb_test_user");
    EXPECT_EQ(from_qstring(w->unit<QLineEdit>("编辑框主机")->text()), "%");
    w->remove_account();
    EXPECT_EQ(list->count(), before);
    EXPECT_EQ(count("select count(*) from mysql.user where user='qb_test_user'"), 0);
    // Removing it again fails.
    list->setCurrentRow(0);
    set("编辑框用户", "qb_test_user");
    set("编辑框主机", "%");
    w->remove_account();
    EXPECT_EQ(ui_.last_message(), G("删除用户失败，请确保您有删除权限"));
    w->close();
}

TEST_F(ManagerTest, EveryWindowsUnitsCanBeFoundAndSpokenOnTheAccessibilityBus) {
    QB_REQUIRE_SERVER();
    open();
    EXPECT_GT(test::expect_units_described(manager_), 10);
    select_database("qb_test_mgr");
    select_tables({"alpha"});
    manager_->open_viewer(true);
    ASSERT_TRUE(manager_->viewer());
    EXPECT_GE(test::expect_units_described(manager_->viewer()), 1);
    for (QWidget* w : std::initializer_list<QWidget*>{new SqlWindow(*main_, manager_),
                                                      new UserWindow(*main_, manager_),
                                                      main_->open_create_table()}) {
        EXPECT_GT(test::expect_units_described(w), 3) << w->objectName().toStdString();
        w->close();
    }
}

// 导入配置 of the create-table window takes only a design: a file without one, a count with
// no rows behind it or a type the window does not offer changes nothing and says why; a
// dropped file is read after the drop event has returned.
TEST_F(ManagerTest, TheCreateTableWindowImportsOnlyADesign) {
    QB_REQUIRE_SERVER();
    login(test::server_address().password);
    ASSERT_TRUE(main_->ensure_connected());
    QPointer<CreateTableWindow> w = main_->open_create_table();
    ASSERT_TRUE(w);
    w->set_rows({{"keep", G("文本(text)"), G("无")}});
    const std::string head = "[" + G("新建表") + "]\r\n";
    const std::string row1 = G("字段名(1)=a\r\n类型(1)=文本(text)\r\n长度或取值范围(1)=无\r\n");
    const std::vector<std::pair<std::string, std::string>> files{
        {G("[主界面]\r\n字段数=1\r\n"), G("文件中没有[新建表]节，不是这个窗口导出的配置")},
        {head + G("字段数=-7\r\n"), G("文件中没有新建表的字段设计")},
        {head + G("字段数=2\r\n") + row1 + G("字段名(2)=b\r\n类型(2)=无此类型\r\n"),
         G("第 2 个字段的类型“无此类型”不是可选的类型")},
    };
    for (const auto& [bytes, reason] : files) {
        test::write_file(dir_.file("d.ini"), bytes);
        w->import_config_file(dir_.file("d.ini"));
        EXPECT_EQ(ui_.last_message(), G("导入配置失败！\r\n原因：") + reason + G("\r\n文件：") +
                                          qb::text::utf8_to_gbk(dir_.file("d.ini")));
        ASSERT_EQ(w->rows().size(), 1u);
        EXPECT_EQ(w->rows()[0][0], "keep");
    }
    // A count beyond the rows present reads the rows present; a drop reads after the event.
    test::write_file(dir_.file("d.ini"), head + G("字段数=2000000000\r\n") + row1);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("d.ini")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    const size_t before = ui_.shown.size();
    QApplication::sendEvent(w, &drop);
    EXPECT_EQ(ui_.shown.size(), before);  // nothing asked inside the drop
    QCoreApplication::processEvents();
    EXPECT_EQ(ui_.shown.size(), before + 1);
    EXPECT_EQ(ui_.last_message(), G("导入配置完成！"));
    ASSERT_EQ(w->rows().size(), 1u);
    EXPECT_EQ(w->rows()[0][0], "a");
}

TEST_F(ManagerTest, TheCreateTableWindowDesignsCreatesAndRemembers) {
    QB_REQUIRE_SERVER();
    login(test::server_address().password);
    ASSERT_TRUE(main_->ensure_connected());
    db::execute_sql(main_->connection(), "drop database if exists qb_test_mgr");
    QPointer<CreateTableWindow> w = main_->open_create_table();
    ASSERT_TRUE(w);
    auto* types = w->unit<QComboBox>("组合框类型");
    EXPECT_EQ(types->count(), 26);
    EXPECT_EQ(from_qstring(types->currentText()), G("单精度小数(float)"));
    auto* name = w->unit<QLineEdit>("编辑框字段名");
    // A type is chosen as the operator chooses it: a click in the combo's list.
    auto choose = [&](const std::string& label) {
        types->showPopup();
        QAbstractItemView* view = types->view();
        const QModelIndex item = view->model()->index(types->findText(to_qstring(label)), 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    };
    auto add = [&](const std::string& field, const std::string& label) {
        name->setText(to_qstring(field));
        choose(label);
        w->add_or_modify(false);
    };
    // varchar asks for its length when chosen (0 becomes 255 when the table is made); enum
    // keeps its value list; the parameter belongs to the type, a row keeps what it was given.
    test::answer_text_input("0");
    add(G("标题"), G("变长字符串(varchar)"));
    test::answer_text_input("'a','b'");
    add("kind", G("枚举(enum)"));
    test::answer_text_input("40");
    add("code", G("变长字符串(varchar)"));
    add(G("正文"), G("中等文本(mediumtext)"));
    add(G(" 正文 "), G("文本(text)"));
    EXPECT_EQ(ui_.last_message(), G("字段名不能重复：正文"));
    // The type shown chosen again asks for its length again.
    test::answer_text_input("40");
    choose(G("变长字符串(varchar)"));
    test::answer_text_input("60");
    choose(G("变长字符串(varchar)"));
    name->setText(to_qstring("code2"));
    w->add_or_modify(false);
    EXPECT_EQ(w->rows().back()[2], "60");
    w->unit<QTreeWidget>("超级列表框")
        ->setCurrentItem(w->unit<QTreeWidget>("超级列表框")->topLevelItem(4));
    w->delete_row();
    const auto rows = w->rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::array<std::string, 3>{G("标题"), G("变长字符串(varchar)"), "0"}));
    EXPECT_EQ(rows[1][2], "'a','b'");
    EXPECT_EQ(rows[2][2], "40");
    EXPECT_EQ(rows[3][2], G("无"));

    // The checks, then the creation with its database.
    w->create();
    EXPECT_EQ(ui_.last_message(), G("请输入库名！"));
    main_->unit<QLineEdit>("编辑框库名")->setText(to_qstring("qb_test_mgr"));
    w->create();
    EXPECT_EQ(ui_.last_message(), G("请输入表名！"));
    main_->unit<QLineEdit>("编辑框表名")->setText(to_qstring(G("文章")));
    w->create();
    EXPECT_EQ(ui_.last_message(), G("创建表成功"));
    ASSERT_TRUE(db::execute_sql(main_->connection(), G("show create table qb_test_mgr.`文章`")));
    auto r = db::take_result(main_->connection());
    std::string create;
    r->read_field(1u, create);
    EXPECT_NE(create.find("`ID` bigint(20) NOT NULL AUTO_INCREMENT"), std::string::npos) << create;
    EXPECT_NE(create.find(G("`标题` varchar(255)")), std::string::npos) << create;
    EXPECT_NE(create.find("`code` varchar(40)"), std::string::npos) << create;
    EXPECT_NE(create.find("`kind` enum('a','b')"), std::string::npos) << create;
    EXPECT_NE(create.find("PRIMARY KEY (`ID`)"), std::string::npos) << create;
    EXPECT_NE(create.find("utf8"), std::string::npos) << create;
    // Again: the table exists now.
    w->create();
    EXPECT_EQ(ui_.last_message(), G("创建表失败"));
    // Only the database, which exists.
    w->unit<QCheckBox>("选择框仅新建库")->setChecked(true);
    w->create();
    EXPECT_EQ(ui_.last_message(), G("库已存在！"));
    w->unit<QCheckBox>("选择框仅新建库")->setChecked(false);

    // Loading a row selects its type; modify rewrites it; a row named ID collides.
    w->load_row(2);
    EXPECT_EQ(from_qstring(name->text()), "code");
    EXPECT_EQ(from_qstring(types->currentText()), G("变长字符串(varchar)"));
    auto* list = w->unit<QTreeWidget>("超级列表框");
    list->setCurrentItem(list->topLevelItem(2));  // loads the row into the editors
    name->setText(to_qstring("ID"));
    w->add_or_modify(true);
    EXPECT_EQ(w->rows()[2][0], "ID");
    EXPECT_EQ(w->rows()[2][2], "40");
    main_->unit<QLineEdit>("编辑框表名")->setText(to_qstring("other"));
    w->create();
    EXPECT_EQ(ui_.last_message(), G("创建表失败"));

    // The main window saves only its own units, not those of the window it owns, whose
    // names it shares (组合框类型, 按钮导出配置).
    main_->unit<QComboBox>("组合框类型")->setCurrentIndex(1);
    {
        persist::ConfigStore saved;
        saved.open_file(dir_.file("main.ini"));
        main_->save_field_list(saved);
        saved.set_section(G("主界面"));
        EXPECT_EQ(saved.read_number(G("组合框类型"), -1), 1);
        EXPECT_EQ(saved.read_text(G("选择框仅新建库"), "absent"), "absent");
    }

    // Export, clear, import; then close and reopen: the design comes back.
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("design.ini"))};
    w->export_config();
    EXPECT_EQ(ui_.last_message(), G("导出配置完成！"));
    ui_.answers = {true};
    w->delete_all_rows();
    EXPECT_TRUE(w->rows().empty());
    ui_.open_files = {{qb::text::utf8_to_gbk(dir_.file("design"))}};  // ".ini" added
    w->import_config();
    EXPECT_EQ(ui_.last_message(), G("导入配置完成！"));
    EXPECT_EQ(w->rows().size(), 4u);
    // The main window takes only the field list from such a file.
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(w);
    w = main_->open_create_table();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->rows().size(), 4u);
    EXPECT_EQ(w->rows()[1][2], "'a','b'");
    w->close();
}

}  // namespace
}  // namespace qb::manager
