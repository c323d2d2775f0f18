#include "db/connection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "db/statements.h"
#include "test_server.h"
#include "test_util.h"

namespace qb::db {
namespace {

using test::G;

TEST(ServerAddress, HostAndOptionalPort) {
    std::string host;
    unsigned port = 1;
    parse_server_address("127.0.0.1", host, port);
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 0u);
    parse_server_address(" db.example:3307 ", host, port);
    EXPECT_EQ(host, "db.example");
    EXPECT_EQ(port, 3307u);
    parse_server_address("", host, port);
    EXPECT_EQ(host, "");
    EXPECT_EQ(port, 0u);
    parse_server_address("::1", host, port);  // IPv6, no port
    EXPECT_EQ(host, "::1");
    parse_server_address("h:99999", host, port);
    EXPECT_EQ(host, "h:99999");
    EXPECT_EQ(port, 0u);
}

TEST(DateTimeText, ParsesPartsAndRejectsZeroDates) {
    EXPECT_EQ(parse_date_time("2013-5-7 8:09:10"), (DateTime{2013, 5, 7, 8, 9, 10, false}));
    EXPECT_EQ(parse_date_time("2013-05-07"), (DateTime{2013, 5, 7, 0, 0, 0, false}));
    EXPECT_TRUE(parse_date_time("0000-00-00 00:00:00").empty);
    EXPECT_TRUE(parse_date_time("garbage").empty);
}

TEST(ZeroHandle, EveryOperationFailsQuietly) {
    EXPECT_FALSE(execute_sql(nullptr, "select 1"));
    EXPECT_FALSE(take_result(nullptr));
    EXPECT_FALSE(select_database(nullptr, "x"));
    std::string e = "unchanged";
    EXPECT_FALSE(last_error(nullptr, e));
    EXPECT_EQ(e, "unchanged");
    EXPECT_FALSE(insert_record(nullptr, "t", "a='1'"));
    EXPECT_FALSE(create_table(nullptr, "t", {}));
    EXPECT_FALSE(grant_user(nullptr, "", "u", "", "", "", 0));
}

TEST(Login, SuccessWrongPasswordEmptyPasswordAndUnreachableHost) {
    QB_REQUIRE_SERVER();
    auto a = test::server_address();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    ASSERT_TRUE(execute_sql(c.get(), "select @@character_set_client, @@character_set_connection"));
    auto r = take_result(c.get());
    ASSERT_TRUE(r);
    std::string cs;
    EXPECT_TRUE(r->read_field(0u, cs));
    EXPECT_EQ(cs, "gbk");

    std::string error;
    EXPECT_FALSE(open_connection(a.host, a.user, a.password + "x", {}, a.port, &error));
    EXPECT_NE(error.find("Access denied"), std::string::npos) << error;
    // An empty password field sends none at all.
    EXPECT_FALSE(open_connection(a.host, a.user, "", {}, a.port, &error));
    EXPECT_NE(error.find("using password: NO"), std::string::npos) << error;
    execute_sql(c.get(), "drop user if exists 'qb_nopw'@'127.0.0.1'");
    ASSERT_TRUE(execute_sql(c.get(), "create user 'qb_nopw'@'127.0.0.1'"));
    EXPECT_TRUE(open_connection(a.host, "qb_nopw", "", {}, a.port, &error)) << error;
    execute_sql(c.get(), "drop user 'qb_nopw'@'127.0.0.1'");

    // A server that does not answer within the statement timeout counts as a lost link.
    auto slow = open_connection(a.host, a.user, a.password, {}, a.port, &error, 1);
    ASSERT_TRUE(slow) << error;
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(execute_sql(slow.get(), "select sleep(4)"));
    EXPECT_TRUE(connection_lost(slow.get()));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(4));

    // "localhost" with a port reaches that port over TCP, not the client library's socket.
    auto local = open_connection("localhost", a.user, a.password, {}, a.port, &error);
    ASSERT_TRUE(local) << error;
    ASSERT_TRUE(execute_sql(local.get(), "select @@port"));
    int64_t port = 0;
    take_result(local.get())->read_field(0u, port);
    EXPECT_EQ(port, a.port);  // the test server answered, not one on the default socket

