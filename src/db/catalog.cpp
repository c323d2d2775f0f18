#include "db/catalog.h"

#include "db/connection.h"
#include "db/statements.h"

namespace qb::db {

namespace {

bool fetch_first_column(Connection* c, bool listed, std::vector<std::string>& names,
                        const std::function<void()>& pump) {
    if (!listed) return false;
    auto rows = take_result(c);
    if (!rows) return false;
    names.clear();
    for (uint64_t i = 0; i < rows->row_count(); ++i) {
        rows->move_to_row(i);
        std::string name;
        rows->read_field(0u, name);
        names.push_back(name);
        if (pump) pump();
    }
    return true;
}

}  // namespace

bool fetch_database_names(Connection* c, std::vector<std::string>& names,
                          const std::function<void()>& pump) {
    return fetch_first_column(c, list_databases(c), names, pump);
}

bool fetch_table_names(Connection* c, std::vector<std::string>& names,
                       const std::function<void()>& pump) {
    return fetch_first_column(c, list_tables(c), names, pump);
}

bool describe_table(Connection* c, const std::string& table, std::vector<DescribedColumn>& out) {
    // The name goes in as typed, as the other statements of the window send it.
    if (!execute_sql(c, "describe `" + table + "`;")) return false;
    auto rows = take_result(c);
    if (!rows) return false;
    out.clear();
    for (uint64_t i = 0; i < rows->row_count(); ++i) {
        rows->move_to_row(i);
        DescribedColumn column;
        rows->read_field("Field", column.name);
        rows->read_field("Type", column.type);
        rows->read_field("Extra", column.extra);
        out.push_back(column);
    }
    return true;
}

}  // namespace qb::db
