// quillbase-cli end to end: the shipped example articles and configuration, against the
// private server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "child_process.h"
#include "db/connection.h"
#include "import/collect.h"
#include "mapping/generators.h"
#include "relay.h"
#include "test_server.h"
#include "test_util.h"
#include "text/codepage.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/path_text.h"
#include "version.h"

namespace {

using qb::test::G;

struct CliRun {
    int status = -1;
    std::string out, err;  // standard output (the summary), standard error (everything else)
};

CliRun run_cli(const std::string& args) {
    qb::test::TempDir dir;
    const std::string cmd = std::string(QB_CLI_PATH) + " " + args + " 2>" + dir.file("err");
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int s = pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    r.err = qb::test::read_file(dir.file("err"));
    return r;
}

// The command line started in the background with its standard output and error in files.
struct Background {
    pid_t pid = -1;
    std::string out_path, err_path;
    // Waits for the end: the exit status, -1 when it did not exit.
    int finish() { return qb::test::wait_for_exit(pid); }
    std::string out() const { return qb::test::read_file(out_path); }
    std::string err() const { return qb::test::read_file(err_path); }
};

Background start_cli(const std::vector<std::string>& args, const qb::test::TempDir& dir) {
    Background b;
    b.out_path = dir.file("cli.out");
    b.err_path = dir.file("cli.err");
    b.pid = qb::test::start_process(QB_CLI_PATH, args, b.out_path, b.err_path);
    return b;
}

// An import of folder into database (the example configuration) on the test server.
std::vector<std::string> import_args(const std::string& database, const std::string& folder) {
    const auto a = qb::test::server_address();
    return {"import",     "--config",   std::string(QB_SOURCE_DIR) + "/examples/import.ini",
            "--server",   a.text(),     "--user",
            a.user,       "--password", a.password,
            "--database", database,     "--folder",
            folder};
}

using qb::test::count_of;

// Waits until a statement whose text starts with prefix is running on the server in
// database (waiting for a lock, in these tests): other tests run statements on the same
// server at the same time.
bool wait_for_statement(qb::db::Connection* c, const std::string& database,
                        const std::string& prefix) {
    for (int i = 0; i < 2000; ++i) {
        if (count_of(c, "information_schema.processlist where db = '" + database +
                            "' and info like '" + prefix + "%'") > 0)
            return true;
        usleep(10 * 1000);
    }
    return false;
}

std::string server_options() {
    auto a = qb::test::server_address();
    return "--server " + a.text() + " --user " + a.user + " --password '" + a.password + "'";
}

TEST(Cli, HelpAndUsageErrors) {
    CliRun help = run_cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--empty-table-first"), std::string::npos);
    EXPECT_NE(help.out.find("用法"), std::string::npos);
    EXPECT_NE(help.out.find("usage"), std::string::npos);
    EXPECT_EQ(run_cli("import").status, 2);
    EXPECT_EQ(run_cli("import --config /no/such.ini").status, 2);
    EXPECT_EQ(run_cli("import --config x --encoding klingon").status, 2);
    EXPECT_EQ(run_cli("frobnicate").status, 2);
    for (const char* batch : {"0", "-3", "x", "100001", "2x"}) {
        const CliRun r = run_cli(std::string("import --config x --batch ") + batch);
        EXPECT_EQ(r.status, 2) << batch;
        EXPECT_NE(r.err.find("--batch needs a number"), std::string::npos) << r.err;
    }
    EXPECT_EQ(run_cli("export --config x --batch 5").status, 2);
    CliRun version = run_cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("quillbase-cli ") + QB_VERSION + "\n");
}

