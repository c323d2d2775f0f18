// Commands run from inside a running loop, where the real event loop would run them: the
// scripted Ui's pump hook. Against the private server, offscreen; grouped by loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "db/connection.h"
#include "list_clicks.h"
#include "main_window_fixture.h"
#include "manager/create_table_window.h"
#include "manager/manager_window.h"
#include "manager/result_list.h"
#include "manager/sql_window.h"
#include "manager/table_viewer.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "relay.h"
#include "test_server.h"
#include "test_util.h"
#include "text_input_script.h"

namespace qb::manager {
namespace {

using platform::from_qstring;
using platform::to_qstring;
using test::G;

class ReentrancyTest : public test::MainWindowFixture {
  protected:
    void TearDown() override {
        ui_.on_pump = nullptr;
        delete manager_.data();
        if (window_->connection())
            for (const char* d : {"qb_test_re1", "qb_test_re2"})
                db::execute_sql(window_->connection(), std::string("drop database if exists ") + d);
        MainWindowFixture::TearDown();
    }
    void sql(const std::string& s) { ASSERT_TRUE(db::execute_sql(window_->connection(), s)) << s; }
    int64_t count(const std::string& table) {
        if (!db::execute_sql(window_->connection(), "select count(*) from " + table)) return -1;
        auto r = db::take_result(window_->connection());
        int64_t n = -1;
        if (r) r->read_field(0u, n);
        return n;
    }
    // Connected, with two databases holding same-named tables, and the manager open on the
    // first.
    void open(int alpha_rows) {
        connect_to_server();
        for (const char* d : {"qb_test_re1", "qb_test_re2"}) {
            const std::string db = d;
            sql("drop database if exists " + db);
            sql("create database " + db);
            sql("create table " + db + ".t (ID bigint auto_increment primary key, name tinytext)");
            sql("create table " + db + ".alpha (id int, title varchar(20))");
            sql("create table " + db + ".beta (id int, title varchar(20))");
            sql("insert into " + db + ".beta values (1, 'b1'), (2, 'b2'), (3, 'b3')");
        }
        for (int i = 0; i < alpha_rows; ++i)
            sql("insert into qb_test_re1.alpha values (" + std::to_string(i) + ", 'a')");
        manager_ = window_->open_manager();
        ASSERT_TRUE(manager_);
        select_database("qb_test_re1");
    }
    QListWidget* list(const char* name) { return manager_->unit<QListWidget>(name); }
    void select_row(QListWidget* l, const std::string& caption) {
        for (int r = 0; r < l->count(); ++r)
            if (from_qstring(l->item(r)->text()) == caption) {
                l->clearSelection();
                l->setCurrentRow(r);
                return;
            }
        ADD_FAILURE() << caption << " not listed";
    }
    void select_database(const std::string& name) { select_row(list("超级列表框库列表"), name); }
    void select_table(const std::string& name) { select_row(list("超级列表框表列表"), name); }
    bool shown(const std::string& message) const {
        const std::vector<std::string> m = ui_.messages();
        return std::find(m.begin(), m.end(), message) != m.end();
    }
    // Queued calls and deferred deletions, as the event loop would run them after the loop.
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QPointer<ManagerWindow> manager_;
};

TEST_F(ReentrancyTest, DuringAnImportOtherCommandsAreRefusedAndEveryRowGoesWhereItWasSent) {
    QB_REQUIRE_SERVER();
    open(0);
    // More files than one statement takes: the caption moves during the run.
    for (int i = 0; i < 250; ++i)
        test::write_file(dir_.file("a" + std::to_string(i) + ".txt"), "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.path().string()));
    set("编辑框文件类型", "*.txt");
    set("编辑框库名", "qb_test_re1");
    set("编辑框表名", "t");
    const std::vector<mapping::FieldMapping> fields{{"name", G("文件主名"), ""}};
    window_->set_field_rows(fields);
    auto* sql_window = new SqlWindow(*window_, manager_);
    sql_window->set_sql_text("use qb_test_re2;");
    CreateTableWindow* create = window_->open_create_table();
    ASSERT_TRUE(create);

    bool done = false;
    bool units_disabled = false;
    ui_.on_pump = [&] {
        if (done || from_qstring(window_->unit<QPushButton>("按钮导入")->text()).rfind(G("总 "), 0))
            return;
        done = true;
        // Whatever moves the connection to the other database, the rows stay in qb_test_re1.
        db::select_database(window_->connection(), "qb_test_re2");
        units_disabled = !manager_->unit<QGroupBox>("分组框库")->isEnabled() &&
                         !manager_->unit<QGroupBox>("分组框表")->isEnabled() &&
                         !sql_window->unit<QPushButton>("按钮执行")->isEnabled() &&
                         !create->unit<QPushButton>("按钮执行创建")->isEnabled() &&
                         !window_->unit<QPushButton>("按钮读表字段")->isEnabled() &&
                         !window_->unit<QPushButton>("按钮表列表")->isEnabled() &&
                         !window_->unit<QPushButton>("按钮导出")->isEnabled() &&
                         window_->unit<QPushButton>("按钮导入")->isEnabled();
        // Calls that reach the units anyway are refused with the reason.
        sql_window->run();
        set("编辑框表名", "beta");
        window_->read_table_columns();
        set("编辑框表名", "t");
        window_->show_table_popup();
        create->create();
        manager_->drop_tables(true);
        window_->toggle_connection();
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    ASSERT_TRUE(done);
    EXPECT_TRUE(units_disabled);
    EXPECT_TRUE(shown(G("正在导入文章，请等它结束后再试！")));
    EXPECT_TRUE(shown(G("正在导入文章，请先停止导入再断开连接！")));
    EXPECT_EQ(sql_window->statements()->topLevelItemCount(), 0);
    ASSERT_EQ(window_->field_rows().size(), 1u);
    EXPECT_EQ(window_->field_rows()[0].field, "name");
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 250 篇文章，当前表有 250 条记录！"));
    EXPECT_EQ(count("qb_test_re1.t"), 250);
    EXPECT_EQ(count("qb_test_re2.t"), 0);
    EXPECT_EQ(count("qb_test_re2.beta"), 3);
    // Afterwards the units work again.
    EXPECT_TRUE(manager_->unit<QGroupBox>("分组框表")->isEnabled());
    EXPECT_TRUE(sql_window->unit<QPushButton>("按钮执行")->isEnabled());
    EXPECT_TRUE(window_->unit<QPushButton>("按钮导出")->isEnabled());
}

TEST_F(ReentrancyTest, DuringAListFillTheViewerWaitsForItsNextTableAndClosesAfterTheFill) {
    QB_REQUIRE_SERVER();
    // Rows that come in many chunks: 600 of 20 KB.
    open(0);
    sql("alter table qb_test_re1.alpha modify title mediumtext");
    sql("insert into qb_test_re1.alpha select seq, repeat('a', 20000) from seq_0_to_599");
    select_table("alpha");
    int pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps != 20) return;
        // Another table chosen, the SQL window run, a disconnect: none frees the rows read.
        select_table("beta");
        auto* w = new SqlWindow(*window_, manager_);
        w->set_sql_text("select 1;");
        w->run();
        EXPECT_EQ(w->statements()->topLevelItemCount(), 0);
        window_->toggle_connection();
    };
    manager_->open_viewer(false);
    ui_.on_pump = nullptr;
    QPointer<TableViewer> viewer = manager_->viewer();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->list()->row_count(), 600);
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 alpha 记录列表(600)"));
    EXPECT_TRUE(shown(G("正在读取记录，请等它结束后再试！")));
    EXPECT_TRUE(window_->connection());
    settle();
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 beta 记录列表(3)"));

