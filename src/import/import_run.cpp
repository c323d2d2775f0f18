#include "import/import_run.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <tuple>

#include "db/connection.h"
#include "db/statements.h"
#include "import/column_types.h"
#include "mapping/generators.h"
#include "text/codepage.h"
#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/path_text.h"
#include "text/random.h"

namespace qb::import {

using mapping::option_at;
using text::G;
using text::int_text;
using text::to_int;

namespace {

std::string count_text(size_t n) {
    return int_text(static_cast<int64_t>(n));
}

// A field row's key for what a run keeps per row: its id, or its position where the host has
// no ids (then rows do not move during a run).
uint64_t row_key(const mapping::FieldMapping& row, size_t position) {
    return row.id != 0 ? row.id : (uint64_t{1} << 63) | position;
}

// The values of one file's fields, from the options split once per run. Options and phrase
// state go with the row, not its position: a row deleted above another during the run must
// not hand its options to the rows below it.
class ValueMaker {
  public:
    ValueMaker(const std::vector<mapping::FieldMapping>& rows, const ImportSettings& settings)
        : settings_(settings) {
        for (size_t i = 0; i < rows.size(); ++i)
            options_.emplace(row_key(rows[i], i), mapping::split_options(rows[i].options));
    }

    // The value, valid until the next call: the article itself is not copied.
    std::string_view value(size_t row, const mapping::FieldMapping& field, const std::string& path,
                           const std::string& article) {
        if (mapping::source_index(field.source) == mapping::kFileContent) return article;
        made_ = make(row, field, path, article);
        return made_;
    }

  private:
    std::string make(size_t row, const mapping::FieldMapping& field, const std::string& path,
                     const std::string& article) {
        using namespace mapping;
        const std::vector<std::string>& o = options(row, field);
        auto opt = [&](size_t k) -> const std::string& { return option_at(o, k - 1); };
        auto flag = [&](size_t k) { return is_true_text(opt(k)); };
        switch (source_index(field.source)) {
            case kFileBaseName:
                return text::utf8_to_gbk(text::base_name(path));
            case kFileContent:
                return article;
            case kPageTitle: {
                int position = 0;
                return text::ExtractBetween(article, opt(1), opt(2), &position);
            }
            case kSummary:
                return text::MakeSummary(article, to_int(opt(1)), to_int(opt(2)));
            case kFileTime:
                return FileTimeValue(path, settings_.time_created, settings_.time_modified,
                                     settings_.time_kind);
            case kRandomChinese: {
                const int pool = flag(1) ? kMostFrequent : flag(2) ? kCommon : kSecondary;
                return RandomChinese(text::RandomInt(to_int(opt(5)), to_int(opt(6))), pool,
                                     flag(4));
            }
            case kRandomAlnum:
                return RandomDigitsLetters(text::RandomInt(to_int(opt(5)), to_int(opt(6))), flag(4),
                                           !flag(1), !flag(2), !flag(3));
            case kRandomTime:
                return RandomTime(opt(1), to_int(opt(2)), to_int(opt(3)), flag(4));
            case kRandomPhrase: {
                auto& state = phrases_[row_key(field, row)];
                if (!state) state = std::make_unique<PhraseState>(opt(1));
                return RandomPhrases(*state, static_cast<int>(to_int(opt(2))), to_int(opt(3)),
                                     to_int(opt(4)));
            }
            case kParentFolder:
                return ParentFolderName(text::utf8_to_gbk(path));
            case kFixedText:
                return opt(1);
            default:
                return G("请设置数据来源");
        }
    }

    // A row added during the run has its options split when it is first seen.
    const std::vector<std::string>& options(size_t row, const mapping::FieldMapping& field) {
        const uint64_t key = row_key(field, row);
        auto it = options_.find(key);
        if (it == options_.end())
            it = options_.emplace(key, mapping::split_options(field.options)).first;
        return it->second;
    }

