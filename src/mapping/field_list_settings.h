// Storing a three-column list (the main window's field list, the create-table window's
// columns) in a settings store: "字段数" and one key per cell, named after the column header
// and the 1-based row, in the store's current section.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "mapping/field_mapping.h"
#include "persist/config_store.h"

namespace qb::mapping {

// A table has at most 4096 columns, so no real field list is longer; a damaged count beyond
// it would only freeze the window building empty rows.
constexpr int kMaxStoredFieldRows = 4096;

using StoredRow = std::array<std::string, 3>;
void write_rows(persist::ConfigStore& store, const StoredRow& headers,
                const std::vector<StoredRow>& rows);
std::vector<StoredRow> read_rows(const persist::ConfigStore& store, const StoredRow& headers);

void write_field_rows(persist::ConfigStore& store, const std::vector<mapping::FieldMapping>& rows);

// The stored rows; the four default rows when none are stored.
std::vector<mapping::FieldMapping> read_field_rows(const persist::ConfigStore& store);

}  // namespace qb::mapping
