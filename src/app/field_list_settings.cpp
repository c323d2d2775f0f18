#include "app/field_list_settings.h"

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::app {

namespace {

std::string cell_key(size_t column, size_t row) {
    return mapping::field_list_headers()[column] + "(" + text::int_text(static_cast<int64_t>(row)) +
           ")";
}

const std::string& count_key() {
    static const std::string key = text::G("字段数");
    return key;
}

}  // namespace

void write_field_rows(persist::ConfigStore& store, const std::vector<mapping::FieldMapping>& rows) {
    store.write_number(count_key(), static_cast<double>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        store.write_text(cell_key(0, i + 1), rows[i].field);
        store.write_text(cell_key(1, i + 1), rows[i].source);
        store.write_text(cell_key(2, i + 1), rows[i].options);
    }
}

std::vector<mapping::FieldMapping> read_field_rows(const persist::ConfigStore& store) {
    double stored = store.read_number(count_key(), 0);
    int count = stored > kMaxStoredFieldRows ? kMaxStoredFieldRows
                : stored > 0                 ? static_cast<int>(stored)
                                             : 0;
    std::vector<mapping::FieldMapping> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({store.read_text(cell_key(0, i), {}), store.read_text(cell_key(1, i), {}),
                        store.read_text(cell_key(2, i), {})});
    if (rows.empty()) rows = mapping::default_field_rows();
    return rows;
}

}  // namespace qb::app