    const ImportSettings& settings_;
    std::map<uint64_t, std::vector<std::string>> options_;
    std::map<uint64_t, std::unique_ptr<mapping::PhraseState>> phrases_;
    std::string made_;
};

// The table's row count, or -1 when it cannot be read (a lost connection, a dropped table).
long long table_row_count(db::Connection* c, const std::string& database,
                          const std::string& table) {
    if (!db::use_database(c, database) || !db::execute_sql(c, "select count(*) from " + table))
        return -1;
    auto r = db::take_result(c);
    int64_t n = 0;
    if (!r || !r->read_field(0u, n)) return -1;
    return n;
}

// A Galera cluster replicates only tables with a primary key: the rows of one without would
// stay on the node the run writes to.
void warn_if_unreplicated(db::Connection* c, const ImportSettings& settings, ImportHost& host) {
    if (!db::is_cluster_node(c)) return;
    if (!db::execute_sql(c, "show keys from `" + settings.table + "` where Key_name = 'PRIMARY'"))
        return;
    auto keys = db::take_result(c);
    if (keys && keys->row_count() == 0)
        host.message(G("表 ") + settings.table +
                     G(" 没有主键：Galera 集群只复制有主键的表，导入的行只会留在当前节点 ") +
                     db::server_in_use(c) + G(" 上。"));
}

// Said once before the first file: rows asking for traditional characters get simplified
// ones when OpenCC's table cannot be had.
void warn_if_simplified(const std::vector<mapping::FieldMapping>& rows, ImportHost& host) {
    const std::string& reason = mapping::TraditionalUnavailable();
    if (reason.empty()) return;
    for (const auto& row : rows) {
        const auto options = mapping::split_options(row.options);
        if (mapping::source_index(row.source) == mapping::kRandomChinese &&
            mapping::is_true_text(mapping::option_at(options, 3))) {
            host.message(G("转为繁体失败：") + reason + G("\r\n“") + row.field +
                         G("”等字段的随机汉字将是简体。"));
            return;
        }
    }
}

// One file's row: its columns and their values, escaped and quoted, as both statement forms
// take them.
struct FileRow {
    std::string path;
    size_t number = 0;
    std::string failure;  // why the file is not sent (unreadable, too large), or empty
    std::vector<std::string> names;
    std::string columns;       // "`a`,`b`"
    std::string values;        // "'x',' '"
    std::vector<size_t> ends;  // where each value ends in values
    void add(const std::string& name, std::string_view value) {
        if (!names.empty()) {
            columns += ",";
            values += ",";
        }
        names.push_back(name);
        columns += "`" + name + "`";
        values += '\'';
        if (value.empty())
            values += ' ';  // an empty value is stored as one space
        else
            db::append_escaped_sql_value(values, value);
        values += '\'';
        ends.push_back(values.size());
    }
};

// The one-file statement: "insert into `t` set `a`='x',...", as a run of one file per
// statement sends it.
std::string single_insert_sql(const std::string& table, const FileRow& row) {
    std::string assignments;
    assignments.reserve(row.values.size() + row.columns.size() + row.names.size());
    for (size_t k = 0, from = 0; k < row.names.size(); from = row.ends[k++] + 1) {
        if (k) assignments += ",";
        assignments += "`" + row.names[k] + "`=";
        assignments.append(row.values, from, row.ends[k] - from);
    }
    return db::insert_record_sql("`" + table + "`", assignments);
}

size_t batch_header_size(const std::string& table, const std::string& columns) {
    return std::string_view("insert into `` () values ").size() + table.size() + columns.size();
}

// Several files of the same columns in one statement, in their order.
std::string batch_insert_sql(const std::string& table, const std::vector<const FileRow*>& rows) {
    std::string sql = "insert into `" + table + "` (" + rows.front()->columns + ") values ";
    size_t size = sql.size();
    for (const FileRow* row : rows) size += row->values.size() + 3;
    sql.reserve(size);
    for (size_t k = 0; k < rows.size(); ++k) {
        sql += k ? ",(" : "(";
        sql += rows[k]->values;
        sql += ")";
    }
    return sql;
}

// What the server takes: files per statement, and the largest statement (max_allowed_packet,
// with the command byte).
struct Limits {
    size_t batch = 1;
    size_t packet = size_t{1} << 20;
    // A statement of several files stops growing here: past it the statement saves the server
    // nothing more, and the next one must be made while the server stores this one (a run of
    // large pages would otherwise wait for a few huge statements one after the other).
    size_t batch_bytes = size_t{1} << 20;
    bool lossless = false;
    // At most the bytes program text takes on the wire: utf8mb4 gives a GBK character three
    // bytes for its two.
    size_t wire(size_t bytes) const { return (lossless ? bytes + bytes / 2 : bytes) + 1; }
};

Limits statement_limits(db::Connection* c, const ImportSettings& settings) {
    Limits limits;
    limits.lossless = db::is_lossless(c);
    int64_t packet = 0;
    if (db::execute_sql(c, "select @@max_allowed_packet"))
        if (auto r = db::take_result(c)) r->read_field(0u, packet);
    if (packet > 0) limits.packet = static_cast<size_t>(packet);
    // Several rows in one statement only where the server stores all of them or none: on a
    // table without transactions a refused statement keeps the rows before the refused one,
    // which sending the files again one by one would store twice.
    int64_t transactional = 0;
    if (settings.batch > 1 &&
        db::execute_sql(c, "select count(*) from information_schema.tables where table_schema = '" +
                               db::escape_sql_value(settings.database) + "' and table_name = '" +
                               db::escape_sql_value(settings.table) + "' and engine = 'InnoDB'"))
        if (auto r = db::take_result(c)) r->read_field(0u, transactional);
    limits.batch = transactional > 0 ? std::max<size_t>(settings.batch, 1) : 1;
    return limits;
}

// The wire size of the file's own statement: exact where the estimate comes near the limit.
size_t single_wire_size(const std::string& table, const FileRow& row, const Limits& limits) {
    const size_t estimate =
        limits.wire(std::string_view("insert into `` set ").size() + table.size() +
                    row.values.size() + row.columns.size() + row.names.size());
    if (estimate <= limits.packet || !limits.lossless) return estimate;
    return text::program_to_server_utf8(single_insert_sql(table, row)).size() + 1;
}

// "7.2", "1": one decimal, none when it is 0.
std::string megabytes(size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1 << 20));
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
    return out;
}

