#include "import/import_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "db/connection.h"
#include "db/statements.h"
#include "export/export_run.h"
#include "import/collect.h"
#include "import/column_types.h"
#include "test_server.h"
#include "test_util.h"
#include "text/codepage.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::import {
namespace {

using mapping::FieldMapping;
using test::G;

TEST(ColumnTypes, ListLookupAndSourceTypes) {
    EXPECT_EQ(column_type_list().rfind(G("\r\n[0]小数(decimal)\r\n"), 0), 0u);
    EXPECT_EQ(lookup_type_code("text"), 25203);
    EXPECT_EQ(lookup_type_code("tinytext"), 25202);
    // Every entry's name gives its own code and back ("decimal"'s 0 is also "not found": the
    // round trip tells them apart).
    const std::string list = column_type_list();
    for (size_t open = list.find('('); open != std::string::npos; open = list.find('(', open + 1)) {
        const std::string name = list.substr(open + 1, list.find(')', open) - open - 1);
        const size_t bracket = list.rfind('[', open);
        const int code = std::stoi(list.substr(bracket + 1));
        EXPECT_EQ(lookup_type_code(name), code) << name;
        EXPECT_EQ(db::type_name(code), name);
    }
    EXPECT_EQ(lookup_type_code("set"), 25402);
    EXPECT_EQ(lookup_type_code("nosuch"), 0);
    EXPECT_EQ(type_for_source(G("文件内容")), "mediumtext");
    EXPECT_EQ(type_for_source(G("文件时间")), "datetime");
    EXPECT_EQ(type_for_source(G("固定文本")), "text");
    EXPECT_EQ(type_for_source(G("请设置")), "text");
}

class CollectTest : public ::testing::Test {
  protected:
    std::string make(const std::string& rel, const std::string& bytes = "x") {
        const std::string p = dir_.file(rel);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        test::write_file(p, bytes);
        return p;
    }
    std::vector<std::string> names(const std::vector<std::string>& paths) {
        std::vector<std::string> out;
        for (const auto& p : paths) out.push_back(p.substr(dir_.path().string().size() + 1));
        return out;
    }
    test::TempDir dir_;
};

TEST_F(CollectTest, PatternsOrderSubfoldersAndLoops) {
    make("b.html");
    make("a.txt");
    make("sub/c.txt");
    make("sub/deeper/d.txt");
    make("A2.TXT");
    std::filesystem::create_directory_symlink(dir_.path(), dir_.path() / "sub" / "loop");
    const std::string root = dir_.path().string();

    std::vector<std::string> out;
    list_folder_entries(root, "*.txt|*.html", out, false);
    EXPECT_EQ(names(out), (std::vector<std::string>{"A2.TXT", "a.txt", "b.html"}));
    out.clear();
    list_folder_entries(root, "*.txt|*.*", out, false);
    EXPECT_EQ(names(out),
              (std::vector<std::string>{"A2.TXT", "a.txt", "A2.TXT", "a.txt", "b.html"}));

    out.clear();
    CollectOptions options;
    options.patterns_gbk = "*.txt";
    options.include_subfolders = true;
    collect_article_files(out, root, options);  // the link loop is not followed
    EXPECT_EQ(names(out),
              (std::vector<std::string>{"A2.TXT", "a.txt", "sub/c.txt", "sub/deeper/d.txt"}));

    out.clear();
    options.whole_pattern = true;
    options.patterns_gbk = "*.TXT";
    options.include_subfolders = false;
    collect_article_files(out, root, options);
    EXPECT_EQ(names(out), (std::vector<std::string>{"A2.TXT", "a.txt"}));
    out.clear();
    options.patterns_gbk = "a?.t*";
    collect_article_files(out, root, options);
    EXPECT_EQ(names(out), (std::vector<std::string>{"A2.TXT", "a.txt"}));

    // A stop request keeps what was collected and descends no further.
    out.clear();
    options = {};
    options.include_subfolders = true;
    options.stop_requested = [] { return true; };
    collect_article_files(out, root, options);
    EXPECT_EQ(out.size(), 3u);
    out.clear();
    list_folder_entries(dir_.file("missing"), "*.*", out, false);
    EXPECT_TRUE(out.empty());
}

TEST_F(CollectTest, AHundredThousandEntries) {
    for (int i = 0; i < 100000; ++i) {
        std::FILE* f =
            std::fopen(dir_.file("n" + std::to_string(i) + (i % 2 ? ".txt" : ".dat")).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    std::vector<std::string> out;
    CollectOptions options;
    options.patterns_gbk = "*.txt";
    collect_article_files(out, dir_.path().string(), options);
    EXPECT_EQ(out.size(), 50000u);
}

// A host that records what the run shows and holds the field list.
class TestHost : public ImportHost {
  public:
    explicit TestHost(std::vector<FieldMapping> rows) : rows(std::move(rows)) {}
    void message(const std::string& text) override { messages.push_back(text); }
    void focus(Box b) override { focused.push_back(b); }
    bool stop_requested() override { return stop_after >= 0 && done >= stop_after; }
    bool ctrl_held() override { return ctrl; }
    std::vector<FieldMapping> field_rows() override { return rows; }
    void set_field_name(const FieldMapping& row, size_t position,
                        const std::string& name) override {
        for (auto& r : rows)
            if (row.id != 0 && r.id == row.id) r.field = name;
        if (row.id == 0) rows[position].field = name;
    }
    void file_done(const std::string& path, bool ok, const std::string& reason, size_t,
                   size_t) override {
        ++done;
        if (!ok) failures.push_back(path + ": " + reason);
        if (after_file) after_file();
    }
    std::function<void()> after_file;
    std::vector<FieldMapping> rows;
    std::vector<std::string> messages, failures;
    std::vector<Box> focused;
    int stop_after = -1;
    int done = 0;
    bool ctrl = false;
};

class ImportRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::server_configured()) GTEST_SKIP() << "QB_TEST_SERVER not set";
        c_ = test::connect_to_test_server();
        ASSERT_TRUE(c_);
        db::execute_sql(c_.get(), "drop database if exists qb_test_import");
        settings_.database = "qb_test_import";
        settings_.table = "t";
    }
    std::string make(const std::string& name, const std::string& bytes) {
        const std::string p = dir_.file(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        test::write_file(p, bytes);
        return p;
    }
    std::vector<std::vector<std::string>> rows(const std::string& query) {
        std::vector<std::vector<std::string>> out;
        if (!db::execute_sql(c_.get(), query)) return out;
        auto r = db::take_result(c_.get());
        for (uint64_t i = 0; r && i < r->row_count(); ++i) {
            r->move_to_row(i);
            std::vector<std::string> row;
            for (unsigned k = 0; k < r->field_count(); ++k) {
                std::string v;
                r->read_field(k, v);
                row.push_back(v);
            }
            out.push_back(row);
        }
        return out;
    }
    std::unique_ptr<db::Connection> c_;
    ImportSettings settings_;
    test::TempDir dir_;
};

TEST_F(ImportRunTest, CreatesDatabaseAndTableAndFillsEveryColumn) {
    const std::string sep = G("┊?┊");
    TestHost host({{"ID", G("文件主名"), ""},
                   {G("标题"), G("文件主名"), ""},
                   {G("内容"), G("文件内容"), ""},
                   {"page", G("网页标题"), "<title>" + sep + "</title>"},
                   {"fixed", G("固定文本"), G("固定的")},
                   {"empty", G("固定文本"), ""},
                   {"unset", G("请设置"), ""},
                   {"folder", G("父目录名"), ""},
                   {"t", G("文件时间"), ""}});
    std::vector<std::string> files = {
        make("文章/a.txt", G("第一篇<title>标题一</title>")),
        make("b.html", "\xEF\xBB\xBF<TITLE>T2</TITLE>" + std::string("\xE4\xB8\xAD", 3)),
        make("it's a \"quote\" -x|%.txt", ""),
        make("binary.dat", std::string("\0\x01\xFF\x81", 4))};
    ImportResult r = run_import(c_.get(), settings_, files, host);
    ASSERT_TRUE(r.prepared);
    // The binary file's bytes are no text the utf8 columns can hold: the server refuses that
    // one row, says why, and the others go in.
    EXPECT_EQ(r.imported, 3u);
    EXPECT_EQ(r.failed, 1u);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].find("binary.dat: Incorrect string value"), std::string::npos);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0],
              G("导入完成，已导入 3 篇文章，当前表有 3 条记录！\r\n有 1 篇文章导入失败。"));

    auto create = rows("show create table qb_test_import.t");
    ASSERT_EQ(create.size(), 1u);
    const std::string& ddl = create[0][1];
    EXPECT_NE(ddl.find("`ID` bigint(20) NOT NULL AUTO_INCREMENT"), std::string::npos) << ddl;
    EXPECT_NE(ddl.find("`" + G("标题") + "` tinytext DEFAULT NULL"), std::string::npos);
    EXPECT_NE(ddl.find("`" + G("内容") + "` mediumtext"), std::string::npos);
    EXPECT_NE(ddl.find("`fixed` text"), std::string::npos);
    EXPECT_NE(ddl.find("`t` datetime"), std::string::npos);
    EXPECT_NE(ddl.find("PRIMARY KEY (`ID`)"), std::string::npos);
    EXPECT_NE(ddl.find("CHARSET=utf8"), std::string::npos);
    EXPECT_EQ(ddl.find("`ID` bigint", ddl.find("`ID` bigint") + 1), std::string::npos);

    auto data = rows("select " + G("标题") + ", " + G("内容") +
                     ", page, fixed, empty, unset, folder, t from qb_test_import.t order by ID");
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0][0], "a");
    EXPECT_EQ(data[0][1], G("第一篇<title>标题一</title>"));
    EXPECT_EQ(data[0][2], G("标题一"));
    EXPECT_EQ(data[0][3], G("固定的"));
    EXPECT_EQ(data[0][4], " ");  // an empty value is stored as one space
    EXPECT_EQ(data[0][5], G("请设置数据来源"));
    EXPECT_EQ(data[0][6], G("文章"));
    EXPECT_EQ(data[0][7].size(), 19u);
    EXPECT_EQ(data[1][2], "T2");
    EXPECT_EQ(data[1][1], "<TITLE>T2</TITLE>" + G("中"));
    EXPECT_EQ(data[2][0], "it's a \"quote\" -x|%");
}

