// What an import or export run needs from whoever runs it: the window, the command line and
// the tests each implement this.
#pragma once

#include <string>
#include <vector>

#include "mapping/field_mapping.h"
#include "text/iconv_text.h"
#include "version.h"

namespace qb::mapping {

// The program's title line, the window caption between runs.
inline std::string program_title() {
    return text::G("Tarvo·Quillbase v") + QB_VERSION;
}

// A run whose connection the server had closed and that could not log in again.
inline std::string lost_connection_text() {
    return text::G("与 MySQL 服务器的连接已断开，重新连接也没有成功，请检查服务器后重新建立连接！");
}

// A lossless run on a server that does not take utf8mb4; reason is the server's.
inline std::string no_utf8mb4_text(const std::string& reason) {
    return text::G("服务器不接受 utf8mb4 字符集，无法保留全部字符：") + reason;
}

class RunHost {
  public:
    enum class Box { Database, Table, Folder };
    virtual ~RunHost() = default;
    virtual void message(const std::string& text) = 0;
    // The closing summary of a run that got under way.
    virtual void summary(const std::string& text) { message(text); }
    // News of the run that must not hold it up (a switch to another server): the window does
    // not stop for a box; the summary says it again.
    virtual void notice(const std::string& text) { message(text); }
    virtual void focus(Box) {}
    virtual void pump() {}
    virtual bool stop_requested() = 0;
    virtual bool ctrl_held() { return false; }
    // The field list as it stands now (an import re-reads names and sources for every file).
    virtual std::vector<FieldMapping> field_rows() = 0;
    // A position resolved to the column's name: row as field_rows gave it, at position.
    virtual void set_field_name(const FieldMapping& row, size_t position, const std::string& name) {
        (void)row, (void)position, (void)name;
    }
    virtual void set_button_caption(const std::string&) {}
    virtual void set_window_caption(const std::string&) {}
    // After each file; path in the file system's form, reason the failure's text when failed.
    virtual void file_done(const std::string& path, bool ok, const std::string& reason, size_t done,
                           size_t total) {
        (void)path, (void)ok, (void)reason, (void)done, (void)total;
    }
};

}  // namespace qb::mapping
