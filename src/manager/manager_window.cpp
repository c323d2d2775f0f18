#include "manager/manager_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "db/catalog.h"
#include "db/connection.h"
#include "db/statements.h"
#include "manager/list_search.h"
#include "manager/open_once.h"
#include "manager/sql_window.h"
#include "manager/table_viewer.h"
#include "manager/user_window.h"
#include "persist/config_store.h"
#include "platform/busy.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/text_input_dialog.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "platform/widgets.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/regex.h"

namespace qb::manager {

using namespace platform::widgets;
using platform::from_qstring;
using platform::qtr;
using platform::say;
using platform::to_qstring;
using text::G;

namespace {

QListWidget* make_list(const char* name, QAbstractItemView::SelectionMode mode) {
    auto* l = new QListWidget;
    l->setObjectName(qtr(name));
    l->setSelectionMode(mode);
    return l;
}

void fill_list(QListWidget* list, const std::vector<std::string>& names) {
    list->clear();
    for (const std::string& n : names) list->addItem(to_qstring(n));
}

std::string caption_of(const QListWidgetItem* item) {
    return item ? from_qstring(item->text()) : std::string();
}

}  // namespace

ManagerWindow::ManagerWindow(MainLink& main) : QWidget(nullptr, Qt::Window), main_(main) {
    setObjectName(qtr("管理器"));
    setWindowTitle(qtr("MySQL 管理器"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* top = new QHBoxLayout(this);
    database_group_ = new QGroupBox(qtr("   在 MySQL 上的库"));
    database_group_->setObjectName(qtr("分组框库"));
    auto* dv = new QVBoxLayout(database_group_);
    databases_ = make_list("超级列表框库列表", QAbstractItemView::SingleSelection);
    dv->addWidget(databases_);
    auto* db_buttons = new QGridLayout;
    db_buttons->addWidget(make_button("按钮新建库", "新建库"), 0, 0);
    db_buttons->addWidget(make_button("按钮删除库", "删除库"), 0, 1);
    db_buttons->addWidget(make_button("按钮查找库", "查找库"), 1, 0);
    db_buttons->addWidget(make_button("超级按钮刷新库", "刷新库列表"), 1, 1);
    dv->addLayout(db_buttons);
    top->addWidget(database_group_, 1);

    table_group_ = new QGroupBox(qtr("   当前库的表（双击 表，可赋值到主界面的库名、表名）"));
    table_group_->setObjectName(qtr("分组框表"));
    auto* tv = new QVBoxLayout(table_group_);
    tables_ = make_list("超级列表框表列表", QAbstractItemView::ExtendedSelection);
    tv->addWidget(tables_);
    auto* table_buttons = new QGridLayout;
    table_buttons->addWidget(make_button("按钮删除表", "删除表"), 0, 0);
    table_buttons->addWidget(make_button("按钮修改表名", "修改表名"), 0, 1);
    table_buttons->addWidget(make_button("按钮查找表", "查找表"), 0, 2);
    table_buttons->addWidget(make_button("超级按钮刷新表", "刷新表列表"), 0, 3);
    table_buttons->addWidget(make_button("按钮查看字段", "查看字段"), 1, 0);
    table_buttons->addWidget(make_button("按钮查看记录", "查看记录"), 1, 1);
    table_buttons->addWidget(make_button("按钮SQL", "SQL"), 1, 2);
    table_buttons->addWidget(make_button("按钮用户", "用户"), 1, 3);
    table_buttons->addWidget(make_button("按钮事务", "事务"), 1, 4);
    tv->addLayout(table_buttons);
    top->addWidget(table_group_, 2);

    auto on = [this](const char* name, auto handler) {
        connect(unit<QPushButton>(name), &QPushButton::clicked, this, handler);
    };
    auto on_right = [this](const char* name, std::function<void()> handler) {
        platform::RightClick::install(unit<QPushButton>(name), std::move(handler));
    };
    on("按钮新建库", [this] { create_database(); });
    on("按钮删除库", [this] { drop_database(); });
    on("按钮查找库", [this] { find_database(false); });
    on_right("按钮查找库", [this] { find_database(true); });
    on("超级按钮刷新库", [this] { refresh_database_list(); });
    on("按钮删除表", [this] { drop_tables(false); });
    on_right("按钮删除表", [this] { drop_tables(true); });
    on("按钮修改表名", [this] { rename_table(); });
    on("按钮查找表", [this] { find_table(false); });
    on_right("按钮查找表", [this] { find_table(true); });
    on("超级按钮刷新表", [this] { refresh_table_list(); });
    on("按钮查看字段", [this] { open_viewer(true); });
    on("按钮查看记录", [this] { open_viewer(false); });
    on("按钮SQL", [this] { open_sql_window(); });
    on("按钮用户", [this] { open_user_window(); });
    on("按钮事务", [this] { show_transaction_menu(); });

    connect(databases_, &QListWidget::itemSelectionChanged, this, [this] { refresh_table_list(); });
    connect(tables_, &QListWidget::itemSelectionChanged, this, [this] {
        if (viewer_) viewer_->load();
    });
    connect(tables_, &QListWidget::itemDoubleClicked, this, [this] { hand_over_names(); });
    // The lists and commands move the connection to another database or send statements:
    // not while a loop runs.
    auto follow_loops = [this] {
        database_group_->setEnabled(main_.busy().idle());
        table_group_->setEnabled(main_.busy().idle());
    };
    connect(&main_.busy(), &platform::Busy::changed, this, follow_loops);
    follow_loops();
    // A right-click copies the name of the entry.
    platform::RightClick::install(databases_->viewport(), [this] {
        platform::ui().pump();
        if (databases_->currentItem()) platform::ui().set_clipboard_text(selected_database());
    });
    platform::RightClick::install(tables_->viewport(), [this] {
        platform::ui().pump();
        if (!selected_table().empty()) platform::ui().set_clipboard_text(selected_table());
    });
    resize(640, 480);
}

ManagerWindow::~ManagerWindow() = default;

bool ManagerWindow::on_created() {
    platform::restore_units(this, main_.settings(), G("管理器"));
    if (!main_.ensure_connected()) {
        say(G("主界面尚未连接到MySQL，无法使用管理器功能！"), this);
        return false;
    }
    main_.register_connection_window(this);
    return true;
}

void ManagerWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    refresh_database_list();
}

void ManagerWindow::closeEvent(QCloseEvent* event) {
    if (main_.busy().put_off_close(this)) {
        event->ignore();
        return;
    }
    // The viewer, SQL and user windows it owns close first, keeping what they save. Their
    // closes let events run, in which another of them may go: each is held by a guard.
    std::vector<QPointer<QWidget>> children;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isWindow()) children.emplace_back(child);
    for (const QPointer<QWidget>& child : children)
        if (child) child->close();
    platform::save_units(this, main_.settings(), G("管理器"));
    event->accept();
}

void ManagerWindow::set_database_title() {
    const int n = databases_->count();
    database_group_->setTitle(
        to_qstring(n == 0 ? G("   在 MySQL 上的库")
                          : G("   在 MySQL 上的库( ") + text::int_text(n) + G(" 个)：")));
}

void ManagerWindow::set_table_title() {
    const std::string database = selected_database();
    table_group_->setTitle(to_qstring(database.empty()
                                          ? G("   当前库的表")
                                          : G("   当前库 ") + database + G(" 的表( ") +
                                                text::int_text(tables_->count()) + G(" 个)：")));
}

void ManagerWindow::refresh_database_list() {
    database_group_->setTitle(qtr("   正在请求库列表.."));
    std::vector<std::string> names;
    db::fetch_database_names(main_.connection(), names);
    const QSignalBlocker quiet(databases_);
    fill_list(databases_, names);
    set_database_title();
}

bool ManagerWindow::refused() {
    return main_.busy().refuse(this);
}

bool ManagerWindow::use_listed_database() {
    if (db::use_database(main_.connection(), listed_database_)) return true;
    say(G("无法打开库 ") + listed_database_ + G("，它可能已被删除，请刷新库列表！"), this);
    return false;
}

void ManagerWindow::refresh_table_list() {
    tables_->clear();
    const std::string database = selected_database();
    listed_database_ = database;
    if (database.empty()) return;
    table_group_->setTitle(qtr("   正在请求表列表.."));
    std::vector<std::string> names;
    // A database gone since the list was made would leave the previous one current: list
    // nothing rather than its tables.
    if (db::select_database(main_.connection(), database))
        db::fetch_table_names(main_.connection(), names);
    fill_list(tables_, names);
    set_table_title();
}

std::string ManagerWindow::selected_database() const {
    const QList<QListWidgetItem*> s = databases_->selectedItems();
    return s.isEmpty() ? std::string() : caption_of(s.front());
}

std::vector<int> ManagerWindow::selected_table_rows() const {
    std::vector<int> rows;
    for (QListWidgetItem* item : tables_->selectedItems()) rows.push_back(tables_->row(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string ManagerWindow::selected_table() const {
    const std::vector<int> rows = selected_table_rows();
    return rows.empty() ? std::string() : caption_of(tables_->item(rows.front()));
}

void ManagerWindow::find_database(bool next) {
    const SearchHit hit = search_list(databases_, unit<QPushButton>("按钮查找库"),
                                      G("输入要查找的库名称(右击按钮继续查找)："), next, this);
    if (hit.cancelled) return;
    if (hit.row < 0) {
        say(G("找不到输入的库名：") + hit.text, this);
        return;
    }
    if (databases_->currentRow() == hit.row && databases_->item(hit.row)->isSelected())
        refresh_table_list();  // the one already chosen: its tables listed again
    else
        databases_->setCurrentRow(hit.row);  // lists its tables
    if (!hit.wrapped) {
        databases_->scrollToItem(databases_->item(hit.row));
        databases_->setFocus();
    }
}

void ManagerWindow::select_table_alone(int row) {
    tables_->clearSelection();
    tables_->setCurrentRow(row);
    tables_->scrollToItem(tables_->item(row));
    tables_->setFocus();
}

void ManagerWindow::find_table(bool next) {
    const SearchHit hit = search_list(tables_, unit<QPushButton>("按钮查找表"),
                                      G("输入要查找的表名称(右击按钮继续查找)："), next, this);
    if (hit.cancelled) return;
    if (hit.row >= 0)
        select_table_alone(hit.row);
    else
        say(G("找不到输入的表名：") + hit.text, this);
}

void ManagerWindow::hand_over_names() {
    const std::string table = selected_table();
    if (table.empty()) return;
    main_.hand_over_names(selected_database(), table);
}

void ManagerWindow::create_database() {
    if (refused()) return;
    platform::TextInputRequest request;
    request.caption = G("输入要新建库的名称(不推荐中文库名)：");
    request.prompt = std::string();
    request.parent = this;
    request.height = 50;
    request.initial = "newdb";
    const platform::TextInputResult r = platform::ShowTextInput(request);
    if (!r.accepted) return;
    const std::string& name = r.text;
    if (!r.lacking.empty()) {
        say(G("库名中有 GBK 无法表示的字符：") + r.lacking + G("，没有新建"), this);
        return;
    }
    if (!sendable(G("库名"), name)) return;
    if (!db::create_database(main_.connection(), db::quote_typed_name(name))) {
        say(G("创建库失败，请检查库名是否正确（如是否与已有库名重复）！或检查连接是否可用！或检查是"
              "否"
              "有权限创建！"),
            this);
        return;
    }
    db::execute_sql(main_.connection(), "ALTER DATABASE " + db::quote_typed_name(name) +
                                            " DEFAULT CHARACTER SET utf8 COLLATE "
                                            "utf8_general_ci;");
    databases_->addItem(to_qstring(name));
    databases_->setCurrentRow(databases_->count() - 1);
    set_database_title();
}

void ManagerWindow::drop_database() {
    if (refused()) return;
    const std::string name = selected_database();
    if (name.empty()) {
        say(G("请先选定一个库再执行删除操作！"), this);
        return;
    }
    if (!sendable(G("库名"), name)) return;
    if (!platform::ui().ask_ok_cancel(G("确定要删除当前库 ") + name + G(" 吗？"), {}, this)) return;
    const db::PatientAnswers patient(main_.connection());
    if (!db::drop_database(main_.connection(), db::quote_identifier(name))) {
        say(G("删除库失败，请检查当前连接是否可用！或检查是否有权限删除！"), this);
        return;
    }
    const int row = databases_->currentRow();
    {
        const QSignalBlocker quiet(databases_);
        delete databases_->takeItem(row);
        if (databases_->count() > 0) databases_->setCurrentRow(row < databases_->count() ? row : 0);
    }
    set_database_title();
    refresh_table_list();
    if (selected_database().empty()) set_table_title();
}

void ManagerWindow::drop_tables(bool clear_only) {
    if (refused()) return;
    const std::vector<int> rows = selected_table_rows();
    if (rows.empty()) {
        say(G("请先选定一个表再删除！"), this);
        return;
    }
    const std::string what = clear_only ? G("的全部记录数据") : std::string();
    std::string question =
        rows.size() == 1
            ? G("确定要删除表 ") + caption_of(tables_->item(rows[0])) + " " + what + G("吗？")
            : G("确定要删除选定的 ") + text::int_text(static_cast<int64_t>(rows.size())) +
                  G(" 个表") + what + G("吗？");
    if (!clear_only) question += G("\r\n\r\n（右击‘删除表’按钮可删除表的全部记录）");
    if (!platform::ui().ask_ok_cancel(question, {}, this) || !use_listed_database()) return;
    const db::PatientAnswers patient(main_.connection());
    bool all_cleared = true;
    {
        const QSignalBlocker quiet(tables_);
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            const std::string name = caption_of(tables_->item(*it));
            if (!sendable(G("表名"), name)) continue;
            if (clear_only) {
                if (!db::delete_records(main_.connection(), db::quote_identifier(name), "")) {
                    all_cleared = false;
                    say(G("清空表 ") + name + G(" 的记录失败！请检查权限或网络连接！"), this);
                }
            } else if (db::drop_table(main_.connection(), db::quote_identifier(name))) {
                delete tables_->takeItem(*it);
            } else {
                say(G("删除表 ") + name + G(" 失败！请检查权限或网络连接！"), this);
            }
        }
    }
    if (tables_->count() > 0) select_table_alone(std::min(rows.front(), tables_->count() - 1));
    if (clear_only) {
        if (all_cleared) say(G("已清空表记录！"), this);
    } else {
        set_table_title();
    }
}

bool ManagerWindow::sendable(const std::string& what, const std::string& name) {
    const std::string said = db::misread_name_message(what, name);
    if (!said.empty()) say(said, this);
    return said.empty();
}

bool ManagerWindow::table_name_passes(const std::string& name) {
    text::RegexObject re;
    if (!name.empty() && text::char_size_at(name, 0) == 1) {
        re.Create("^[a-zA-Z\\.]");
        if (re.Execute(name) == 0) {
            say(G("表名首字符不能为【半角英文标点、空格和数字】！"), this);
            return false;
        }
    }
    re.Create("[^0-9a-zA-Z\\u4e00-\\u9fa5]");
    if (re.Execute(name) > 0) {
        say(G("表名不允许包含【半角英文标点、空格】"), this);
        return false;
    }
    for (int r = 0; r < tables_->count(); ++r)
        if (caption_of(tables_->item(r)) == name) return false;
    return true;
}

void ManagerWindow::rename_table() {
    if (refused()) return;
    const std::vector<int> rows = selected_table_rows();
    if (rows.empty()) {
        say(G("请先选定一个表再修改！"), this);
        return;
    }
    QListWidgetItem* item = tables_->item(rows.front());
    const std::string old_name = caption_of(item);
    platform::TextInputRequest request;
    request.caption = G("修改表 ") + old_name + G(" 名称为：");
    request.prompt = std::string();
    request.parent = this;
    request.height = 50;
    request.initial = old_name;
    const platform::TextInputResult r = platform::ShowTextInput(request);
    if (!r.accepted || !table_name_passes(r.text) || !sendable(G("表名"), old_name) ||
        !sendable(G("表名"), r.text) || !use_listed_database())
        return;
    const db::PatientAnswers patient(main_.connection());
    if (!db::execute_sql(main_.connection(), "ALTER TABLE " + db::quote_identifier(old_name) +
                                                 " RENAME TO " + db::quote_identifier(r.text) +
                                                 ";")) {
        say(G("修改表失败！"), this);
        return;
    }
    item->setText(to_qstring(r.text));
    tables_->setFocus();
}

void ManagerWindow::show_transaction_menu() {
    if (refused()) return;
    using platform::MenuItem;
    const std::vector<MenuItem> items{MenuItem::command(G("开始事务"), 1),
                                      MenuItem::command(G("提交事务"), 2),
                                      MenuItem::command(G("回滚事务"), 3)};
    const int chosen = platform::ui().popup_menu(items, this);
    if (chosen == 0) return;
    db::Connection* c = main_.connection();
    const bool ok = chosen == 1   ? db::begin_transaction(c)
                    : chosen == 2 ? db::commit_transaction(c)
                                  : db::rollback_transaction(c);
    say(ok ? G("真") : G("假"), this);
}

void ManagerWindow::open_viewer(bool fields_mode) {
    if (refused()) return;
    if (selected_table().empty()) {
        say(G("请先选定一个表再查看表") + (fields_mode ? G("字段") : G("记录")) + G("！"), this);
        return;
    }
    if (!viewer_) viewer_ = new TableViewer(*this);
    viewer_->set_fields_mode(fields_mode);
    viewer_->show();
    viewer_->raise();
    viewer_->load();
}

void ManagerWindow::open_sql_window() {
    auto* w = new SqlWindow(main_, this);
    w->show();
}

void ManagerWindow::open_user_window() {
    // The window lists the accounts as it is made, which lets events run: the manager may
    // have been closed (the program ending) by the time it is ready, and then it stays hidden.
    QPointer<UserWindow> w = new UserWindow(main_, this);
    if (w && isVisible()) w->show();
}

ManagerWindow* open_manager(MainLink& main, QPointer<ManagerWindow>& current) {
    return open_once(current, [&main] { return new ManagerWindow(main); });
}

}  // namespace qb::manager