TEST_F(ImportRunTest, PositionsOnAnExistingTableAndFailedRows) {
    ASSERT_TRUE(db::execute_sql(c_.get(), "create database qb_test_import"));
    ASSERT_TRUE(db::execute_sql(c_.get(),
                                "create table qb_test_import.t (ID int auto_increment "
                                "primary key, name varchar(50), body text)"));
    TestHost host({{"2", G("文件主名"), ""}, {"3", G("文件内容"), ""}});
    std::vector<std::string> files = {make("one.txt", "1"), make("two.txt", "2")};
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, 2u);
    EXPECT_EQ(host.rows[0].field, "name");  // written back after the first file
    EXPECT_EQ(host.rows[1].field, "body");
    EXPECT_EQ(rows("select name, body from qb_test_import.t order by ID"),
              (std::vector<std::vector<std::string>>{{"one", "1"}, {"two", "2"}}));

    // A position past the last column names no column: every insert fails and is counted.
    TestHost beyond({{"9", G("文件主名"), ""}});
    r = run_import(c_.get(), settings_, files, beyond);
    EXPECT_EQ(r.imported, 0u);
    EXPECT_EQ(r.failed, 2u);
    EXPECT_EQ(beyond.rows[0].field, "9");
    ASSERT_EQ(beyond.failures.size(), 2u);
    EXPECT_NE(beyond.failures[0].find("Unknown column '9'"), std::string::npos)
        << beyond.failures[0];
    EXPECT_EQ(beyond.messages.back(),
              G("导入完成，已导入 0 篇文章，当前表有 2 条记录！\r\n有 2 篇文章导入失败。"));

    // A FIFO and a folder among the files: failures with their reason, no empty rows, and
    // the run goes on past them (a FIFO with no writer would have held it for ever).
    const std::string fifo = dir_.file("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(dir_.file("folder.txt"));
    TestHost special({{"name", G("文件主名"), ""}});
    r = run_import(c_.get(), settings_, {fifo, dir_.file("folder.txt"), files[0]}, special);
    EXPECT_EQ(r.imported, 1u);
    EXPECT_EQ(r.failed, 2u);
    EXPECT_EQ(special.failures, (std::vector<std::string>{
                                    fifo + ": " + G("不是普通文件，没有读取"),
                                    dir_.file("folder.txt") + ": " + G("不是普通文件，没有读取")}));
    EXPECT_EQ(rows("select count(*) from qb_test_import.t")[0][0], "3");

    // Ctrl held: the table is emptied first.
    TestHost again({{"name", G("文件主名"), ""}});
    again.ctrl = true;
    r = run_import(c_.get(), settings_, files, again);
    EXPECT_EQ(r.row_count, 2);
    EXPECT_EQ(rows("select count(*) from qb_test_import.t")[0][0], "2");

    // A table that cannot be emptied (a view over a grouping) is said to be, and no rows are
    // added to it.
    ASSERT_TRUE(db::execute_sql(
        c_.get(),
        "create view qb_test_import.v as select name from qb_test_import.t group by name"));
    TestHost view({{"name", G("文件主名"), ""}});
    view.ctrl = true;
    ImportSettings on_view = settings_;
    on_view.table = "v";
    r = run_import(c_.get(), on_view, files, view);
    EXPECT_FALSE(r.prepared);
    EXPECT_EQ(view.done, 0);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind(G("清空表 v 的记录失败，没有导入任何文章！\r\n"), 0), 0u)
        << view.messages[0];
    EXPECT_EQ(rows("select count(*) from qb_test_import.t")[0][0], "2");
}

