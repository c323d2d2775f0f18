#include "db/connection.h"

#include <errmsg.h>
#include <mysql.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "text/date_parts.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::db {

namespace {

const char* or_null(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

}  // namespace

Connection::~Connection() {
    mysql_close(mysql_);
}

namespace {

// The client library's TLS failures in the operator's words: which check failed.
std::string tls_failure(const LoginParameters& p, const std::string& reason) {
    const std::string head = text::G("加密连接失败：");
    if (reason.find("server does not support") != std::string::npos)
        return head + text::G("服务器没有提供加密连接（TLS）");
    if (reason.find("Validation of SSL server certificate failed") != std::string::npos)
        return head + text::G("服务器证书上的名字与所连的主机“") + p.host + text::G("”不符");
    if (reason.find("certificate") != std::string::npos)
        return head +
               (p.tls.ca.empty() ? text::G("服务器证书不是由本机信任的机构签发（")
                                 : text::G("服务器证书不是由所给的 CA 证书签发（")) +
               reason + text::G("）");
    return head + reason;
}

// The files a TLS login names must be readable: the client library's own word for a missing
// one is a bare errno text.
bool tls_files_readable(const LoginParameters& p, std::string* error) {
    const std::pair<const std::string*, const char*> files[] = {
        {&p.tls.ca, "CA 证书"}, {&p.tls.cert, "客户端证书"}, {&p.tls.key, "客户端密钥"}};
    for (const auto& [path, what] : files) {
        if (path->empty() || ::access(path->c_str(), R_OK) == 0) continue;
        if (error)
            *error = text::G("加密连接失败：无法读取") + text::G(what) + text::G("文件 ") +
                     text::utf8_to_gbk(*path);
        return false;
    }
    return true;
}

MYSQL* log_in_once(const LoginParameters& p, bool tls, std::string* error, unsigned* code) {
    MYSQL* m = mysql_init(nullptr);
    if (!m) {
        if (error) *error = "out of memory";
        return nullptr;
    }
    unsigned timeout = kConnectTimeoutSeconds;
    unsigned statement_timeout = p.statement_timeout;
    mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_optionsv(m, MYSQL_OPT_READ_TIMEOUT, &statement_timeout);
    mysql_optionsv(m, MYSQL_OPT_WRITE_TIMEOUT, &statement_timeout);
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, p.lossless ? "utf8mb4" : "gbk");
    // The client library takes "localhost" for its Unix socket and ignores the port: a port
    // given means that port, over TCP.
    if (p.port != 0) {
        const unsigned tcp = MYSQL_PROTOCOL_TCP;
        mysql_optionsv(m, MYSQL_OPT_PROTOCOL, &tcp);
    }
    if (tls) {
        // Any TLS option makes the library ask for TLS where the server offers it; the
        // certificate is checked (chain and host name) only when asked to.
        mysql_ssl_set(m, or_null(p.tls.key), or_null(p.tls.cert), or_null(p.tls.ca), nullptr,
                      nullptr);
        const my_bool verify = p.tls.mode == TlsMode::Verify;
        mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify);
    }
    if (!mysql_real_connect(m, or_null(p.host), or_null(p.user), or_null(p.password),
                            or_null(p.database), p.port, nullptr, 0)) {
        if (error) *error = mysql_error(m);
        if (code) *code = mysql_errno(m);
        mysql_close(m);
        return nullptr;
    }
    return m;
}

std::string address_text(const std::string& host, unsigned port) {
    return (host.empty() ? std::string("localhost") : host) +
           (port ? ":" + std::to_string(port) : std::string());
}

// One value of "show variables/status like name"; empty when the server has none.
std::string server_value(MYSQL* m, const char* statement) {
    std::string v;
    if (mysql_query(m, statement) != 0) return v;
    if (MYSQL_RES* r = mysql_store_result(m)) {
        if (MYSQL_ROW row = mysql_fetch_row(r); row && row[1]) v = row[1];
        mysql_free_result(r);
    }
    return v;
}

