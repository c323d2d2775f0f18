// Editing, saving and restoring the main window's field list.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

#include "app/main_window.h"
#include "mapping/field_list_settings.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::app {

using platform::from_qstring;
using platform::to_qstring;
using text::G;

QTreeWidgetItem* MainWindow::field_item(int row) const {
    return row >= 0 && row < field_list_->topLevelItemCount() ? field_list_->topLevelItem(row)
                                                              : nullptr;
}

namespace {
constexpr int kFieldIdRole = Qt::UserRole;
uint64_t field_id(const QTreeWidgetItem* it) {
    return it->data(0, kFieldIdRole).toULongLong();
}
}  // namespace

std::vector<mapping::FieldMapping> MainWindow::field_rows() const {
    std::vector<mapping::FieldMapping> rows;
    for (int i = 0; i < field_list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = field_list_->topLevelItem(i);
        rows.push_back({from_qstring(it->text(0)), from_qstring(it->text(1)),
                        from_qstring(it->text(2)), field_id(it)});
    }
    return rows;
}

QTreeWidgetItem* MainWindow::new_field_item(const mapping::FieldMapping& row) {
    auto* it = new QTreeWidgetItem(
        QStringList{to_qstring(row.field), to_qstring(row.source), to_qstring(row.options)});
    it->setData(0, kFieldIdRole, QVariant::fromValue<qulonglong>(++last_field_id_));
    return it;
}

QTreeWidgetItem* MainWindow::field_item_by_id(uint64_t id) const {
    for (int i = 0; i < field_list_->topLevelItemCount(); ++i)
        if (field_id(field_list_->topLevelItem(i)) == id) return field_list_->topLevelItem(i);
    return nullptr;
}

void MainWindow::set_field_rows(const std::vector<mapping::FieldMapping>& rows) {
    field_list_->clear();
    QList<QTreeWidgetItem*> items;
    for (const auto& r : rows) items << new_field_item(r);
    field_list_->addTopLevelItems(items);
}

int MainWindow::current_field_row() const {
    QTreeWidgetItem* it = field_list_->currentItem();
    return it ? field_list_->indexOfTopLevelItem(it) : -1;
}

void MainWindow::set_current_field_row(int row) {
    QTreeWidgetItem* it = field_item(row);
    field_list_->setCurrentItem(it);
    if (it) field_list_->scrollToItem(it);
}

void MainWindow::select_source() {
    pages_->setCurrentIndex(source_combo_->currentIndex());
}

std::string MainWindow::build_options_text(int source) const {
    if (source < 0 || source >= mapping::kSourceCount) return {};
    std::vector<std::string> values;
    for (QWidget* w : option_units_[source]) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            values.push_back(from_qstring(e->text()));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            values.push_back(mapping::bool_text(b->isChecked()));
        else if (auto* c = qobject_cast<QComboBox*>(w))
            values.push_back(text::int_text(c->currentIndex()));
    }
    return mapping::build_options_text(source, values);
}

void MainWindow::load_field_row(int row) {
    QTreeWidgetItem* it = field_item(row);
    if (!it) return;
    field_edit_->setText(it->text(0));
    const std::vector<std::string> parts = mapping::split_options(from_qstring(it->text(2)));
    int source = mapping::source_index(from_qstring(it->text(1)));
    if (source < 0) source = mapping::kFileBaseName;
    source_combo_->setCurrentIndex(source);
    pages_->setCurrentIndex(source);

    const auto& units = option_units_[source];
    for (size_t i = 0; i < units.size(); ++i) {
        const std::string& value = mapping::option_at(parts, i);
        QWidget* w = units[i];
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(to_qstring(value));
        } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
            // Set each radio button exactly as stored; exclusivity would otherwise refuse to
            // uncheck the one that is checked now.
            r->setAutoExclusive(false);
            r->setChecked(mapping::is_true_text(value));
            r->setAutoExclusive(true);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setChecked(mapping::is_true_text(value));
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            int64_t index = text::to_int(value);
            c->setCurrentIndex(index >= 0 && index < c->count() ? static_cast<int>(index) : -1);
        }
    }
}

void MainWindow::add_or_modify_field(bool modify) {
    auto& ui = platform::ui();
    const std::string field = text::trim_spaces(from_qstring(field_edit_->text()));
    if (field.empty()) {
        ui.message(G("请输入字段名或字段索引！"), {}, platform::Icon::None, this);
        field_edit_->setFocus();
        return;
    }
    int target = -1;
    if (!modify) {
        const auto rows = field_rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].field == field) {
                ui.message(G("字段名不能重复：") + field, {}, platform::Icon::None, this);
                set_current_field_row(static_cast<int>(i));
                field_list_->setFocus();
                return;
            }
        }
        field_list_->addTopLevelItem(new_field_item({}));
        target = field_list_->topLevelItemCount() - 1;
    } else {
        target = current_field_row();
        if (target < 0) {
            ui.message(G("请选中一个字段再修改！"), {}, platform::Icon::None, this);
            return;
        }
    }
    const int source = source_combo_->currentIndex();
    QTreeWidgetItem* it = field_item(target);
    it->setText(0, to_qstring(field));
    it->setText(1, source_combo_->currentText());
    it->setText(2, to_qstring(build_options_text(source)));
    // The editors already hold what was written; reloading them from the row would cut a
    // fixed text at its first option separator.
    loading_row_allowed_ = false;
    set_current_field_row(target);
    loading_row_allowed_ = true;
}

void MainWindow::delete_field() {
    int row = current_field_row();
    if (row < 0) {
        platform::ui().message(G("请选中一个字段再删除！右击按钮将全部清空！"), {},
                               platform::Icon::None, this);
        return;
    }
    delete field_list_->takeTopLevelItem(row);
    int count = field_list_->topLevelItemCount();
    set_current_field_row(count == 0 ? -1 : std::min(row, count - 1));
    field_list_->setFocus();
}

void MainWindow::clear_fields() {
    if (platform::ui().ask_ok_cancel(G("确定要删除所有字段吗？"), {}, this)) field_list_->clear();
}

void MainWindow::save_field_list(persist::ConfigStore& store) {
    persist::ConfigStore::Batch once(store);
    const persist::ConfigStore::SectionScope in(store, G("主界面"));
    platform::save_units(this, store, G("主界面"));
    mapping::write_field_rows(store, field_rows());
}

void MainWindow::restore_field_list(persist::ConfigStore& store) {
    const persist::ConfigStore::SectionScope in(store, G("主界面"));
    platform::restore_units(this, store, G("主界面"));
    set_field_rows(mapping::read_field_rows(store));
}

}  // namespace qb::app