TEST_F(ImportRunTest, RandomOrderStopAndPreparationMessages) {
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) files.push_back(make("f" + std::to_string(i) + ".txt", "x"));
    settings_.random_order = true;
    TestHost host({{"name", G("文件主名"), ""}});
    ASSERT_EQ(run_import(c_.get(), settings_, files, host).imported, 12u);
    auto names = rows("select name from qb_test_import.t");
    std::set<std::string> unique;
    for (auto& row : names) unique.insert(row[0]);
    EXPECT_EQ(unique.size(), 12u);

    TestHost stopping({{"name", G("文件主名"), ""}});
    stopping.stop_after = 3;
    settings_.batch = 1;  // the stop after the third answer
    ImportResult r = run_import(c_.get(), settings_, files, stopping);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.imported, 3u);
    EXPECT_EQ(stopping.messages.back(), G("导入完成，已导入 3 篇文章，当前表有 15 条记录！"));

    TestHost none({});
    EXPECT_FALSE(run_import(c_.get(), settings_, files, none).prepared);
    EXPECT_EQ(none.messages,
              (std::vector<std::string>{G("请在 数据字段设置 中添加至少一个字段！")}));
    ImportSettings no_table = settings_;
    no_table.table.clear();
    TestHost h2({{"a", G("文件主名"), ""}});
    run_import(c_.get(), no_table, files, h2);
    EXPECT_EQ(h2.messages, (std::vector<std::string>{G("请输入表名！")}));
    EXPECT_EQ(h2.focused, (std::vector<ImportHost::Box>{ImportHost::Box::Table}));

    ImportSettings spaced = settings_;
    spaced.database = "qb test import";
    TestHost h3({{"a", G("文件主名"), ""}});
    EXPECT_FALSE(run_import(c_.get(), spaced, files, h3).prepared);
    EXPECT_EQ(h3.messages, (std::vector<std::string>{G("库不存在且自动创建失败：qb test import")}));
    ImportSettings ticked = settings_;
    ticked.table = "bad`name";
    TestHost h4({{"a", G("文件主名"), ""}});
    EXPECT_FALSE(run_import(c_.get(), ticked, files, h4).prepared);
    EXPECT_EQ(h4.messages, (std::vector<std::string>{G("表不存在且自动创建失败：bad`name")}));
}