    // Closing the viewer during its fill stops the fill; the window goes after it.
    pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps == 10) viewer->close();
    };
    select_table("alpha");
    ui_.on_pump = nullptr;
    EXPECT_LE(pumps, 12);
    ASSERT_TRUE(viewer);
    EXPECT_TRUE(viewer->isHidden());
    EXPECT_LT(viewer->list()->row_count(), 600);
    settle();
    EXPECT_FALSE(viewer);
    EXPECT_TRUE(window_->busy().idle());
}

// A table of many chunks: the first rows show while the rest still arrive; a selection of
// rows far apart is copied and deleted exactly; the export stops when the viewer closes; the
// SQL window keeps a whole large result; and an import runs while the viewer scrolls.
TEST_F(ReentrancyTest, ALargeTableShowsItsFirstRowsAtOnceAndEveryCommandReachesEveryRow) {
    QB_REQUIRE_SERVER();
    open(0);
    sql("alter table qb_test_re1.alpha modify title mediumtext, add primary key (id)");
    sql("insert into qb_test_re1.alpha select seq, concat(seq, repeat('a', 4000)) from "
        "seq_0_to_1999");
    select_table("alpha");
    int first_rows = 0;
    QString first_cell;
    ui_.on_pump = [&] {
        TableViewer* v = manager_->viewer();
        if (first_rows || !v || v->list()->row_count() == 0) return;
        first_rows = v->list()->row_count();
        first_cell = v->list()->model()->index(0, 0).data().toString();
    };
    manager_->open_viewer(false);
    ui_.on_pump = nullptr;
    TableViewer* viewer = manager_->viewer();
    ResultList* list = viewer->list();
    EXPECT_GT(first_rows, 0);
    EXPECT_LT(first_rows, 200);
    EXPECT_EQ(first_cell, QStringLiteral("0"));
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 alpha 记录列表(2000)"));

    test::click_row(list, 3);
    test::click_row(list, 1990);
    list->copy_rows(list->selected_rows());
    const std::string copied = ui_.clipboard_text();
    EXPECT_EQ(copied,
              "3\t3" + std::string(4000, 'a') + "\r\n1990\t1990" + std::string(4000, 'a') + "\r\n");
    viewer->delete_rows(false);
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("总 2 条要删除的记录，实际删除成功 2 条"));
    EXPECT_EQ(count("qb_test_re1.alpha where id in (3, 1990)"), 0);
    EXPECT_EQ(count("qb_test_re1.alpha"), 1998);
    ASSERT_EQ(list->row_count(), 1998);
    EXPECT_EQ(list->cells(1989)[0], "1991");

    // The export written in steps: closing the viewer stops it, and the viewer goes after.
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("all.csv"))};
    viewer->export_rows();
    EXPECT_EQ(ui_.last_message(), G("保存成功！"));
    const std::string all = test::read_file(dir_.file("all.csv"));
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1999);
    EXPECT_EQ(all.rfind("\r\n1999\t1999" + std::string(4000, 'a') + "\r\n"), all.size() - 4013);
    EXPECT_EQ(all.find("\n3\t"), std::string::npos);

    // The SQL window's rows: the whole result, any row of it.
    auto* w = new SqlWindow(*window_, manager_);
    w->set_sql_text("select id, title from qb_test_re1.alpha order by id desc;");
    w->run();
    w->statements()->setCurrentItem(w->statements()->topLevelItem(0));
    ASSERT_EQ(w->results()->row_count(), 1998);
    EXPECT_EQ(w->results()->cells(1997)[0], "0");
    EXPECT_EQ(w->results()->cells(0)[0], "1999");
    w->close();

    // An import while the viewer scrolls: no statement of the viewer's, and every row goes to
    // the import's table.
    for (int i = 0; i < 250; ++i)
        test::write_file(dir_.file("a" + std::to_string(i) + ".txt"), "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.path().string()));
    set("编辑框文件类型", "*.txt");
    set("编辑框库名", "qb_test_re2");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}});
    int scrolls = 0;
    bool rows_read = true;
    ui_.on_pump = [&] {
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(scrolls++ % 2 ? bar->maximum() : bar->maximum() / 3);
        const QModelIndex top = list->indexAt(QPoint(2, 2));
        rows_read = rows_read && top.isValid() && !top.data().toString().isEmpty();
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    EXPECT_GT(scrolls, 0);
    EXPECT_TRUE(rows_read);
    EXPECT_EQ(ui_.last_message(), G("导入完成，已导入 250 篇文章，当前表有 250 条记录！"));
    EXPECT_EQ(count("qb_test_re2.t"), 250);

    // Closing the viewer while it writes the file: the export ends early and says so.
    ui_.save_files = {qb::text::utf8_to_gbk(dir_.file("part.csv"))};
    QPointer<TableViewer> closing = viewer;
    ui_.on_pump = [&] {
        if (closing) closing->close();
    };
    viewer->export_rows();
    ui_.on_pump = nullptr;
    EXPECT_EQ(ui_.last_message(), G("已停止导出，文件中只有前面的记录！"));
    EXPECT_LT(test::read_file(dir_.file("part.csv")).size(), 1998u * 4000);
    settle();
    EXPECT_FALSE(closing);
}