std::string too_large_text(size_t size, size_t limit) {
    return G("文章太大：语句 ") + megabytes(size) + G(" MB，超过服务器允许的 ") + megabytes(limit) +
           G(" MB（max_allowed_packet）");
}

}  // namespace

std::string idle_import_caption() {
    return G("导入文章到 MySQL 数据库");
}

std::string summary_message(const ImportResult& r) {
    std::string s = G("导入完成，已导入 ") + count_text(r.imported) + G(" 篇文章，") +
                    (r.row_count < 0 ? G("无法读取当前表的记录数！")
                                     : G("当前表有 ") + int_text(r.row_count) + G(" 条记录！"));
    if (r.failed > 0) s += "\r\n" + G("有 ") + count_text(r.failed) + G(" 篇文章导入失败。");
    for (const std::string& server : r.switched_to)
        s += "\r\n" + G("连接断开后已切换到服务器 ") + server + G("。");
    if (r.unconfirmed > 0)
        s += "\r\n" + G("其中 ") + count_text(r.unconfirmed) +
             G(" 篇在连接断开时没有得到服务器的回答，无法确认是否已导入，请检查表中是否已有。");
    if (r.connection_lost && r.not_attempted > 0)
        s += "\r\n" + G("与服务器的连接已断开，还有 ") + count_text(r.not_attempted) +
             G(" 篇文章没有导入。");
    return s;
}

namespace {
// What the run creates holds its characters: utf8mb4 for the lossless mode's.
std::string table_charset(db::Connection* c) {
    return db::is_lossless(c) ? "utf8mb4 COLLATE utf8mb4_general_ci"
                              : "utf8 COLLATE utf8_general_ci";
}
}  // namespace

bool auto_create_database(db::Connection* c, const std::string& name, ImportHost& host) {
    if (!db::create_database(c, name)) {
        host.message(G("库不存在且自动创建失败：") + name);
        host.focus(ImportHost::Box::Database);
        return false;
    }
    db::execute_sql(
        c, "ALTER DATABASE `" + name + "` DEFAULT CHARACTER SET " + table_charset(c) + ";");
    db::select_database(c, name);
    return true;
}