// A Galera node takes statements only while it is part of the cluster and synced; a server
// without Galera (wsrep_on absent or OFF) is always ready.
const char* const kWsrepOn = "show variables like 'wsrep_on'";

bool ready(MYSQL* m, std::string* why) {
    if (server_value(m, kWsrepOn) != "ON") return true;
    const std::string state = server_value(m, "show status like 'wsrep_local_state_comment'");
    if (server_value(m, "show status like 'wsrep_ready'") == "ON" && state == "Synced") return true;
    if (why) *why = text::G("集群节点还没有准备好（") + state + text::G("）");
    return false;
}

MYSQL* log_in_to(const LoginParameters& p, std::string* error) {
    const TlsMode mode = p.tls.mode;
    if (mode == TlsMode::Off) return log_in_once(p, false, error, nullptr);
    if (!tls_files_readable(p, error)) return nullptr;
    std::string reason;
    unsigned code = 0;
    MYSQL* m = log_in_once(p, true, &reason, &code);
    if (!m && code == CR_SSL_CONNECTION_ERROR && mode == TlsMode::Auto) {
        // The server offered TLS but the handshake failed (an old protocol, a broken
        // certificate): as a client that merely prefers TLS, log in without it.
        return log_in_once(p, false, error, nullptr);
    }
    if (!m) {
        if (error) *error = code == CR_SSL_CONNECTION_ERROR ? tls_failure(p, reason) : reason;
        return nullptr;
    }
    // The library falls back to a plain link by itself when the server has no TLS, even
    // when told to enforce it; only a verified certificate makes it refuse. The login
    // exchanged scrambles, not the password, and no statement has been sent.
    if (mode == TlsMode::Required && !mysql_get_ssl_cipher(m)) {
        mysql_close(m);
        if (error) *error = tls_failure(p, "server does not support");
        return nullptr;
    }
    return m;
}

// Logs in to the first server of the list, from first on and round it once, that answers and
// is ready; p's host, port and current then name it. With several servers the reason names
// each server tried.
MYSQL* log_in(LoginParameters& p, std::string* error, size_t first = 0) {
    const size_t n = p.servers.size();
    if (n <= 1) {
        MYSQL* m = log_in_to(p, error);
        std::string why;
        if (m && !ready(m, &why)) {
            mysql_close(m);
            if (error) *error = why;
            return nullptr;
        }
        return m;
    }
    std::string reasons;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (first + k) % n;
        LoginParameters one = p;
        one.servers.clear();
        std::tie(one.host, one.port) = p.servers[i];
        std::string why;
        if (MYSQL* m = log_in(one, &why)) {
            p.host = one.host;
            p.port = one.port;
            p.current = i;
            return m;
        }
        reasons += (reasons.empty() ? "" : "\r\n") + address_text(one.host, one.port) + ": " + why;
    }
    if (error) *error = reasons;
    return nullptr;
}

}  // namespace

std::unique_ptr<Connection> open_connection(LoginParameters p, std::string* error) {
    MYSQL* m = log_in(p, error);
    if (!m) return nullptr;
    return std::unique_ptr<Connection>(new Connection(m, std::move(p)));
}

std::unique_ptr<Connection> open_connection(const std::string& host, const std::string& user,
                                            const std::string& password,
                                            const std::string& database, unsigned port,
                                            std::string* error, unsigned statement_timeout) {
    LoginParameters p;
    p.host = host;
    p.user = user;
    p.password = password;
    p.database = database;
    p.port = port;
    p.statement_timeout = statement_timeout;
    return open_connection(std::move(p), error);
}

std::string tls_version(Connection* c) {
    if (!c || !mysql_get_ssl_cipher(c->native())) return {};
    const char* version = nullptr;
    mariadb_get_infov(c->native(), MARIADB_CONNECTION_TLS_VERSION, &version);
    return version ? version : "TLS";
}

