#include "platform/unit_state.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>

#include <algorithm>

#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::platform {

namespace {

using text::G;

enum class Kind { None, Button, Edit, Check, Radio, Combo, List, CheckList, Colour };

struct Prefix {
    std::string text;
    Kind kind;
};

// Checked in this order: the first matching leading word decides.
const std::vector<Prefix>& prefixes() {
    static const std::vector<Prefix> p = {
        {G("按钮"), Kind::Button},          {G("编辑框"), Kind::Edit},
        {G("选择框"), Kind::Check},         {G("单选框"), Kind::Radio},
        {G("组合框"), Kind::Combo},         {G("列表框"), Kind::List},
        {G("选择列表框"), Kind::CheckList}, {G("颜色选择器"), Kind::Colour}};
    return p;
}

Kind kind_of(const std::string& name) {
    for (const auto& p : prefixes())
        if (name.compare(0, p.text.size(), p.text) == 0) return p.kind;
    return Kind::None;
}

const std::string& no_save_tag() {
    static const std::string t = G("禁止保存");
    return t;
}
const std::string& bytes_tag() {
    static const std::string t = G("字节集方式");
    return t;
}

std::string edit_text(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return from_qstring(e->text());
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return from_qstring(e->toPlainText());
    if (auto* e = qobject_cast<QTextEdit*>(w)) return from_qstring(e->toPlainText());
    return {};
}

void set_edit_text(QWidget* w, const std::string& value) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(to_qstring(value));
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) e->setPlainText(to_qstring(value));
    if (auto* e = qobject_cast<QTextEdit*>(w)) e->setPlainText(to_qstring(value));
}

// List items as bytes: the items' program text joined by CR LF.
std::string list_items(QListWidget* list) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) items.push_back(from_qstring(list->item(i)->text()));
    return text::join(items, "\r\n");
}

void set_list_items(QListWidget* list, const std::string& bytes, bool checkable) {
    list->clear();
    for (const std::string& item : text::split(bytes, "\r\n")) {
        auto* it = new QListWidgetItem(to_qstring(item), list);
        if (checkable) {
            it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
            it->setCheckState(Qt::Unchecked);
        }
    }
}

std::string index_list(const std::vector<int>& indexes) {
    std::vector<std::string> parts;
    for (int i : indexes) parts.push_back(text::int_text(i));
    return text::join(parts, ",");
}

std::vector<int> parse_index_list(const std::string& s) {
    std::vector<int> out;
    for (const std::string& p : text::split(s, ","))
        out.push_back(static_cast<int>(text::to_int(p)));
    return out;
}

// The window's units in creation order (depth first), excluded names left out.
std::vector<std::pair<QWidget*, Kind>> units_of(QWidget* window,
                                                const std::vector<std::string>& exclusions) {
    std::vector<std::pair<QWidget*, Kind>> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // A window it owns (the create-table window of the main window) saves itself: its
        // units share names with this window's.
        if (w->window() != window->window()) continue;
        std::string name = unit_name(w);
        Kind k = kind_of(name);
        if (k == Kind::None) continue;
        if (std::find(exclusions.begin(), exclusions.end(), name) != exclusions.end()) continue;
        out.emplace_back(w, k);
    }
    return out;
}

}  // namespace

std::string unit_tag(const QWidget* w) {
    return from_qstring(w->property("tag").toString());
}
std::string unit_name(const QWidget* w) {
    return from_qstring(w->objectName());
}
void set_unit_tag(QWidget* w, const std::string& tag) {
    w->setProperty("tag", to_qstring(tag));
}