// A file that is no configuration of the window is refused, not run on defaults; one with LF
// line ends (a Linux editor's) is one; a FIFO does not hold the program.
TEST(Cli, OnlyAConfigurationOfTheWindowIsRun) {
    qb::test::TempDir dir;
    qb::test::write_file(dir.file("junk.ini"), std::string("\x00\xFF[\r\n=\r", 6));
    CliRun r = run_cli("import --config " + dir.file("junk.ini"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("没有[主界面]节"), std::string::npos) << r.err;
    const std::string folder = dir.file("missing");
    qb::test::write_file(dir.file("lf.ini"),
                         qb::text::G("[主界面]\n编辑框文章目录=") + folder + "\n");
    r = run_cli("import --config " + dir.file("lf.ini"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("文章目录不存在或不是目录：" + folder), std::string::npos) << r.err;
    ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    r = run_cli("import --config " + dir.file("fifo.ini"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
}

TEST(Cli, ImportsTheExampleArticlesAndListsFailures) {
    QB_REQUIRE_SERVER();
    auto c = qb::test::connect_to_test_server();
    ASSERT_TRUE(c);
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli");
    const std::string base = "import --config " + std::string(QB_SOURCE_DIR) +
                             "/examples/import.ini " + server_options() +
                             " --database qb_test_cli --folder " + std::string(QB_SOURCE_DIR) +
                             "/examples/articles";
    CliRun r = run_cli(base);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "导入完成，已导入 7 篇文章，当前表有 7 条记录！\n") << r.err;
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "select count(*) from qb_test_cli.articles"));
    auto res = qb::db::take_result(c.get());
    int64_t n = 0;
    res->read_field(0u, n);
    EXPECT_EQ(n, 7);

    // Every row against its source file, in the order the files were collected.
    std::vector<std::string> files;
    qb::import::CollectOptions collect;
    collect.patterns_gbk = "*.txt|*.html";
    collect.include_subfolders = true;
    qb::import::collect_article_files(files, std::string(QB_SOURCE_DIR) + "/examples/articles",
                                      collect);
    ASSERT_EQ(files.size(), 7u);
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "select " +
                                                 G("标题, 内容, 页面标题, 摘要, 分类, 来源") +
                                                 " from qb_test_cli.articles order by ID"));
    res = qb::db::take_result(c.get());
    ASSERT_EQ(res->row_count(), 7u);
    for (size_t i = 0; i < files.size(); ++i) {
        res->move_to_row(i);
        std::string title, body, page, summary, folder, source;
        res->read_field(0u, title);
        res->read_field(1u, body);
        res->read_field(2u, page);
        res->read_field(3u, summary);
        res->read_field(4u, folder);
        res->read_field(5u, source);
        const std::string text = qb::text::ReadArticleText(files[i], 0);
        int pos = 0;
        const std::string expected_page =
            qb::text::ExtractBetween(text, "<title>", "</title>", &pos);
        EXPECT_EQ(title, qb::text::utf8_to_gbk(qb::text::base_name(files[i])));
        EXPECT_EQ(body, text) << files[i];
        EXPECT_EQ(page, expected_page.empty() ? " " : expected_page) << files[i];
        const size_t chars = qb::text::CountChars(summary);
        EXPECT_LE(chars, 40u);
        EXPECT_TRUE(chars >= 20 || summary == qb::text::MakeSummary(text, 1000, 1000)) << files[i];
        EXPECT_EQ(folder, qb::mapping::ParentFolderName(qb::text::utf8_to_gbk(files[i])));
        EXPECT_EQ(source, G("示例文章"));
    }

    // Emptying first keeps the count at 7; only text files with --types.
    r = run_cli(base + " --empty-table-first --types '*.txt' --no-subfolders");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("已导入 5 篇文章，当前表有 5 条记录"), std::string::npos) << r.out;

    // A table without the configured columns: every file fails, each one is listed.
    ASSERT_TRUE(qb::db::execute_sql(
        c.get(), "create table qb_test_cli.narrow (ID int primary key auto_increment, x text)"));
    r = run_cli(base + " --table narrow --no-subfolders --types '*.txt'");
    EXPECT_EQ(r.status, 1);
    size_t failures = 0;
    for (size_t p = r.err.find("failed: "); p != std::string::npos;
         p = r.err.find("failed: ", p + 1))
        ++failures;
    EXPECT_EQ(failures, 5u) << r.err;
    EXPECT_NE(r.err.find("Unknown column"), std::string::npos);
    EXPECT_NE(r.out.find("有 5 篇文章导入失败。"), std::string::npos) << r.out;

    r = run_cli(base + " --types '*.nothing'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("在这个目录中找不到文件"), std::string::npos) << r.err;
    r = run_cli(base + " --password wrong");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("连接到MySQL失败"), std::string::npos) << r.err;
    qb::db::execute_sql(c.get(), "drop database qb_test_cli");
}

