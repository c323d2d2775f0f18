// A list view showing a result set, and the copy and tab-separated export of its rows, shared
// by the table viewer and the SQL query window.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"

namespace qb::manager {

// One row as text: the cells joined by tabs; a cell holding a tab or CR LF is quoted, its
// CR LF written as \n.
std::string row_text(const std::vector<std::string>& cells);
// Every title in double quotes, joined by tabs.
std::string header_text(const std::vector<std::string>& titles);

class ResultList : public QTreeWidget {
    Q_OBJECT
  public:
    explicit ResultList(QWidget* parent = nullptr);
    ~ResultList() override;

    // Shows the result: one column per field (titled by its name, "值" when empty, "(n)"
    // appended when numbering), one row per result row. Events run after each cell, so the
    // caller holds the loop rule's scope (platform/busy.h) and keeps the result alive; stopped
    // is asked after each row and ends the fill with the rows so far. fill_and_hold: this list
    // keeps the result (releasing the one it held). shown: how many of the first fields are
    // shown (the rest serve the program, not the eye); all when negative. The result stays
    // the list's source until the next fill, so it must outlive it or be replaced first.
    void fill(db::ResultSet* result, bool numbering, const std::function<bool()>& stopped = {},
              int shown = -1);
    void fill_and_hold(std::unique_ptr<db::ResultSet> result, bool numbering,
                       const std::function<bool()>& stopped = {}, int shown = -1);
    // The result row a list row shows (rows deleted from the list leave the others theirs).
    uint64_t result_row(int row) const;
    db::ResultSet* held() const { return held_.get(); }
    void hold(std::unique_ptr<db::ResultSet> result) { held_ = std::move(result); }
    void release() { held_.reset(); }

    std::vector<std::string> titles() const;
    std::vector<std::string> cells(int row) const;
    // Selected rows in selection order, or every row.
    std::vector<int> selected_rows() const;
    std::vector<int> all_rows() const;

    // 复制选定 / 复制全部: the rows' text, each followed by CR LF, to the clipboard.
    void copy_rows(const std::vector<int>& rows) const;
    // 导出csv: header and every row to a file chosen with the save dialog, with its message.
    void export_rows(QWidget* owner) const;

  private:
    // A row's cells as the server sent them (bytes GBK cannot decode kept), for the export.
    std::vector<std::string> source_cells(int row) const;

    std::unique_ptr<db::ResultSet> held_;
    db::ResultSet* source_ = nullptr;
};

}  // namespace qb::manager
