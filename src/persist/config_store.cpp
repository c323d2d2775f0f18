#include "persist/config_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::persist {

namespace {

constexpr std::string_view kCrLf = "\r\n";
const std::string kLineBreakMark = text::G("┊*┊");
const std::string kTrue = text::G("真");

std::string errno_text() {
    return text::utf8_to_gbk(std::strerror(errno));
}

// Reads path whole into out; on failure the reason (program text) and false. Opened without
// blocking: a FIFO at the path (no writer) would otherwise hold the program for good; only a
// regular file is read.
bool read_whole_file(const std::string& path, std::string& out, size_t limit, std::string* reason) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (reason) *reason = text::G("无法读取文件：") + errno_text();
        if (fd >= 0) ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > limit) {
        if (reason)
            *reason = S_ISREG(st.st_mode) ? text::G("文件太大，不是配置文件")
                                          : text::G("这不是一个普通文件（可能是文件夹）");
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (reason) *reason = text::G("无法读取文件：") + errno_text();
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    ::close(fd);
    return true;
}

bool write_all(int fd, std::string_view bytes) {
    for (off_t at = 0; !bytes.empty();) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
        at += n;
    }
    return true;
}

// Writes bytes to a new file beside path and renames it over path, so that a reader or a crash
// sees either the old or the new contents, never half of them. Returns the new file's
// descriptor, locked, or -1 with errno set. mode applies to a file that did not exist.
int replace_file(const std::string& path, std::string_view bytes, mode_t mode) {
    std::string tmp = path + ".tmp-XXXXXX";
    // Not inherited by the programs 帮助 and 浏览.. start: the file holds the password.
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    ::fchmod(fd, mode);
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (!write_all(fd, bytes) || ::fdatasync(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = saved;
        return -1;
    }
    return fd;
}

// For a file whose folder takes no new files (so no replacement can be made beside it) but
// which itself may be written: the new bytes go over the old ones, then the file is cut to
// their length. A crash in between can leave a mix, which is why this is only the fallback.
bool overwrite_in_place(int fd, std::string_view bytes) {
    return write_all(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
           ::fdatasync(fd) == 0;
}

// Makes path hold bytes: through a replacement when the folder allows one, else in place
// through fd (an open writable descriptor of path, or -1 to open one). Returns the descriptor
// that now holds path (the replacement's, or fd / the one opened; the caller owns it), or -1
// with the reason.
int store_bytes(const std::string& path, int fd, std::string_view bytes, mode_t mode,
                std::string& reason) {
    // A file with other names (a hard link) or another owner keeps being that file: a
    // replacement would be a new file under this name only, owned by us.
    struct stat st;
    const bool keep_file =
        fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_nlink > 1 || st.st_uid != ::geteuid());
    int fresh = keep_file ? -1 : replace_file(path, bytes, mode);
    if (fresh >= 0) return fresh;
    if (keep_file || errno == EACCES || errno == EPERM || errno == EROFS) {
        int own = fd >= 0 ? fd : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (own >= 0 && overwrite_in_place(own, bytes)) return own;
        if (own >= 0 && own != fd) ::close(own);
    }
    reason = text::G("无法写入文件：") + errno_text();
    return -1;
}

}  // namespace

ConfigStore::~ConfigStore() {
    close_file();
}

std::string ConfigStore::guard_message() {
    return text::G("配置模块出现意外，可能导致无法正常保存！详情请咨询Tarvo。");
}