// A link that dies while the rows arrive: the rows so far stay shown and the viewer says the
// list is cut off, instead of passing it off as the whole table.
TEST_F(ReentrancyTest, RowsCutOffByALostLinkAreSaidToBeCutOff) {
    QB_REQUIRE_SERVER();
    open(0);
    sql("alter table qb_test_re1.alpha modify title mediumtext");
    sql("insert into qb_test_re1.alpha select seq, repeat('a', 20000) from seq_0_to_599");
    window_->toggle_connection();  // closes the manager
    const auto a = test::server_address();
    test::Relay relay(a.host, a.port);
    set("编辑框服务器", relay.address());
    window_->set_short_answer_seconds(1);
    window_->toggle_connection();
    ASSERT_TRUE(window_->connection());
    manager_ = window_->open_manager();
    ASSERT_TRUE(manager_);
    select_database("qb_test_re1");
    select_table("alpha");
    ui_.on_pump = [&] {
        if (manager_->viewer() && manager_->viewer()->list()->row_count() > 0) relay.go_dead();
    };
    manager_->open_viewer(false);
    ui_.on_pump = nullptr;
    const int shown_rows = manager_->viewer()->list()->row_count();
    EXPECT_GT(shown_rows, 0);
    EXPECT_LT(shown_rows, 600);
    EXPECT_EQ(ui_.last_message(),
              G("读取表 alpha 时出错（连接中断或服务器停止发送），只显示了前 ") +
                  std::to_string(shown_rows) + G(" 条"));
    EXPECT_TRUE(window_->busy().idle());
}

