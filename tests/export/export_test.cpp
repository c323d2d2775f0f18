#include "export/export_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>

#include "db/connection.h"
#include "db/statements.h"
#include "test_server.h"
#include "test_util.h"
#include "text/codepage.h"
#include "text/iconv_text.h"

namespace qb::exporting {
namespace {

using mapping::FieldMapping;
using test::G;

TEST(ExportNames, ExtensionsAndFolders) {
    EXPECT_EQ(export_extension("*.txt"), ".txt");
    EXPECT_EQ(export_extension("txt"), ".txt");
    EXPECT_EQ(export_extension("*.*"), ".html");
    EXPECT_EQ(export_extension(""), ".html");
    EXPECT_EQ(export_extension("*.txt|*.htm"), ".html");

    test::TempDir dir;
    const std::string deep = dir.file("a/b c/d");
    EXPECT_TRUE(make_folders(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(make_folders(deep + "/"));  // already there, trailing separator
    test::write_file(dir.file("plain"), "x");
    EXPECT_FALSE(make_folders(dir.file("plain/sub")));  // a file stands in the way
}

// Records what the run shows; stops after stop_after written files.
class TestHost : public ExportHost {
  public:
    explicit TestHost(std::vector<FieldMapping> rows) : rows(std::move(rows)) {}
    void message(const std::string& text) override { messages.push_back(text); }
    void focus(Box b) override { focused.push_back(b); }
    bool stop_requested() override { return stop_after >= 0 && written >= stop_after; }
    void pump() override {
        if (on_pump) on_pump();
    }
    std::vector<FieldMapping> field_rows() override { return rows; }
    void set_button_caption(const std::string& c) override { captions.push_back(c); }
    void file_done(const std::string& path, bool ok, const std::string& reason, size_t,
                   size_t) override {
        if (ok) {
            ++written;
            paths.push_back(path);
        } else {
            failures.push_back(path + ": " + reason);
        }
    }
    std::vector<FieldMapping> rows;
    std::vector<std::string> messages, captions, paths, failures;
    std::vector<Box> focused;
    int stop_after = -1;
    int written = 0;
    std::function<void()> on_pump;
};

class ExportRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::server_configured()) GTEST_SKIP() << "QB_TEST_SERVER not set";
        c_ = test::connect_to_test_server();
        ASSERT_TRUE(c_);
        // The cases run side by side: a database of their own each.
        database_ = std::string("qb_test_export_") +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
        test::use_fresh_database(c_.get(), database_);
        ASSERT_TRUE(db::execute_sql(c_.get(),
                                    "create table a (ID bigint auto_increment primary key, "
                                    "name tinytext, body mediumtext) character set utf8mb4"));
        settings_.database = database_;
        settings_.table = "a";
        settings_.folder = dir_.file("out");
    }
    void TearDown() override {
        if (c_) db::execute_sql(c_.get(), "drop database if exists " + database_);
    }
    void insert(const std::string& name, const std::string& body) {
        ASSERT_TRUE(db::insert_record(
            c_.get(), "a",
            "name='" + db::escape_sql_value(name) + "',body='" + db::escape_sql_value(body) + "'"));
    }
    std::set<std::string> files() {
        std::set<std::string> out;
        if (!std::filesystem::exists(settings_.folder)) return out;
        for (const auto& e : std::filesystem::directory_iterator(settings_.folder))
            out.insert(e.path().filename().string());
        return out;
    }
    std::string file(const std::string& utf8_name) {
        return test::read_file(settings_.folder + "/" + utf8_name);
    }
    std::unique_ptr<db::Connection> c_;
    std::string database_;
    ExportSettings settings_;
    test::TempDir dir_;
};

TEST_F(ExportRunTest, RowsBecomeFilesNamedByColumnOrSentence) {
    insert(G("春天"), G("春天来了，万物复苏。"));
    insert(G("a/b:c"), G("斜杠和冒号"));
    insert("", G("这是一篇没有名字的文章，它的名字取自正文中的一句话。"));
    insert(G("空文"), "");
    insert("", "");  // nothing to write, not counted
    insert(G("春天"), G("同名的第二篇"));
    TestHost host({{G("其他"), G("固定文本"), ""},
                   {"body", G("文件内容"), ""},
                   {"name", G("文件主名"), ""},
                   {"body", G("文件主名"), ""}});  // only the first 文件主名 row counts
    settings_.types = "*.txt";
    settings_.folder = dir_.file("out/new folder");  // made on the way
    const ExportResult r = run_export(c_.get(), settings_, host);
    EXPECT_EQ(r.exported, 5u);
    EXPECT_EQ(r.skipped, 1u);
    EXPECT_EQ(r.failed, 0u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], G("导出完成，已导出 5 篇文章，表中有 6 条记录！"));
    EXPECT_EQ(host.captions.front(), G("正在导出.."));
    EXPECT_EQ(host.captions.back(), G("从 MySQL 数据库导出文章"));
    EXPECT_NE(std::find(host.captions.begin(), host.captions.end(), G("总 6 篇，已导出 2 篇")),
              host.captions.end());

