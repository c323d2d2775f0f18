// The one server connection and its result sets, over the MySQL C API. All texts are program
// text: GBK on the wire, or, on a connection in the lossless mode, utf8mb4 on the wire and
// lossless program text here.
// A null Connection* is the "zero handle": every operation on it does nothing and fails.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "text/gbk.h"

struct st_mysql;
struct st_mysql_res;

namespace qb::db {

class ResultSet;

// How a login protects the link. The order is that of the window's box.
enum class TlsMode {
    Auto,      // TLS whenever the server offers it, plain otherwise
    Off,       // never TLS
    Required,  // TLS or no connection (the certificate is not checked)
    Verify,    // TLS, with a certificate that chains to the CA and names the host dialled
};

struct TlsSettings {
    TlsMode mode = TlsMode::Auto;
    // File-system paths. An empty CA under Verify means the system's certificate store; a
    // client certificate and key are for accounts that REQUIRE X509.
    std::string ca, cert, key;
};

// What a login was made with, kept to log in again the same way.
struct LoginParameters {
    std::string host, user, password, database;
    unsigned port = 0;
    unsigned statement_timeout = 0;
    bool lossless = false;  // utf8mb4 on the wire
    TlsSettings tls;
    // A list of servers (a cluster's nodes) tried in order; host and port are the one in use.
    // Empty or one: host and port alone.
    std::vector<std::pair<std::string, unsigned>> servers;
    size_t current = 0;  // the index of host and port in servers
};

// The server box's text: one "host[:port]" or a comma-separated list of them (spaces allowed
// around the commas), into login's servers, host and port (the first).
void set_servers(LoginParameters& login, const std::string& text);

class Connection {
  public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    st_mysql* native() const { return mysql_; }

  private:
    friend bool execute_sql(Connection*, const std::string&);
    friend bool execute_cleanup_sql(Connection*, const std::string&);
    friend bool last_error(Connection*, std::string&);
    friend bool connection_lost(Connection*);
    friend unsigned last_error_code(Connection*);
    friend bool select_database(Connection*, const std::string&);
    friend bool use_database(Connection*, const std::string&);
    friend std::unique_ptr<ResultSet> take_result(Connection*);
    friend std::unique_ptr<ResultSet> take_streamed_result(Connection*);
    friend bool send_sql(Connection*, const std::string&);
    friend struct SentOutcome finish_sent_sql(Connection*);
    friend std::unique_ptr<Connection> open_connection(LoginParameters, std::string*);
    friend bool reconnect(Connection*, std::string*);
    friend bool execute_sql_waiting(Connection*, const std::string&, const std::function<bool()>&);
    friend bool cancel_statement(Connection*);
    friend class PatientAnswers;
    friend bool ensure_alive(Connection*, std::string*);
    friend bool set_lossless(Connection*, bool);
    friend bool is_lossless(Connection*);
    friend std::string current_database(Connection*);
    friend std::string link_security(Connection*);
    friend std::string server_in_use(Connection*);
    friend bool fail_over(Connection*, std::string*, std::string*);
    // Puts the session m in place of the dead one: every window keeps its handle.
    void replace_session(st_mysql* m);
    // A statement or name as the server reads it (text itself, or converted into converted);
    // an error text as program text.
    const std::string& to_wire(const std::string& text, std::string& converted) const;
    std::string from_wire(const char* text) const;
    Connection(st_mysql* m, LoginParameters login) : mysql_(m), login_(std::move(login)) {}
    // Reads and frees whatever the last statement left unread (its first result when nobody
    // took it, and the later results of a CALL), so that the next statement is not "out of
    // sync".
    void discard_unread_results();
    // Reads the answer to a statement sent with send_sql, keeping its outcome for
    // finish_sent_sql: any other statement waits for it first, so that nothing run meanwhile
    // (an event handler during a loop's pump) gets the connection out of step.
    void complete_sent();
    // Before each statement: the error kept by a clean-up is for the statements before it.
    void start_statement();
    // After a statement went out: waits for the first byte of its answer up to the patient
    // wait, if one is set (the library's own read timeout guards the rest); past it the
    // socket is shut down, so that the read fails as a lost link.
    void wait_for_answer();
    // Sends the statement and reads its answer: after the patient wait, or, with a wait step,
    // running it until the answer comes (cancelling the statement when it says stop).
    bool run_statement(const std::string& statement, const std::function<bool()>* wait_step);
    st_mysql* mysql_;
    unsigned patient_seconds_ = 0;  // 0: the library's read timeout alone
    LoginParameters login_;
    bool unread_ = false;  // the last statement's results have not been taken
    // The database the program last selected, while no statement that could have changed it
    // (any execute_sql: the operator's own text among them) has run since.
    std::string selected_;
    bool selected_known_ = false;
    bool in_flight_ = false;
    bool sent_ok_ = false;
    unsigned sent_code_ = 0;
    std::string sent_error_;
    // The failure a clean-up statement was run after (see execute_cleanup_sql).
    bool kept_ = false;
    unsigned kept_code_ = 0;
    std::string kept_error_;
};

// Seconds an unreachable host may hold up a login.
constexpr unsigned kConnectTimeoutSeconds = 10;
// Seconds a statement may wait for the server to read it or to answer before the link counts
// as lost: a dead link must not freeze the window for ever, and a long INSERT of a large
// article, or one waiting a while for a lock, must still get through.
constexpr unsigned kStatementTimeoutSeconds = 600;
// The window's own short statements (lists, fields, the viewer) give up sooner: a link that
// died without a word (a VPN or Wi-Fi drop) must not leave the window unpainted for minutes.
constexpr unsigned kShortAnswerSeconds = 30;

// For the length of a scope, statements on c wait up to kStatementTimeoutSeconds for their
// answer to begin, whatever the connection's read timeout: the runs and the commands that
// change a table (an emptying, a drop waiting for a lock) on a connection that gives its
// short statements kShortAnswerSeconds.
class PatientAnswers {
  public:
    explicit PatientAnswers(Connection* c);
    ~PatientAnswers();
    PatientAnswers(const PatientAnswers&) = delete;
    PatientAnswers& operator=(const PatientAnswers&) = delete;