bool auto_create_table(db::Connection* c, const std::string& table,
                       const std::vector<mapping::FieldMapping>& rows, ImportHost& host) {
    std::vector<db::ColumnSpec> specs;
    db::ColumnSpec id;
    id.name = "ID";
    id.type_code = 8;
    id.allow_null = false;
    id.auto_increment = true;
    specs.push_back(id);
    db::ColumnSpec key;
    key.kind = 2;
    key.primary_key_columns = "ID";
    specs.push_back(key);
    for (const auto& row : rows) {
        if (row.field == "ID") continue;
        db::ColumnSpec column;
        column.name = row.field;
        column.type_code = lookup_type_code(type_for_source(row.source));
        specs.push_back(column);
    }
    if (!db::create_table(c, table, specs)) {
        host.message(G("表不存在且自动创建失败：") + table);
        host.focus(ImportHost::Box::Table);
        return false;
    }
    // CONVERT, not DEFAULT: the columns were made in the database's character set, which may
    // be one (latin1) that holds no Chinese text.
    db::execute_sql(
        c, "ALTER TABLE `" + table + "` CONVERT TO CHARACTER SET " + table_charset(c) + ";");
    if (!db::execute_sql(c, "select * from " + table + " limit 0")) {
        host.message(G("打开表 ") + table + G(" 失败！"));
        host.focus(ImportHost::Box::Table);
        return false;
    }
    return true;
}