    const std::set<std::string> names = files();
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(file("春天.txt"), G("春天来了，万物复苏。"));
    // A second row of the same name does not overwrite the first one's file.
    EXPECT_EQ(file("春天(2).txt"), G("同名的第二篇"));
    EXPECT_EQ(file("a／b：c.txt"), G("斜杠和冒号"));
    EXPECT_TRUE(names.count("空文.txt"));
    EXPECT_EQ(file("空文.txt"), "");
    // No name: one of the sentences of ten characters or more.
    EXPECT_TRUE(names.count("这是一篇没有名字的文章.txt") ||
                names.count("它的名字取自正文中的一句话.txt"));
}

TEST_F(ExportRunTest, PositionsEncodingsAndLongNames) {
    insert(G("编码"), G("中文内容，繁體也行"));
    ASSERT_TRUE(db::execute_sql(c_.get(), "alter table a modify name text"));
    insert(std::string(230, 'n') + G("长长长长长长长长长长"), "long");  // 260 bytes in UTF-8
    // "2" is the second column (name); "02" is a column name the table lacks.
    TestHost host({{"3", G("文件内容"), ""}, {"2", G("文件主名"), ""}});
    settings_.encoding = 2;  // UTF-8 with its mark
    ExportResult r = run_export(c_.get(), settings_, host);
    EXPECT_EQ(r.exported, 2u);
    EXPECT_EQ(file("编码.html"), "\xEF\xBB\xBF" + text::gbk_to_utf8(G("中文内容，繁體也行")));
    EXPECT_EQ(text::ReadArticleText(settings_.folder + "/" + "编码.html", 0),
              G("中文内容，繁體也行"));
    // A name too long for the file system is cut, whole characters, to fit.
    bool long_found = false;
    for (const std::string& n : files())
        if (n[0] == 'n') {
            long_found = true;
            EXPECT_EQ(n, std::string(230, 'n') + "长长长长长长.html");  // 253 bytes
        }
    EXPECT_TRUE(long_found);

    std::filesystem::remove_all(settings_.folder);
    host = TestHost({{"03", G("文件内容"), ""}, {"02", G("文件主名"), ""}});
    r = run_export(c_.get(), settings_, host);
    EXPECT_EQ(r.exported, 0u);
    EXPECT_EQ(r.skipped, 2u);
    EXPECT_EQ(host.messages.back(), G("导出完成，已导出 0 篇文章，表中有 2 条记录！"));
}

TEST_F(ExportRunTest, StopsChecksAndFailedWrites) {
    for (int i = 0; i < 10; ++i) insert("f" + std::to_string(i), "x");
    TestHost host({{"body", G("文件内容"), ""}, {"name", G("文件主名"), ""}});
    host.stop_after = 3;
    ExportResult r = run_export(c_.get(), settings_, host);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(files().size(), 3u);
    EXPECT_EQ(host.messages.back(), G("导出完成，已导出 3 篇文章，表中有 10 条记录！"));

    // The folder cannot be made (a file stands where it should be): every write fails, and
    // the summary says so.
    test::write_file(dir_.file("blocked"), "");
    settings_.folder = dir_.file("blocked/out");
    host = TestHost({{"body", G("文件内容"), ""}, {"name", G("文件主名"), ""}});
    r = run_export(c_.get(), settings_, host);
    EXPECT_EQ(r.exported, 0u);
    EXPECT_EQ(r.failed, 10u);
    EXPECT_EQ(host.failures.size(), 10u);
    EXPECT_NE(host.failures[0].find("Not a directory"), std::string::npos) << host.failures[0];
    EXPECT_EQ(host.messages.back(), G("导出完成，已导出 0 篇文章，表中有 10 条记录！\r\n"
                                      "有 10 篇文章写入文件失败。"));

    // The checks, in order, with their focus.
    auto first_message = [&](ExportSettings s, std::vector<FieldMapping> rows) {
        TestHost h(std::move(rows));
        const ExportResult result = run_export(c_.get(), s, h);
        EXPECT_FALSE(result.prepared);
        return h.messages.empty() ? std::string() : h.messages[0];
    };
    const std::vector<FieldMapping> content{{"body", G("文件内容"), ""}};
    ExportSettings s = settings_;
    s.database.clear();
    EXPECT_EQ(first_message(s, content), G("请输入库名！"));
    s = settings_;
    s.table.clear();
    EXPECT_EQ(first_message(s, content), G("请输入表名！"));
    s = settings_;
    s.folder.clear();
    EXPECT_EQ(first_message(s, content), G("请先选择要导出到的文章目录！"));
    s = settings_;
    s.database = "qb_test_no_such_db";
    EXPECT_EQ(first_message(s, content), G("打开库失败：qb_test_no_such_db"));
    s = settings_;
    s.table = "no_such_table";
    EXPECT_EQ(first_message(s, content), G("打开表失败：no_such_table"));
    EXPECT_EQ(first_message(settings_, {{"name", G("文件主名"), ""}})
                  .rfind(G("请在【数据字段设置】里先添加一个【数据来源】为【文件内容】"), 0),
              0u);
    // No connection: the database cannot be selected.
    TestHost h(content);
    EXPECT_FALSE(run_export(nullptr, settings_, h).prepared);
    EXPECT_EQ(h.messages.at(0), G("打开库失败：") + database_);
    EXPECT_EQ(h.focused.at(0), ExportHost::Box::Database);
}

