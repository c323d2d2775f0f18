#include "export/export_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "db/connection.h"
#include "text/codepage.h"
#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/path_text.h"

namespace qb::exporting {

using text::G;
using text::int_text;

namespace {

// Longest file name the file system takes, in bytes of its UTF-8 form.
constexpr size_t kNameMax = 255;

std::string count_text(size_t n) {
    return int_text(static_cast<int64_t>(n));
}

// A field-list column given as a 1-based position becomes the result's column name.
std::string resolve_column(const std::string& field, const db::ResultSet& rows) {
    if (!text::is_position(field)) return field;
    const int64_t position = text::to_int(field);
    std::string name;
    if (position >= 1 && position <= static_cast<int64_t>(rows.field_count()) &&
        rows.field_name(static_cast<unsigned>(position - 1), name))
        return name;
    return field;
}

// The file name for a base name: made safe, cut (whole characters) so that the file system
// takes it, and numbered when this run already wrote a file of that name, so that no row of
// the run overwrites another's file.
std::string file_name_for(const std::string& base, const std::string& extension,
                          std::set<std::string>& used) {
    // Where each character of the base name ends, to cut it at any character at once.
    std::vector<size_t> ends{0};
    for (size_t i = 0; i < base.size();) ends.push_back(i += text::char_size_at(base, i));
    for (int n = 1;; ++n) {
        const std::string suffix = n == 1 ? std::string() : "(" + int_text(n) + ")";
        auto name_with = [&](size_t chars) {
            return text::SanitizeFileName(base.substr(0, ends[chars]) + suffix + extension);
        };
        auto fits = [&](size_t chars) {
            return text::gbk_to_utf8(name_with(chars)).size() <= kNameMax;
        };
        // The most characters that fit: a longer stem never gives a shorter name, so the
        // answer is found by halving, not by taking off one character after another.
        size_t keep = ends.size() - 1;
        if (!fits(keep)) {
            size_t low = 0, high = keep;  // fits(low) is assumed; !fits(high)
            while (high - low > 1) {
                const size_t mid = low + (high - low) / 2;
                (fits(mid) ? low : high) = mid;
            }
            keep = low;
        }
        const std::string name = name_with(keep);
        if (used.insert(name).second) return name;
    }
}

}  // namespace

std::string idle_export_caption() {
    return G("从 MySQL 数据库导出文章");
}

std::string export_summary_message(const ExportResult& r) {
    std::string s = G("导出完成，已导出 ") + count_text(r.exported) + G(" 篇文章，表中有 ") +
                    int_text(r.row_count) + G(" 条记录！");
    if (r.failed > 0) s += "\r\n" + G("有 ") + count_text(r.failed) + G(" 篇文章写入文件失败。");
    if (!r.read_error.empty()) s += "\r\n" + G("读取表记录时中断：") + r.read_error;
    return s;
}

std::string export_extension(const std::string& types) {
    std::string e;
    if (text::find(types, "|") < 0)
        for (char c : types)
            if (c != '*' && c != '.') e += c;
    return "." + (e.empty() ? std::string("html") : e);
}

bool make_folders(const std::string& native_folder) {
    for (size_t at = 1; at <= native_folder.size(); ++at) {
        if (at < native_folder.size() && native_folder[at] != text::kPathSeparator) continue;
        const std::string folder = native_folder.substr(0, at);
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0) continue;
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

ExportResult run_export(db::Connection* c, const ExportSettings& settings, ExportHost& host) {
    ExportResult result;
    if (settings.database.empty()) {
        host.message(G("请输入库名！"));
        host.focus(ExportHost::Box::Database);
        return result;
    }
    if (settings.table.empty()) {
        host.message(G("请输入表名！"));
        host.focus(ExportHost::Box::Table);
        return result;
    }
    if (settings.folder.empty()) {
        host.message(G("请先选择要导出到的文章目录！"));
        host.focus(ExportHost::Box::Folder);
        return result;
    }
    // (Without a connection the database check below says what the operator can act on.)
    if (c && !db::ensure_alive(c)) {
        host.message(mapping::lost_connection_text());
        return result;
    }
    const db::LosslessScope mode(c, settings.lossless);
    if (c && !mode.ok()) {
        std::string reason;
        db::last_error(c, reason);
        host.message(mapping::no_utf8mb4_text(reason));
        return result;
    }
    if (!db::select_database(c, settings.database)) {
        host.message(G("打开库失败：") + settings.database);
        host.focus(ExportHost::Box::Database);
        return result;
    }
    // The table is checked before the field rows, and the rows are asked for only after
    // both: a streamed result given up unread would still be read to its end.
    auto table_failed = [&] {
        host.message(G("打开表失败：") + settings.table);
        host.focus(ExportHost::Box::Table);
        return result;
    };
    if (!db::execute_sql(c, "select * from " + settings.table + " limit 0")) return table_failed();
    std::string content_field, name_field;
    bool has_content = false, has_name = false;
    for (const auto& row : host.field_rows()) {
        const int source = mapping::source_index(row.source);
        if (source == mapping::kFileContent && !has_content) {
            content_field = row.field;
            has_content = true;
        } else if (source == mapping::kFileBaseName && !has_name) {
            name_field = row.field;
            has_name = true;
        }
    }
    if (!has_content) {
        host.message(
            G("请在【数据字段设置】里先添加一个【数据来源】为【文件内容】的字段名或字段位置\r\n\r\n"
              "另外建议同时设置【数据来源】为【文件主名】的字段名或字段位置作为保存文件名；"
              "如果没有指定【文件主名】，将自动从【文件内容】中随机取一句当文件名\r\n\r\n"
              "（字段位置从 1 开始，从左往右数）"));
        return result;
    }
    // Streamed rows do not tell their number: count them first.
    int64_t streamed_count = 0;
    if (settings.stream_rows && db::execute_sql(c, "select count(*) from " + settings.table)) {
        if (auto counted = db::take_result(c)) counted->read_field(0u, streamed_count);
    }
    if (!db::execute_sql(c, "select * from " + settings.table + ";")) return table_failed();
    // The rows are taken now, before anything else is sent on the connection.
    std::unique_ptr<db::ResultSet> rows =
        settings.stream_rows ? db::take_streamed_result(c) : db::take_result(c);
    result.prepared = true;
    // From here a second press of the button is a stop request.
    host.set_button_caption(G("正在导出.."));
    // A missing folder that cannot be made shows up as failed writes below.
    make_folders(settings.folder);
    const std::string extension = export_extension(settings.types);
    const size_t n = !rows ? 0
                     : settings.stream_rows
                         ? static_cast<size_t>(std::max<int64_t>(0, streamed_count))
                         : static_cast<size_t>(rows->row_count());
    result.row_count = static_cast<long long>(n);
    if (rows) {
        content_field = resolve_column(content_field, *rows);
        if (has_name) name_field = resolve_column(name_field, *rows);
    }
    std::set<std::string> used_names;
    for (size_t i = 1; rows && (settings.stream_rows || i <= n); ++i) {
        host.pump();
        if (host.stop_requested()) {
            result.stopped = true;
            break;
        }
        if (settings.stream_rows ? !rows->fetch_next_row() : !rows->move_to_row(i - 1)) {
            if (rows->failed()) db::last_error(c, result.read_error);
            break;
        }
        std::string article, base;
        rows->read_field(content_field, article);
        if (has_name) rows->read_field(name_field, base);
        if (base.empty() && !article.empty()) {
            base = text::PickTitleSentence(article, {}, 10, {}, false);
            // The drawn piece can be the empty one after the last full stop: a file named
            // only ".txt" would be hidden.
            if (base.empty()) base = G("无标题");
        }
        if (base.empty() && article.empty()) {
            ++result.skipped;
            continue;
        }
        const std::string path = text::join_path(
            settings.folder, text::gbk_to_utf8(file_name_for(base, extension, used_names)));
        errno = 0;
        const bool ok = text::WriteArticleText(path, article, settings.encoding);
        std::string reason;
        if (ok) {
            ++result.exported;
            host.set_button_caption(G("总 ") + count_text(n) + G(" 篇，已导出 ") +
                                    count_text(result.exported) + G(" 篇"));
            host.set_window_caption(base);
        } else {
            ++result.failed;
            reason = text::utf8_to_gbk(errno ? std::strerror(errno) : "write failed");
        }
        host.file_done(path, ok, reason, i, n);
    }
    rows.reset();
    host.set_button_caption(idle_export_caption());
    host.set_window_caption(mapping::program_title());
    host.summary(export_summary_message(result));
    return result;
}

}  // namespace qb::exporting
