// A list view showing a result's rows, and the copy and tab-separated export of its rows,
// shared by the table viewer and the SQL query window. The rows live in a row store (a
// temporary file), so a table larger than memory is shown, copied and exported.
#pragma once

#include <QTableView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/row_store.h"
#include "platform/busy.h"

namespace qb::manager {

// One row as text: the cells joined by tabs; a cell holding a tab or CR LF is quoted, its
// CR LF written as \n.
std::string row_text(const std::vector<std::string>& cells);
// Every title in double quotes, joined by tabs.
std::string header_text(const std::vector<std::string>& titles);

class RowModel;

// A result's rows, read from the connection into a row store: the rows stream in while
// stopped() is false (then the statement is cancelled and the rows so far kept), and after
// each chunk progress(store) runs and the window's events (the pump). The connection takes
// no other statement meanwhile, so the caller holds the loop rule's scope (platform/busy.h).
// Null when the last statement produced no result.
std::unique_ptr<db::RowStore> read_rows(db::Connection* c, const std::function<bool()>& stopped,
                                        const std::function<void(db::RowStore&)>& progress = {});

class ResultList : public QTableView {
    Q_OBJECT
  public:
    explicit ResultList(QWidget* parent = nullptr);
    ~ResultList() override;

    // Shows the rows: one column per field (titled by its name, "值" when empty, "(n)"
    // appended when numbering), one row per stored row; only the rows on screen are read
    // from the store. shown: how many of the first fields are shown (the rest serve the
    // program, not the eye); all when negative. The store must outlive its showing (show
    // another, or null, first), unless the list holds it (show_and_hold). A store that grows
    // while shown: rows_added() after each growth.
    void show_rows(db::RowStore* rows, bool numbering, int shown = -1);
    void show_and_hold(std::unique_ptr<db::RowStore> rows, bool numbering, int shown = -1);
    void rows_added();
    db::RowStore* held() const { return held_.get(); }
    db::RowStore* source() const;

    int row_count() const;
    // The stored row a list row shows (rows deleted from the list leave the others theirs).
    uint64_t result_row(int row) const;
    void remove_row(int row);

    std::vector<std::string> titles() const;
    std::vector<std::string> cells(int row) const;
    // Selected rows in selection order, or every row.
    std::vector<int> selected_rows() const;
    std::vector<int> all_rows() const;

    // 复制选定 / 复制全部: the rows' text, each followed by CR LF, to the clipboard.
    void copy_rows(const std::vector<int>& rows) const;
    // 导出csv: header and every row to a file chosen with the save dialog, with its message;
    // written row by row: step(rows written, rows) runs every 256 rows, and its
    // false ends the export there.
    void export_rows(QWidget* owner, const std::function<bool(size_t, size_t)>& step = {});

  private:
    void size_columns();
    RowModel* model_;
    std::unique_ptr<db::RowStore> held_;
};

// 导出csv from a window's menu: a loop of its own when none runs (the rows written so far in
// owner's caption; closing owner stops it), else at once.
void export_list_rows(ResultList& list, platform::Busy& busy, QWidget* owner);

}  // namespace qb::manager