TEST(Cli, CtrlCStopsAfterTheCurrentFileAndStillSummarises) {
    QB_REQUIRE_SERVER();
    qb::test::TempDir dir;
    for (int i = 0; i < 8000; ++i)
        qb::test::write_file(dir.file("f" + std::to_string(i) + ".txt"),
                             "article " + std::to_string(i));
    auto c = qb::test::connect_to_test_server();
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_stop");
    Background run = start_cli(import_args("qb_test_cli_stop", dir.path().string()), dir);
    ASSERT_GT(run.pid, 0);
    // Interrupt once rows arrive: mid-run, whatever the speed of the machine.
    int64_t n = 0;
    for (int wait = 0; wait < 400 && n <= 0; ++wait) {
        usleep(50 * 1000);
        n = count_of(c.get(), "qb_test_cli_stop.articles");
    }
    kill(run.pid, SIGINT);
    EXPECT_EQ(run.finish(), 1) << run.err();
    EXPECT_NE(run.err().find("stopped"), std::string::npos) << run.err();
    n = count_of(c.get(), "qb_test_cli_stop.articles");
    // Every row the summary counts is in the table, and no other.
    EXPECT_EQ(run.out(), "导入完成，已导入 " + std::to_string(n) + " 篇文章，当前表有 " +
                             std::to_string(n) + " 条记录！\n");
    EXPECT_GT(n, 0);
    EXPECT_LT(n, 8000);
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_stop");
}

TEST(Cli, AStopBeforeTheEmptyingKeepsTheTableAndASecondCtrlCBreaksAHangingStatement) {
    QB_REQUIRE_SERVER();
    qb::test::TempDir dir;
    const std::string folder = std::string(QB_SOURCE_DIR) + "/examples/articles";
    auto c = qb::test::connect_to_test_server();
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_hang");
    {
        Background first = start_cli(import_args("qb_test_cli_hang", folder), dir);
        ASSERT_EQ(first.finish(), 0) << first.err();
    }
    ASSERT_EQ(count_of(c.get(), "qb_test_cli_hang.articles"), 7);

    // Ctrl-C while the run waits (for a lock) before emptying the table: nothing is deleted,
    // nothing imported.
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "lock tables qb_test_cli_hang.articles write"));
    std::vector<std::string> args = import_args("qb_test_cli_hang", folder);
    args.push_back("--empty-table-first");
    Background emptying = start_cli(args, dir);
    ASSERT_TRUE(wait_for_statement(c.get(), "qb_test_cli_hang", "select * from articles limit 0"));
    kill(emptying.pid, SIGINT);
    // The stop request is in before the lock goes.
    for (int i = 0; i < 1000 && emptying.err().find("Ctrl-C") == std::string::npos; ++i)
        usleep(10 * 1000);
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "unlock tables"));
    EXPECT_EQ(emptying.finish(), 1) << emptying.err();
    EXPECT_EQ(emptying.out(), "导入完成，已导入 0 篇文章，当前表有 7 条记录！\n");
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_hang.articles"), 7);

    // An INSERT that waits for a lock: the first Ctrl-C cannot end it, the second breaks it.
    // The count is then unknown and said to be, not printed as 0.
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "lock tables qb_test_cli_hang.articles read"));
    Background hanging = start_cli(import_args("qb_test_cli_hang", folder), dir);
    ASSERT_TRUE(wait_for_statement(c.get(), "qb_test_cli_hang", "insert"));
    kill(hanging.pid, SIGINT);
    for (int i = 0; i < 1000 && hanging.err().find("Ctrl-C") == std::string::npos; ++i)
        usleep(10 * 1000);
    kill(hanging.pid, SIGINT);
    EXPECT_EQ(hanging.finish(), 1) << hanging.err();
    EXPECT_NE(hanging.out().find("无法读取当前表的记录数！"), std::string::npos) << hanging.out();
    EXPECT_EQ(hanging.out().find("当前表有 0 条记录"), std::string::npos) << hanging.out();
    EXPECT_NE(hanging.err().find("已中断：正在执行的语句已被终止，连接已关闭。"), std::string::npos)
        << hanging.err();
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "unlock tables"));
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_hang.articles"), 7);

    // SIGTERM breaks at once.
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "lock tables qb_test_cli_hang.articles read"));
    Background terminated = start_cli(import_args("qb_test_cli_hang", folder), dir);
    ASSERT_TRUE(wait_for_statement(c.get(), "qb_test_cli_hang", "insert"));
    kill(terminated.pid, SIGTERM);
    EXPECT_EQ(terminated.finish(), 1) << terminated.err();
    EXPECT_NE(terminated.err().find("已中断"), std::string::npos) << terminated.err();
    ASSERT_TRUE(qb::db::execute_sql(c.get(), "unlock tables"));
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_hang");
}

