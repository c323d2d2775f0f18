// Import and export through a real three-node Galera cluster (scripts/galera-cluster, started
// by the test command: QB_TEST_GALERA holds the nodes, QB_TEST_GALERA_DIR their folder), and
// the failover when the node in use is killed mid-import.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "db/connection.h"
#include "test_server.h"
#include "test_util.h"

namespace {

using qb::test::G;

// The nodes as the program reads the list.
std::vector<std::string> nodes() {
    qb::db::LoginParameters p;
    qb::db::set_servers(p, std::getenv("QB_TEST_GALERA"));
    std::vector<std::string> out;
    for (const auto& [host, port] : p.servers) out.push_back(host + ":" + std::to_string(port));
    return out;
}

std::unique_ptr<qb::db::Connection> connect_to(const std::string& node) {
    qb::db::LoginParameters p;
    qb::db::set_servers(p, node);
    p.user = "root";
    p.password = std::getenv("QB_TEST_PASSWORD");
    p.statement_timeout = 30;
    std::string error;
    auto c = qb::db::open_connection(std::move(p), &error);
    EXPECT_TRUE(c) << node << ": " << error;
    return c;
}

using qb::test::count_of;

pid_t start_cli(const std::vector<std::string>& args, const std::string& out,
                const std::string& err) {
    return qb::test::start_process(QB_CLI_PATH, args, out, err);
}

int finish(pid_t pid) {
    return qb::test::wait_for_exit(pid);
}

TEST(Galera, ThroughTheClusterAndOnWhenTheNodeInUseIsKilled) {
    if (!std::getenv("QB_TEST_GALERA") || !std::getenv("QB_TEST_GALERA_DIR"))
        GTEST_SKIP() << "no Galera cluster (QB_TEST_GALERA): galera-4 or rsync not installed";
    const std::vector<std::string> node = nodes();
    ASSERT_EQ(node.size(), 3u);
    std::vector<std::unique_ptr<qb::db::Connection>> on;
    for (const std::string& n : node) on.push_back(connect_to(n));
    ASSERT_TRUE(on[0] && on[1] && on[2]);
    ASSERT_TRUE(qb::db::execute_sql(on[0].get(), "drop database if exists qb_test_galera"));
    ASSERT_TRUE(qb::db::execute_sql(on[0].get(), "create database qb_test_galera"));
    ASSERT_TRUE(
        qb::db::execute_sql(on[0].get(),
                            "create table qb_test_galera.t (ID bigint auto_increment primary key, "
                            "name varchar(40), body text)"));

    qb::test::TempDir dir;
    const int files = 3000;
    std::filesystem::create_directory(dir.file("in"));
    for (int i = 0; i < files; ++i)
        qb::test::write_file(dir.file("in/f" + std::to_string(i) + ".txt"), "x");
    qb::test::write_file(dir.file("c.ini"), "[" + G("主界面") + "]\r\n" + G("字段数") + "=2\r\n" +
                                                G("字段名或位置(1)") + "=name\r\n" +
                                                G("数据来源(1)") + "=" + G("文件主名") + "\r\n" +
                                                G("字段名或位置(2)") + "=body\r\n" +
                                                G("数据来源(2)") + "=" + G("文件内容") + "\r\n");
    const std::string list = node[0] + ", " + node[1] + ", " + node[2];
    const std::vector<std::string> common{"--config",   dir.file("c.ini"),
                                          "--server",   list,
                                          "--user",     "root",
                                          "--password", std::getenv("QB_TEST_PASSWORD"),
                                          "--database", "qb_test_galera",
                                          "--table",    "t",
                                          "--types",    "*.txt"};
    std::vector<std::string> import{"import", "--batch", "10", "--folder", dir.file("in")};
    import.insert(import.end(), common.begin(), common.end());
    // A table without a primary key would not replicate: said before the run.
    ASSERT_TRUE(qb::db::execute_sql(on[0].get(),
                                    "create table qb_test_galera.u (name varchar(40), body text)"));
    std::vector<std::string> unkeyed = import;
    unkeyed[std::find(unkeyed.begin(), unkeyed.end(), "t") - unkeyed.begin()] = "u";
    unkeyed.insert(unkeyed.end(), {"--types", "f1.txt"});
    ASSERT_EQ(finish(start_cli(unkeyed, dir.file("out"), dir.file("err"))), 0);
    EXPECT_NE(qb::test::read_file(dir.file("err"))
                  .find("表 u 没有主键：Galera 集群只复制有主键的表，导入的行只会留在当前节点 " +
                        node[0] + " 上。"),
              std::string::npos)
        << qb::test::read_file(dir.file("err"));

    const pid_t run = start_cli(import, dir.file("out"), dir.file("err"));
    // Rows seen on another node: they replicate while the run goes.
    for (int i = 0; i < 3000 && count_of(on[1].get(), "qb_test_galera.t") < 300; ++i) usleep(5000);
    const int64_t before = count_of(on[1].get(), "qb_test_galera.t");
    const std::string pid_file = std::string(std::getenv("QB_TEST_GALERA_DIR")) + "/n1.pid";
    const pid_t node1 = static_cast<pid_t>(std::stol(qb::test::read_file(pid_file)));
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(node1, SIGKILL), 0);
    on[0].reset();
    double switch_seconds = -1;
    const std::string switched = "已切换到服务器 " + node[1];
    for (int i = 0; i < 6000 && switch_seconds < 0; ++i) {
        if (qb::test::read_file(dir.file("err")).find(switched) != std::string::npos)
            switch_seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
        else
            usleep(5000);
    }
    const int status = finish(run);
    const std::string err = qb::test::read_file(dir.file("err"));
    const std::string out = qb::test::read_file(dir.file("out"));
    EXPECT_NE(err.find("已连接服务器 " + node[0]), std::string::npos) << err;
    EXPECT_NE(err.find(switched), std::string::npos) << err;
    size_t unconfirmed = 0;
    for (size_t p = err.find("未确认："); p != std::string::npos; p = err.find("未确认：", p + 1))
        ++unconfirmed;
    EXPECT_EQ(status, unconfirmed ? 1 : 0) << err;
    EXPECT_LE(unconfirmed, 10u);
    // The summary matches the rows on the surviving nodes, but for the unconfirmed files.
    const int64_t rows = count_of(on[1].get(), "qb_test_galera.t");
    EXPECT_EQ(count_of(on[2].get(), "qb_test_galera.t"), rows);
    EXPECT_EQ(count_of(on[1].get(),
                       "(select name from qb_test_galera.t group by name having "
                       "count(*) > 1) d"),
              0);  // nothing imported twice
    EXPECT_GE(rows + static_cast<int64_t>(unconfirmed), files);
    EXPECT_LE(rows, files);
    // (The summary on standard output is UTF-8.)
    EXPECT_NE(out.find("当前表有 " + std::to_string(rows) + " 条记录"), std::string::npos) << out;
    std::printf(
        "galera failover: %lld rows before the kill, %lld after, %zu unconfirmed, of %d "
        "files; switched %.2f s after the kill\n",
        static_cast<long long>(before), static_cast<long long>(rows), unconfirmed, files,
        switch_seconds);
    std::fflush(stdout);  // before the next fork copies what is buffered

    // The export through the same list, whose first node is down now: every row once.
    std::vector<std::string> exporting{"export", "--folder", dir.file("back")};
    exporting.insert(exporting.end(), common.begin(), common.end());
    const pid_t back = start_cli(exporting, dir.file("out2"), dir.file("err2"));
    EXPECT_EQ(finish(back), 0) << qb::test::read_file(dir.file("err2"));
    EXPECT_NE(qb::test::read_file(dir.file("err2")).find("已连接服务器 " + node[1]),
              std::string::npos);
    size_t written = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("back")))
        written += e.is_regular_file();
    EXPECT_EQ(static_cast<int64_t>(written), rows);
    qb::db::execute_sql(on[1].get(), "drop database qb_test_galera");
}

}  // namespace
