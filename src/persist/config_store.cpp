#include "persist/config_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::persist {

namespace {

constexpr std::string_view kCrLf = "\r\n";
const std::string kLineBreakMark = text::G("┊*┊");
const std::string kTrue = text::G("真");

bool read_whole_file(const std::string& path, std::string& out, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > limit) return false;
    in.seekg(0);
    out.resize(static_cast<size_t>(size));
    in.read(out.data(), size);
    out.resize(static_cast<size_t>(in.gcount()));
    return true;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Writes bytes to a new file beside path and renames it over path, so that a reader or a crash
// sees either the old or the new contents, never half of them. Returns the new file's
// descriptor, locked, or -1. mode applies to a file that did not exist.
int replace_file(const std::string& path, std::string_view bytes, mode_t mode) {
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return -1;
    ::fchmod(fd, mode);
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (!write_all(fd, bytes) || ::fdatasync(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return -1;
    }
    return fd;
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

bool ConfigStore::open_file(const std::string& path) {
    close_file();
    path_ = path;
    std::error_code ec;
    bool exists = std::filesystem::exists(path, ec);
    if (exists && !read_whole_file(path, buffer_, kMaxFileSize)) {
        // Unreadable or far too large: work on defaults and leave the file as it is.
        buffer_.clear();
        return false;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat before, after;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &before) != 0 ||
        ::stat(path.c_str(), &after) != 0 || before.st_ino != after.st_ino) {
        // Another instance holds it (or replaced it while we opened): read only.
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ConfigStore::close_file() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
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
    queue_.push_back({section_, key, text::replace_all(value, kCrLf, kLineBreakMark)});
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
    if (buffer_dirty_) flush();
    return ok;
}

bool ConfigStore::flush() {
    if (fd_ < 0) return false;
    struct stat st;
    mode_t mode = ::fstat(fd_, &st) == 0 ? (st.st_mode & 07777) : 0600;
    int fd = replace_file(path_, buffer_, mode);
    if (fd < 0) return false;
    ::close(fd_);
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
    std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    std::string name = section_ + "-" + key + ".ibn";
    return (folder / "inibin" / (encode_name_ ? encode_name_(name) : name)).string();
}

bool ConfigStore::write_bytes(const std::string& key, const std::string& bytes) {
    if (path_.empty()) return false;
    std::string file = side_file_path(key);
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directory(folder, ec);
    int fd = replace_file(file, bytes, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::string ConfigStore::read_bytes(const std::string& key, const std::string& fallback) const {
    if (path_.empty()) return fallback;
    std::string bytes;
    if (!read_whole_file(side_file_path(key), bytes, static_cast<size_t>(1) << 30) || bytes.empty())
        return fallback;
    return bytes;
}

}  // namespace qb::persist