TEST_F(ImportRunTest, ALostConnectionEndsTheRunAndSaysWhatIsLeft) {
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) files.push_back(make("g" + std::to_string(i) + ".txt", "x"));
    auto killer = test::connect_to_test_server();
    ASSERT_TRUE(execute_sql(c_.get(), "select connection_id()"));
    auto id_result = db::take_result(c_.get());
    int64_t id = 0;
    id_result->read_field(0u, id);
    class KillingHost : public TestHost {
      public:
        using TestHost::TestHost;
        std::function<void()> kill;
        void file_done(const std::string& p, bool ok, const std::string& reason, size_t d,
                       size_t t) override {
            TestHost::file_done(p, ok, reason, d, t);
            if (done == 2 && kill) kill();
        }
    } host({{"name", G("文件主名"), ""}});
    host.kill = [&] { db::execute_sql(killer.get(), "kill connection " + std::to_string(id)); };
    settings_.batch = 1;  // killed after the second answer
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, 2u);
    EXPECT_EQ(r.failed, 1u);
    EXPECT_TRUE(r.connection_lost);
    EXPECT_EQ(r.not_attempted, 2u);
    // The count cannot be read on the dead link: said so, not printed as 0.
    EXPECT_EQ(r.row_count, -1);
    EXPECT_EQ(host.messages.back(), G("导入完成，已导入 2 篇文章，无法读取当前表的记录数！\r\n"
                                      "有 1 篇文章导入失败。\r\n"
                                      "与服务器的连接已断开，还有 2 篇文章没有导入。"));
}