// The window's import whose server dies goes on with the next server of the list without a
// box to hold it up: the caption and the button's tooltip say the switch, the summary again.
TEST_F(ReentrancyTest, TheWindowsImportGoesOnWithTheNextServer) {
    QB_REQUIRE_TLS_SERVERS();
    const auto a = test::server_address();
    const auto plain = test::plain_server_address();
    std::string error;
    auto on_plain =
        db::open_connection(plain.host, plain.user, plain.password, {}, plain.port, &error);
    ASSERT_TRUE(on_plain) << error;
    db::execute_sql(on_plain.get(), "drop database if exists qb_test_re1");
    ASSERT_TRUE(db::execute_sql(on_plain.get(), "create database qb_test_re1"));
    ASSERT_TRUE(db::execute_sql(
        on_plain.get(),
        "create table qb_test_re1.t (ID bigint auto_increment primary key, name tinytext)"));
    open(0);
    window_->toggle_connection();
    test::Relay relay(a.host, a.port);
    set("编辑框服务器", relay.address() + "," + plain.text());
    window_->toggle_connection();
    ASSERT_TRUE(window_->connection());
    for (int i = 0; i < 1000; ++i)
        test::write_file(dir_.file("a" + std::to_string(i) + ".txt"), "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(dir_.path().string()));
    set("编辑框文件类型", "*.txt");
    set("编辑框库名", "qb_test_re1");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}});
    // Counted beside the run, on a connection of its own.
    auto on_a = test::connect_to_test_server();
    auto rows_on = [](db::Connection* c) {
        int64_t n = -1;
        if (db::execute_sql(c, "select count(*) from qb_test_re1.t"))
            db::take_result(c)->read_field(0u, n);
        return n;
    };
    std::string caption_after;
    bool cut = false;
    ui_.on_pump = [&] {
        if (!cut && rows_on(on_a.get()) >= 200) {
            relay.cut();
            cut = true;
        }
        const std::string caption = from_qstring(window_->windowTitle());
        if (caption.rfind(G("已切换到服务器 "), 0) == 0) caption_after = caption;
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    EXPECT_EQ(caption_after, G("已切换到服务器 ") + plain.text());
    const std::vector<std::string> shown = ui_.messages();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find(G("连接断开后已切换到服务器 ") + plain.text()), std::string::npos);
    EXPECT_EQ(
        std::count_if(shown.begin(), shown.end(),
                      [](const std::string& m) { return m.rfind(G("已切换到服务器"), 0) == 0; }),
        0);  // no box held the run up
    EXPECT_NE(from_qstring(window_->unit<QPushButton>("按钮建立连接")->toolTip())
                  .find(G("已连接服务器 ") + plain.text()),
              std::string::npos);
    EXPECT_TRUE(cut);
    EXPECT_GT(rows_on(on_plain.get()), 0);
    db::execute_sql(on_plain.get(), "drop database qb_test_re1");
}