std::string link_security(Connection* c) {
    if (!c) return {};
    const std::string version = tls_version(c);
    if (!version.empty()) return text::G("已使用加密连接 ") + version;
    return c->login_.tls.mode == TlsMode::Off
               ? text::G("未加密连接（加密连接设为“关闭”）")
               : text::G("未加密连接：服务器没有提供加密连接（TLS）");
}

void set_servers(LoginParameters& login, const std::string& text) {
    login.servers.clear();
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        const std::string item =
            text::trim_spaces(text.substr(from, comma == std::string::npos ? comma : comma - from));
        if (!item.empty()) {
            std::string host;
            unsigned port = 0;
            parse_server_address(item, host, port);
            login.servers.emplace_back(host, port);
        }
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    login.current = 0;
    if (login.servers.empty()) login.servers.emplace_back(std::string(), 0u);
    std::tie(login.host, login.port) = login.servers.front();
}

bool is_cluster_node(Connection* c) {
    if (!execute_sql(c, kWsrepOn)) return false;
    std::unique_ptr<ResultSet> on = take_result(c);
    std::string value;
    return on && on->row_count() > 0 && on->read_field(1u, value) && value == "ON";
}

std::string server_in_use(Connection* c) {
    return c ? address_text(c->login_.host, c->login_.port) : std::string();
}

bool fail_over(Connection* c, std::string* server, std::string* error) {
    if (!c || c->login_.servers.size() <= 1) return false;
    MYSQL* m = log_in(c->login_, error, c->login_.current + 1);
    if (!m) return false;
    c->replace_session(m);
    if (server) *server = server_in_use(c);
    return true;
}

bool reconnect(Connection* c, std::string* error) {
    if (!c) return false;
    // The first of the list that answers, as a new login would take.
    MYSQL* m = log_in(c->login_, error);
    if (!m) return false;
    c->replace_session(m);
    return true;
}

void Connection::replace_session(st_mysql* m) {
    mysql_close(mysql_);
    mysql_ = m;
    unread_ = in_flight_ = sent_ok_ = kept_ = selected_known_ = false;
    sent_code_ = kept_code_ = 0;
    sent_error_.clear();
    kept_error_.clear();
}

const std::string& Connection::to_wire(const std::string& text, std::string& converted) const {
    if (!login_.lossless) return text;
    converted = text::program_to_server_utf8(text);
    return converted;
}

std::string Connection::from_wire(const char* text) const {
    if (!text) return {};
    return login_.lossless ? text::utf8_to_gbk(text, true) : std::string(text);
}

bool set_lossless(Connection* c, bool on) {
    if (!c) return false;
    if (c->login_.lossless == on) return true;
    c->start_statement();
    c->selected_known_ = false;
    if (mysql_set_character_set(c->mysql_, on ? "utf8mb4" : "gbk") != 0) return false;
    c->login_.lossless = on;
    return true;
}

bool is_lossless(Connection* c) {
    return c && c->login_.lossless;
}

LosslessScope::LosslessScope(Connection* c, bool on)
    : text_(on), c_(c), before_(is_lossless(c)), ok_(set_lossless(c, on)) {}

LosslessScope::~LosslessScope() {
    if (ok_) set_lossless(c_, before_);
}

bool ensure_alive(Connection* c, std::string* error) {
    if (!c) return false;
    c->start_statement();
    if (mysql_ping(c->native()) == 0) return true;
    if (!connection_lost(c)) {
        if (error) *error = c->from_wire(mysql_error(c->native()));
        return false;
    }
    return reconnect(c, error);
}

void close_connection(std::unique_ptr<Connection>& connection) {
    connection.reset();
}