// A database made latin1 by someone else, a link the server closed while the window stood
// idle, and one that cannot be made again.
TEST_F(ImportRunTest, ALatin1DatabaseAndConnectionsTheServerClosed) {
    ASSERT_TRUE(db::execute_sql(c_.get(), "create database qb_test_import default charset latin1"));
    const std::vector<std::string> files = {make("甲.txt", G("中文的文章")), make("乙.txt", "b")};
    TestHost host({{G("标题"), G("文件主名"), ""}, {G("内容"), G("文件内容"), ""}});
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, 2u) << (host.failures.empty() ? "" : host.failures[0]);
    EXPECT_EQ(rows("select " + G("标题") + ", " + G("内容") + " from qb_test_import.t order by ID"),
              (std::vector<std::vector<std::string>>{{G("甲"), G("中文的文章")}, {G("乙"), "b"}}));

    auto kill_session_of = [&](db::Connection* victim) {
        auto killer = test::connect_to_test_server();
        const std::string id = std::to_string(db::session_id(victim));
        ASSERT_TRUE(db::execute_sql(killer.get(), "kill connection " + id));
        // Gone from the server's list: the link is dead before the run starts.
        for (int i = 0; i < 500; ++i) {
            db::execute_sql(killer.get(),
                            "select count(*) from information_schema.processlist where id=" + id);
            int64_t n = 1;
            db::take_result(killer.get())->read_field(0u, n);
            if (n == 0) break;
            usleep(10 * 1000);
        }
    };
    kill_session_of(c_.get());
    TestHost again({{G("标题"), G("文件主名"), ""}});
    r = run_import(c_.get(), settings_, files, again);
    EXPECT_TRUE(r.prepared);
    EXPECT_EQ(r.imported, 2u);
    EXPECT_EQ(again.messages,
              (std::vector<std::string>{G("导入完成，已导入 2 篇文章，当前表有 4 条记录！")}));

    // The account is gone too: no login again, and the run says the link is lost, not that
    // the database cannot be made.
    auto a = test::server_address();
    ASSERT_TRUE(db::execute_sql(c_.get(), "drop user if exists qb_gone@'%'"));
    ASSERT_TRUE(db::execute_sql(c_.get(), "create user qb_gone@'%' identified by 'pw'"));
    ASSERT_TRUE(db::execute_sql(c_.get(), "grant all on qb_test_import.* to qb_gone@'%'"));
    auto gone = db::open_connection(a.host, "qb_gone", "pw", {}, a.port);
    ASSERT_TRUE(gone);
    kill_session_of(gone.get());
    ASSERT_TRUE(db::execute_sql(c_.get(), "drop user qb_gone@'%'"));
    TestHost lost({{G("标题"), G("文件主名"), ""}});
    r = run_import(gone.get(), settings_, files, lost);
    EXPECT_FALSE(r.prepared);
    EXPECT_EQ(lost.messages, (std::vector<std::string>{
                                 G("与 MySQL 服务器的连接已断开，重新连接也没有成功，请检查服务器后"
                                   "重新建立连接！")}));
}

// The connection killed while a statement of many files is out: those files are failed with
// the link's reason (whether the server stored them cannot be told here), the rest are left.
TEST_F(ImportRunTest, ALostConnectionDuringABatch) {
    std::vector<std::string> files;
    for (int i = 0; i < 250; ++i) files.push_back(make("k" + std::to_string(i) + ".txt", "x"));
    auto killer = test::connect_to_test_server();
    const std::string kill = "kill connection " + std::to_string(db::session_id(c_.get()));
    TestHost host({{"name", G("文件主名"), ""}});
    host.after_file = [&] {
        if (host.done == 100) db::execute_sql(killer.get(), kill);
    };
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_TRUE(r.connection_lost);
    EXPECT_EQ(r.imported, 100u);
    EXPECT_EQ(r.failed, 100u);
    EXPECT_EQ(r.not_attempted, 50u);
}

// Another window moves the connection to another database during the run (the SQL window's
// "use"), on a server that does not report it: every row still goes where the run was started
// for.
TEST_F(ImportRunTest, RowsGoToTheRunsDatabaseWhateverIsSelectedMeanwhile) {
    for (const char* db : {"qb_test_import", "qb_test_import_other"}) {
        db::execute_sql(c_.get(), std::string("drop database if exists ") + db);
        ASSERT_TRUE(db::execute_sql(c_.get(), std::string("create database ") + db));
        ASSERT_TRUE(db::execute_sql(c_.get(), std::string("create table ") + db +
                                                  ".t (ID int "
                                                  "auto_increment primary key, name text)"));
    }
    ASSERT_TRUE(db::execute_sql(c_.get(), "set session session_track_schema=OFF"));
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) files.push_back(make("u" + std::to_string(i) + ".txt", "x"));
    TestHost host({{"name", G("文件主名"), ""}});
    host.after_file = [&] { db::execute_sql(c_.get(), "use qb_test_import_other"); };
    EXPECT_EQ(run_import(c_.get(), settings_, files, host).imported, 4u);
    EXPECT_EQ(rows("select count(*) from qb_test_import.t")[0][0], "4");
    EXPECT_EQ(rows("select count(*) from qb_test_import_other.t")[0][0], "0");
    db::execute_sql(c_.get(), "drop database qb_test_import_other");
}