std::string ConfigStore::number_text(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return text::int_text(static_cast<int64_t>(value));
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

namespace {

// The files this process holds open as stores: a second store on one of them (exporting a
// configuration onto the program's own settings file) would only find it locked.
std::vector<std::pair<unsigned long, unsigned long>>& held_files() {
    // Never destroyed: the program's own store is a static too, closed after this would be.
    static auto* held = new std::vector<std::pair<unsigned long, unsigned long>>;
    return *held;
}

// A file written by an editor that ends its lines in LF alone reads as if they were CR LF.
// Only a file without any CR LF: a value of the program's own may hold a bare LF.
void read_lf_lines_as_crlf(std::string& buffer) {
    if (buffer.find('\n') == std::string::npos || buffer.find(kCrLf) != std::string::npos) return;
    buffer = text::replace_all(buffer, "\n", std::string(kCrLf));
}

}  // namespace

bool ConfigStore::open_file(const std::string& path) {
    close_file();
    path_ = path;
    error_.clear();
    std::error_code ec;
    bool exists = std::filesystem::exists(path, ec);
    // A settings file that is a link (kept in a synced folder) stays one: the file it points
    // to is the one written, and its side files go beside it.
    target_ = exists ? std::filesystem::canonical(path, ec).string() : path;
    if (ec) target_ = path;
    if (exists && !read_whole_file(target_, buffer_, kMaxFileSize, &error_)) {
        // Unreadable or far too large: work on defaults and leave the file as it is.
        buffer_.clear();
        return false;
    }
    read_lf_lines_as_crlf(buffer_);
    loaded_ = true;
    int fd = ::open(target_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        error_ = text::G("无法写入文件：") + errno_text();
        return false;
    }
    struct stat before, after;
    if (::fstat(fd, &before) == 0) {
        for (const auto& [dev, ino] : held_files())
            if (dev == before.st_dev && ino == before.st_ino) {
                ::close(fd);
                error_ = text::G("这是本程序自己的设置文件，正在用它保存窗口状态");
                return false;
            }
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &before) != 0 ||
        ::stat(target_.c_str(), &after) != 0 || before.st_ino != after.st_ino) {
        // Another instance holds it (or replaced it while we opened): read only.
        ::close(fd);
        error_ = text::G("文件正被另一个程序使用");
        return false;
    }
    fd_ = fd;
    held_ = {before.st_dev, before.st_ino};
    held_files().push_back(held_);
    return true;
}

bool ConfigStore::has_section(const std::string& name) const {
    return find_header(name, 0) != std::string::npos;
}

void ConfigStore::close_file() {
    if (fd_ >= 0) {
        ::close(fd_);
        auto& held = held_files();
        if (auto it = std::find(held.begin(), held.end(), held_); it != held.end()) held.erase(it);
    }
    fd_ = -1;
    buffer_.clear();
    loaded_ = false;
    batch_depth_ = 0;
}

void ConfigStore::begin_batch() {
    ++batch_depth_;
}

bool ConfigStore::end_batch() {
    if (batch_depth_ > 0 && --batch_depth_ > 0) return true;
    return !buffer_dirty_ || flush();
}

size_t ConfigStore::find_header(const std::string& section, size_t from) const {
    const std::string header = "[" + section + "]";
    while (from <= buffer_.size()) {
        int pos = text::find(buffer_, header, static_cast<int>(from) + 1);
        if (pos == -1) return std::string::npos;
        size_t at = static_cast<size_t>(pos - 1);
        size_t end = at + header.size();
        // The header must be a whole line: a header with bytes behind it on its line would
        // make a new entry's value swallow those bytes.
        bool line_start = at == 0 || (at >= 2 && buffer_.compare(at - 2, 2, kCrLf) == 0);
        bool line_end = end == buffer_.size() || buffer_.compare(end, 2, kCrLf) == 0;
        if (line_start && line_end) return at;
        from = at + 1;
    }
    return std::string::npos;
}

size_t ConfigStore::find_entry(size_t header_end, const std::string& key) const {
    // The section ends at the next header line: a line that starts with "[" and ends with "]".
    size_t section_end = buffer_.size();
    for (size_t line = buffer_.find("\r\n[", header_end); line != std::string::npos;
         line = buffer_.find("\r\n[", line + 2)) {
        size_t eol = buffer_.find(kCrLf, line + 2);
        size_t last = (eol == std::string::npos ? buffer_.size() : eol) - 1;
        if (buffer_[last] == ']') {
            section_end = line;
            break;
        }
    }
    const std::string needle = std::string(kCrLf) + key + "=";
    int pos = text::find(buffer_, needle, static_cast<int>(header_end) + 1);
    if (pos == -1 || static_cast<size_t>(pos - 1) >= section_end) return std::string::npos;
    return static_cast<size_t>(pos - 1);
}

bool ConfigStore::lookup(const std::string& key, std::string& value) const {
    size_t header = find_header(section_, 0);
    if (header == std::string::npos) return false;
    size_t entry = find_entry(header + section_.size() + 2, key);
    if (entry == std::string::npos) return false;
    size_t begin = entry + 2 + key.size() + 1;
    size_t end = buffer_.find(kCrLf, begin);
    if (end == std::string::npos) end = buffer_.size();
    value = text::replace_all(std::string_view(buffer_).substr(begin, end - begin), kLineBreakMark,
                              kCrLf);
    return true;
}

