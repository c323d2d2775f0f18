// The export run: one article file per row of a table, the text from the column mapped to
// 文件内容, the name from the column mapped to 文件主名 or a sentence of the text.
#pragma once

#include <string>

#include "mapping/run_host.h"

namespace qb::db {
class Connection;
}

namespace qb::exporting {

using ExportHost = mapping::RunHost;

struct ExportSettings {
    std::string database, table;  // program text
    std::string folder;           // the article folder, in the file system's form
    std::string types = "*.*";    // the file-type box, program text
    int encoding = 0;             // the file-encoding combo: 0 writes the text unchanged
    // Read the rows as they arrive instead of holding the whole table (memory stays small on
    // any table), for a run during which nothing else uses the connection: the command line.
    bool stream_rows = false;
    // Rows read in utf8mb4 and written with every character (program text in its lossless
    // form); an ANSI file still gets GBK, with "?" for what GBK lacks.
    bool lossless = false;
};

struct ExportResult {
    bool prepared = false;  // false: a check ended the run before any row was read
    size_t exported = 0, failed = 0, skipped = 0;
    bool stopped = false;
    long long row_count = 0;
    std::string read_error;  // why the rows stopped arriving, when they did (program text)
};

// The idle caption of the export button, and the summary message of a run.
std::string idle_export_caption();
std::string export_summary_message(const ExportResult& r);

// The file extension a file-type text gives, with its dot (".txt"; ".html" for several
// patterns or none).
std::string export_extension(const std::string& types);

// Creates the folder and every missing folder above it; false when one cannot be made.
bool make_folders(const std::string& native_folder);

// Shows its messages through the host; the summary too, unless a check ended the run.
ExportResult run_export(db::Connection* connection, const ExportSettings& settings,
                        ExportHost& host);

}  // namespace qb::exporting