// Rows deleted from and added to the field list during a run: every row keeps its own
// options, whatever its position now.
TEST_F(ImportRunTest, FieldRowsEditedDuringTheRunKeepTheirOwnOptions) {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(make("r" + std::to_string(i) + ".txt", "x"));
    TestHost host({{"a", G("固定文本"), "A", 1},
                   {"b", G("固定文本"), "B", 2},
                   {"c", G("随机词组"), G("甲┊?┊1┊?┊1┊?┊1"), 3}});
    // After the first answer (the second file's statement is made by then): "a" goes, and
    // comes back as a new row at the end.
    host.after_file = [&] {
        if (host.done != 1) return;
        host.rows.erase(host.rows.begin());
        host.rows.push_back({"a", G("固定文本"), "late", 4});
    };
    ASSERT_TRUE(db::execute_sql(c_.get(), "create database qb_test_import charset utf8mb4"));
    ASSERT_TRUE(db::execute_sql(c_.get(),
                                "create table qb_test_import.t (ID int auto_increment primary "
                                "key, a text, b text, c text)"));
    settings_.batch = 1;  // edited after the first answer
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, 3u);
    EXPECT_EQ(rows("select a, b, c from qb_test_import.t order by ID"),
              (std::vector<std::vector<std::string>>{
                  {"A", "B", G("甲")}, {"A", "B", G("甲")}, {"late", "B", G("甲")}}));
}

// Characters the server's gbk lacks, from every Unicode form and from a reference, become
// "?" and the article goes in (glibc writes the euro sign as the byte 80, which the server's
// gbk refuses); a raw ANSI file holding that byte is taken as it is and fails with the
// server's reason.
TEST_F(ImportRunTest, TheEuroSignBecomesAQuestionMarkInGbk) {
    const std::string euro = "\xE2\x82\xAC";
    std::vector<std::string> files = {
        make("u8.txt", "a" + euro + "b"),
        make("u16.txt", std::string("\xFF\xFE"
                                    "a\0\xAC\x20",
                                    6)),
        make("big5.html",
             "<meta charset=Big5>" + text::convert_charset(euro + "x", "UTF-8", "BIG5")),
        make("ref.html", "c&#8364;d"), make("ansi.txt", "e\x80")};
    TestHost host({{"name", G("文件主名"), ""},
                   {G("内容"), G("文件内容"), ""},
                   {G("摘要"), G("内容摘要"), G("40┊?┊40")}});
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, 4u);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].find("ansi.txt: Incorrect string value: '\\x80'"), std::string::npos)
        << host.failures[0];
    EXPECT_EQ(rows("select name, " + G("摘要") + " from qb_test_import.t order by ID"),
              (std::vector<std::vector<std::string>>{
                  {"u8", "a?b"}, {"u16", "a?"}, {"big5", "?x"}, {"ref", "c?d"}}));
}

