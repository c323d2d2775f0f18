#include "mapping/field_list_settings.h"

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::mapping {

namespace {

std::string cell_key(const StoredRow& headers, size_t column, size_t row) {
    return headers[column] + "(" + text::int_text(static_cast<int64_t>(row)) + ")";
}

const std::string& count_key() {
    static const std::string key = text::G("字段数");
    return key;
}

const StoredRow& field_headers() {
    static const StoredRow headers{mapping::field_list_headers()[0],
                                   mapping::field_list_headers()[1],
                                   mapping::field_list_headers()[2]};
    return headers;
}

}  // namespace

void write_rows(persist::ConfigStore& store, const StoredRow& headers,
                const std::vector<StoredRow>& rows) {
    store.write_number(count_key(), static_cast<double>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t k = 0; k < 3; ++k) store.write_text(cell_key(headers, k, i + 1), rows[i][k]);
}

std::vector<StoredRow> read_rows(const persist::ConfigStore& store, const StoredRow& headers) {
    const double stored = store.read_number(count_key(), 0);
    const int count = stored > kMaxStoredFieldRows ? kMaxStoredFieldRows
                      : stored > 0                 ? static_cast<int>(stored)
                                                   : 0;
    // Only the rows present: a count larger than the rows stored adds no empty ones.
    const std::string absent = "\x01";
    std::vector<StoredRow> rows;
    for (int i = 1; i <= count; ++i) {
        StoredRow row;
        for (size_t k = 0; k < 3; ++k) row[k] = store.read_text(cell_key(headers, k, i), absent);
        if (row[0] == absent) break;
        for (std::string& cell : row)
            if (cell == absent) cell.clear();
        rows.push_back(std::move(row));
    }
    return rows;
}

void write_field_rows(persist::ConfigStore& store, const std::vector<mapping::FieldMapping>& rows) {
    std::vector<StoredRow> cells;
    for (const auto& r : rows) cells.push_back({r.field, r.source, r.options});
    write_rows(store, field_headers(), cells);
}

std::vector<mapping::FieldMapping> read_field_rows(const persist::ConfigStore& store) {
    std::vector<mapping::FieldMapping> rows;
    for (const StoredRow& r : read_rows(store, field_headers())) rows.push_back({r[0], r[1], r[2]});
    if (rows.empty()) rows = mapping::default_field_rows();
    return rows;
}

}  // namespace qb::mapping