// Ctrl-C or SIGTERM while the login is under way (held up by a relay): nothing is sent after
// it, so no database is made, and no run is broken that never started.
TEST(Cli, AStopDuringTheLoginSendsNothing) {
    QB_REQUIRE_SERVER();
    const auto a = qb::test::server_address();
    auto c = qb::test::connect_to_test_server();
    const std::string folder = std::string(QB_SOURCE_DIR) + "/examples/articles";
    for (int sig : {SIGINT, SIGTERM}) {
        qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_login");
        qb::test::Relay relay(a.host, a.port);
        relay.hold(true);
        qb::test::TempDir dir;
        std::vector<std::string> args = import_args("qb_test_cli_login", folder);
        *(std::find(args.begin(), args.end(), "--server") + 1) = relay.address();
        Background run = start_cli(args, dir);
        for (int i = 0; i < 1000 && relay.accepted() == 0; ++i) usleep(10 * 1000);
        ASSERT_EQ(relay.accepted(), 1);
        kill(run.pid, sig);
        // The handler has run (Ctrl-C says so; SIGTERM says nothing, give it a moment).
        for (int i = 0; i < 100 && run.err().find("Ctrl-C") == std::string::npos; ++i)
            usleep(10 * 1000);
        relay.hold(false);
        EXPECT_EQ(run.finish(), 1) << run.err();
        EXPECT_EQ(run.out(), "");
        EXPECT_NE(run.err().find("已停止 stopped: 7 个文件未导入"), std::string::npos) << run.err();
        EXPECT_EQ(run.err().find("已中断"), std::string::npos) << run.err();
        EXPECT_EQ(count_of(c.get(),
                           "information_schema.schemata where schema_name = "
                           "'qb_test_cli_login'"),
                  0);
    }
}