void save_units(QWidget* window, persist::ConfigStore& store, const std::string& section,
                const std::vector<std::string>& exclusions) {
    const persist::ConfigStore::SectionScope in(store, section.empty() ? store.section() : section);
    persist::ConfigStore::Batch once(store);
    const std::string selected_suffix = G(".选中");
    for (auto [w, kind] : units_of(window, exclusions)) {
        ui().pump();
        const std::string name = unit_name(w);
        const std::string tag = unit_tag(w);
        if (tag == no_save_tag()) continue;
        const bool as_bytes = tag == bytes_tag();
        switch (kind) {
            case Kind::Button:
                if (as_bytes)
                    store.write_bytes(name + G(".标记"), tag);
                else
                    store.write_text(name + G(".标记"), tag);
                break;
            case Kind::Edit:
                if (as_bytes)
                    store.write_bytes(name, edit_text(w));
                else
                    store.write_text(name, edit_text(w));
                break;
            case Kind::Check:
            case Kind::Radio:
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    store.write_bool(name, b->isChecked());
                break;
            case Kind::Combo:
                if (auto* c = qobject_cast<QComboBox*>(w))
                    store.write_number(name, c->currentIndex());
                break;
            case Kind::List:
                if (auto* l = qobject_cast<QListWidget*>(w)) {
                    store.write_bytes(name, list_items(l));
                    std::vector<int> selected;
                    for (int i = 0; i < l->count(); ++i)
                        if (l->item(i)->isSelected()) selected.push_back(i);
                    store.write_text(name + selected_suffix, index_list(selected));
                }
                break;
            case Kind::CheckList:
                if (auto* l = qobject_cast<QListWidget*>(w)) {
                    store.write_bytes(name, list_items(l));
                    store.write_number(name + selected_suffix, l->currentRow());
                    std::vector<int> checked;
                    for (int i = 0; i < l->count(); ++i)
                        if (l->item(i)->checkState() == Qt::Checked) checked.push_back(i);
                    store.write_text(name + G(".打勾"), index_list(checked));
                }
                break;
            case Kind::Colour:
                store.write_number(name, w->property("colour").toDouble());
                break;
            case Kind::None:
                break;
        }
    }
}

void restore_units(QWidget* window, persist::ConfigStore& store, const std::string& section,
                   const std::vector<std::string>& exclusions) {
    const persist::ConfigStore::SectionScope in(store, section.empty() ? store.section() : section);
    const std::string selected_suffix = G(".选中");
    for (auto [w, kind] : units_of(window, exclusions)) {
        ui().pump();
        const std::string name = unit_name(w);
        const std::string tag = unit_tag(w);
        if (tag == no_save_tag()) continue;
        const bool as_bytes = tag == bytes_tag();
        switch (kind) {
            case Kind::Button: {
                const std::string key = name + G(".标记");
                set_unit_tag(w, as_bytes ? store.read_bytes(key, tag) : store.read_text(key, tag));
                break;
            }
            case Kind::Edit: {
                const std::string current = edit_text(w);
                const std::string value =
                    as_bytes ? store.read_bytes(name, current) : store.read_text(name, current);
                if (value != current) set_edit_text(w, value);
                break;
            }
            case Kind::Check:
            case Kind::Radio:
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    b->setChecked(store.read_bool(name, b->isChecked()));
                break;
            case Kind::Combo:
                if (auto* c = qobject_cast<QComboBox*>(w)) {
                    double v = store.read_number(name, c->currentIndex());
                    if (v >= 0 && v < c->count()) c->setCurrentIndex(static_cast<int>(v));
                }
                break;
            case Kind::List:
            case Kind::CheckList:
                if (auto* l = qobject_cast<QListWidget*>(w)) {
                    const bool checkable = kind == Kind::CheckList;
                    const std::string items = store.read_bytes(name, list_items(l));
                    if (items != list_items(l)) set_list_items(l, items, checkable);
                    auto valid = [&](int i) { return i >= 0 && i < l->count(); };
                    if (!checkable) {
                        std::string sel = store.read_text(name + selected_suffix, "\x01");
                        if (sel == "\x01") break;
                        l->clearSelection();
                        for (int i : parse_index_list(sel))
                            if (valid(i)) l->item(i)->setSelected(true);
                    } else {
                        double cur = store.read_number(name + selected_suffix, l->currentRow());
                        if (valid(static_cast<int>(cur))) l->setCurrentRow(static_cast<int>(cur));
                        std::string checked = store.read_text(name + G(".打勾"), "\x01");
                        if (checked == "\x01") break;
                        for (int i = 0; i < l->count(); ++i)
                            l->item(i)->setCheckState(Qt::Unchecked);
                        for (int i : parse_index_list(checked))
                            if (valid(i)) l->item(i)->setCheckState(Qt::Checked);
                    }
                }
                break;
            case Kind::Colour:
                w->setProperty("colour", store.read_number(name, w->property("colour").toDouble()));
                break;
            case Kind::None:
                break;
        }
    }
}

}  // namespace qb::platform
