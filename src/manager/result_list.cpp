#include "manager/result_list.h"

#include <QHeaderView>
#include <algorithm>
#include <climits>
#include <fstream>

#include "platform/paths.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/path_text.h"

namespace qb::manager {

using platform::from_qstring;
using platform::to_qstring;
using text::G;

std::string row_text(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t k = 0; k < cells.size(); ++k) {
        if (k) out += '\t';
        const std::string& c = cells[k];
        if (text::find(c, "\t") > 0 || text::find(c, "\r\n") > 0)
            out += "\"" + text::replace_all(c, "\r\n", "\\n") + "\"";
        else
            out += c;
    }
    return out;
}

std::string header_text(const std::vector<std::string>& titles) {
    std::string out;
    for (size_t k = 0; k < titles.size(); ++k) out += (k ? "\t\"" : "\"") + titles[k] + "\"";
    return out;
}

namespace {

// A chunk of rows read between two looks at the window's events: large enough that the
// reading costs little, small enough that the first rows show at once.
constexpr size_t kChunkBytes = 256 * 1024;
// Longer cells are cut for the eye (the copy and the export take them whole).
constexpr int kShownCharacters = 2000;
// A column made as wide as the rows it samples, up to this.
constexpr int kMaxColumnWidth = 600;

}  // namespace

std::unique_ptr<db::RowStore> read_rows(db::Connection* c, const std::function<bool()>& stopped,
                                        const std::function<void(db::RowStore&)>& progress) {
    std::unique_ptr<db::ResultSet> streamed = db::take_streamed_result(c);
    if (!streamed) return nullptr;
    auto rows = std::make_unique<db::RowStore>(*streamed);
    while (!rows->at_end()) {
        if (stopped && stopped()) {
            // Freeing the result would read all the rest: the server stops sending instead.
            db::cancel_statement(c);
            break;
        }
        rows->append(*streamed, kChunkBytes);
        if (progress) progress(*rows);
        platform::ui().pump();
    }
    return rows;
}

// The rows of a row store as a table model: only the rows the view asks for are read.
class RowModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(db::RowStore* store, bool numbering, int shown) {
        beginResetModel();
        store_ = store;
        map_.clear();
        titles_.clear();
        count_ = 0;
        if (store) {
            const unsigned fields =
                shown < 0 ? store->field_count()
                          : std::min(store->field_count(), static_cast<unsigned>(shown));
            for (unsigned n = 1; n <= fields; ++n) {
                std::string name;
                store->field_name(n - 1, name);
                if (name.empty()) name = G("值");
                if (numbering) name += "(" + text::int_text(n) + ")";
                titles_ << to_qstring(name);
            }
            count_ = static_cast<int>(std::min<uint64_t>(store->row_count(), INT_MAX));
        }
        endResetModel();
    }
    // The store grew: its new rows follow the shown ones.
    void grow() {
        if (!store_) return;
        const uint64_t stored = std::min<uint64_t>(store_->row_count(), INT_MAX);
        const uint64_t known = map_.empty() ? static_cast<uint64_t>(count_) : map_.back() + 1;
        if (stored <= known) return;
        const int added = static_cast<int>(stored - known);
        beginInsertRows({}, count_, count_ + added - 1);
        if (!map_.empty())
            for (uint64_t r = known; r < stored; ++r) map_.push_back(r);
        count_ += added;
        endInsertRows();
    }
    void remove(int row) {
        if (row < 0 || row >= count_) return;
        beginRemoveRows({}, row, row);
        if (map_.empty()) {
            map_.resize(static_cast<size_t>(count_));
            for (size_t i = 0; i < map_.size(); ++i) map_[i] = i;
        }
        map_.erase(map_.begin() + row);
        --count_;
        endRemoveRows();
    }
    uint64_t stored_row(int row) const {
        return map_.empty() ? static_cast<uint64_t>(row) : map_[static_cast<size_t>(row)];
    }
    db::RowStore* store() const { return store_; }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const QString& t : titles_) out.push_back(from_qstring(t));
        return out;
    }
    // A row's shown cells as program text, or (Cell = db::Bytes) as the server sent them, for
    // the export: bytes GBK cannot decode kept.
    template <class Cell>
    std::vector<Cell> row_cells(int row) const {
        std::vector<Cell> out;
        if (!store_ || row < 0 || row >= count_ || !store_->move_to_row(stored_row(row)))
            return out;
        out.resize(static_cast<size_t>(titles_.size()));
        for (size_t k = 0; k < out.size(); ++k)
            store_->read_field(static_cast<unsigned>(k), out[k]);
        return out;
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count_; }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(titles_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !store_ || index.row() >= count_) return {};
        if (!store_->move_to_row(stored_row(index.row()))) return {};
        std::string v;
        store_->read_field(static_cast<unsigned>(index.column()), v);
        QString shown = to_qstring(v);
        if (shown.size() > kShownCharacters) shown.truncate(kShownCharacters);
        return shown;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        if (section < 0 || section >= titles_.size()) return {};
        return titles_[section];
    }

  private:
    db::RowStore* store_ = nullptr;
    QStringList titles_;
    int count_ = 0;
    // The stored row of each shown row, once a row has been removed; identity while empty.
    std::vector<uint64_t> map_;
};