TEST(Cli, ATraditionalRowWithoutOpenCCTablesIsToldOnce) {
    QB_REQUIRE_SERVER();
    qb::test::TempDir dir;
    for (int i = 0; i < 3; ++i) qb::test::write_file(dir.file(std::to_string(i) + ".txt"), "x");
    const std::string sep = G("┊?┊");
    qb::test::write_file(dir.file("c.ini"), "[" + G("主界面") + "]\r\n" + G("字段数") + "=1\r\n" +
                                                G("字段名或位置(1)") + "=c\r\n" + G("数据来源(1)") +
                                                "=" + G("随机汉字") + "\r\n" + G("数据配置(1)") +
                                                "=" + G("假") + sep + G("真") + sep + G("假") +
                                                sep + G("真") + sep + "4" + sep + "4");
    auto c = qb::test::connect_to_test_server();
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_tc");
    ::setenv("QB_OPENCC_DATA_DIR", dir.file("nothing").c_str(), 1);
    CliRun r = run_cli("import --config " + dir.file("c.ini") + " " + server_options() +
                       " --database qb_test_cli_tc --table t --folder " + dir.path().string() +
                       " --types '*.txt'");
    ::unsetenv("QB_OPENCC_DATA_DIR");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string told = "转为繁体失败：找不到OpenCC的繁体字表：";
    const size_t at = r.err.find(told);
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(told, at + 1), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "导入完成，已导入 3 篇文章，当前表有 3 条记录！\n");
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_tc.t where char_length(c) = 4"), 3);
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_tc");
}

