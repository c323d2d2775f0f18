#include "db/row_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "text/iconv_text.h"

namespace qb::db {

namespace {

constexpr uint32_t kNull = 0xFFFFFFFFu;
constexpr size_t kRecentRows = 256;
constexpr uint64_t kReadBlock = 256 * 1024;

// A file nobody else can open, gone when it is closed (or the program ends).
int temporary_file() {
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = dir + "/quillbase-rows.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
    return fd;
}

void put_length(std::string& out, uint32_t n) {
    char b[4];
    std::memcpy(b, &n, 4);
    out.append(b, 4);
}

}  // namespace

RowStore::RowStore(const ResultSet& result) : fd_(temporary_file()) {
    for (unsigned k = 0; k < result.field_count(); ++k) {
        std::string name;
        result.field_name(k, name);
        names_.push_back(std::move(name));
        exact_.push_back(result.is_exact_number(k));
        utf8_.push_back(result.utf8_field(k));
    }
    utf8_wire_ = result.utf8_wire();
}

RowStore::~RowStore() {
    if (fd_ >= 0) ::close(fd_);
}

size_t RowStore::append(ResultSet& streamed, size_t max_bytes) {
    size_t taken = 0;
    while (!at_end_ && !failed_ && (taken == 0 || pending_.size() < max_bytes)) {
        if (!ok() || !streamed.fetch_next_row()) {
            at_end_ = true;
            failed_ = !ok() || streamed.failed();
            break;
        }
        offsets_.push_back(written_ + pending_.size());
        Bytes b;
        for (unsigned k = 0; k < field_count(); ++k) {
            if (streamed.is_null(k)) {
                put_length(pending_, kNull);
                continue;
            }
            streamed.read_field(k, b);
            put_length(pending_, static_cast<uint32_t>(b.data.size()));
            pending_ += b.data;
        }
        ++taken;
    }
    if (!flush()) failed_ = true;
    return taken;
}

bool RowStore::flush() {
    size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                                   static_cast<off_t>(written_ + done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    written_ += done;
    pending_.clear();
    return true;
}

bool RowStore::field_name(unsigned index, std::string& name) const {
    if (index >= names_.size()) return false;
    name = names_[index];
    return true;
}

bool RowStore::is_exact_number(unsigned index) const {
    return index < exact_.size() && exact_[index];
}

int RowStore::column_index(const std::string& name) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return static_cast<int>(i);
    return -1;
}

bool RowStore::move_to_row(uint64_t row) {
    if (row >= row_count()) return false;
    cursor_ = row;
    return true;
}

const RowStore::Row* RowStore::current() {
    if (cursor_ >= row_count()) return nullptr;
    if (auto it = index_.find(cursor_); it != index_.end()) {
        recent_.splice(recent_.begin(), recent_, it->second);
        return &it->second->second;
    }
    const uint64_t start = offsets_[cursor_];
    const uint64_t end = cursor_ + 1 < row_count() ? offsets_[cursor_ + 1] : written_;
    if (start < block_start_ || end > block_start_ + block_.size()) {
        // Rows are mostly read in order (a screenful, an export): a block at a time.
        block_.resize(
            std::min<uint64_t>(std::max<uint64_t>(end - start, kReadBlock), written_ - start));
        size_t got = 0;
        while (got < block_.size()) {
            const ssize_t n = ::pread(fd_, block_.data() + got, block_.size() - got,
                                      static_cast<off_t>(start + got));
            if (n <= 0) {
                block_.clear();
                return nullptr;
            }
            got += static_cast<size_t>(n);
        }
        block_start_ = start;
    }
    const char* bytes = block_.data() + (start - block_start_);
    const size_t size = end - start;
    Row row(field_count());
    size_t at = 0;
    for (Cell& cell : row) {
        uint32_t n = kNull;
        if (at + 4 > size) break;
        std::memcpy(&n, bytes + at, 4);
        at += 4;
        if (n == kNull) continue;
        cell.null = false;
        cell.bytes.assign(bytes + at, std::min<size_t>(n, size - at));
        at += n;
    }
    if (recent_.size() >= kRecentRows) {
        index_.erase(recent_.back().first);
        recent_.pop_back();
    }
    recent_.emplace_front(cursor_, std::move(row));
    index_[cursor_] = recent_.begin();
    return &recent_.front().second;
}

bool RowStore::is_null(unsigned column) {
    const Row* row = current();
    return !row || column >= row->size() || (*row)[column].null;
}

bool RowStore::read_field(unsigned column, Bytes& out) {
    if (column >= field_count()) return false;
    const Row* row = current();
    out.data = row ? (*row)[column].bytes : std::string();
    return true;
}

bool RowStore::read_field(unsigned column, std::string& out) {
    Bytes b;
    if (!read_field(column, b)) return false;
    out.assign(b.data.data(), strnlen(b.data.data(), b.data.size()));
    if (utf8_[column]) out = text::utf8_to_gbk(out, true);
    return true;
}

}  // namespace qb::db
