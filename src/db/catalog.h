// What the server holds: database and table names, a table's columns.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qb::db {

class Connection;

// The names the server lists (databases, or the tables of the current database), in the
// server's order; pump runs after each row. False when the listing failed.
bool fetch_database_names(Connection* c, std::vector<std::string>& names,
                          const std::function<void()>& pump = {});
bool fetch_table_names(Connection* c, std::vector<std::string>& names,
                       const std::function<void()>& pump = {});

// One row of "describe `table`".
struct DescribedColumn {
    std::string name, type, extra;
};
// The columns of a table of the current database; false when it cannot be described.
bool describe_table(Connection* c, const std::string& table, std::vector<DescribedColumn>& out);

}  // namespace qb::db