// An operator's statement that runs long: the window keeps painting (its pump runs), and 执行
// again cancels the statement on the server; closing the window cancels it too and closes.
TEST_F(ReentrancyTest, ALongSqlStatementKeepsTheWindowAliveAndIsCancelled) {
    QB_REQUIRE_SERVER();
    open(0);
    QPointer<SqlWindow> w = new SqlWindow(*window_, manager_);
    for (bool by_close : {false, true}) {
        w->set_sql_text("select sleep(60);\r\nselect 2;");
        int pumps = 0;
        ui_.on_pump = [&] {
            if (++pumps != 40) return;
            if (by_close)
                w->close();
            else
                QTest::mouseClick(w->unit<QPushButton>("按钮执行"), Qt::LeftButton);
        };
        const auto started = std::chrono::steady_clock::now();
        w->run();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_GE(pumps, 40);
        EXPECT_LT(took, 20.0);
        EXPECT_EQ(count("information_schema.processlist where info like 'select sleep(60)%'"), 0);
        ui_.on_pump = nullptr;
        if (!by_close) {
            EXPECT_EQ(w->statements()->topLevelItemCount(), 1);  // the second line never ran
            EXPECT_TRUE(window_->busy().idle());
        }
    }
    settle();
    EXPECT_FALSE(w);
}

