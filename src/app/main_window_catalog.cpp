// The 库.. and 表.. name popups and 读表字段 of the main window.
#include <QLineEdit>
#include <QPushButton>

#include "app/main_window.h"
#include "db/catalog.h"
#include "db/connection.h"
#include "import/column_types.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::app {

using platform::qtr;
using text::G;

namespace {

// The button shows "读取中" while a listing arrives (the loop's rule disables it meanwhile).
class ReadingCaption {
  public:
    ReadingCaption(QPushButton* button, const char* idle) : button_(button), idle_(idle) {
        button_->setText(qtr("读取中"));
    }
    ~ReadingCaption() { button_->setText(qtr(idle_)); }

  private:
    QPushButton* button_;
    const char* idle_;
};

}  // namespace

void MainWindow::show_database_popup() {
    if (!connection_) return;
    if (database_names_cache_.empty()) {
        const platform::Busy::Scope listing = busy_.begin(platform::Loop::Listing, this);
        if (!listing) return;
        ReadingCaption reading(unit<QPushButton>("按钮库列表"), "库..");
        std::vector<std::string> names;
        if (!db::fetch_database_names(connection_.get(), names, [] { platform::ui().pump(); })) {
            platform::ui().message(G("获取库名列表失败！请检查连接是否有效（重新连接试试）"), {},
                                   platform::Icon::None, this);
            return;
        }
        database_names_cache_ = names;
    }
    show_name_popup(NameTarget::Database, database_names_cache_);
}

void MainWindow::show_table_popup() {
    const std::string key = text_of("编辑框服务器") + text_of("编辑框库名");
    if (key != table_names_key_) {
        const platform::Busy::Scope listing = busy_.begin(platform::Loop::Listing, this);
        if (!listing) return;
        ReadingCaption reading(unit<QPushButton>("按钮表列表"), "表..");
        std::vector<std::string> names;
        // A database that cannot be selected leaves the previous one current: its tables
        // would be listed under the wrong name.
        if (!db::select_database(connection_.get(), text_of("编辑框库名")) ||
            !db::fetch_table_names(connection_.get(), names, [] { platform::ui().pump(); })) {
            platform::ui().message(
                G("获取表名列表失败！请检查设置的库名是否正确，或连接是否有效（重新连接试试）"), {},
                platform::Icon::None, this);
            return;
        }
        table_names_cache_ = names;
        table_names_key_ = key;
    }
    show_name_popup(NameTarget::Table, table_names_cache_);
}

void MainWindow::show_name_popup(NameTarget target, const std::vector<std::string>& names) {
    using platform::MenuItem;
    std::vector<MenuItem> items{MenuItem::grayed(G("选择一个插入")), MenuItem::separator_line()};
    int id = 0;
    for (const std::string& name : names) {
        ++id;
        if (name.empty()) continue;
        // A name holding backslashes shows its last part.
        const int slash = text::rfind(name, "\\");
        items.push_back(
            MenuItem::command(slash > 0 ? name.substr(static_cast<size_t>(slash)) : name, id));
    }
    const int chosen = platform::ui().popup_menu(items, this);
    const std::string caption = platform::menu_caption(items, chosen);
    if (!caption.empty()) apply_name_command(target, caption);
}

void MainWindow::read_table_columns() {
    auto& ui = platform::ui();
    // It replaces the field list a running import reads and moves the connection to another
    // database.
    if (busy_.refuse(this)) return;
    const std::string database = text_of("编辑框库名");
    const std::string table = text_of("编辑框表名");
    if (database.empty()) {
        ui.message(G("请输入库名！"), {}, platform::Icon::None, this);
        database_edit_->setFocus();
        return;
    }
    if (table.empty()) {
        ui.message(G("请输入表名！"), {}, platform::Icon::None, this);
        table_edit_->setFocus();
        return;
    }
    // A database that cannot be selected leaves the previous one current: a table of the same
    // name there would be described instead.
    if (!db::select_database(connection_.get(), database)) {
        ui.message(G("打开库 ") + database +
                       G(" 失败！请检查设置的库名是否正确，或连接是否有效（重新连接试试）"),
                   {}, platform::Icon::None, this);
        database_edit_->setFocus();
        return;
    }
    std::vector<db::DescribedColumn> columns;
    if (!db::describe_table(connection_.get(), table, columns)) {
        ui.message(G("打开表失败，请检查表是否存在或是否可读！"), {}, platform::Icon::None, this);
        table_edit_->setFocus();
        return;
    }
    std::vector<mapping::FieldMapping> rows;
    for (const db::DescribedColumn& column : columns) {
        // The server fills an auto-increment column itself.
        if (text::find_nocase(column.extra, "auto_increment") > 0) continue;
        rows.push_back({column.name, G("请设置"), import::column_type_label(column.type)});
    }
    set_field_rows(rows);
    if (rows.empty())
        ui.message(G("该数据库中的表[") + table + G("]字段数量为0"), {}, platform::Icon::None,
                   this);
}

}  // namespace qb::app