// The lossless mode: every character of the files and their names into an automatically
// created utf8mb4 table, each column as the file holds it, and out again byte for byte.
TEST_F(ImportRunTest, LosslessKeepsEveryCharacterThereAndBack) {
    const std::string text8 =
        "价格 10€，表情 😀，生僻 𠮷𩸽，韩文 한국어。第二句在这里，很长的一句话。";
    auto utf16 = [](const std::string& utf8, bool big_endian) {
        std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
        return out + text::convert_charset(utf8, "UTF-8", big_endian ? "UTF-16BE" : "UTF-16LE");
    };
    const std::string hkscs = text::convert_charset("𨋢㗎", "UTF-8", "BIG5-HKSCS");
    ASSERT_EQ(hkscs.find('?'), std::string::npos);
    struct Case {
        std::string name, bytes, content, title, summary;
        int encoding;  // for the way back; 0: not written back
    };
    const std::vector<Case> cases = {
        {"分类😀/文章😀.txt", "\xEF\xBB\xBF" + text8, text8, "", text8, text::kUtf8},
        {"分类😀/无标记.txt", text8, text8, "", text8, 0},
        {"分类😀/小端.txt", utf16(text8, false), text8, "", text8, text::kUtf16Le},
        {"分类😀/大端.txt", utf16(text8, true), text8, "", text8, text::kUtf16Be},
        {"分类😀/港.html",
         "<html><head><meta charset=\"Big5-HKSCS\"><title>" + hkscs + "</title></head>" + hkscs +
             "&#128512;&#8364;</html>",
         "", "𨋢㗎", "𨋢㗎𨋢㗎😀€", 0}};
    std::vector<std::string> files;
    for (const Case& k : cases) files.push_back(make(k.name, k.bytes));
    const std::string sep = G("┊?┊");
    TestHost host({{"name", G("文件主名"), ""},
                   {G("内容"), G("文件内容"), ""},
                   {"title", G("网页标题"), "<title>" + sep + "</title>"},
                   {"summary", G("内容摘要"), "200" + sep + "200"},
                   {"folder", G("父目录名"), ""}});
    settings_.lossless = true;
    ImportResult r = run_import(c_.get(), settings_, files, host);
    EXPECT_EQ(r.imported, cases.size()) << (host.failures.empty() ? "" : host.failures[0]);
    EXPECT_FALSE(text::lossless_text());  // the run's mode ends with it

    auto ddl = rows("show create table qb_test_import.t");
    ASSERT_EQ(ddl.size(), 1u);
    EXPECT_NE(ddl[0][1].find("CHARSET=utf8mb4"), std::string::npos) << ddl[0][1];
    ASSERT_TRUE(db::set_lossless(c_.get(), true));
    std::vector<std::vector<std::string>> stored = rows(
        "select name, " + G("内容") + ", title, summary, folder from qb_test_import.t order by ID");
    ASSERT_EQ(stored.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& k = cases[i];
        std::vector<std::string> utf8;
        for (const std::string& v : stored[i]) utf8.push_back(text::gbk_to_utf8(v, true));
        EXPECT_EQ(utf8[0],
                  k.name.substr(k.name.find('/') + 1, k.name.rfind('.') - k.name.find('/') - 1));
        if (!k.content.empty()) {
            EXPECT_EQ(utf8[1], k.content) << k.name;
        }
        EXPECT_EQ(utf8[2], k.title.empty() ? " " : k.title) << k.name;
        EXPECT_EQ(utf8[3], k.summary) << k.name;
        EXPECT_EQ(utf8[4], "分类😀");
    }
    ASSERT_TRUE(db::set_lossless(c_.get(), false));

    // Out again, each in its own encoding, named by its 文件主名.
    for (const Case& k : cases) {
        if (!k.encoding) continue;
        exporting::ExportSettings out;
        out.database = settings_.database;
        out.table = "t";
        out.folder = dir_.file("out" + std::to_string(k.encoding));
        out.types = "*.txt";
        out.encoding = k.encoding;
        out.lossless = true;
        TestHost back({{"name", G("文件主名"), ""}, {G("内容"), G("文件内容"), ""}});
        exporting::run_export(c_.get(), out, back);
        const std::string name = k.name.substr(k.name.find('/') + 1);
        EXPECT_EQ(test::read_file(out.folder + "/" + name), k.bytes) << name;
    }
    // ANSI: GBK, "?" for what GBK lacks.
    exporting::ExportSettings ansi;
    ansi.database = settings_.database;
    ansi.table = "t";
    ansi.folder = dir_.file("ansi");
    ansi.types = "*.txt";
    ansi.encoding = text::kAnsi;
    ansi.lossless = true;
    TestHost back({{"name", G("文件主名"), ""}, {G("内容"), G("文件内容"), ""}});
    exporting::run_export(c_.get(), ansi, back);
    EXPECT_EQ(test::read_file(ansi.folder + "/" + "无标记.txt"),
              G("价格 10?，表情 ?，生僻 ??，韩文 ???。第二句在这里，很长的一句话。"));
}

// A column that cannot hold a character: the server refuses that row with its reason, and
// the others go in. An article of GBK characters alone is stored the same in both modes.
TEST_F(ImportRunTest, LosslessIntoAGbkColumnAndGbkArticlesInBothModes) {
    ASSERT_TRUE(db::execute_sql(c_.get(), "create database qb_test_import charset utf8"));
    ASSERT_TRUE(
        db::execute_sql(c_.get(),
                        "create table qb_test_import.t (ID int auto_increment primary "
                        "key, name text, body mediumtext, sum text, title text) charset utf8"));
    std::vector<std::string> files;
    CollectOptions examples;
    examples.patterns_gbk = "*.txt|*.html";
    examples.include_subfolders = true;
    collect_article_files(files, std::string(QB_SOURCE_DIR) + "/examples/articles", examples);
    ASSERT_EQ(files.size(), 7u);
    files.push_back(make("e.txt", "x😀"));
    const std::string sep = G("┊?┊");
    const std::vector<FieldMapping> fields = {
        {"name", G("文件主名"), ""},
        {"body", G("文件内容"), ""},
        {"sum", G("内容摘要"), "40" + sep + "40"},
        {"title", G("网页标题"), "<title>" + sep + "</title>"}};
    TestHost gbk(fields);
    ImportResult r = run_import(c_.get(), settings_, files, gbk);
    EXPECT_EQ(r.failed, 0u);
    TestHost lossless(fields);
    settings_.lossless = true;
    r = run_import(c_.get(), settings_, files, lossless);
    ASSERT_EQ(lossless.failures.size(), 1u);
    EXPECT_NE(lossless.failures[0].find("e.txt: Incorrect string value: '\\xF0\\x9F\\x98\\x80'"),
              std::string::npos)
        << lossless.failures[0];
    const size_t n = files.size();
    EXPECT_EQ(r.imported, n - 1);
    const std::string cols = "hex(name), hex(body), hex(sum), hex(title)";
    auto all = rows("select " + cols + " from qb_test_import.t where name <> 'e' order by ID");
    ASSERT_EQ(all.size(), 2 * (n - 1));
    for (size_t i = 0; i + 1 < n; ++i) EXPECT_EQ(all[i], all[i + n - 1]) << files[i];
}