// A "use" line holds for the lines after it, whatever selects another database between them.
TEST_F(ReentrancyTest, ASqlRunKeepsItsOwnDatabase) {
    QB_REQUIRE_SERVER();
    open(0);
    auto* w = new SqlWindow(*window_, manager_);
    w->set_sql_text(
        "use qb_test_re2;\r\ninsert into t (name) values ('x');\r\ninsert into t (name) "
        "values ('y');");
    ui_.on_pump = [&] {
        QTreeWidget* rows = w->statements();
        const int n = rows->topLevelItemCount();
        // Between two lines (never while one is under way): another command selects.
        if (n > 0 && rows->topLevelItem(n - 1)->text(2) != platform::qtr("正在执行.."))
            db::select_database(window_->connection(), "qb_test_re1");
    };
    w->run();
    ui_.on_pump = nullptr;
    EXPECT_EQ(count("qb_test_re2.t"), 2);
    EXPECT_EQ(count("qb_test_re1.t"), 0);
    // Nothing is sent between the operator's lines: a statement's warnings are still there
    // for the next line.
    w->set_sql_text("select 1/0;\r\nshow warnings;");
    w->run();
    w->statements()->setCurrentItem(w->statements()->topLevelItem(1));
    EXPECT_EQ(w->results()->row_count(), 1);
    w->close();
    settle();
}

// Clicks while the create-table window restores its design (its restore lets events run): a
// second click on the picture makes no second window, and a disconnect closes the window
// only after the restore, so the saved design is not overwritten with half of it.
TEST_F(ReentrancyTest, ClicksDuringTheCreateTableWindowsRestore) {
    QB_REQUIRE_SERVER();
    connect_to_server();
    {
        QPointer<CreateTableWindow> first = window_->open_create_table();
        ASSERT_TRUE(first);
        first->set_rows({{"a", G("文本(text)"), G("无")}, {"b", G("文本(text)"), G("无")}});
        first->close();
        settle();
    }
    const std::string saved = test::read_file(dir_.file("s.ini"));
    ASSERT_NE(saved.find(G("字段数=2")), std::string::npos);
    int made = 0, pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps == 3) {
            QTest::mouseClick(window_->unit<QLabel>("图片新建表"), Qt::LeftButton);
            QTest::mouseClick(window_->unit<QPushButton>("按钮建立连接"), Qt::LeftButton);
        }
    };
    QPointer<CreateTableWindow> w = window_->open_create_table();
    ui_.on_pump = nullptr;
    made = static_cast<int>(window_->findChildren<CreateTableWindow*>().size());
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(window_->connection());
    settle();
    settle();
    EXPECT_FALSE(w);  // closed by the disconnect, after its restore
    EXPECT_NE(test::read_file(dir_.file("s.ini")).find(G("字段数=2")), std::string::npos);
}

TEST_F(ReentrancyTest, DuringTheSqlRunASecondPressStopsAndACloseWaits) {
    QB_REQUIRE_SERVER();
    open(0);
    sql("create procedure qb_test_re1.two() begin select 11; select 22; end");
    QPointer<SqlWindow> w = new SqlWindow(*window_, manager_);
    // A CALL with two result sets: the first is shown, the next statement still runs.
    w->set_sql_text("call qb_test_re1.two();\r\nselect 33;");
    w->run();
    QTreeWidget* statements = w->statements();
    ASSERT_EQ(statements->topLevelItemCount(), 2);
    EXPECT_EQ(from_qstring(statements->topLevelItem(0)->text(2)), G("执行成功！"));
    EXPECT_EQ(from_qstring(statements->topLevelItem(1)->text(2)), G("执行成功！"));
    statements->setCurrentItem(statements->topLevelItem(0));
    EXPECT_EQ(w->results()->cells(0), (std::vector<std::string>{"11"}));

    // 执行 pressed again: the run ends after the statement under way.
    w->set_sql_text("select 1;\r\nselect 2;\r\nselect 3;\r\nselect 4;");
    int pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps == 1) QTest::mouseClick(w->unit<QPushButton>("按钮执行"), Qt::LeftButton);
    };
    w->run();
    EXPECT_EQ(statements->topLevelItemCount(), 1);
    EXPECT_EQ(from_qstring(statements->topLevelItem(0)->text(2)), G("执行成功！"));
    EXPECT_TRUE(w->unit<QPushButton>("按钮执行")->isEnabled());

    // A row chosen during the run shows its rows after it; a close goes after the run.
    pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps == 2) statements->setCurrentItem(statements->topLevelItem(0));
        if (pumps == 4) w->close();
    };
    w->run();
    ui_.on_pump = nullptr;
    EXPECT_LT(statements->topLevelItemCount(), 4);
    EXPECT_TRUE(w->isHidden());
    store_.set_section(G("SQL查询"));
    EXPECT_EQ(store_.read_text(G("语句"), ""), "select 1;\r\nselect 2;\r\nselect 3;\r\nselect 4;");
    settle();
    EXPECT_FALSE(w);
}