// Without a 文件内容 row the streamed export ends at its message: not one row of the table is
// sent first.
TEST_F(ExportRunTest, WithoutAContentRowNoRowIsRead) {
    const std::string body(4000, 'b');
    for (int i = 0; i < 250; ++i) insert("n", body);  // 1 MB
    auto bytes_sent = [&] {
        db::execute_sql(c_.get(), "show session status like 'Bytes_sent'");
        int64_t n = 0;
        db::take_result(c_.get())->read_field(1u, n);
        return n;
    };
    const int64_t before = bytes_sent();
    settings_.stream_rows = true;
    TestHost host({{"name", G("文件主名"), ""}});
    EXPECT_FALSE(run_export(c_.get(), settings_, host).prepared);
    EXPECT_EQ(host.messages.at(0).rfind(G("请在【数据字段设置】里先添加"), 0), 0u);
    EXPECT_LT(bytes_sent() - before, 100'000);
}

TEST_F(ExportRunTest, AnEmptyTable) {
    TestHost host({{"body", G("文件内容"), ""}});
    const ExportResult r = run_export(c_.get(), settings_, host);
    EXPECT_TRUE(r.prepared);
    EXPECT_EQ(host.messages.back(), G("导出完成，已导出 0 篇文章，表中有 0 条记录！"));
    EXPECT_TRUE(std::filesystem::is_directory(settings_.folder));
}

TEST_F(ExportRunTest, StreamedRowsWriteTheSameFilesAndReportALostServer) {
    for (int i = 0; i < 20; ++i) insert("s" + std::to_string(i), G("第") + std::to_string(i));
    const std::vector<FieldMapping> fields{{"body", G("文件内容"), ""},
                                           {"name", G("文件主名"), ""}};
    TestHost stored(fields);
    const ExportResult a = run_export(c_.get(), settings_, stored);
    const std::set<std::string> stored_files = files();
    std::filesystem::remove_all(settings_.folder);
    settings_.stream_rows = true;
    TestHost streamed(fields);
    const ExportResult b = run_export(c_.get(), settings_, streamed);
    EXPECT_EQ(b.exported, a.exported);
    EXPECT_EQ(b.row_count, 20);
    EXPECT_EQ(files(), stored_files);
    EXPECT_EQ(file("s7.html"), G("第7"));
    EXPECT_EQ(streamed.messages.back(), stored.messages.back());
    // The connection still works after a streamed run.
    ASSERT_TRUE(db::execute_sql(c_.get(), "select 1"));
    db::take_result(c_.get());

    // Stopped after 3: the rest is read off and the connection still works.
    std::filesystem::remove_all(settings_.folder);
    TestHost stopping(fields);
    stopping.stop_after = 3;
    EXPECT_EQ(run_export(c_.get(), settings_, stopping).exported, 3u);
    ASSERT_TRUE(db::execute_sql(c_.get(), "select 1"));
    db::take_result(c_.get());

    // The server drops the connection while rows are arriving: the run ends with the reason.
    ASSERT_TRUE(db::execute_sql(c_.get(), "delete from a"));
    const std::string big(1 << 20, 'x');
    for (int i = 0; i < 60; ++i) insert("big" + std::to_string(i), big);
    ASSERT_TRUE(db::execute_sql(c_.get(), "select connection_id()"));
    int64_t id = 0;
    db::take_result(c_.get())->read_field(0u, id);
    auto killer = test::connect_to_test_server();
    std::filesystem::remove_all(settings_.folder);
    TestHost lost(fields);
    int pumps = 0;
    lost.on_pump = [&] {
        if (++pumps == 2) db::execute_sql(killer.get(), "kill " + std::to_string(id));
    };
    const ExportResult r = run_export(c_.get(), settings_, lost);
    EXPECT_LT(r.exported, 60u);
    EXPECT_FALSE(r.read_error.empty());
    EXPECT_NE(lost.messages.back().find(G("读取表记录时中断：")), std::string::npos)
        << lost.messages.back();
    c_.reset();
    c_ = test::connect_to_test_server();
}

}  // namespace
}  // namespace qb::exporting
