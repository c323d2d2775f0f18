#include "manager/user_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "db/statements.h"
#include "manager/list_search.h"
#include "platform/busy.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "platform/widgets.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::manager {

using namespace platform::widgets;
using platform::from_qstring;
using platform::qtr;
using platform::say;
using platform::to_qstring;
using text::G;

UserWindow::UserWindow(MainLink& main, QWidget* owner)
    : QWidget(owner, Qt::Window), main_(main), list_(new QListWidget) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(qtr("用户管理"));
    setWindowTitle(qtr("用户管理（不建议操作）"));
    list_->setObjectName(qtr("列表框"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(make_label("用户列表："), 0, 0);
    grid->addWidget(list_, 1, 0, 8, 1);
    struct Row {
        const char* label;
        const char* edit;
        const char* value;
        const char* help;  // nullptr: no help button
        const char* help_text;
    };
    const Row rows[] = {
        {"主机：", "编辑框主机", "", "超级按钮5", "用户相关联的主机名，如果为空文本则为所有主机"},
        {"用户名：", "编辑框用户", "root2", nullptr, nullptr},
        {"密码：", "编辑框密码", "12345", nullptr, nullptr},
        {"数据库：", "编辑框数据库", "", "超级按钮1",
         "用户所操作的库，如果为空文本或“*”，则为所有库，如果为中文表名请在表名两边加“`”"},
        {"数据表：", "编辑框数据表", "", "超级按钮2",
         "用户所操作的表，当库名不为空文本或“*”时本参数可以为空文本或“*”即所有表，如果为中文表名"
         "请在表名两边加“`”，如：`姓名`"},
        {"权限：", "编辑框权限", "100", "超级按钮3",
         "用户对库或表的操作权限。如果为零则为无权限。具体权限值请参考MySql手册"},
    };
    int r = 1;
    for (const Row& row : rows) {
        grid->addWidget(make_label(row.label), r, 1);
        grid->addWidget(make_edit(row.edit, row.value), r, 2);
        if (row.help) {
            auto* help = make_button(row.help, "?");
            help->setMaximumWidth(28);
            const std::string text = G(row.help_text);
            connect(help, &QPushButton::clicked, this, [this, text] { say(text, this); });
            grid->addWidget(help, r, 3);
        }
        ++r;
    }
    auto* buttons = new QHBoxLayout;
    for (auto [name, caption] : {std::pair{"按钮新增", "新增"}, std::pair{"按钮删除", "删除"},
                                 std::pair{"按钮修改", "修改"}, std::pair{"按钮查找", "查找.."}})
        buttons->addWidget(make_button(name, caption));
    grid->addLayout(buttons, r, 1, 1, 3);
    connect(unit<QPushButton>("按钮新增"), &QPushButton::clicked, this, [this] { add_account(); });
    connect(unit<QPushButton>("按钮删除"), &QPushButton::clicked, this,
            [this] { remove_account(); });
    connect(unit<QPushButton>("按钮修改"), &QPushButton::clicked, this,
            [this] { change_rights(); });
    connect(unit<QPushButton>("按钮查找"), &QPushButton::clicked, this,
            [this] { find_account(false); });
    platform::RightClick::install(unit<QPushButton>("按钮查找"), [this] { find_account(true); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { load_selected(); });
    auto follow_loops = [this] {
        for (const char* name : {"按钮新增", "按钮删除", "按钮修改"})
            unit<QPushButton>(name)->setEnabled(main_.busy().idle());
    };
    connect(&main_.busy(), &platform::Busy::changed, this, follow_loops);
    follow_loops();
    list_accounts();
}

UserWindow::~UserWindow() = default;

void UserWindow::closeEvent(QCloseEvent* event) {
    if (main_.busy().put_off_close(this)) {
        event->ignore();
        return;
    }
    accounts_.reset();
    event->accept();
}

std::string UserWindow::text_of(const char* edit) const {
    return from_qstring(unit<QLineEdit>(edit)->text());
}

void UserWindow::set_text(const char* edit, const std::string& value) {
    unit<QLineEdit>(edit)->setText(to_qstring(value));
}

void UserWindow::list_accounts() {
    const platform::Busy::Scope listing = main_.busy().begin(platform::Loop::Accounts, this);
    if (!listing) return;
    // Entry i is row i of the held result: 删除 and 修改 act on the account a click loads.
    db::Connection* c = main_.connection();
    const QSignalBlocker quiet(list_);
    list_->clear();
    accounts_.reset();
    if (!db::list_users(c)) {
        say(G("获取用户列表失败，请检查当前登录的帐号是否有此权限！"), this);
        return;
    }
    accounts_ = db::take_result(c);
    for (uint64_t i = 0; accounts_ && i < accounts_->row_count(); ++i) {
        accounts_->move_to_row(i);
        std::string user;
        accounts_->read_field(1u, user);
        list_->addItem(to_qstring(user));
        platform::ui().pump();
        if (main_.busy().stop_requested()) break;
    }
}

void UserWindow::list_choosing(const std::string& host_typed, const std::string& user) {
    list_accounts();
    const std::string host = host_typed.empty() ? std::string(1, '%') : host_typed;
    for (uint64_t i = 0; accounts_ && static_cast<int>(i) < list_->count(); ++i) {
        accounts_->move_to_row(i);
        std::string h, u;
        accounts_->read_field(0u, h);
        accounts_->read_field(1u, u);
        if (h == host && u == user) {
            choose(static_cast<int>(i));
            return;
        }
    }
}

void UserWindow::load_selected() {
    const int row = list_->currentRow();
    if (row < 0 || !accounts_ || !accounts_->move_to_row(static_cast<uint64_t>(row))) return;
    std::string host, user, password;
    accounts_->read_field(0u, host);
    accounts_->read_field(1u, user);
    accounts_->read_field(2u, password);
    set_text("编辑框主机", host);
    set_text("编辑框用户", user);
    set_text("编辑框密码", password);
}

void UserWindow::choose(int row) {
    list_->setCurrentRow(row);
    load_selected();
}

bool UserWindow::names_sendable() {
    for (const auto& [what, edit] :
         {std::pair{G("库名"), "编辑框数据库"}, std::pair{G("表名"), "编辑框数据表"}})
        if (const std::string said = db::misread_name_message(what, text_of(edit)); !said.empty()) {
            say(said, this);
            return false;
        }
    return true;
}

void UserWindow::add_account() {
    for (const char* edit :
         {"编辑框主机", "编辑框用户", "编辑框密码", "编辑框数据库", "编辑框数据表"})
        if (const std::string lacking =
                platform::characters_gbk_lacks(unit<QLineEdit>(edit)->text());
            !lacking.empty()) {
            say(G("帐号信息中有 GBK 无法表示的字符：") + lacking + G("，没有新增"), this);
            return;
        }
    if (main_.busy().refuse(this) || !names_sendable()) return;
    const int rights = static_cast<int>(text::to_int(text_of("编辑框权限")));
    if (!db::grant_user(main_.connection(), text_of("编辑框主机"), text_of("编辑框用户"),
                        text_of("编辑框密码"), text_of("编辑框数据库"), text_of("编辑框数据表"),
                        rights)) {
        say(G("创建新用户失败，请确保您有创建用户的权限，或检查用户信息是否正确"), this);
        return;
    }
    list_choosing(text_of("编辑框主机"), text_of("编辑框用户"));
}

void UserWindow::remove_account() {
    if (main_.busy().refuse(this)) return;
    const int row = list_->currentRow();
    if (row < 0) {
        say(G("请先选定一个用户再删除"), this);
        return;
    }
    if (!db::remove_user(main_.connection(), text_of("编辑框用户"), text_of("编辑框主机"))) {
        say(G("删除用户失败，请确保您有删除权限"), this);
        return;
    }
    list_accounts();
    if (list_->count() > 0) choose(row < list_->count() ? row : 0);
}

void UserWindow::change_rights() {
    if (main_.busy().refuse(this) || !names_sendable()) return;
    if (list_->currentRow() < 0) {
        say(G("请先选定一个用户再修改"), this);
        return;
    }
    const int rights = static_cast<int>(text::to_int(text_of("编辑框权限")));
    if (!db::set_user_rights(main_.connection(), text_of("编辑框主机"), text_of("编辑框用户"),
                             text_of("编辑框数据库"), text_of("编辑框数据表"), rights)) {
        say(G("修改用户失败，请确保您有修改用户的权限，或检查用户信息是否正确"), this);
        return;
    }
    list_choosing(text_of("编辑框主机"), text_of("编辑框用户"));
    say(G("修改成功！注意：修改时只能修改‘主机’、‘数据库’、‘数据表’、‘权限’几项"), this);
}

void UserWindow::find_account(bool next) {
    const SearchHit hit = search_list(list_, unit<QPushButton>("按钮查找"),
                                      G("输入要定位的用户名称(右击按钮继续查找)："), next, this);
    if (hit.cancelled) return;
    if (hit.row >= 0)
        choose(hit.row);
    else
        say(G("找不到输入的用户：") + hit.text, this);
}

}  // namespace qb::manager