TEST_F(ReentrancyTest, TheViewerAndManagerCommandsActOnTheTableThatWasChosen) {
    QB_REQUIRE_SERVER();
    open(8);
    sql("insert into qb_test_re2.alpha values (100, 'other')");
    select_table("alpha");
    manager_->open_viewer(false);
    TableViewer* viewer = manager_->viewer();
    ASSERT_EQ(viewer->list()->row_count(), 8);
    // Another table chosen and the connection moved during the delete: the shown rows go.
    int pumps = 0;
    ui_.on_pump = [&] {
        if (++pumps != 2) return;
        select_table("beta");
        db::select_database(window_->connection(), "qb_test_re2");
    };
    viewer->delete_rows(true);
    ui_.on_pump = nullptr;
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("总 8 条要删除的记录，实际删除成功 8 条"));
    EXPECT_EQ(count("qb_test_re1.alpha"), 0);
    EXPECT_EQ(count("qb_test_re1.beta"), 3);
    EXPECT_EQ(count("qb_test_re2.alpha"), 1);
    EXPECT_EQ(count("qb_test_re2.beta"), 3);
    settle();
    EXPECT_EQ(from_qstring(viewer->windowTitle()), G("表 beta 记录列表(3)"));

    // A USE in the SQL window does not redirect the manager's clear and rename.
    auto* w = new SqlWindow(*window_, manager_);
    w->set_sql_text("use qb_test_re2;");
    w->run();
    select_table("beta");
    manager_->drop_tables(true);
    EXPECT_EQ(count("qb_test_re1.beta"), 0);
    EXPECT_EQ(count("qb_test_re2.beta"), 3);
    db::select_database(window_->connection(), "qb_test_re2");
    test::answer_text_input("gamma");
    manager_->rename_table();
    EXPECT_EQ(count("qb_test_re1.gamma"), 0);
    EXPECT_EQ(count("qb_test_re2.beta"), 3);
    EXPECT_EQ(count("qb_test_re2.gamma"), -1);
}

TEST_F(ReentrancyTest, ADropStartsItsImportAfterTheDropEventAndAFolderListingStops) {
    int calls = 0;
    window_->set_drop_handler([&](int, int, const std::string&) { ++calls; });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("a.txt")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(calls, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);

    // One folder of many files: the listing lets events run, and the stop request ends it.
    QB_REQUIRE_SERVER();
    open(0);
    const std::string folder = dir_.file("many");
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 3000; ++i) test::write_file(folder + "/" + std::to_string(i) + ".txt", "x");
    set("编辑框文章目录", qb::text::utf8_to_gbk(folder));
    set("编辑框库名", "qb_test_re1");
    set("编辑框表名", "t");
    window_->set_field_rows({{"name", G("文件主名"), ""}});
    int pumps_while_listing = 0;
    ui_.on_pump = [&] {
        if (from_qstring(window_->unit<QPushButton>("按钮导入")->text()) != G("正在读取文章列表.."))
            return;
        if (++pumps_while_listing == 1)
            QTest::mouseClick(window_->unit<QPushButton>("按钮导入"), Qt::LeftButton);
    };
    window_->start_import(false);
    ui_.on_pump = nullptr;
    EXPECT_EQ(pumps_while_listing, 1);
    EXPECT_EQ(count("qb_test_re1.t"), 0);
}

}  // namespace
}  // namespace qb::manager
