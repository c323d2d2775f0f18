// Which row of a table a shown row is, exactly: the viewer's delete removes that row and no
// other, whatever its values look like through the GBK connection (a zero byte, an emoji
// shown as "?", letters that differ only in case).
#pragma once

#include <string>
#include <vector>

#include "db/connection.h"
#include "db/row_store.h"

namespace qb::manager {

// From the rows of "show columns": the primary key's columns, else a unique column that
// cannot be NULL, else every column.
std::vector<std::string> identifying_columns(db::ResultSet& columns);

// Every column of the table, then the stored bytes of each identifying column.
std::string records_sql(const std::string& table, const std::vector<std::string>& identifying);

// The condition that picks the row of rows (made by records_sql; shown: the table's own
// column count) with "  LIMIT 1": each identifying column compared with its stored bytes
// (a whole number with its text, so that its index serves), IS NULL for NULL.
std::string record_condition(db::RowStore& rows, uint64_t row, unsigned shown,
                             const std::vector<std::string>& identifying);

}  // namespace qb::manager
