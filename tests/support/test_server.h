// The private server the test command starts: QB_TEST_SERVER=host:port, QB_TEST_USER,
// QB_TEST_PASSWORD. Without QB_TEST_SERVER the tests that need it are skipped; with it, a
// server that does not answer fails them.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "db/connection.h"

namespace qb::test {

struct ServerAddress {
    std::string host, user, password;
    unsigned port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

// A loopback port nothing listens on (just bound and released).
inline unsigned free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    unsigned port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

inline bool server_configured() {
    return std::getenv("QB_TEST_SERVER") != nullptr;
}

inline ServerAddress server_address() {
    ServerAddress a;
    db::parse_server_address(std::getenv("QB_TEST_SERVER"), a.host, a.port);
    const char* u = std::getenv("QB_TEST_USER");
    const char* p = std::getenv("QB_TEST_PASSWORD");
    a.user = u ? u : "root";
    a.password = p ? p : "";
    return a;
}

inline std::unique_ptr<db::Connection> connect_to_test_server() {
    ServerAddress a = server_address();
    std::string error;
    auto c = db::open_connection(a.host, a.user, a.password, {}, a.port, &error);
    EXPECT_TRUE(c) << "test server " << a.text() << ": " << error;
    if (c) db::execute_sql(c.get(), "set names 'GBK'");
    return c;
}

// A fresh, empty database selected on the connection.
inline void use_fresh_database(db::Connection* c, const std::string& name) {
    ASSERT_TRUE(db::execute_sql(c, "drop database if exists " + name));
    ASSERT_TRUE(db::execute_sql(c, "create database " + name + " character set utf8mb4"));
    ASSERT_TRUE(db::select_database(c, name));
}

// The test server's throwaway certificates (ca.pem, client-*.pem, other-ca.pem: see
// scripts/db-server) and a second server without TLS, as the test command starts them.
inline std::string tls_file(const std::string& name) {
    const char* dir = std::getenv("QB_TEST_TLS_DIR");
    return dir ? std::string(dir) + "/" + name : std::string();
}

inline ServerAddress plain_server_address() {
    ServerAddress a = server_address();
    db::parse_server_address(std::getenv("QB_TEST_PLAIN_SERVER"), a.host, a.port);
    return a;
}

#define QB_REQUIRE_TLS_SERVERS()                                                               \
    do {                                                                                       \
        if (!::qb::test::server_configured() || !std::getenv("QB_TEST_TLS_DIR") ||             \
            !std::getenv("QB_TEST_PLAIN_SERVER"))                                              \
            GTEST_SKIP() << "QB_TEST_SERVER, QB_TEST_TLS_DIR or QB_TEST_PLAIN_SERVER not set"; \
    } while (0)

#define QB_REQUIRE_SERVER()                                                             \
    do {                                                                                \
        if (!::qb::test::server_configured()) GTEST_SKIP() << "QB_TEST_SERVER not set"; \
    } while (0)

}  // namespace qb::test