    // A host that does not answer gives up within the connect timeout.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(open_connection("10.255.255.1", "root", "x", {}, 3306, &error));
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(kConnectTimeoutSeconds + 5));
    // Nothing listens on this port of the test server's host.
    EXPECT_FALSE(open_connection(a.host, a.user, a.password, {}, 1, &error));
}

// A login with the test account, protected as tls says.
std::unique_ptr<Connection> log_in_with(const test::ServerAddress& a, TlsSettings tls,
                                        std::string* error, const std::string& host = {}) {
    LoginParameters p;
    p.host = host.empty() ? a.host : host;
    p.user = a.user;
    p.password = a.password;
    p.port = a.port;
    p.statement_timeout = kShortAnswerSeconds;
    p.tls = std::move(tls);
    return open_connection(std::move(p), error);
}

// What the server says the session's link is: the client's own word could be wrong.
std::string server_side_tls(Connection* c) {
    if (!execute_sql(c, "show session status like 'Ssl_version'")) return "?";
    auto r = take_result(c);
    std::string v;
    if (!r || !r->read_field(1u, v)) return "?";
    return v;
}

TEST(Tls, EveryModeAgainstAServerWithTls) {
    QB_REQUIRE_TLS_SERVERS();
    const test::ServerAddress a = test::server_address();
    const std::string ca = test::tls_file("ca.pem");
    std::string error;
    for (TlsMode mode : {TlsMode::Auto, TlsMode::Required}) {
        auto c = log_in_with(a, {mode, {}, {}, {}}, &error);
        ASSERT_TRUE(c) << error;
        EXPECT_EQ(server_side_tls(c.get()), tls_version(c.get()));
        EXPECT_EQ(tls_version(c.get()).rfind("TLSv1.", 0), 0u) << tls_version(c.get());
        EXPECT_EQ(link_security(c.get()), G("已使用加密连接 ") + tls_version(c.get()));
        // A login made again (after a lost link) is protected the same way.
        ASSERT_TRUE(reconnect(c.get(), &error)) << error;
        EXPECT_EQ(server_side_tls(c.get()), tls_version(c.get()));
        EXPECT_FALSE(tls_version(c.get()).empty());
    }
    auto off = log_in_with(a, {TlsMode::Off, {}, {}, {}}, &error);
    ASSERT_TRUE(off) << error;
    EXPECT_EQ(server_side_tls(off.get()), "");
    EXPECT_EQ(link_security(off.get()), G("未加密连接（加密连接设为“关闭”）"));

    // The certificate names "localhost": verified when that is the host dialled.
    auto verified = log_in_with(a, {TlsMode::Verify, ca, {}, {}}, &error, "localhost");
    ASSERT_TRUE(verified) << error;
    EXPECT_FALSE(server_side_tls(verified.get()).empty());

    struct Refusal {
        TlsSettings tls;
        std::string host, reason;
    } refusals[] = {
        {{TlsMode::Verify, ca, {}, {}},
         "127.0.0.1",
         "加密连接失败：服务器证书上的名字与所连的主机“127.0.0.1”不符"},
        {{TlsMode::Verify, test::tls_file("other-ca.pem"), {}, {}},
         "localhost",
         "加密连接失败：服务器证书不是由所给的 CA 证书签发（"},
        {{TlsMode::Verify, {}, {}, {}},
         "localhost",
         "加密连接失败：服务器证书不是由本机信任的机构签发（"},
        {{TlsMode::Verify, test::tls_file("no-such.pem"), {}, {}},
         "localhost",
         "加密连接失败：无法读取CA 证书文件 " + test::tls_file("no-such.pem")},
        {{TlsMode::Required, {}, test::tls_file("no-such.pem"), {}},
         "localhost",
         "加密连接失败：无法读取客户端证书文件 " + test::tls_file("no-such.pem")},
    };
    for (const Refusal& r : refusals) {
        error.clear();
        EXPECT_FALSE(log_in_with(a, r.tls, &error, r.host)) << r.reason;
        EXPECT_EQ(error.rfind(G(r.reason), 0), 0u) << text::gbk_to_utf8(error);
    }
}

