#include "manager/row_identity.h"

#include "db/statements.h"

namespace qb::manager {

std::vector<std::string> identifying_columns(db::ResultSet& columns) {
    std::vector<std::string> all, primary;
    std::string unique;
    for (uint64_t r = 0; columns.move_to_row(r); ++r) {
        std::string name, null, key;
        columns.read_field("Field", name);
        columns.read_field("Null", null);
        columns.read_field("Key", key);
        all.push_back(name);
        if (key == "PRI") primary.push_back(name);
        if (key == "UNI" && null == "NO" && unique.empty()) unique = name;
    }
    if (!primary.empty()) return primary;
    if (!unique.empty()) return {unique};
    return all;
}

std::string records_sql(const std::string& table, const std::vector<std::string>& identifying) {
    std::string s = "select *";
    for (const std::string& name : identifying)
        s += ", CAST(" + db::quote_identifier(name) + " AS BINARY)";
    return s + " from " + db::quote_identifier(table) + ";";
}

std::string record_condition(db::RowStore& rows, uint64_t row, unsigned shown,
                             const std::vector<std::string>& identifying) {
    static const char* const digits = "0123456789ABCDEF";
    rows.move_to_row(row);
    std::string condition;
    for (size_t i = 0; i < identifying.size(); ++i) {
        const std::string name = db::quote_identifier(identifying[i]);
        const unsigned stored = shown + static_cast<unsigned>(i);
        if (i) condition += " AND ";
        if (rows.is_null(stored)) {
            condition += name + " IS NULL";
            continue;
        }
        db::Bytes bytes;
        rows.read_field(stored, bytes);
        const int column = rows.column_index(identifying[i]);
        if (column >= 0 && rows.is_exact_number(static_cast<unsigned>(column))) {
            // Quoted even when it reads as a whole number: a bare 5 would also find "05".
            condition += name + " = '" + db::escape_sql_value(bytes.data) + "'";
            continue;
        }
        std::string hex = "X'";
        for (unsigned char c : bytes.data) {
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
        condition += "CAST(" + name + " AS BINARY) = " + hex + "'";
    }
    return condition + "  LIMIT 1";
}

}  // namespace qb::manager