// --lossless, or the configuration's 选择框无损=真: the file names and texts keep every
// character, into the table and out again, named by them.
TEST(Cli, LosslessFromTheOptionOrTheConfiguration) {
    QB_REQUIRE_SERVER();
    qb::test::TempDir dir;
    const std::string folder = dir.file("文章😀");
    std::filesystem::create_directories(folder);
    qb::test::write_file(folder + "/表情😀.txt", "\xEF\xBB\xBF价格 10€ 😀 𠮷");
    const std::string rows = G("字段数") + "=2\r\n" + G("字段名或位置(1)") + "=name\r\n" +
                             G("数据来源(1)") + "=" + G("文件主名") + "\r\n" +
                             G("字段名或位置(2)") + "=body\r\n" + G("数据来源(2)") + "=" +
                             G("文件内容") + "\r\n";
    qb::test::write_file(dir.file("off.ini"), "[" + G("主界面") + "]\r\n" + rows);
    qb::test::write_file(dir.file("on.ini"), "[" + G("主界面") + "]\r\n" + G("选择框无损") + "=" +
                                                 G("真") + "\r\n" + rows);
    auto c = qb::test::connect_to_test_server();
    ASSERT_TRUE(qb::db::set_lossless(c.get(), true));
    for (const char* how : {"off.ini --lossless", "on.ini"}) {
        qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_lossless");
        CliRun r = run_cli("import --config " + dir.file(how) + " " + server_options() +
                           " --database qb_test_cli_lossless --table t --folder " + folder);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(count_of(c.get(), "qb_test_cli_lossless.t where name = '" +
                                        qb::text::utf8_to_gbk("表情😀", true) + "' and body = '" +
                                        qb::text::utf8_to_gbk("价格 10€ 😀 𠮷", true) + "'"),
                  1)
            << how;
    }
    CliRun r =
        run_cli("export --config " + dir.file("off.ini") + " --lossless " + server_options() +
                " --database qb_test_cli_lossless --table t --types '*.txt' --encoding "
                "utf-8 --folder " +
                dir.file("out"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(qb::test::read_file(dir.file("out/表情😀.txt")), "\xEF\xBB\xBF价格 10€ 😀 𠮷");
    // Without the mode, "?" for what GBK lacks, as always (a folder named with such a
    // character is reached in the lossless mode only).
    std::filesystem::rename(folder, dir.file("plain"));
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_lossless");
    r = run_cli("import --config " + dir.file("off.ini") + " " + server_options() +
                " --database qb_test_cli_lossless --table t --folder " + dir.file("plain"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_lossless.t where name = '" + G("表情?") + "'"), 1);
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_lossless");
}

// The password from QB_PASSWORD, or typed on the terminal without echo with --ask-password;
// --password still wins over the environment; without a terminal --ask-password is refused.
TEST(Cli, PasswordsFromTheEnvironmentOrTheTerminal) {
    QB_REQUIRE_SERVER();
    qb::test::TempDir dir;
    qb::test::write_file(dir.file("a.txt"), "x");
    qb::test::write_file(dir.file("c.ini"), "[" + G("主界面") + "]\r\n" + G("编辑框密码") +
                                                "=wrong\r\n" + G("字段数") + "=1\r\n" +
                                                G("字段名或位置(1)") + "=name\r\n" +
                                                G("数据来源(1)") + "=" + G("文件主名") + "\r\n");
    const auto a = qb::test::server_address();
    auto c = qb::test::connect_to_test_server();
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_pw");
    const std::string base = std::string(QB_CLI_PATH) + " import --config " + dir.file("c.ini") +
                             " --server " + a.text() + " --user " + a.user +
                             " --database qb_test_cli_pw --table t --types a.txt --folder " +
                             dir.path().string();
    auto run = [&](const std::string& command) {
        const int status = std::system((command + " >" + dir.file("out") + " 2>&1").c_str());
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                              qb::test::read_file(dir.file("out")));
    };
    const std::string password = "'" + a.password + "'";
    EXPECT_EQ(run(base).first, 1);  // the configuration's wrong password
    EXPECT_EQ(run("QB_PASSWORD=" + password + " " + base).first, 0);
    EXPECT_EQ(run("QB_PASSWORD=wrong " + base + " --password " + password).first, 0);
    auto refused = run(base + " --password x --ask-password");
    EXPECT_EQ(refused.first, 2);
    EXPECT_NE(refused.second.find("exclude each other"), std::string::npos);
    refused = run("setsid -w " + base + " --ask-password </dev/null");
    EXPECT_EQ(refused.first, 2);
    EXPECT_NE(refused.second.find("--ask-password needs a terminal"), std::string::npos);
    // On a terminal (script gives the program one), typed after the prompt: not echoed.
    const std::string typed =
        "(sleep 1; echo " + password + ") | script -qec \"" + base + " --ask-password\" /dev/null";
    const auto asked = run(typed);
    EXPECT_EQ(asked.first, 0) << asked.second;
    EXPECT_NE(asked.second.find("password: "), std::string::npos);
    if (!a.password.empty()) {
        EXPECT_EQ(asked.second.find(a.password), std::string::npos) << asked.second;
    }
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_pw.t"), 3);
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_pw");
}

TEST(Cli, ExportWritesTheImportedArticlesBack) {
    QB_REQUIRE_SERVER();
    auto c = qb::test::connect_to_test_server();
    ASSERT_TRUE(c);
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_export");
    const std::string config = " --config " + std::string(QB_SOURCE_DIR) + "/examples/import.ini " +
                               server_options() + " --database qb_test_cli_export";
    const std::string articles = std::string(QB_SOURCE_DIR) + "/examples/articles";
    ASSERT_EQ(run_cli("import" + config + " --folder " + articles).status, 0);
    EXPECT_EQ(run_cli("export" + config + " --random-order").status, 2);

    qb::test::TempDir dir;
    const std::string out = dir.file("out");
    CliRun r =
        run_cli("export" + config + " --folder " + out + " --types '*.txt' --encoding utf-8");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("导出完成，已导出 7 篇文章，表中有 7 条记录！"), std::string::npos)
        << r.out;
    // Each article comes back under its file name, as UTF-8 with a mark, with the text the
    // source file holds.
    std::vector<std::string> files;
    qb::import::CollectOptions collect;
    collect.patterns_gbk = "*.txt|*.html";
    collect.include_subfolders = true;
    qb::import::collect_article_files(files, articles, collect);
    ASSERT_EQ(files.size(), 7u);
    for (const std::string& f : files) {
        const std::string back = out + "/" + qb::text::base_name(f) + ".txt";
        const std::string bytes = qb::test::read_file(back);
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << back;
        EXPECT_EQ(qb::text::ReadArticleText(back, 0), qb::text::ReadArticleText(f, 0)) << back;
    }

    // A folder that cannot be made: every write fails, each one listed, exit status 1.
    qb::test::write_file(dir.file("blocked"), "");
    r = run_cli("export" + config + " --folder " + dir.file("blocked") + "/sub");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("有 7 篇文章写入文件失败。"), std::string::npos) << r.out;
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_export");
}

}  // namespace