void parse_server_address(const std::string& text, std::string& host, unsigned& port) {
    std::string t = text::trim_spaces(text);
    host = t;
    port = 0;
    size_t colon = t.rfind(':');
    // One colon only: an IPv6 address has several and no port.
    if (colon == std::string::npos || t.find(':') != colon) return;
    std::string digits = t.substr(colon + 1);
    if (digits.empty() || !text::is_position(digits)) return;
    int64_t p = text::to_int(digits);
    if (p <= 0 || p > 65535) return;
    host = t.substr(0, colon);
    port = static_cast<unsigned>(p);
}

namespace {

void drop_later_results(MYSQL* m) {
    while (mysql_more_results(m) && mysql_next_result(m) == 0)
        if (MYSQL_RES* res = mysql_store_result(m)) mysql_free_result(res);
}

// The one place that says which failures mean the link is gone, whoever reported them: the
// client library, or the server as it closed the session.
bool lost_code(unsigned e) {
    switch (e) {
        case CR_SERVER_GONE_ERROR:
        case CR_SERVER_LOST:
        case CR_CONNECTION_ERROR:
        case CR_CONN_HOST_ERROR:
        case CR_SERVER_LOST_EXTENDED:
        // On a TLS link, a read or write that fails under the TLS layer (a link shut down, a
        // reset) is reported as a TLS error.
        case CR_SSL_CONNECTION_ERROR:
        // A Galera node out of the cluster's primary part: "WSREP has not yet prepared node
        // for application use". It takes no statement until it rejoins: as good as gone.
        case 1047:
        case 1053:  // ER_SERVER_SHUTDOWN
        case 1152:  // ER_ABORTING_CONNECTION
        case 1927:  // ER_CONNECTION_KILLED
        case 4031:  // ER_CLIENT_INTERACTION_TIMEOUT: the server's idle timeout
            return true;
        default:
            return false;
    }
}

}  // namespace

void Connection::complete_sent() {
    if (!in_flight_) return;
    in_flight_ = false;
    wait_for_answer();
    sent_ok_ = mysql_read_query_result(mysql_) == 0;
    sent_code_ = mysql_errno(mysql_);
    sent_error_ = sent_ok_ ? std::string() : from_wire(mysql_error(mysql_));
    unread_ = sent_ok_ && (mysql_field_count(mysql_) > 0 || mysql_more_results(mysql_));
}

void Connection::discard_unread_results() {
    complete_sent();
    if (!unread_) return;
    unread_ = false;
    if (mysql_field_count(mysql_) > 0)
        if (MYSQL_RES* res = mysql_store_result(mysql_)) mysql_free_result(res);
    drop_later_results(mysql_);
}

void Connection::start_statement() {
    kept_ = false;
    discard_unread_results();
}

namespace {

using Clock = std::chrono::steady_clock;

// Waits until the socket has something to read (or an error) or the deadline passes. With a
// step, runs it between short waits and gives up early when it returns false.
enum class Wait { Readable, TimedOut, Stopped };
Wait wait_readable(int fd, Clock::time_point deadline,
                   const std::function<bool()>* step = nullptr) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Wait::TimedOut;
        pollfd p{fd, POLLIN, 0};
        const int slice = step ? 15 : static_cast<int>(std::min<long long>(left, 1000));
        const int r = ::poll(&p, 1, slice);
        if (r > 0 || (r < 0 && errno != EINTR)) return Wait::Readable;
        if (step && !(*step)()) return Wait::Stopped;
    }
}

}  // namespace

void Connection::wait_for_answer() {
    if (patient_seconds_ == 0) return;
    const int fd = socket_descriptor(this);
    if (fd < 0) return;
    if (wait_readable(fd, Clock::now() + std::chrono::seconds(patient_seconds_)) == Wait::TimedOut)
        ::shutdown(fd, SHUT_RDWR);
}

PatientAnswers::PatientAnswers(Connection* c) : c_(c) {
    if (!c_) return;
    before_ = c_->patient_seconds_;
    c_->patient_seconds_ = kStatementTimeoutSeconds;
}

PatientAnswers::~PatientAnswers() {
    if (c_) c_->patient_seconds_ = before_;
}