TEST(Tls, AServerWithoutTlsIsPlainUnderAutoAndRefusedWhenTlsIsRequired) {
    QB_REQUIRE_TLS_SERVERS();
    const test::ServerAddress plain = test::plain_server_address();
    std::string error;
    auto c = log_in_with(plain, {TlsMode::Auto, {}, {}, {}}, &error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(tls_version(c.get()), "");
    EXPECT_EQ(link_security(c.get()), G("未加密连接：服务器没有提供加密连接（TLS）"));
    for (TlsMode mode : {TlsMode::Required, TlsMode::Verify}) {
        error.clear();
        EXPECT_FALSE(log_in_with(plain, {mode, test::tls_file("ca.pem"), {}, {}}, &error));
        EXPECT_EQ(error, G("加密连接失败：服务器没有提供加密连接（TLS）"));
    }
}

TEST(Tls, AccountsThatRequireSslOrACertificate) {
    QB_REQUIRE_TLS_SERVERS();
    auto admin = test::connect_to_test_server();
    ASSERT_TRUE(admin);
    for (const char* account : {"qb_tls_ssl", "qb_tls_x509"})
        execute_sql(admin.get(), std::string("drop user if exists '") + account + "'@'127.0.0.1'");
    ASSERT_TRUE(execute_sql(admin.get(),
                            "create user 'qb_tls_ssl'@'127.0.0.1' identified by 'pw' require ssl"));
    ASSERT_TRUE(execute_sql(
        admin.get(), "create user 'qb_tls_x509'@'127.0.0.1' identified by 'pw' require x509"));
    test::ServerAddress a = test::server_address();
    a.password = "pw";
    std::string error;
    a.user = "qb_tls_ssl";
    EXPECT_FALSE(log_in_with(a, {TlsMode::Off, {}, {}, {}}, &error));
    EXPECT_NE(error.find("Access denied"), std::string::npos) << error;
    EXPECT_TRUE(log_in_with(a, {TlsMode::Auto, {}, {}, {}}, &error)) << error;
    a.user = "qb_tls_x509";
    EXPECT_FALSE(log_in_with(a, {TlsMode::Required, {}, {}, {}}, &error));
    auto with_certificate = log_in_with(a,
                                        {TlsMode::Required,
                                         {},
                                         test::tls_file("client-cert.pem"),
                                         test::tls_file("client-key.pem")},
                                        &error);
    EXPECT_TRUE(with_certificate) << error;
    for (const char* account : {"qb_tls_ssl", "qb_tls_x509"})
        execute_sql(admin.get(), std::string("drop user '") + account + "'@'127.0.0.1'");
}

TEST(ServerList, CommaSeparatedAndOneHostAsBefore) {
    LoginParameters one;
    set_servers(one, " 10.0.0.1:3307 ");
    EXPECT_EQ(one.host, "10.0.0.1");
    EXPECT_EQ(one.port, 3307u);
    ASSERT_EQ(one.servers.size(), 1u);
    LoginParameters list;
    set_servers(list, "a:1 , b,, c:3 ");
    EXPECT_EQ(list.servers,
              (std::vector<std::pair<std::string, unsigned>>{{"a", 1u}, {"b", 0u}, {"c", 3u}}));
    EXPECT_EQ(list.host, "a");
    EXPECT_EQ(list.port, 1u);
}

// The first server of the list that answers is used; a failover goes to the next one and a
// new login starts again from the first that answers.
TEST(ServerList, TheFirstThatAnswersAndTheNextAfterALostLink) {
    QB_REQUIRE_TLS_SERVERS();
    const test::ServerAddress a = test::server_address();
    const test::ServerAddress plain = test::plain_server_address();
    auto login = [&](const std::string& servers, std::string* error) {
        LoginParameters p;
        set_servers(p, servers);
        p.user = a.user;
        p.password = a.password;
        p.statement_timeout = kShortAnswerSeconds;
        return open_connection(std::move(p), error);
    };
    // Nothing listens on a port just freed.
    const std::string down = "127.0.0.1:" + std::to_string(test::free_port());
    std::string error;
    auto c = login(down + ", " + a.text() + " ," + plain.text(), &error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(server_in_use(c.get()), a.text());
    std::string to;
    ASSERT_TRUE(fail_over(c.get(), &to, &error)) << error;
    EXPECT_EQ(to, plain.text());
    EXPECT_EQ(server_in_use(c.get()), plain.text());
    EXPECT_EQ(tls_version(c.get()), "");  // the plain server: the link it has
    ASSERT_TRUE(execute_sql(c.get(), "select 1"));
    // Round the list: past the last, the first that answers.
    ASSERT_TRUE(fail_over(c.get(), &to, &error)) << error;
    EXPECT_EQ(to, a.text());
    ASSERT_TRUE(reconnect(c.get(), &error));
    EXPECT_EQ(server_in_use(c.get()), a.text());

    // One server: no failover. None answering: each is named with its reason.
    auto single = login(a.text(), &error);
    ASSERT_TRUE(single);
    EXPECT_FALSE(fail_over(single.get(), &to, &error));
    error.clear();
    EXPECT_FALSE(login(down + "," + down, &error));
    EXPECT_EQ(error.rfind(down + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("\r\n" + down + ": "), std::string::npos) << error;
}

TEST(Statements, RejectedStatementsAndResultSets) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    test::use_fresh_database(c.get(), "qb_test_results");
    EXPECT_FALSE(execute_sql(c.get(), "selec nonsense"));
    std::string error;
    EXPECT_TRUE(last_error(c.get(), error));
    EXPECT_NE(error.find("SQL syntax"), std::string::npos);
    EXPECT_TRUE(execute_sql(c.get(), "create table t (id int, name varchar(20));"));
    EXPECT_FALSE(take_result(c.get()));  // no result set
    EXPECT_TRUE(execute_sql(c.get(), "insert into t values (1,'a'),(2,'b'),(3,'c')"));
    ASSERT_TRUE(execute_sql(c.get(), "select * from t order by id"));
    auto r = take_result(c.get());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->row_count(), 3u);
    EXPECT_EQ(r->field_count(), 2u);
    std::string name;
    EXPECT_TRUE(r->field_name(1, name));
    EXPECT_EQ(name, "name");
    EXPECT_FALSE(r->field_name(2, name));
    int32_t id = 0;
    EXPECT_FALSE(r->read_field("missing", id));
    EXPECT_TRUE(r->read_field("id", id));
    EXPECT_EQ(id, 1);
    EXPECT_FALSE(r->move_to_row(3));  // equal to the row count: refused, cursor stays
    EXPECT_TRUE(r->read_field("id", id));
    EXPECT_EQ(id, 1);
    EXPECT_TRUE(r->move_to_row(2));
    EXPECT_TRUE(r->next_row());
    EXPECT_FALSE(r->next_row());
    EXPECT_TRUE(r->read_field("name", name));  // past the end: the last row
    EXPECT_EQ(name, "c");
    release_result(r);
    EXPECT_FALSE(r);
}

TEST(ReadField, EveryOutTypeAndNull) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    test::use_fresh_database(c.get(), "qb_test_types");
    ASSERT_TRUE(execute_sql(c.get(),
                            "create table t (i int, b bigint, d double, m decimal(10,3), "
                            "v varchar(20), x text, bl blob, dt date, tm time, y year, "
                            "dtt datetime, ts timestamp null) character set gbk"));
    ASSERT_TRUE(execute_sql(c.get(),
                            "insert into t values (-42, 9007199254740993, 2.5, 12.345, "
                            "'" +
                                G("中文") +
                                "', 'long text', 'a\\0b', '2013-05-07', "
                                "'08:09:10', 2014, '2015-01-02 03:04:05', "
                                "'2016-02-03 04:05:06')"));
    ASSERT_TRUE(execute_sql(c.get(), "insert into t () values ()"));
    ASSERT_TRUE(execute_sql(c.get(), "select * from t"));
    auto r = take_result(c.get());
    ASSERT_TRUE(r);
    int16_t i16 = 0;
    int32_t i32 = 0;
    int64_t i64 = 0;
    double d = 0;
    float f = 0;
    bool yes = false;
    std::string s;
    Bytes bytes;
    DateTime t;
    EXPECT_TRUE(r->read_field("i", i16));
    EXPECT_EQ(i16, -42);
    EXPECT_TRUE(r->read_field("i", i32));
    EXPECT_EQ(i32, -42);
    EXPECT_TRUE(r->read_field("b", i64));
    EXPECT_EQ(i64, 9007199254740993LL);
    EXPECT_TRUE(r->read_field("d", d));
    EXPECT_EQ(d, 2.5);
    EXPECT_TRUE(r->read_field("m", f));
    EXPECT_FLOAT_EQ(f, 12.345f);
    EXPECT_TRUE(r->read_field("m", s));
    EXPECT_EQ(s, "12.345");
    EXPECT_TRUE(r->read_field("i", yes));
    EXPECT_TRUE(yes);
    EXPECT_TRUE(r->read_field("v", s));
    EXPECT_EQ(s, G("中文"));
    EXPECT_TRUE(r->read_field("x", s));
    EXPECT_EQ(s, "long text");
    EXPECT_TRUE(r->read_field("bl", bytes));
    EXPECT_EQ(bytes.data, std::string("a\0b", 3));
    EXPECT_TRUE(r->read_field("bl", s));
    EXPECT_EQ(s, "a");  // text stops at the zero byte
    EXPECT_TRUE(r->read_field("dt", t));
    EXPECT_EQ(t, (DateTime{2013, 5, 7, 0, 0, 0, false}));
    EXPECT_TRUE(r->read_field("tm", t));
    EXPECT_EQ(t, (DateTime{2000, 1, 1, 8, 9, 10, false}));
    EXPECT_TRUE(r->read_field("y", t));
    EXPECT_EQ(t, (DateTime{2014, 1, 1, 0, 0, 0, false}));
    EXPECT_TRUE(r->read_field("dtt", t));
    EXPECT_EQ(t, (DateTime{2015, 1, 2, 3, 4, 5, false}));
    EXPECT_TRUE(r->read_field("ts", t));
    EXPECT_EQ(t, (DateTime{2016, 2, 3, 4, 5, 6, false}));

    // NULLs: the empty value of each type, and still true.
    ASSERT_TRUE(r->move_to_row(1));
    i32 = 7;
    EXPECT_TRUE(r->read_field("i", i32));
    EXPECT_EQ(i32, 0);
    yes = true;
    EXPECT_TRUE(r->read_field("i", yes));
    EXPECT_FALSE(yes);
    s = "x";
    EXPECT_TRUE(r->read_field("v", s));
    EXPECT_EQ(s, "");
    bytes.data = "x";
    EXPECT_TRUE(r->read_field("bl", bytes));
    EXPECT_EQ(bytes.data, "");
    EXPECT_TRUE(r->read_field("dtt", t));
    EXPECT_TRUE(t.empty);
    d = 1;
    EXPECT_TRUE(r->read_field(2u, d));
    EXPECT_EQ(d, 0);
}