// The link's protection from the configuration's keys, overridden by --tls and friends; the
// line on standard error says which link is in use, and a refusal says which check failed.
TEST(Cli, TlsModesFromTheConfigurationAndTheOptions) {
    QB_REQUIRE_TLS_SERVERS();
    qb::test::TempDir dir;
    qb::test::write_file(dir.file("a.txt"), "x");
    const auto a = qb::test::server_address();
    // The configuration asks for 验证证书 with the test CA.
    qb::test::write_file(dir.file("c.ini"),
                         "[" + G("主界面") + "]\r\n" + G("组合框加密") + "=3\r\n" +
                             G("编辑框证书") + "=" + G(qb::test::tls_file("ca.pem")) + "\r\n" +
                             G("字段数") + "=1\r\n" + G("字段名或位置(1)") + "=name\r\n" +
                             G("数据来源(1)") + "=" + G("文件主名") + "\r\n");
    auto c = qb::test::connect_to_test_server();
    qb::db::execute_sql(c.get(), "drop database if exists qb_test_cli_tls");
    const std::string base = "import --config " + dir.file("c.ini") + " --user " + a.user +
                             " --password '" + a.password +
                             "' --database qb_test_cli_tls --table t --types a.txt --folder " +
                             dir.path().string() + " --server ";
    const std::string by_name = base + "localhost:" + std::to_string(a.port);
    const std::string by_address = base + a.text();

    std::string said;  // everything said on standard error
    auto run = [&](const std::string& args) {
        CliRun x = run_cli(args);
        said += x.err;
        return x;
    };
    CliRun r = run(by_name);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("已使用加密连接 TLSv1."), std::string::npos) << r.err;
    r = run(by_address);  // the certificate does not name 127.0.0.1
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("服务器证书上的名字与所连的主机“127.0.0.1”不符"), std::string::npos)
        << r.err;
    r = run(by_name + " --tls-ca " + qb::test::tls_file("other-ca.pem"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("不是由所给的 CA 证书签发"), std::string::npos) << r.err;
    r = run(by_address + " --tls off");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("未加密连接（加密连接设为“关闭”）"), std::string::npos) << r.err;
    r = run(base + qb::test::plain_server_address().text() + " --tls required");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("服务器没有提供加密连接（TLS）"), std::string::npos) << r.err;
    r = run(by_address + " --tls sometimes");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--tls takes auto, off, required or verify"), std::string::npos);
    // No password in anything said about the link.
    if (!a.password.empty()) {
        EXPECT_EQ(said.find(a.password), std::string::npos);
    }
    EXPECT_EQ(count_of(c.get(), "qb_test_cli_tls.t"), 2);
    qb::db::execute_sql(c.get(), "drop database qb_test_cli_tls");
}