bool Connection::run_statement(const std::string& statement,
                               const std::function<bool()>* wait_step) {
    start_statement();
    selected_known_ = false;
    std::string converted;
    const std::string& wire = to_wire(statement, converted);
    if (mysql_send_query(mysql_, wire.data(), wire.size()) != 0) return false;
    if (!wait_step) {
        wait_for_answer();
    } else if (const int fd = socket_descriptor(this);
               fd >= 0 && wait_readable(fd, Clock::time_point::max(), wait_step) == Wait::Stopped) {
        // Asked to stop: the server ends the statement, and its answer (an interruption)
        // is read as usual. No answer to that either: the link is dead.
        if (!cancel_statement(this) ||
            wait_readable(fd, Clock::now() + std::chrono::seconds(10)) == Wait::TimedOut)
            ::shutdown(fd, SHUT_RDWR);
    }
    if (mysql_read_query_result(mysql_) != 0) return false;
    unread_ = mysql_field_count(mysql_) > 0 || mysql_more_results(mysql_);
    return true;
}

bool execute_sql(Connection* c, const std::string& statement) {
    return c && c->run_statement(statement, nullptr);
}

bool cancel_statement(Connection* c) {
    if (!c) return false;
    LoginParameters quick = c->login_;
    quick.servers.clear();  // the statement's own server
    quick.database.clear();
    quick.statement_timeout = kConnectTimeoutSeconds;
    MYSQL* killer = log_in(quick, nullptr);
    if (!killer) return false;
    const std::string kill = "KILL QUERY " + std::to_string(mysql_thread_id(c->native()));
    const bool sent = mysql_real_query(killer, kill.data(), kill.size()) == 0;
    mysql_close(killer);
    return sent;
}

bool execute_sql_waiting(Connection* c, const std::string& statement,
                         const std::function<bool()>& wait_step) {
    return c && c->run_statement(statement, &wait_step);
}

bool execute_cleanup_sql(Connection* c, const std::string& statement) {
    if (!c) return false;
    const bool had = c->kept_;
    const unsigned code = had ? c->kept_code_ : mysql_errno(c->native());
    const std::string error = had ? c->kept_error_ : c->from_wire(mysql_error(c->native()));
    const bool ok = execute_sql(c, statement);
    c->kept_ = true;
    c->kept_code_ = code;
    c->kept_error_ = error;
    return ok;
}

bool send_sql(Connection* c, const std::string& statement) {
    if (!c) return false;
    c->start_statement();
    std::string converted;
    const std::string& wire = c->to_wire(statement, converted);
    if (mysql_send_query(c->native(), wire.data(), wire.size()) != 0) {
        c->sent_ok_ = false;
        c->sent_code_ = mysql_errno(c->native());
        c->sent_error_ = c->from_wire(mysql_error(c->native()));
        return false;
    }
    c->in_flight_ = true;
    return true;
}

SentOutcome finish_sent_sql(Connection* c) {
    SentOutcome out;
    if (!c) {
        out.lost = true;
        return out;
    }
    c->complete_sent();
    out.ok = c->sent_ok_;
    out.error = c->sent_error_;
    out.lost = !out.ok && lost_code(c->sent_code_);
    c->sent_ok_ = false;
    c->sent_error_.clear();
    c->sent_code_ = 0;
    return out;
}

bool select_database(Connection* c, const std::string& name) {
    if (!c) return false;
    c->start_statement();
    std::string converted;
    c->selected_known_ = mysql_select_db(c->native(), c->to_wire(name, converted).c_str()) == 0;
    c->selected_ = name;
    return c->selected_known_;
}

std::string current_database(Connection* c) {
    const char* name = nullptr;
    if (!c || mariadb_get_infov(c->native(), MARIADB_CONNECTION_SCHEMA, &name) != 0 || !name)
        return {};
    return c->from_wire(name);
}

bool use_database(Connection* c, const std::string& name) {
    return c && ((c->selected_known_ && c->selected_ == name) || select_database(c, name));
}