  private:
    Connection* c_;
    unsigned before_ = 0;
};

// Logs in (empty texts are passed as absent: no host = local server); asks for the GBK
// character set. Null on failure, with the reason in *error: the client library's, or for a
// link that cannot be protected as asked, a Chinese text naming the check that failed.
std::unique_ptr<Connection> open_connection(LoginParameters login, std::string* error = nullptr);
std::unique_ptr<Connection> open_connection(const std::string& host, const std::string& user,
                                            const std::string& password,
                                            const std::string& database = {}, unsigned port = 0,
                                            std::string* error = nullptr,
                                            unsigned statement_timeout = kStatementTimeoutSeconds);
// A node of a Galera cluster (wsrep_on), which replicates only tables with a primary key.
bool is_cluster_node(Connection* c);
// "host:port" of the server the connection is on.
std::string server_in_use(Connection* c);
// After a lost link: logs in to the next server of the list that answers and is ready (round
// the list once, the one lost last), in place, with the same account and options; its name in
// *server. False with a single server, or when none answers (the dead session is kept).
bool fail_over(Connection* c, std::string* server = nullptr, std::string* error = nullptr);

// The TLS version the link uses ("TLSv1.3"); empty for a plain link or none.
std::string tls_version(Connection* c);
// For the operator: whether the link is encrypted, and why not ("已使用加密连接 TLSv1.3").
std::string link_security(Connection* c);
void close_connection(std::unique_ptr<Connection>& connection);
// Logs in again with the same account and options, in place: every window keeps its handle.
// The new session has no current database. False, with the reason in *error, when the server
// does not take the login (the old, dead session is kept).
bool reconnect(Connection* c, std::string* error = nullptr);
// Before a run: true when the link answers, after logging in again once if the server had
// closed it (an idle timeout, a restart).
bool ensure_alive(Connection* c, std::string* error = nullptr);

// Puts the connection in the lossless mode (utf8mb4 on the wire, so that every character of
// lossless program text reaches the table) or back in GBK. False, with the connection as it
// was, when the server does not take the character set.
bool set_lossless(Connection* c, bool on);
bool is_lossless(Connection* c);

// For the length of a run: program text and the connection both in the run's mode, and back
// as they were afterwards. ok() is false when the server refused utf8mb4.
class LosslessScope {
  public:
    LosslessScope(Connection* c, bool on);
    ~LosslessScope();
    LosslessScope(const LosslessScope&) = delete;
    LosslessScope& operator=(const LosslessScope&) = delete;
    bool ok() const { return ok_; }

