#include "manager/result_list.h"

#include <QHeaderView>
#include <algorithm>
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

ResultList::ResultList(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    header()->setStretchLastSection(false);
    setColumnCount(0);  // no columns until a result is shown
}

ResultList::~ResultList() = default;

void ResultList::fill(db::ResultSet* result, bool numbering, const std::function<bool()>& stopped,
                      int shown) {
    clear();
    setColumnCount(0);
    source_ = result;
    if (!result) {
        setHeaderLabels({});
        return;
    }
    const unsigned fields = shown < 0
                                ? result->field_count()
                                : std::min(result->field_count(), static_cast<unsigned>(shown));
    QStringList titles;
    for (unsigned n = 1; n <= fields; ++n) {
        std::string name;
        result->field_name(n - 1, name);
        if (name.empty()) name = G("值");
        if (numbering) name += "(" + text::int_text(n) + ")";
        titles << to_qstring(name);
    }
    setColumnCount(static_cast<int>(fields));
    setHeaderLabels(titles);
    QList<QTreeWidgetItem*> items;
    auto& ui = platform::ui();
    for (uint64_t r = 0; r < result->row_count(); ++r) {
        result->move_to_row(r);
        auto* item = new QTreeWidgetItem;
        item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(r));
        for (unsigned k = 0; k < fields; ++k) {
            std::string v;
            result->read_field(k, v);
            item->setText(static_cast<int>(k), to_qstring(v));
            ui.pump();
        }
        items << item;
        if (stopped && stopped()) break;
    }
    addTopLevelItems(items);
    for (int k = 0; k < columnCount(); ++k) resizeColumnToContents(k);
}

void ResultList::fill_and_hold(std::unique_ptr<db::ResultSet> result, bool numbering,
                               const std::function<bool()>& stopped, int shown) {
    source_ = nullptr;
    held_.reset();
    held_ = std::move(result);
    fill(held_.get(), numbering, stopped, shown);
}

uint64_t ResultList::result_row(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toULongLong() : 0;
}

std::vector<std::string> ResultList::source_cells(int row) const {
    if (!source_ || !topLevelItem(row)) return cells(row);
    source_->move_to_row(result_row(row));
    std::vector<std::string> out;
    for (int k = 0; k < columnCount(); ++k) {
        db::Bytes b;
        source_->read_field(static_cast<unsigned>(k), b);
        out.push_back(std::move(b.data));
    }
    return out;
}

std::vector<std::string> ResultList::titles() const {
    std::vector<std::string> out;
    for (int k = 0; k < columnCount(); ++k) out.push_back(from_qstring(headerItem()->text(k)));
    return out;
}

std::vector<std::string> ResultList::cells(int row) const {
    std::vector<std::string> out;
    const QTreeWidgetItem* item = topLevelItem(row);
    for (int k = 0; item && k < columnCount(); ++k) out.push_back(from_qstring(item->text(k)));
    return out;
}

std::vector<int> ResultList::selected_rows() const {
    std::vector<int> out;
    for (QTreeWidgetItem* item : selectedItems()) out.push_back(indexOfTopLevelItem(item));
    return out;
}

std::vector<int> ResultList::all_rows() const {
    std::vector<int> out;
    for (int r = 0; r < topLevelItemCount(); ++r) out.push_back(r);
    return out;
}

void ResultList::copy_rows(const std::vector<int>& rows) const {
    std::string out;
    for (int r : rows) out += row_text(cells(r)) + "\r\n";
    platform::ui().set_clipboard_text(out);
}

void ResultList::export_rows(QWidget* owner) const {
    auto& ui = platform::ui();
    std::string path = ui.pick_save_file(
        G("导出csv"), G("csv 文件(*.csv)|*.csv|\r\n全部文件(*.*)|*.*"), {}, owner);
    if (path.empty()) return;
    if (text::extension(path).empty()) path += ".csv";
    // UTF-8 with a mark in the lossless mode, GBK otherwise; a row's bytes are as the server
    // sent them, converted only when they came in the other form.
    const bool utf8 = text::lossless_text();
    const bool raw_utf8 = source_ && source_->utf8_wire();
    auto in_file_form = [&](std::string line, bool line_utf8) {
        if (line_utf8 == utf8) return line;
        return utf8 ? text::gbk_to_utf8(line) : text::utf8_to_gbk(line, false);
    };
    std::string content = utf8 ? "\xEF\xBB\xBF" + text::gbk_to_utf8(header_text(titles()) + "\r\n")
                               : header_text(titles()) + "\r\n";
    for (int r : all_rows()) content += in_file_form(row_text(source_cells(r)) + "\r\n", raw_utf8);
    std::ofstream out(platform::native_path(path), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    ui.message(out.fail() ? G("保存失败！") : G("保存成功！"), {}, platform::Icon::None, owner);
}

}  // namespace qb::manager