bool last_error(Connection* c, std::string& text) {
    if (!c) return false;
    const std::string e = c->kept_ ? c->kept_error_ : c->from_wire(mysql_error(c->native()));
    if (e.empty()) return false;
    text = e;
    return true;
}

unsigned last_error_code(Connection* c) {
    if (!c) return 0;
    return c->kept_ ? c->kept_code_ : mysql_errno(c->native());
}

bool connection_lost(Connection* c) {
    if (!c) return true;
    return lost_code(last_error_code(c));
}

unsigned long session_id(Connection* c) {
    return c ? mysql_thread_id(c->native()) : 0;
}

int socket_descriptor(Connection* c) {
    if (!c) return -1;
    my_socket fd = -1;
    if (mariadb_get_infov(c->native(), MARIADB_CONNECTION_SOCKET, &fd) != 0) return -1;
    return static_cast<int>(fd);
}

uint64_t affected_rows(Connection* c) {
    if (!c) return 0;
    const my_ulonglong n = mysql_affected_rows(c->native());
    return n == static_cast<my_ulonglong>(-1) ? 0 : n;
}

std::unique_ptr<ResultSet> take_result(Connection* c) {
    if (!c || !c->unread_) return nullptr;
    c->unread_ = false;
    MYSQL_RES* res = mysql_store_result(c->native());
    drop_later_results(c->native());
    if (!res) return nullptr;
    return std::unique_ptr<ResultSet>(new ResultSet(res, nullptr, c->login_.lossless));
}

std::unique_ptr<ResultSet> take_streamed_result(Connection* c) {
    if (!c || !c->unread_) return nullptr;
    c->unread_ = false;
    MYSQL_RES* res = mysql_use_result(c->native());
    if (!res) return nullptr;
    return std::unique_ptr<ResultSet>(new ResultSet(res, c->native(), c->login_.lossless));
}

ResultSet::ResultSet(st_mysql_res* res, st_mysql* streamed_from, bool lossless)
    : res_(res),
      rows_(streamed_from ? 0 : mysql_num_rows(res)),
      streamed_from_(streamed_from),
      utf8_wire_(lossless) {
    unsigned n = mysql_num_fields(res);
    MYSQL_FIELD* fields = mysql_fetch_fields(res);
    constexpr unsigned kBinary = 63;
    for (unsigned i = 0; i < n; ++i) {
        std::string name(fields[i].name, fields[i].name_length);
        names_.push_back(lossless ? text::utf8_to_gbk(name, true) : name);
        types_.push_back(fields[i].type);
        utf8_.push_back(lossless && fields[i].charsetnr != kBinary);
    }
}

ResultSet::~ResultSet() {
    // Freeing a streamed result reads its remaining rows; results after it follow.
    mysql_free_result(res_);
    if (streamed_from_) drop_later_results(streamed_from_);
}

bool ResultSet::field_name(unsigned index, std::string& name) const {
    if (index >= names_.size()) return false;
    name = names_[index];
    return true;
}

bool ResultSet::is_exact_number(unsigned index) const {
    if (index >= types_.size()) return false;
    switch (types_[index]) {
        case MYSQL_TYPE_TINY:
        case MYSQL_TYPE_SHORT:
        case MYSQL_TYPE_LONG:
        case MYSQL_TYPE_LONGLONG:
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_NEWDECIMAL:
        case MYSQL_TYPE_YEAR:
            return true;
        default:
            return false;
    }
}

int ResultSet::column_index(const std::string& name) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return static_cast<int>(i);
    return -1;
}

bool ResultSet::is_null(unsigned column) {
    const char* data = nullptr;
    unsigned long length = 0;
    bool null = true;
    return !field(column, data, length, null) || null;
}