ImportResult run_import(db::Connection* c, const ImportSettings& settings,
                        const std::vector<std::string>& files, ImportHost& host) {
    ImportResult result;
    const std::vector<mapping::FieldMapping> initial_rows = host.field_rows();
    if (settings.database.empty()) {
        host.message(G("请输入库名！"));
        host.focus(ImportHost::Box::Database);
        return result;
    }
    if (settings.table.empty()) {
        host.message(G("请输入表名！"));
        host.focus(ImportHost::Box::Table);
        return result;
    }
    if (initial_rows.empty()) {
        host.message(G("请在 数据字段设置 中添加至少一个字段！"));
        return result;
    }
    if (!c) {
        host.message(G("请先连接到 MySQL 服务器！"));
        return result;
    }
    for (const auto& [what, name, box] :
         {std::tuple{G("库名"), settings.database, ImportHost::Box::Database},
          std::tuple{G("表名"), settings.table, ImportHost::Box::Table}})
        if (const std::string said = db::misread_name_message(what, name); !said.empty()) {
            host.message(said);
            host.focus(box);
            return result;
        }
    // A link the server closed while the window stood idle would otherwise fail the database
    // check below and be taken for a database that cannot be created.
    if (!db::ensure_alive(c)) {
        host.message(mapping::lost_connection_text());
        return result;
    }
    const db::LosslessScope mode(c, settings.lossless);
    if (!mode.ok()) {
        std::string reason;
        db::last_error(c, reason);
        host.message(mapping::no_utf8mb4_text(reason));
        return result;
    }
    if (!db::select_database(c, settings.database) &&
        !auto_create_database(c, settings.database, host))
        return result;
    // Column names without fetching the table's rows.
    const std::string probe = "select * from " + settings.table + " limit 0";
    const bool existing = db::execute_sql(c, probe);
    if (!existing && !auto_create_table(c, settings.table, initial_rows, host)) return result;
    std::unique_ptr<db::ResultSet> columns = db::take_result(c);
    // Emptying first is part of the run: a stop asked for before it leaves the table as it
    // is, and rows are not added to a table that should have been emptied and was not.
    if (host.ctrl_held() && !host.stop_requested() && !db::delete_records(c, settings.table, "")) {
        std::string reason;
        db::last_error(c, reason);
        host.message(G("清空表 ") + settings.table + G(" 的记录失败，没有导入任何文章！\r\n") +
                     reason);
        return result;
    }
    result.prepared = true;
    warn_if_simplified(initial_rows, host);
    if (db::use_database(c, settings.database)) warn_if_unreplicated(c, settings, host);

    ValueMaker values(initial_rows, settings);
    text::DrawPool order;
    const size_t n = files.size();
    host.set_button_caption(G("正在导入.."));
    const Limits limits = statement_limits(c, settings);
    // Each statement is sent without waiting: the next files are read and their rows made
    // while the server stores the last ones, and the answer is collected just before the next
    // statement goes out. A statement holds up to limits.batch files of the same columns.
    std::vector<FileRow> building, in_flight;
    std::string building_columns;  // of the rows to send; empty while none
    size_t building_bytes = 0;
    bool lost = false;
    auto report = [&](const FileRow& row, bool ok, const std::string& reason) {
        if (ok) {
            ++result.imported;
            host.set_button_caption(G("总 ") + count_text(n) + G(" 篇，已导入 ") +
                                    count_text(result.imported) + G(" 篇"));
            host.set_window_caption(text::utf8_to_gbk(text::base_name(row.path)));
        } else {
            ++result.failed;
        }
        host.file_done(row.path, ok, reason, row.number, n);
    };
    // The link is gone. With another server of the list the run goes on there (true); the
    // files whose statement got no answer are then unconfirmed, never sent again: the lost
    // server may have stored them. Else the run ends.
    auto lose = [&](size_t last_number) {
        std::string to;
        if (!host.stop_requested() && db::fail_over(c, &to)) {
            result.switched_to.push_back(to);
            host.notice(G("已切换到服务器 ") + to);
            return true;
        }
        lost = result.connection_lost = true;
        result.not_attempted = n - last_number;
        return false;
    };
    auto unconfirmed = [&](const FileRow& row, const std::string& reason) {
        ++result.unconfirmed;
        report(row, false, G("未确认：连接断开时语句没有得到回答（") + reason + G("）"));
    };
    // One file's own statement, waited for: a batch the server refused is sent again file by
    // file, so that each failure is the file's own and every other file goes in.
    auto run_alone = [&](const FileRow& row) {
        std::string reason;
        const bool ok = db::use_database(c, settings.database) &&
                        db::execute_sql(c, single_insert_sql(settings.table, row));
        if (!ok) db::last_error(c, reason);
        if (!ok && db::connection_lost(c) && lose(row.number))
            unconfirmed(row, reason);
        else
            report(row, ok, reason);
        return !lost;
    };
    // The answer to the statement in flight; false when the connection is gone, ending the
    // run (the rest would fail the same way).
    auto collect = [&]() {
        if (in_flight.empty()) return !lost;
        std::vector<FileRow> rows = std::move(in_flight);
        in_flight.clear();
        const db::SentOutcome outcome = db::finish_sent_sql(c);
        size_t sent_rows = 0;
        for (const FileRow& row : rows) sent_rows += row.failure.empty();
        if (!outcome.ok && !outcome.lost && sent_rows > 1 && !host.stop_requested()) {
            // The refused statement took IDs for the rows before the refused one; given back,
            // the rows get the IDs one statement per file gives them (where the account may
            // alter the table: otherwise the IDs have a gap there).
            if (db::use_database(c, settings.database))
                db::execute_sql(c, "alter table `" + settings.table + "` auto_increment = 1");
            for (const FileRow& row : rows) {
                if (lost) break;
                if (!row.failure.empty())
                    report(row, false, row.failure);
                else
                    run_alone(row);
            }
            return !lost;
        }
        // A batch fails over as a whole: every file of it unconfirmed.
        const bool went_on = outcome.lost && lose(rows.back().number);
        for (const FileRow& row : rows) {
            if (went_on && row.failure.empty())
                unconfirmed(row, outcome.error);
            else
                report(row, row.failure.empty() && outcome.ok,
                       row.failure.empty() ? outcome.error : row.failure);
        }
        return !lost;
    };
    // Sends the rows built so far as one statement (after the answer to the last one).
    auto send = [&]() {
        if (!collect()) return false;
        in_flight = std::move(building);
        building.clear();
        building_columns.clear();
        building_bytes = 0;
        std::vector<const FileRow*> sql_rows;
        for (const FileRow& row : in_flight)
            if (row.failure.empty()) sql_rows.push_back(&row);
        if (sql_rows.empty()) {
            for (const FileRow& row : in_flight) report(row, false, row.failure);
            in_flight.clear();
            return true;
        }
        // Whatever moved the connection to another database meanwhile, the rows go into the
        // table the run was started for; a database gone since then fails the files.
        const std::string statement = sql_rows.size() == 1
                                          ? single_insert_sql(settings.table, *sql_rows[0])
                                          : batch_insert_sql(settings.table, sql_rows);
        if (!db::use_database(c, settings.database) || !db::send_sql(c, statement)) {
            std::string reason;
            db::last_error(c, reason);
            std::vector<FileRow> rows = std::move(in_flight);
            in_flight.clear();
            const bool went_on = db::connection_lost(c) && lose(rows.back().number);
            for (const FileRow& row : rows) {
                if (went_on && row.failure.empty())
                    unconfirmed(row, reason);
                else
                    report(row, false, row.failure.empty() ? reason : row.failure);
            }
            return !lost;
        }
        return true;
    };
    for (size_t j = 1; j <= n; ++j) {
        host.pump();
        // A stop: the files already made go in their statement (sent below), the rest not.
        if (host.stop_requested()) {
            result.stopped = true;
            result.not_attempted = n - j + 1;
            break;
        }
        const size_t index =
            settings.random_order ? static_cast<size_t>(order.Next(1, static_cast<int64_t>(n))) : j;
        FileRow row;
        row.path = files[index - 1];
        row.number = j;
        const std::string article =
            text::ReadArticleText(row.path, settings.encoding, nullptr, {}, {}, &row.failure);
        // A folder, FIFO or device among the files, one that cannot be read or is too large:
        // a failure with its reason, not an empty row.
        if (row.failure.empty()) {
            const std::vector<mapping::FieldMapping> rows = host.field_rows();
            for (size_t i = 0; i < rows.size(); ++i) {
                host.pump();
                std::string name = rows[i].field;
                if (name == "ID") continue;
                const std::string_view value = values.value(i, rows[i], row.path, article);
                if (existing && columns && text::is_position(name)) {
                    const int64_t position = to_int(name);
                    std::string column;
                    if (position >= 1 && position <= static_cast<int64_t>(columns->field_count()) &&
                        columns->field_name(static_cast<unsigned>(position - 1), column)) {
                        name = column;
                        host.set_field_name(rows[i], i, name);
                    }
                }
                row.add(name, value);
            }
            // A file whose statement the server would not take fails alone, before it is
            // sent: sent, it would end the connection.
            if (const size_t size = single_wire_size(settings.table, row, limits);
                size > limits.packet)
                row.failure = too_large_text(size, limits.packet);
        }
        // A row of other columns (the field list was edited), or past the statement's size,
        // goes in the next statement; a failed file goes with any.
        const bool fits =
            building.size() < limits.batch &&
            (!row.failure.empty() || building_columns.empty() ||
             (row.columns == building_columns &&
              limits.wire(batch_header_size(settings.table, building_columns) + building_bytes +
                          row.values.size() + 3) <= std::min(limits.packet, limits.batch_bytes)));
        if (!fits && !send()) break;
        if (row.failure.empty()) {
            building_columns = row.columns;
            building_bytes += row.values.size() + 3;
        }
        building.push_back(std::move(row));
        const bool full = building.size() >= limits.batch;
        if (full && !collect()) break;
        // A stop asked for while this file was made: the file before it was the last.
        if (host.stop_requested()) {
            result.stopped = true;
            result.not_attempted = n - j + 1;
            building.pop_back();
            break;
        }
        if (full && !send()) break;
    }
    if (!building.empty() && !lost) send();
    collect();
    columns.reset();
    result.row_count = table_row_count(c, settings.database, settings.table);
    host.set_button_caption(idle_import_caption());
    host.set_window_caption(mapping::program_title());
    host.summary(summary_message(result));
    return result;
}

}  // namespace qb::import