TEST(Connection, AKilledConnectionMakesStatementsFail) {
    QB_REQUIRE_SERVER();
    auto victim = test::connect_to_test_server();
    auto killer = test::connect_to_test_server();
    ASSERT_TRUE(victim && killer);
    ASSERT_TRUE(execute_sql(victim.get(), "select connection_id()"));
    auto r = take_result(victim.get());
    ASSERT_TRUE(r);
    int64_t id = 0;
    r->read_field(0u, id);
    ASSERT_TRUE(execute_sql(killer.get(), "kill connection " + std::to_string(id)));
    usleep(200 * 1000);  // the server has said its last word ("Connection was killed")
    EXPECT_FALSE(execute_sql(victim.get(), "select 1"));
    std::string e;
    EXPECT_TRUE(last_error(victim.get(), e));
    // Whatever number the failure has, it means the link is gone.
    EXPECT_TRUE(connection_lost(victim.get())) << last_error_code(victim.get()) << " " << e;
    EXPECT_FALSE(take_result(victim.get()));
    EXPECT_FALSE(insert_record(victim.get(), "t", "a='1'"));
    EXPECT_TRUE(connection_lost(victim.get()));

    // Logging in again keeps the handle, in GBK, with the same account.
    Connection* handle = victim.get();
    ASSERT_TRUE(ensure_alive(handle));
    EXPECT_NE(session_id(handle), static_cast<unsigned long>(id));
    ASSERT_TRUE(execute_sql(handle, "select @@character_set_client, current_user()"));
    r = take_result(handle);
    std::string charset, user;
    r->read_field(0u, charset);
    r->read_field(1u, user);
    EXPECT_EQ(charset, "gbk");
    EXPECT_EQ(user.substr(0, user.find('@')), test::server_address().user);
    EXPECT_TRUE(ensure_alive(handle));  // a live link is left as it is
    EXPECT_FALSE(ensure_alive(nullptr));

    // Killed while a statement runs.
    const std::string busy = std::to_string(session_id(handle));
    ASSERT_TRUE(send_sql(handle, "select sleep(20)"));
    for (int i = 0; i < 500; ++i) {
        execute_sql(killer.get(), "select count(*) from information_schema.processlist where id=" +
                                      busy + " and info like 'select sleep%'");
        int64_t n = 0;
        take_result(killer.get())->read_field(0u, n);
        if (n > 0) break;
        usleep(10 * 1000);
    }
    ASSERT_TRUE(execute_sql(killer.get(), "kill connection " + busy));
    const SentOutcome killed = finish_sent_sql(handle);
    EXPECT_FALSE(killed.ok);
    EXPECT_TRUE(killed.lost) << killed.error;
    close_connection(victim);
    EXPECT_FALSE(victim);
}

}  // namespace
}  // namespace qb::db

