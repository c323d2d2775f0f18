// quillbase-cli: the import and export runs from a terminal, on a configuration saved by the
// window.
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "export/export_run.h"
#include "import/collect.h"
#include "import/import_run.h"
#include "mapping/field_list_settings.h"
#include "persist/config_store.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "version.h"

using namespace qb;
using text::G;

namespace {

// Stop requests: 1 after the first Ctrl-C (stop after the current file), 2 after a second
// one or SIGTERM (break the statement under way, then stop).
volatile sig_atomic_t g_stop = 0;
// Written by the signal handler to wake the StatementBreaker: 1 for "break now".
int g_wake[2] = {-1, -1};

void write_all_to(int fd, const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = ::write(fd, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

void on_interrupt(int sig) {
    const int saved = errno;
    if (sig == SIGTERM || g_stop >= 1) {
        g_stop = 2;
        const char wake = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &wake, 1);
        // A third Ctrl-C ends the program at once, whatever it is waiting for.
        ::signal(SIGINT, SIG_DFL);
    } else {
        g_stop = 1;
        write_all_to(2,
                     "\n将在当前文件之后停止；再按一次 Ctrl-C 立即中断正在执行的语句。\n"
                     "Stopping after the current file; press Ctrl-C again to break the "
                     "statement under way.\n");
    }
    errno = saved;
}

const char* kHelp =
    "用法 / usage: quillbase-cli import --config FILE.ini [选项 options]\n"
    "              quillbase-cli export --config FILE.ini [选项 options]\n"
    "              quillbase-cli --version\n"
    "\n"
    "import: 按窗口中“导出配置”保存的配置（节“主界面”）把文章目录中的文件导入 MySQL "
    "表，每个文件一行。\n"
    "        Imports the article files of a configuration exported from the window (section\n"
    "        主界面) into a MySQL table, one row per file.\n"
    "export: 把表中每一行写成文章目录中的一个文件：内容取自数据来源为“文件内容”的字段，文件名取自\n"
    "        "
    "“文件主名”的字段（没有时从内容中取一句）；文件类型决定扩展名，文件编码决定写出的编码。\n"
    "        Writes every row of the table as one file of the article folder: the text from the\n"
    "        field whose source is 文件内容, the name from the 文件主名 field (else a sentence of\n"
    "        the text); the file type gives the extension, the encoding the bytes written.\n"
    "\n"
    "选项 / options (each overrides the configuration):\n"
    "  --server HOST[:PORT][,HOST[:PORT]...]   服务器 / server (port 3306 when none is\n"
    "                         given); a list is tried in order, and a run whose server goes\n"
    "                         away goes on with the next one\n"
    "  --user NAME            用户名 / user\n"
    "  --password TEXT        密码（其他本机用户在进程列表中看得到）/ password (other local\n"
    "                         users see it in the process list: prefer the two below)\n"
    "  --ask-password         在终端上输入密码（不回显）/ ask for it on the terminal, unechoed\n"
    "                         (the environment's QB_PASSWORD is used when neither is given)\n"
    "  --database NAME        库名 / database\n"
    "  --table NAME           表名 / table\n"
    "  --folder PATH          文章目录 / article folder\n"
    "  --types PATTERNS       文件类型, e.g. \"*.txt|*.html\" / file-name patterns\n"
    "  --encoding auto|ansi|utf-8|unicode|unicodebe   文件编码 / file encoding\n"
    "                         (export: auto and ansi write GBK)\n"
    "  --tls auto|off|required|verify   加密连接 / TLS: auto when the server offers it (the\n"
    "                         default), off, required, or verify the server's certificate\n"
    "                         (its CA and the host name dialled)\n"
    "  --tls-ca FILE          验证证书用的 CA 证书 / CA file for verify (none: the system's)\n"
    "  --tls-cert FILE, --tls-key FILE   客户端证书和密钥 / client certificate and key, for\n"
    "                         accounts that REQUIRE X509\n"
    "  --lossless             保留全部字符（utf8mb4）/ every character into utf8mb4 tables\n"
    "                         and back (emoji, rare ideographs, the euro sign ...)\n"
    "  import only / 仅导入:\n"
    "  --subfolders           遍历子目录 / include sub-folders\n"
    "  --no-subfolders        不遍历子目录 / this folder only\n"
    "  --random-order         乱序导入 / import in random order\n"
    "  --empty-table-first    导入前清空表 / delete every row of the table first\n"
    "  --batch N              每条语句导入 N 篇（默认 100，1 为逐篇）/ files per INSERT\n"
    "                         statement (default 100; 1: one statement per file)\n"
    "  --help                 显示本说明 / show this text\n"
    "  --version              显示版本 / show the version\n"
    "\n"
    "汇总写到标准输出；进度、提示和每个失败的文件（连同原因）写到标准错误。Ctrl-C 在当前文件后\n"
    "停止并仍然输出汇总；再按一次 Ctrl-C（或收到 SIGTERM）立即中断正在执行的语句。只有全部文件\n"
    "都导入（导出）成功时退出码才为 0。\n"
    "The summary goes to standard output; progress, messages and every failed file with its\n"
    "reason go to standard error. Ctrl-C stops after the current file and still prints the\n"
    "summary; a second Ctrl-C (or SIGTERM) breaks the statement under way at once. The exit\n"
    "status is 0 only when every file was imported (exported), 1 otherwise, 2 for a usage error.\n";

// The progress bar on a terminal is a line without its end, rewritten in place: anything
// else printed first ends it, so that it starts on a fresh line.
bool g_progress_line_open = false;
void end_progress_line() {
    if (!g_progress_line_open) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    g_progress_line_open = false;
}

// Program text to the terminal (UTF-8).
void say(FILE* f, const std::string& gbk) {
    end_progress_line();
    std::fputs((text::gbk_to_utf8(gbk) + "\n").c_str(), f);
    std::fflush(f);
}

struct Config {
    std::string server = "127.0.0.1", user = "root", password = "root";
    std::string database, table, folder;  // program text
    std::string types = "*.*";
    int encoding = 0;
    bool subfolders = true, random_order = false, empty_first = false, lossless = false;
    db::TlsSettings tls;  // paths as the file system takes them
    size_t batch = import::kDefaultBatch;
    bool time_created = false, time_modified = true;
    int time_kind = 0;
    std::vector<mapping::FieldMapping> rows;
};

// Empty, or why the file is no configuration to run.
std::string read_config(const std::string& path, Config& c) {
    persist::ConfigStore store;
    if (::access(path.c_str(), R_OK) != 0) return "cannot read " + path;
    store.open_file(path);  // a second reader is fine: only reads follow
    if (!store.loaded()) return "cannot read " + path + ": " + text::gbk_to_utf8(store.error());
    // A file without the window's section would run on defaults (another account, the
    // default field rows) without a word.
    if (!store.has_section(G("主界面")))
        return path + " 不是窗口导出的配置（没有[主界面]节） holds no [主界面] section";
    store.set_section(G("主界面"));
    auto text = [&](const char* key, const std::string& fallback) {
        return store.read_text(G(key), fallback);
    };
    c.server = text("编辑框服务器", c.server);
    c.user = text("编辑框用户名", c.user);
    c.password = text("编辑框密码", c.password);
    c.database = text("编辑框库名", c.database);
    c.table = text("编辑框表名", c.table);
    c.folder = text("编辑框文章目录", c.folder);
    c.types = text("编辑框文件类型", c.types);
    c.encoding = static_cast<int>(store.read_number(G("组合框文件编码"), c.encoding));
    c.subfolders = store.read_bool(G("选择框遍历子目录"), c.subfolders);
    c.random_order = store.read_bool(G("选择框乱序导入"), c.random_order);
    c.lossless = store.read_bool(G("选择框无损"), c.lossless);
    const double tls_mode = store.read_number(G("组合框加密"), 0);
    if (tls_mode >= 0 && tls_mode <= static_cast<double>(db::TlsMode::Verify))
        c.tls.mode = static_cast<db::TlsMode>(static_cast<int>(tls_mode));
    c.tls.ca = text::gbk_to_utf8(text::trim_spaces(text("编辑框证书", {})));
    c.time_created = store.read_bool(G("单选框创建"), c.time_created);
    c.time_modified = store.read_bool(G("单选框修改"), c.time_modified);
    c.time_kind = static_cast<int>(store.read_number(G("组合框类型"), c.time_kind));
    c.rows = mapping::read_field_rows(store);
    return {};
}

class CliHost : public mapping::RunHost {
  public:
    CliHost(std::vector<mapping::FieldMapping> rows, bool empty_first)
        : rows_(std::move(rows)), empty_first_(empty_first), tty_(::isatty(2)) {
        start_ = std::chrono::steady_clock::now();
    }
    // The summary is the result and goes to standard output; everything else is a message
    // about the run and goes to standard error.
    void message(const std::string& text) override { say(stderr, text); }
    void summary(const std::string& text) override { say(stdout, text); }
    bool stop_requested() override { return g_stop != 0; }
    bool ctrl_held() override { return empty_first_; }
    std::vector<mapping::FieldMapping> field_rows() override { return rows_; }
    void set_field_name(const mapping::FieldMapping&, size_t row,
                        const std::string& name) override {
        if (row < rows_.size()) rows_[row].field = name;
    }
    void file_done(const std::string& path, bool ok, const std::string& reason, size_t done,
                   size_t total) override {
        if (!ok) {
            if (tty_) std::fputs("\r\033[K", stderr);
            g_progress_line_open = false;
            std::fprintf(stderr, "失败 failed: %s: %s\n", path.c_str(),
                         text::gbk_to_utf8(reason).c_str());
        }
        progress(done, total, done == total);
    }

  private:
    void progress(size_t done, size_t total, bool last) {
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double since = std::chrono::duration<double>(now - last_line_).count();
        if (!last && since < (tty_ ? 0.1 : 5.0)) return;
        last_line_ = now;
        const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
        const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
        const int width = 30;
        const int filled = total ? static_cast<int>(width * done / total) : width;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.resize(width, '.');
        std::fprintf(stderr, "%s[%s] %zu/%zu  %.1f 篇/s  剩余 %.0f s%s", tty_ ? "\r" : "",
                     bar.c_str(), done, total, rate, left, tty_ && !last ? "" : "\n");
        g_progress_line_open = tty_ && !last;
        std::fflush(stderr);
    }

    std::vector<mapping::FieldMapping> rows_;
    bool empty_first_;
    bool tty_;
    std::chrono::steady_clock::time_point start_, last_line_;
};

int usage_error(const std::string& what) {
    std::fprintf(stderr, "quillbase-cli: %s (--help)\n", what.c_str());
    return 2;
}

std::optional<int> encoding_code(const std::string& name) {
    const char* names[] = {"auto", "ansi", "utf-8", "unicode", "unicodebe"};
    for (int i = 0; i < 5; ++i)
        if (strcasecmp(name.c_str(), names[i]) == 0) return i;
    return std::nullopt;
}

std::optional<db::TlsMode> tls_mode(const std::string& name) {
    const char* names[] = {"auto", "off", "required", "verify"};
    for (int i = 0; i < 4; ++i)
        if (strcasecmp(name.c_str(), names[i]) == 0) return static_cast<db::TlsMode>(i);
    return std::nullopt;
}

std::unique_ptr<db::Connection> log_in(const Config& config, std::string* error,
                                       unsigned statement_timeout = db::kStatementTimeoutSeconds) {
    db::LoginParameters login;
    db::set_servers(login, config.server);
    login.user = config.user;
    login.password = config.password;
    login.statement_timeout = statement_timeout;
    login.tls = config.tls;
    return db::open_connection(std::move(login), error);
}

// Logs in with the configuration's account; null after saying why.
std::unique_ptr<db::Connection> connect(const Config& config) {
    std::string error;
    auto connection = log_in(config, &error);
    if (!connection) {
        say(stderr, G("连接到MySQL失败"));
        std::fprintf(stderr, "%s\n", text::gbk_to_utf8(error).c_str());
        return nullptr;
    }
    say(stderr, G("已连接服务器 ") + db::server_in_use(connection.get()) + G("，") +
                    db::link_security(connection.get()));
    db::execute_sql(connection.get(), "set names 'GBK'");
    return connection;
}

// The terminal's settings while a password is typed, to put back if Ctrl-C ends the program
// there (it would be left not echoing).
int g_tty = -1;
termios g_tty_before{};
void restore_tty_and_exit(int) {
    ::tcsetattr(g_tty, TCSAFLUSH, &g_tty_before);
    (void)!::write(g_tty, "\n", 1);
    _exit(130);
}

// A line typed on the controlling terminal without echo; nothing when there is none.
std::optional<std::string> ask_terminal_password() {
    g_tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (g_tty < 0) return std::nullopt;
    struct Closer {
        ~Closer() {
            ::close(g_tty);
            g_tty = -1;
        }
    } closer;
    const bool quiet = ::tcgetattr(g_tty, &g_tty_before) == 0;
    struct sigaction restore {
    }, before_int{}, before_term{};
    restore.sa_handler = restore_tty_and_exit;
    sigemptyset(&restore.sa_mask);
    if (quiet) {
        termios silent = g_tty_before;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ECHONL;
        ::sigaction(SIGINT, &restore, &before_int);
        ::sigaction(SIGTERM, &restore, &before_term);
        ::tcsetattr(g_tty, TCSAFLUSH, &silent);
    }
    const std::string prompt = "密码 / password: ";
    (void)!::write(g_tty, prompt.data(), prompt.size());
    std::string line;
    char c;
    while (::read(g_tty, &c, 1) == 1 && c != '\n') line += c;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (quiet) {
        ::tcsetattr(g_tty, TCSAFLUSH, &g_tty_before);
        ::sigaction(SIGINT, &before_int, nullptr);
        ::sigaction(SIGTERM, &before_term, nullptr);
    }
    return line;
}

// Breaks the run's statement when a second Ctrl-C or SIGTERM comes (a statement can wait for
// a lock, or for a server that went away, much longer than an operator will): ends the
// run's session from a second connection, or, when the server cannot be reached for that,
// shuts the socket down. Either way the statement under way fails at once and the run ends
// as after a lost connection.
class StatementBreaker {
  public:
    // The session is ended on its own server, not the first of a list.
    StatementBreaker(const Config& config, db::Connection* run)
        : config_(config), session_(db::session_id(run)), socket_(db::socket_descriptor(run)) {
        config_.server = db::server_in_use(run);
        thread_ = std::thread([this] { wait(); });
    }
    ~StatementBreaker() {
        const char done = 0;
        while (::write(g_wake[1], &done, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    StatementBreaker(const StatementBreaker&) = delete;
    StatementBreaker& operator=(const StatementBreaker&) = delete;
    // After the run: says so when the run was broken.
    void report() const {
        if (broke_) say(stderr, G("已中断：正在执行的语句已被终止，连接已关闭。"));
    }

  private:
    void wait() {
        for (;;) {
            char what = 0;
            const ssize_t n = ::read(g_wake[0], &what, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || what == 0) return;
            if (!broke_) break_statement();
        }
    }
    void break_statement() {
        broke_ = true;
        std::fputs("正在中断正在执行的语句 breaking the statement under way...\n", stderr);
        std::string error;
        auto killer = log_in(config_, &error, db::kConnectTimeoutSeconds);
        if (!killer ||
            !db::execute_sql(killer.get(), "KILL CONNECTION " + std::to_string(session_)))
            if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
    }

    Config config_;
    const unsigned long session_;
    const int socket_;
    std::atomic<bool> broke_{false};
    std::thread thread_;
};

// A stop asked for while the files were listed or during the login: nothing is sent, so no
// database or table is made, and no wake byte is left for the breaker of a run that never
// starts.
void report_stop(size_t not_imported) {
    std::fprintf(stderr, "已停止 stopped: %zu 个文件未导入 files not imported\n", not_imported);
}

bool stopped_before_the_run(size_t files) {
    if (g_stop == 0) return false;
    report_stop(files);
    return true;
}

int run_import_command(const Config& config) {
    const std::string folder = text::gbk_to_utf8(config.folder);
    struct stat st;
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        say(stderr, G("文章目录不存在或不是目录：") + config.folder +
                        G("\r\n请在配置中设置文章所在目录，或用 --folder 指定。"));
        return 1;
    }
    std::vector<std::string> files;
    import::CollectOptions collect;
    collect.patterns_gbk = config.types;
    collect.include_subfolders = config.subfolders;
    collect.stop_requested = [] { return g_stop != 0; };
    import::collect_article_files(files, folder, collect);
    if (stopped_before_the_run(files.size())) return 1;
    if (files.empty()) {
        say(stderr, G("根据文件类型设置[") + config.types + G("]在这个目录中找不到文件：\r\n") +
                        config.folder);
        return 1;
    }
    auto connection = connect(config);
    if (!connection || stopped_before_the_run(files.size())) return 1;
    import::ImportSettings settings;
    settings.database = config.database;
    settings.table = config.table;
    settings.encoding = config.encoding;
    settings.random_order = config.random_order;
    settings.time_created = config.time_created;
    settings.time_modified = config.time_modified;
    settings.time_kind = config.time_kind;
    settings.lossless = config.lossless;
    settings.batch = config.batch;
    CliHost cli(config.rows, config.empty_first);
    StatementBreaker breaker(config, connection.get());
    const import::ImportResult r = import::run_import(connection.get(), settings, files, cli);
    breaker.report();
    if (r.stopped) report_stop(r.not_attempted);
    return r.prepared && r.imported == files.size() ? 0 : 1;
}

int run_export_command(const Config& config) {
    auto connection = connect(config);
    if (!connection) return 1;
    if (g_stop != 0) {
        std::fputs("已停止 stopped\n", stderr);
        return 1;
    }
    exporting::ExportSettings settings;
    settings.database = config.database;
    settings.table = config.table;
    settings.folder = text::gbk_to_utf8(config.folder);
    settings.types = config.types;
    settings.encoding = config.encoding;
    settings.stream_rows = true;  // nothing else uses the connection: any table size
    settings.lossless = config.lossless;
    CliHost cli(config.rows, false);
    StatementBreaker breaker(config, connection.get());
    const exporting::ExportResult r = exporting::run_export(connection.get(), settings, cli);
    breaker.report();
    if (r.stopped) std::fputs("已停止 stopped\n", stderr);
    return r.prepared && !r.stopped && r.failed == 0 && r.read_error.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--version") {
        std::printf("quillbase-cli %s\n", QB_VERSION);
        return 0;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    if (command != "import" && command != "export")
        return usage_error("unknown command " + command);
    Config config;
    std::string config_path;
    bool lossless = false, ask_password = false;
    std::vector<std::pair<std::string, std::string>> overrides;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (a == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--lossless") {
            lossless = true;
        } else if (a == "--ask-password") {
            ask_password = true;
        } else if (a == "--subfolders" || a == "--no-subfolders" || a == "--random-order" ||
                   a == "--empty-table-first") {
            if (command != "import") return usage_error(a + " is an import option");
            overrides.emplace_back(a, "");
        } else if (a == "--config" || a == "--server" || a == "--user" || a == "--password" ||
                   a == "--database" || a == "--table" || a == "--folder" || a == "--types" ||
                   a == "--encoding" || a == "--batch" || a == "--tls" || a == "--tls-ca" ||
                   a == "--tls-cert" || a == "--tls-key") {
            auto v = value();
            if (!v) return usage_error(a + " needs a value");
            if (a == "--batch" && command != "import")
                return usage_error(a + " is an import option");
            if (a == "--batch" &&
                (!text::is_position(*v) || text::to_int(*v) < 1 || text::to_int(*v) > 100000))
                return usage_error("--batch needs a number of files from 1 to 100000");
            if (a == "--config")
                config_path = *v;
            else
                overrides.emplace_back(a, *v);
        } else {
            return usage_error("unknown option " + a);
        }
    }
    if (config_path.empty()) return usage_error("--config FILE.ini is required");
    if (const std::string problem = read_config(config_path, config); !problem.empty())
        return usage_error(problem);
    config.lossless = config.lossless || lossless;
    // From here on the command line's texts keep every character in the lossless mode.
    text::lossless_mode = config.lossless;
    for (const auto& [option, v] : overrides) {
        const std::string g = text::utf8_to_gbk(v);
        if (option == "--server") config.server = g;
        if (option == "--user") config.user = g;
        if (option == "--password") config.password = g;
        if (option == "--database") config.database = g;
        if (option == "--table") config.table = g;
        if (option == "--folder") config.folder = g;
        if (option == "--types") config.types = g;
        if (option == "--subfolders") config.subfolders = true;
        if (option == "--no-subfolders") config.subfolders = false;
        if (option == "--random-order") config.random_order = true;
        if (option == "--empty-table-first") config.empty_first = true;
        if (option == "--batch") config.batch = static_cast<size_t>(text::to_int(v));
        // Paths stay as the command line gave them: the file system's bytes.
        if (option == "--tls-ca") config.tls.ca = v;
        if (option == "--tls-cert") config.tls.cert = v;
        if (option == "--tls-key") config.tls.key = v;
        if (option == "--tls") {
            auto mode = tls_mode(v);
            if (!mode) return usage_error("--tls takes auto, off, required or verify");
            config.tls.mode = *mode;
        }
        if (option == "--encoding") {
            auto code = encoding_code(v);
            if (!code) return usage_error("unknown encoding " + v);
            config.encoding = *code;
        }
    }

    // The password: from the terminal when asked, else QB_PASSWORD, else the configuration's.
    const bool password_given = std::any_of(overrides.begin(), overrides.end(),
                                            [](const auto& o) { return o.first == "--password"; });
    if (ask_password && password_given)
        return usage_error("--password and --ask-password exclude each other");
    if (ask_password) {
        std::optional<std::string> typed = ask_terminal_password();
        if (!typed) return usage_error("--ask-password needs a terminal to read from");
        config.password = text::utf8_to_gbk(*typed);
    } else if (const char* env = std::getenv("QB_PASSWORD"); env && !password_given) {
        config.password = text::utf8_to_gbk(env);
    }

    if (::pipe2(g_wake, O_CLOEXEC) != 0) return usage_error("cannot create a pipe");
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    return command == "import" ? run_import_command(config) : run_export_command(config);
}