  private:
    text::LosslessText text_;
    Connection* c_;
    bool before_;
    bool ok_;
};

// "host" or "host:port" of the server box: port 0 when none is given.
void parse_server_address(const std::string& text, std::string& host, unsigned& port);

bool execute_sql(Connection* c, const std::string& statement);
// An operator's statement, which may run as long as it likes: while its answer is awaited,
// wait_step runs every few milliseconds (the window's pump, so that it keeps painting); when
// wait_step returns false the statement is cancelled (cancel_statement) and its answer, an
// interruption, still read. A server that does not answer the cancel within ten seconds has
// the link shut down.
bool execute_sql_waiting(Connection* c, const std::string& statement,
                         const std::function<bool()>& wait_step);
// Ends the statement under way on c with KILL QUERY from a second connection of the same
// account; false when that could not be sent.
bool cancel_statement(Connection* c);
// A statement that tidies up after a failure (dropping a half-made account, say): its own
// outcome does not replace the failure's, so last_error and connection_lost still tell why
// the operation failed.
bool execute_cleanup_sql(Connection* c, const std::string& statement);
bool select_database(Connection* c, const std::string& name);
// The connection's current database as the server last reported it (the client library
// follows USE statements too); empty when none or disconnected.
std::string current_database(Connection* c);
// Makes name the current database unless the program selected it itself and nothing has run
// since that could have moved it: costs no round trip between a run's own INSERTs, so a run
// can call it before every statement. (The client library's tracked name is not trusted:
// servers without schema tracking, or with it turned off, never report a USE.)
bool use_database(Connection* c, const std::string& name);
// A statement sent without waiting for the server: the caller does other work (the next
// file) while the server executes it, then collects the outcome with finish_sent_sql. For
// the program's own statements without a result set (an INSERT), which change no database.
// False when it could not be sent.
bool send_sql(Connection* c, const std::string& statement);
struct SentOutcome {
    bool ok = false;
    std::string error;  // the server's or the client library's reason when not ok
    bool lost = false;  // the connection is gone
};
SentOutcome finish_sent_sql(Connection* c);

// True and the server's last error text; false when it is empty (text unchanged).
bool last_error(Connection* c, std::string& text);
// The server's or the client library's number for that error; 0 when none.
unsigned last_error_code(Connection* c);
// Rows the last INSERT, UPDATE or DELETE changed; 0 on a null connection.
uint64_t affected_rows(Connection* c);
// True when the last statement failed because the connection is gone.
bool connection_lost(Connection* c);

// What another thread needs to break a statement that hangs: the server's id of the session
// (for KILL from a second connection) and the socket (to shut down when the server cannot be
// reached). 0 and -1 on a null connection.
unsigned long session_id(Connection* c);
int socket_descriptor(Connection* c);

// The value of a date-time field; empty for NULL or unparsable text.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool empty = true;
    bool operator==(const DateTime&) const = default;
};
// A field's bytes with their exact length (read_field into text stops at a zero byte).
struct Bytes {
    std::string data;
};

class ResultSet {
  public:
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    uint64_t row_count() const { return rows_; }
    unsigned field_count() const { return static_cast<unsigned>(names_.size()); }
    bool field_name(unsigned index, std::string& name) const;
    // A whole-number or fixed-point column, whose text is its exact value.
    bool is_exact_number(unsigned index) const;
    int column_index(const std::string& name) const;  // -1 when absent
    bool move_to_row(uint64_t row);
    bool next_row();
    // A streamed result (take_streamed_result): the rows arrive one at a time, in order; its
    // row_count is 0 and move_to_row/next_row do nothing. False at the end, and when the
    // server stopped sending (then failed() is true).
    bool fetch_next_row();
    bool failed() const { return failed_; }
    // The text fields came in utf8mb4 (a lossless connection's), not GBK: their Bytes are UTF-8.
    bool utf8_wire() const { return utf8_wire_; }
    // This column's text came in utf8mb4.
    bool utf8_field(unsigned index) const { return index < utf8_.size() && utf8_[index]; }

    template <class T>
    bool read_field(const std::string& column, T& out) {
        int i = column_index(column);
        return i >= 0 && read_field(static_cast<unsigned>(i), out);
    }
    // True when the current row's field is NULL (or the column is missing).
    bool is_null(unsigned column);
    bool read_field(unsigned column, bool& out);
    bool read_field(unsigned column, int16_t& out);
    bool read_field(unsigned column, int32_t& out);
    bool read_field(unsigned column, int64_t& out);
    bool read_field(unsigned column, float& out);
    bool read_field(unsigned column, double& out);
    bool read_field(unsigned column, std::string& out);
    bool read_field(unsigned column, Bytes& out);
    bool read_field(unsigned column, DateTime& out);

  private:
    friend std::unique_ptr<ResultSet> take_result(Connection* c);
    friend std::unique_ptr<ResultSet> take_streamed_result(Connection* c);
    ResultSet(st_mysql_res* res, st_mysql* streamed_from, bool lossless);
    // The current row's field (the last row when the cursor stands past the end): false for a
    // missing column; null set for NULL or when there are no rows.
    bool field(unsigned column, const char*& data, unsigned long& length, bool& null);

    st_mysql_res* res_;
    uint64_t rows_ = 0;
    uint64_t cursor_ = 0;
    uint64_t fetched_ = UINT64_MAX;  // which row row_/lengths_ hold
    char** row_ = nullptr;
    unsigned long* lengths_ = nullptr;
    std::vector<std::string> names_;
    std::vector<int> types_;
    // Fields whose text the server sent in utf8mb4 (a lossless connection's, but binary).
    std::vector<bool> utf8_;
    st_mysql* streamed_from_ = nullptr;  // the connection of a streamed result
    bool utf8_wire_ = false;
    bool failed_ = false;
};

// The whole first result of the last statement; null when it produced none. Results after
// the first (a CALL's) are read and dropped.
std::unique_ptr<ResultSet> take_result(Connection* c);
// The result of the last statement read row by row as it arrives, without holding it whole:
// for walking a large table once. The connection takes no other statement until it is
// released (which reads what is left).
std::unique_ptr<ResultSet> take_streamed_result(Connection* c);
inline void release_result(std::unique_ptr<ResultSet>& r) {
    r.reset();
}

// Parses "Y-M-D H:M:S" (parts may have one digit; missing time parts are 0).
DateTime parse_date_time(const std::string& text);

}  // namespace qb::db