ResultList::ResultList(QWidget* parent) : QTableView(parent), model_(new RowModel(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    // One height for every row: the view places any row without measuring the others.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setResizeContentsPrecision(200);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

ResultList::~ResultList() {
    model_->reset(nullptr, false, -1);
}

void ResultList::show_rows(db::RowStore* rows, bool numbering, int shown) {
    model_->reset(rows, numbering, shown);
    if (rows != held_.get()) held_.reset();
    size_columns();
}

void ResultList::show_and_hold(std::unique_ptr<db::RowStore> rows, bool numbering, int shown) {
    if (rows && rows.get() == model_->store()) {
        // The rows shown while they arrived: the operator's place and selection stay; the
        // columns widen for the rows on screen now.
        held_ = std::move(rows);
        rows_added();
        size_columns();
        return;
    }
    model_->reset(nullptr, false, -1);
    held_ = std::move(rows);
    show_rows(held_.get(), numbering, shown);
}

void ResultList::rows_added() {
    const bool had_rows = model_->rowCount({}) > 0;
    model_->grow();
    if (!had_rows) size_columns();
}

void ResultList::size_columns() {
    // The columns take the width of the rows the view samples (the first ones, those on
    // screen) and of the last row, whose numbers are often the longest; of their titles while
    // there are no rows.
    const int last = model_->rowCount({}) - 1;
    for (int k = 0; k < model_->columnCount({}); ++k) {
        resizeColumnToContents(k);
        int width = columnWidth(k);
        if (last >= 0) {
            const QString text = model_->index(last, k).data().toString();
            width = std::max(width, fontMetrics().horizontalAdvance(text.left(200)) + 12);
        }
        setColumnWidth(k, std::min(width, kMaxColumnWidth));
    }
}

db::RowStore* ResultList::source() const {
    return model_->store();
}

int ResultList::row_count() const {
    return model_->rowCount({});
}

uint64_t ResultList::result_row(int row) const {
    return model_->stored_row(row);
}

void ResultList::remove_row(int row) {
    model_->remove(row);
}

std::vector<std::string> ResultList::titles() const {
    return model_->titles();
}

std::vector<std::string> ResultList::cells(int row) const {
    return model_->row_cells<std::string>(row);
}

std::vector<int> ResultList::selected_rows() const {
    std::vector<int> out;
    std::vector<bool> seen(static_cast<size_t>(row_count()));
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            if (r < row_count() && !seen[static_cast<size_t>(r)]) {
                seen[static_cast<size_t>(r)] = true;
                out.push_back(r);
            }
    return out;
}

std::vector<int> ResultList::all_rows() const {
    std::vector<int> out(static_cast<size_t>(row_count()));
    for (size_t r = 0; r < out.size(); ++r) out[r] = static_cast<int>(r);
    return out;
}

void ResultList::copy_rows(const std::vector<int>& rows) const {
    std::string out;
    for (int r : rows) out += row_text(cells(r)) + "\r\n";
    platform::ui().set_clipboard_text(out);
}

void ResultList::export_rows(QWidget* owner, const std::function<bool(size_t, size_t)>& step) {
    auto& ui = platform::ui();
    std::string path = ui.pick_save_file(
        G("导出csv"), G("csv 文件(*.csv)|*.csv|\r\n全部文件(*.*)|*.*"), {}, owner);
    if (path.empty()) return;
    if (text::extension(path).empty()) path += ".csv";
    // UTF-8 with a mark in the lossless mode, GBK otherwise; a row's bytes are as the server
    // sent them, converted only when they came in the other form.
    const bool utf8 = text::lossless_text();
    const bool raw_utf8 = source() && source()->utf8_wire();
    auto in_file_form = [&](std::string line, bool line_utf8) {
        if (line_utf8 == utf8) return line;
        return utf8 ? text::gbk_to_utf8(line) : text::utf8_to_gbk(line, false);
    };
    std::ofstream out(platform::native_path(path), std::ios::binary | std::ios::trunc);
    const std::string header = header_text(titles()) + "\r\n";
    out << (utf8 ? "\xEF\xBB\xBF" + text::gbk_to_utf8(header) : header);
    const size_t total = static_cast<size_t>(row_count());
    bool stopped = false;
    for (size_t r = 0; r < total && out; ++r) {
        std::vector<std::string> cells;
        for (db::Bytes& b : model_->row_cells<db::Bytes>(static_cast<int>(r)))
            cells.push_back(std::move(b.data));
        out << in_file_form(row_text(cells) + "\r\n", raw_utf8);
        if (step && (r + 1) % 256 == 0 && !step(r + 1, total)) {
            stopped = r + 1 < total;
            break;
        }
    }
    out.close();
    ui.message(out.fail() ? G("保存失败！")
               : stopped  ? G("已停止导出，文件中只有前面的记录！")
                          : G("保存成功！"),
               {}, platform::Icon::None, owner);
}

void export_list_rows(ResultList& list, platform::Busy& busy, QWidget* owner) {
    const QString caption = owner->windowTitle();
    const platform::Busy::Scope saving =
        busy.idle() ? busy.begin(platform::Loop::Saving, owner) : platform::Busy::Scope{};
    list.export_rows(owner, [&](size_t done, size_t total) {
        if (!saving) return true;
        owner->setWindowTitle(to_qstring(G("正在导出记录 ") +
                                         text::int_text(static_cast<int64_t>(done)) + " / " +
                                         text::int_text(static_cast<int64_t>(total))));
        platform::ui().pump();
        return !busy.stop_requested();
    });
    owner->setWindowTitle(caption);
}

}  // namespace qb::manager