// However many files go in one statement, the same rows go in, in the same order with the
// same IDs, and the same files fail with the server's reason: a refused statement is sent
// again file by file; the field list edited during the run starts a new statement; a table
// without transactions gets one file per statement.
TEST_F(ImportRunTest, BatchesStoreTheSameRowsAndFailuresAsSingleStatements) {
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "b" + std::to_string(100 + i) + ".txt";
        // Binary bytes the utf8 column refuses, an empty file, a folder: failures of their
        // own in the middle of statements.
        files.push_back(i % 13 == 5   ? make(name, std::string("\0\xFF\x81", 3))
                        : i % 13 == 9 ? make(name, "")
                                      : make(name, G("第") + std::to_string(i) + "'\\"));
    }
    std::filesystem::create_directories(dir_.file("folder.txt"));
    files.insert(files.begin() + 17, dir_.file("folder.txt"));
    auto import_with = [&](size_t batch, const std::string& engine) {
        db::execute_sql(c_.get(), "drop database if exists qb_test_import");
        db::execute_sql(c_.get(), "create database qb_test_import charset utf8");
        db::execute_sql(c_.get(),
                        "create table qb_test_import.t (ID int auto_increment primary "
                        "key, name text, body text, extra text) engine=" +
                            engine);
        // A row added once 25 files are made: the later files have another column.
        class EditingHost : public TestHost {
          public:
            using TestHost::TestHost;
            std::vector<FieldMapping> field_rows() override {
                if (++asked == 26) rows.push_back({"extra", G("固定文本"), "E", 9});
                return rows;
            }
            int asked = 0;
        } host({{"name", G("文件主名"), ""}, {"body", G("文件内容"), ""}});
        settings_.batch = batch;
        const ImportResult r = run_import(c_.get(), settings_, files, host);
        EXPECT_EQ(r.imported + r.failed, files.size());
        return std::make_pair(
            host.failures, rows("select ID, name, body, extra from qb_test_import.t order by ID"));
    };
    const auto single = import_with(1, "InnoDB");
    EXPECT_EQ(single.first.size(), 4u);  // 3 binary files and the folder
    ASSERT_EQ(single.second.size(), files.size() - 4);
    EXPECT_EQ(single.second.back()[3], "E");
    for (size_t batch : {2u, 7u, 100u}) {
        const auto batched = import_with(batch, "InnoDB");
        EXPECT_EQ(batched.first, single.first) << batch;
        EXPECT_EQ(batched.second, single.second) << batch;
    }
    const auto myisam = import_with(100, "MyISAM");
    EXPECT_EQ(myisam.first, single.first);
    EXPECT_EQ(myisam.second, single.second);
}

// An article whose statement is larger than the server's max_allowed_packet fails alone with
// the limit named, before it is sent; the run goes on with the next file on the same
// connection, in one statement per file and in batches.
TEST_F(ImportRunTest, AnArticleLargerThanTheServerTakesFailsAlone) {
    // A connection of its own sees a 1 MB limit (the global value is put back at once: other
    // tests use the server meanwhile).
    ASSERT_TRUE(db::execute_sql(c_.get(), "set global max_allowed_packet = 1048576"));
    auto small = test::connect_to_test_server();
    db::execute_sql(c_.get(), "set global max_allowed_packet = 268435456");
    ASSERT_TRUE(small);
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i)
        files.push_back(make("p" + std::to_string(i) + ".txt",
                             i == 1 || i == 4 ? std::string(3 << 20, 'a') : "small"));
    for (size_t batch : {1u, 100u}) {
        db::execute_sql(small.get(), "drop database if exists qb_test_import");
        TestHost host({{"name", G("文件主名"), ""}, {"body", G("文件内容"), ""}});
        settings_.batch = batch;
        const ImportResult r = run_import(small.get(), settings_, files, host);
        EXPECT_EQ(r.imported, 4u) << batch;
        EXPECT_FALSE(r.connection_lost);
        ASSERT_EQ(host.failures.size(), 2u);
        EXPECT_EQ(host.failures[0],
                  files[1] + ": " +
                      G("文章太大：语句 3 MB，超过服务器允许的 1 MB（max_allowed_packet）"));
        EXPECT_EQ(host.messages.back(),
                  G("导入完成，已导入 4 篇文章，当前表有 4 条记录！\r\n有 2 篇文章导入失败。"));
    }
}

}  // namespace
}  // namespace qb::import