bool ResultSet::fetch_next_row() {
    if (!streamed_from_ || failed_) return false;
    row_ = mysql_fetch_row(res_);
    lengths_ = row_ ? mysql_fetch_lengths(res_) : nullptr;
    // The end of the rows and a read error both give no row; only the error sets a number.
    if (!row_) failed_ = mysql_errno(streamed_from_) != 0;
    return row_ != nullptr;
}

bool ResultSet::move_to_row(uint64_t row) {
    if (row >= rows_) return false;
    cursor_ = row;
    return true;
}

bool ResultSet::next_row() {
    if (cursor_ >= rows_) return false;
    ++cursor_;
    return true;
}

bool ResultSet::field(unsigned column, const char*& data, unsigned long& length, bool& null) {
    if (column >= names_.size()) return false;
    null = true;
    if (streamed_from_) {
        if (!row_ || !row_[column]) return true;
        null = false;
        data = row_[column];
        length = lengths_[column];
        return true;
    }
    if (rows_ == 0) return true;
    uint64_t row = cursor_ < rows_ ? cursor_ : rows_ - 1;
    if (fetched_ != row) {
        mysql_data_seek(res_, row);
        row_ = mysql_fetch_row(res_);
        lengths_ = row_ ? mysql_fetch_lengths(res_) : nullptr;
        fetched_ = row;
    }
    if (!row_ || !row_[column]) return true;
    null = false;
    data = row_[column];
    length = lengths_[column];
    return true;
}

bool ResultSet::read_field(unsigned column, std::string& out) {
    const char* d;
    unsigned long n;
    bool null;
    if (!field(column, d, n, null)) return false;
    out = null ? std::string() : std::string(d, strnlen(d, n));
    if (utf8_[column]) out = text::utf8_to_gbk(out, true);
    return true;
}

bool ResultSet::read_field(unsigned column, Bytes& out) {
    const char* d;
    unsigned long n;
    bool null;
    if (!field(column, d, n, null)) return false;
    out.data = null ? std::string() : std::string(d, n);
    return true;
}

bool ResultSet::read_field(unsigned column, bool& out) {
    std::string s;
    if (!read_field(column, s)) return false;
    out = !s.empty() && s[0] != '0';
    return true;
}

bool ResultSet::read_field(unsigned column, int64_t& out) {
    std::string s;
    if (!read_field(column, s)) return false;
    out = text::to_int(s);
    return true;
}

bool ResultSet::read_field(unsigned column, int32_t& out) {
    int64_t v;
    if (!read_field(column, v)) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ResultSet::read_field(unsigned column, int16_t& out) {
    int64_t v;
    if (!read_field(column, v)) return false;
    out = static_cast<int16_t>(v);
    return true;
}

bool ResultSet::read_field(unsigned column, double& out) {
    std::string s;
    if (!read_field(column, s)) return false;
    out = s.empty() ? 0 : std::strtod(s.c_str(), nullptr);
    return true;
}

bool ResultSet::read_field(unsigned column, float& out) {
    double v;
    if (!read_field(column, v)) return false;
    out = static_cast<float>(v);
    return true;
}

bool ResultSet::read_field(unsigned column, DateTime& out) {
    std::string s;
    if (!read_field(column, s)) return false;
    out = DateTime{};
    if (s.empty()) return true;
    switch (types_[column]) {
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_NEWDATE:
            s += " 0:0:0";
            break;
        case MYSQL_TYPE_TIME:
            s = "2000-1-1 " + s;
            break;
        case MYSQL_TYPE_YEAR:
            s += "-1-1 0:0:0";
            break;
        default:
            break;
    }
    out = parse_date_time(s);
    return true;
}

DateTime parse_date_time(const std::string& text) {
    int parts[6];
    const int filled = text::parse_date_parts(text, parts);
    DateTime d;
    // A zero date ("0000-00-00") and anything out of range is no date-time.
    if (filled < 3 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31 ||
        parts[3] > 838 || parts[4] > 59 || parts[5] > 59)
        return d;
    d = {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], false};
    return d;
}

}  // namespace qb::db
