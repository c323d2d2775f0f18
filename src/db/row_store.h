// The rows of a result kept in a temporary file instead of memory, so that a list can show a
// table far larger than the machine's memory: the rows stream in from the server (a streamed
// result) in chunks, and any row is read back at once by its number. In memory stay the
// columns, one file offset per row and the last rows read.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/connection.h"

namespace qb::db {

class RowStore {
  public:
    // An empty store with the columns of result; ok() is false when no temporary file could
    // be made.
    explicit RowStore(const ResultSet& result);
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;
    bool ok() const { return fd_ >= 0; }

    // Takes the next rows of the streamed result, up to about max_bytes of them (at least
    // one row): the number of rows taken. at_end() once the result has no more rows;
    // failed() when the server stopped sending (a lost link, a cancelled statement) or the
    // file could not be written.
    size_t append(ResultSet& streamed, size_t max_bytes);
    bool at_end() const { return at_end_; }
    bool failed() const { return failed_; }

    uint64_t row_count() const { return offsets_.size(); }
    unsigned field_count() const { return static_cast<unsigned>(names_.size()); }
    bool field_name(unsigned index, std::string& name) const;
    bool is_exact_number(unsigned index) const;
    int column_index(const std::string& name) const;  // -1 when absent
    bool utf8_wire() const { return utf8_wire_; }

    // The current row, as in a result set; false when row is not below row_count.
    bool move_to_row(uint64_t row);
    bool is_null(unsigned column);
    // Program text (up to its first zero byte), or the bytes as the server sent them.
    bool read_field(unsigned column, std::string& out);
    bool read_field(unsigned column, Bytes& out);

  private:
    struct Cell {
        bool null = true;
        std::string bytes;
    };
    using Row = std::vector<Cell>;
    const Row* current();
    bool flush();

    int fd_ = -1;
    std::vector<std::string> names_;
    std::vector<bool> exact_, utf8_;
    bool utf8_wire_ = false;
    std::vector<uint64_t> offsets_;  // where each row starts in the file
    uint64_t written_ = 0;           // bytes in the file
    std::string pending_;            // bytes not yet written
    bool at_end_ = false, failed_ = false;
    uint64_t cursor_ = 0;
    std::string block_;  // the file's bytes from block_start_, read last
    uint64_t block_start_ = 0;
    // The rows read last (a screenful and a little more), most recent first.
    std::list<std::pair<uint64_t, Row>> recent_;
    std::unordered_map<uint64_t, std::list<std::pair<uint64_t, Row>>::iterator> index_;
};

}  // namespace qb::db