namespace qb::db {
namespace {

int64_t first_number(Connection* c) {
    auto r = take_result(c);
    int64_t n = -1;
    if (r) r->read_field(0u, n);
    return n;
}

TEST(PendingResults, ACallLeavesTheConnectionUsableAndTheCurrentDatabaseIsFollowed) {
    QB_REQUIRE_SERVER();
    auto owned = test::connect_to_test_server();
    ASSERT_TRUE(owned);
    Connection* c = owned.get();
    test::use_fresh_database(c, "qb_test_results");
    ASSERT_TRUE(execute_sql(c, "create procedure two() begin select 1; select 2; end"));
    // The first result set is the one taken; the second and the CALL's status are read.
    ASSERT_TRUE(execute_sql(c, "call two()"));
    EXPECT_EQ(first_number(c), 1);
    ASSERT_TRUE(execute_sql(c, "select 3"));
    EXPECT_EQ(first_number(c), 3);
    // Nobody takes the results: the next statement still goes through, and so does a USE.
    ASSERT_TRUE(execute_sql(c, "call two()"));
    ASSERT_TRUE(execute_sql(c, "select 4"));
    EXPECT_EQ(first_number(c), 4);
    ASSERT_TRUE(execute_sql(c, "call two()"));
    EXPECT_TRUE(select_database(c, "qb_test_results"));

    // A USE sent as a statement moves the tracked database; use_database moves it back.
    EXPECT_EQ(current_database(c), "qb_test_results");
    ASSERT_TRUE(execute_sql(c, "use mysql"));
    EXPECT_EQ(current_database(c), "mysql");
    EXPECT_TRUE(use_database(c, "qb_test_results"));
    ASSERT_TRUE(execute_sql(c, "select database()"));
    auto r = take_result(c);
    std::string name;
    r->read_field(0u, name);
    EXPECT_EQ(name, "qb_test_results");
    EXPECT_FALSE(use_database(c, "qb_test_no_such_database"));
    EXPECT_EQ(current_database(c), "qb_test_results");
    // A server that does not report a USE (schema tracking off, as on older servers): the
    // library still names the old database, and use_database selects for real.
    ASSERT_TRUE(execute_sql(c, "set session session_track_schema=OFF"));
    ASSERT_TRUE(use_database(c, "qb_test_results"));
    ASSERT_TRUE(execute_sql(c, "use mysql"));
    EXPECT_EQ(current_database(c), "qb_test_results");  // what the library believes
    EXPECT_TRUE(use_database(c, "qb_test_results"));
    ASSERT_TRUE(execute_sql(c, "select database()"));
    r = take_result(c);
    r->read_field(0u, name);
    EXPECT_EQ(name, "qb_test_results");
    ASSERT_TRUE(execute_sql(c, "set session session_track_schema=ON"));
    EXPECT_TRUE(execute_sql(c, "drop database qb_test_results"));
    EXPECT_EQ(current_database(c), "");
    EXPECT_FALSE(use_database(nullptr, "x"));
}

}  // namespace
}  // namespace qb::db
