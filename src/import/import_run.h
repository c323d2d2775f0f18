// The import run: one INSERT per article file, one assignment per field row, with the
// database and table created when missing. The window, the command line and the tests drive
// it through ImportHost.
#pragma once

#include <string>
#include <vector>

#include "mapping/field_mapping.h"
#include "mapping/run_host.h"

namespace qb::db {
class Connection;
}

namespace qb::import {

// Files per statement unless told otherwise (see the import benchmark).
constexpr size_t kDefaultBatch = 100;

struct ImportSettings {
    std::string database, table;  // program text
    int encoding = 0;             // the file-encoding combo: 0 detect .. 4 UnicodeBE
    bool random_order = false;
    // The 文件时间 choice, as the window shows it when the run starts.
    bool time_created = false, time_modified = true;
    int time_kind = 0;
    // Every character of the files into utf8mb4 tables (program text in its lossless form).
    bool lossless = false;
    // Files per INSERT statement (within the server's max_allowed_packet); 1 sends each file
    // in its own "insert ... set" statement.
    size_t batch = kDefaultBatch;
};

using ImportHost = mapping::RunHost;

struct ImportResult {
    bool prepared = false;  // false: a preparation message ended the run, nothing imported
    size_t imported = 0, failed = 0, not_attempted = 0;
    bool stopped = false, connection_lost = false;
    // Files whose statement got no answer before the run went over to another server: counted
    // as failed, since nobody can say whether their rows went in.
    size_t unconfirmed = 0;
    std::vector<std::string> switched_to;  // the servers the run went over to, in order
    long long row_count = 0;  // the table's rows after the run; -1 when they could not be counted
};

// The idle caption of the import button, and the summary message of a run.
std::string idle_import_caption();
std::string summary_message(const ImportResult& r);

// files: paths in the file system's form. Shows its messages through the host; the summary
// message too, unless preparation failed.
ImportResult run_import(db::Connection* connection, const ImportSettings& settings,
                        const std::vector<std::string>& files, ImportHost& host);

// Creation when missing: false after showing the failure message.
bool auto_create_database(db::Connection* c, const std::string& name, ImportHost& host);
bool auto_create_table(db::Connection* c, const std::string& table,
                       const std::vector<mapping::FieldMapping>& rows, ImportHost& host);

}  // namespace qb::import