bool ConfigStore::write_text(const std::string& key, const std::string& value) {
    // The file is GBK whatever the program's mode: a character GBK lacks (the lossless mode's
    // four-byte form) is stored as "?", as GBK mode would have it.
    queue_.push_back(
        {section_, key, text::replace_all(text::plain_gbk(value), kCrLf, kLineBreakMark)});
    if (busy_) return false;
    // Not busy means the queue was empty, so the front is this call's write.
    busy_ = true;
    bool mine = false;
    for (bool first = true; !queue_.empty(); first = false) {
        PendingWrite w = std::move(queue_.front());
        queue_.pop_front();
        bool ok = perform(w);
        if (first) mine = ok;
    }
    busy_ = false;
    return mine;
}

bool ConfigStore::perform(const PendingWrite& w) {
    size_t search_from = 0;
    int appended = 0;
    bool ok = false;
    for (;;) {
        if (pump_) pump_();
        size_t header = find_header(w.section, search_from);
        if (header == std::string::npos) {
            if (appended >= 11) {
                if (alert_) alert_(guard_message(), buffer_);
                break;
            }
            size_t old_size = buffer_.size();
            if (!buffer_.empty()) buffer_.append(kCrLf);
            buffer_.append("[" + w.section + "]");
            buffer_dirty_ = true;
            search_from = old_size;
            ++appended;
            continue;
        }
        size_t header_end = header + w.section.size() + 2;
        size_t entry = find_entry(header_end, w.key);
        if (entry == std::string::npos) {
            buffer_.insert(header_end, std::string(kCrLf) + w.key + "=");
            buffer_dirty_ = true;
            continue;
        }
        size_t begin = entry + 2 + w.key.size() + 1;
        size_t end = buffer_.find(kCrLf, begin);
        if (end == std::string::npos) end = buffer_.size();
        buffer_.replace(begin, end - begin, w.value);
        buffer_dirty_ = true;
        ok = true;
        break;
    }
    if (buffer_dirty_ && batch_depth_ == 0 && !flush()) ok = false;
    return ok;
}

bool ConfigStore::flush() {
    if (fd_ < 0) return false;
    struct stat st;
    mode_t mode = ::fstat(fd_, &st) == 0 ? (st.st_mode & 07777) : 0600;
    std::string reason;
    int fd = store_bytes(target_, fd_, buffer_, mode, reason);
    if (fd < 0) {
        if (error_.empty()) error_ = reason;
        return false;
    }
    if (fd != fd_) {
        ::close(fd_);
        struct stat st;
        if (::fstat(fd, &st) == 0) {
            auto& held = held_files();
            std::replace(held.begin(), held.end(), held_, std::make_pair(st.st_dev, st.st_ino));
            held_ = {st.st_dev, st.st_ino};
        }
    }
    fd_ = fd;
    buffer_dirty_ = false;
    return true;
}

std::string ConfigStore::read_text(const std::string& key, const std::string& fallback) const {
    std::string value;
    if (lookup(key, value)) return value;
    // A default reads like a stored value: its line-break marks come back as CR LF.
    return text::replace_all(fallback, kLineBreakMark, kCrLf);
}

bool ConfigStore::write_number(const std::string& key, double value) {
    return write_text(key, number_text(value));
}

double ConfigStore::read_number(const std::string& key, double fallback) const {
    std::string value;
    if (!lookup(key, value)) return fallback;
    const char* begin = value.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    double v = 0;
    auto r = std::from_chars(begin, value.c_str() + value.size(), v);
    return r.ec == std::errc() ? v : 0;
}

bool ConfigStore::write_bool(const std::string& key, bool value) {
    return write_text(key, value ? kTrue : text::G("假"));
}

bool ConfigStore::read_bool(const std::string& key, bool fallback) const {
    std::string value;
    if (!lookup(key, value)) return fallback;
    return value == kTrue;
}

std::string ConfigStore::side_file_path(const std::string& key) const {
    std::filesystem::path folder = std::filesystem::path(target_).parent_path();
    std::string name = section_ + "-" + key + ".ibn";
    return (folder / "inibin" / (encode_name_ ? encode_name_(name) : name)).string();
}

bool ConfigStore::write_bytes(const std::string& key, const std::string& bytes) {
    if (target_.empty()) return false;
    std::string file = side_file_path(key);
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directory(folder, ec);
    std::string reason;
    int fd = store_bytes(file, -1, bytes, 0600, reason);
    if (fd < 0) {
        if (error_.empty()) error_ = reason;
        return false;
    }
    ::close(fd);
    return true;
}

std::string ConfigStore::read_bytes(const std::string& key, const std::string& fallback) const {
    if (target_.empty()) return fallback;
    std::string bytes;
    if (!read_whole_file(side_file_path(key), bytes, static_cast<size_t>(1) << 30, nullptr) ||
        bytes.empty())
        return fallback;
    return bytes;
}

}  // namespace qb::persist