// The server of the run killed mid-import (its relay closes every link and the port): the
// run goes on with the next server of the list, says so, and lists the files whose batch got
// no answer as unconfirmed; every other file is on exactly one of the two servers, none twice.
TEST(Cli, AnImportGoesOnWithTheNextServerWhenItsServerDies) {
    QB_REQUIRE_TLS_SERVERS();
    qb::test::TempDir dir;
    const int files = 4000;
    std::filesystem::create_directory(dir.file("in"));
    for (int i = 0; i < files; ++i)
        qb::test::write_file(dir.file("in/f" + std::to_string(i) + ".txt"), "x");
    qb::test::write_file(dir.file("c.ini"), "[" + G("主界面") + "]\r\n" + G("字段数") + "=1\r\n" +
                                                G("字段名或位置(1)") + "=name\r\n" +
                                                G("数据来源(1)") + "=" + G("文件主名") + "\r\n");
    const auto a = qb::test::server_address();
    const auto plain = qb::test::plain_server_address();
    std::string error;
    auto on_a = qb::test::connect_to_test_server();
    auto on_plain =
        qb::db::open_connection(plain.host, plain.user, plain.password, {}, plain.port, &error);
    ASSERT_TRUE(on_a && on_plain) << error;
    for (auto* c : {on_a.get(), on_plain.get()}) {
        qb::db::execute_sql(c, "drop database if exists qb_test_cli_failover");
        ASSERT_TRUE(qb::db::execute_sql(c, "create database qb_test_cli_failover"));
        ASSERT_TRUE(qb::db::execute_sql(
            c,
            "create table qb_test_cli_failover.t (ID bigint auto_increment primary key, "
            "name varchar(40))"));
    }
    qb::test::Relay relay(a.host, a.port);
    Background run =
        start_cli({"import", "--config", dir.file("c.ini"), "--server",
                   relay.address() + " , " + plain.text(), "--user", a.user, "--password",
                   a.password, "--database", "qb_test_cli_failover", "--table", "t", "--types",
                   "*.txt", "--batch", "10", "--folder", dir.file("in")},
                  dir);
    for (int i = 0; i < 2000 && count_of(on_a.get(), "qb_test_cli_failover.t") < 300; ++i)
        usleep(5000);
    const int64_t before = count_of(on_a.get(), "qb_test_cli_failover.t");
    relay.cut();
    EXPECT_EQ(run.finish(), 1) << run.err();
    const std::string err = run.err();
    EXPECT_NE(err.find("已切换到服务器 " + plain.text()), std::string::npos) << err;
    EXPECT_NE(run.out().find("连接断开后已切换到服务器 " + plain.text()), std::string::npos);
    size_t unconfirmed = 0;
    for (size_t p = err.find("未确认："); p != std::string::npos; p = err.find("未确认：", p + 1))
        ++unconfirmed;
    EXPECT_GE(unconfirmed, 1u);
    EXPECT_LE(unconfirmed, 10u);  // one batch at most
    // Nothing on both servers; what is on neither is what was unconfirmed.
    const int64_t rows_a = count_of(on_a.get(), "qb_test_cli_failover.t");
    const int64_t rows_plain = count_of(on_plain.get(), "qb_test_cli_failover.t");
    std::printf(
        "failover: %lld rows before the cut, %lld on the first server, %lld on the "
        "second, %zu unconfirmed, of %d files\n",
        static_cast<long long>(before), static_cast<long long>(rows_a),
        static_cast<long long>(rows_plain), unconfirmed, files);
    EXPECT_GE(rows_a, before);
    EXPECT_GT(rows_plain, 0);
    EXPECT_GE(rows_a + rows_plain + static_cast<int64_t>(unconfirmed), files);
    EXPECT_LE(rows_a + rows_plain, files);
    ASSERT_TRUE(qb::db::execute_sql(on_a.get(), "select name from qb_test_cli_failover.t"));
    auto names = qb::db::take_result(on_a.get());
    std::string in_clause;
    for (uint64_t r = 0; r < names->row_count(); ++r) {
        names->move_to_row(r);
        std::string name;
        names->read_field(0u, name);
        in_clause += (r ? ",'" : "'") + name + "'";
    }
    EXPECT_EQ(count_of(on_plain.get(), "qb_test_cli_failover.t where name in (" + in_clause + ")"),
              0);
    for (auto* c : {on_a.get(), on_plain.get()})
        qb::db::execute_sql(c, "drop database qb_test_cli_failover");
}
