#include "manager/sql_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "db/connection.h"
#include "persist/config_store.h"
#include "platform/busy.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/ui.h"
#include "platform/widgets.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/regex.h"

namespace qb::manager {

using namespace platform::widgets;
using platform::from_qstring;
using platform::qtr;
using platform::to_qstring;
using text::G;

namespace {

const char* const kDefaultSql =
    "select version();\t//查看MySQL的版本号\r\nselect current_date();\t//查看MySQL的当前日期\r\n"
    "select version(),current_date();\t//同时查看MySQL的版本号和当前日期\r\nshow databases;\t//"
    "显示当前存在的数据库\r\nUSE mysql;\t//选择使用数据库\r\nselect database();\t//显示当前选择的"
    "数据库\r\nshow tables;\t//显示当前数据库中存在的表\r\nselect * from db;\t//显示表\"db\"的内容"
    "\r\ndescribe db;\t//显示表\"db\"的结构";

struct Template {
    const char* item;
    const char* stored;  // empty: a separator
};

// The submenu 字符集 first, then the top level; "" entries are separators.
const Template kCharsetTemplates[] = {
    {"查看系统字符集", "show variables like ''%char%'';//查看系统字符集"},
    {"查看库字符集", "SHOW CREATE DATABASE `库名`;//查看库字符集"},
    {"查看表字符集", "SHOW CREATE TABLE `表名`;//查看表字符集"},
    {"查看字段字符集", "SHOW FULL COLUMNS FROM `表名`;//查看字段字符集"},
    {"", ""},
    {"转换库为UTF-8",
     "ALTER DATABASE `库名` DEFAULT CHARACTER SET utf8 COLLATE utf8_general_ci;//转换库为UTF8"},
    {"转换表为UTF-8",
     "ALTER TABLE `表名` DEFAULT CHARACTER SET utf8 COLLATE utf8_general_ci;//转换表为UTF8"},
};

const Template kTemplates[] = {
    {"设置当前库", "USE `库名`//设置当前库"},
    {"显示当前库", "select database();//显示当前库"},
    {"字符集", nullptr},
    {"", ""},
    {"创建库", "CREATE DATABASE `库名`;//创建库"},
    {"删除库", "DROP DATABASE `库名`;//删除库"},
    {"", ""},
    {"显示全部库", "show databases;//显示全部库"},
    {"显示当前库全部表", "show tables;//显示当前库全部表"},
    {"显示表记录", "select * from `表名`;//显示表记录"},
    {"显示表字段", "describe `表名`;//显示表字段"},
    {"", ""},
    {"修改表名", "ALTER TABLE `原表名` RENAME TO `新表名`;//修改表名"},
    {"删除表", "DROP TABLE `表名`;//删除表"},
    {"清空表数据", "DELETE FROM `表名`;//清空表数据"},
    {"插入记录", "INSERT INTO `表名` VALUES (''字段1的值'',''字段2的值'',''..'');//表插入记录"},
    {"删除记录", "delete from `表名` where 字段名=字段值;//删除符合字段判断条件的记录"},
    {"更新表数据", "UPDATE `表名` SET 字段名1='a',字段名2='b' WHERE 字段名3='c';//更新表数据"},
    {"", ""},
    {"表导出到文本文件", "select * from `表名` into outfile '文本文件路径';//表导出到文本文件"},
    {"文本文件导入到表",
     "LOAD DATA LOCAL INFILE ''文本文件路径'' INTO TABLE `表名`;//文本文件导入到表"},
    {"导入.SQL文件到当前库", "SOURCE ''d:/mysql.sql'';//导入SQL文件到当前库"},
    {"修改用户密码", nullptr},
    {"", ""},
    {"查看MySQL的版本号", "select version();//查看MySQL的版本号"},
    {"查看MySQL的当前日期", "select current_date();//查看MySQL的当前日期"},
    {"同时查看MySQL的版本号和当前日期",
     "select version(),current_date();//同时查看MySQL的版本号和当前日期"},
    {"", ""},
    {"连接权限修改：改表法",
     "use mysql;\r\nupdate user set host = '%' where user = '用户名';\r\nselect host, user from "
     "user;//让指定用户能在非服务器的电脑上连接 MySql"},
    {"连接权限修改：从任何主机连接",
     "GRANT ALL PRIVILEGES ON *.* TO '用户'@'%' IDENTIFIED BY '密码' WITH GRANT OPTION;//"
     "从任何主机连接"},
    {"连接权限修改：从指定IP连接",
     "GRANT ALL PRIVILEGES ON *.* TO '用户'@'192.168.1.100' IDENTIFIED BY '密码' WITH GRANT "
     "OPTION;//从指定IP连接"},
};

// Program text of the edit box (CR LF) and Qt's (LF).
std::string from_edit(const QPlainTextEdit* e) {
    return text::replace_all(from_qstring(e->toPlainText()), "\n", "\r\n");
}
QString to_edit(const std::string& s) {
    return to_qstring(text::replace_all(s, "\r\n", "\n"));
}

}  // namespace

std::vector<std::string> statement_lines(const std::string& sql) {
    text::RegexObject re;
    re.Create(G("//[^\\r\\n]+| {2,}|^[ 　\\11]+|[ 　\\11]+$"));
    std::string s = re.Replace(sql, " ");
    s = text::replace_all(text::replace_all(s, G("　"), " "), "\t", " ");
    re.Create("\\,\\r\\n");
    s = re.Replace(s, ",");
    return text::split(s, "\r\n");
}

SqlWindow::SqlWindow(MainLink& main, QWidget* owner)
    : QWidget(owner, Qt::Window),
      main_(main),
      edit_(new QPlainTextEdit),
      statements_(new QTreeWidget),
      results_(new ResultList) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(qtr("SQL查询"));
    setWindowTitle(qtr("SQL查询"));
    edit_->setObjectName(qtr("编辑框SQL语句"));
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    statements_->setObjectName(qtr("列表框执行"));
    statements_->setRootIsDecorated(false);
    statements_->setHeaderLabels({qtr("序号"), qtr("SQL 语句"), qtr("执行结果")});
    results_->setObjectName(qtr("列表框结果"));

    auto* top = new QVBoxLayout(this);
    auto* run_group = new QGroupBox(qtr("SQL 语句查询 - 一行一条SQL语句"));
    run_group->setObjectName(qtr("分组框执行"));
    auto* rv = new QVBoxLayout(run_group);
    rv->addWidget(edit_, 1);
    auto* buttons = new QHBoxLayout;
    for (auto [name, caption] : {std::pair{"按钮执行", "执行"}, std::pair{"按钮清空", "清空"},
                                 std::pair{"按钮粘贴", "粘贴"}, std::pair{"按钮语句", "语句"}})
        buttons->addWidget(make_button(name, caption));
    buttons->addStretch();
    rv->addLayout(buttons);
    rv->addWidget(statements_, 1);
    top->addWidget(run_group, 1);
    auto* result_group = new QGroupBox(qtr("   执行成功后，单击语句项，即可在这里显示返回的数据"));
    result_group->setObjectName(qtr("分组框结果"));
    auto* resv = new QVBoxLayout(result_group);
    resv->addWidget(results_, 1);
    auto* refresh = make_button("按钮刷新结果", "刷新结果");
    resv->addWidget(refresh, 0, Qt::AlignLeft);
    top->addWidget(result_group, 1);

    connect(unit<QPushButton>("按钮执行"), &QPushButton::clicked, this, [this] { run(); });
    connect(unit<QPushButton>("按钮清空"), &QPushButton::clicked, this, [this] { edit_->clear(); });
    connect(unit<QPushButton>("按钮粘贴"), &QPushButton::clicked, this,
            [this] { set_sql_text(platform::ui().clipboard_text()); });
    connect(unit<QPushButton>("按钮语句"), &QPushButton::clicked, this,
            [this] { show_template_menu(); });
    connect(refresh, &QPushButton::clicked, this, [this] { show_result(); });
    connect(statements_, &QTreeWidget::itemSelectionChanged, this, [this] { show_result(); });
    platform::RightClick::install(results_->viewport(), [this] { show_result_menu(); });
    platform::Busy& busy = main_.busy();
    auto follow_loops = [this, &busy] {
        // Its own run keeps the button: pressing it is the stop request.
        unit<QPushButton>("按钮执行")
            ->setEnabled(busy.idle() ||
                         (busy.running() == platform::Loop::SqlRun && busy.runs_in(this)));
    };
    connect(&busy, &platform::Busy::changed, this, follow_loops);
    follow_loops();
    // Queued: a waiting result shows after the loop's own function has returned.
    connect(
        &busy, &platform::Busy::changed, this,
        [this, &busy] {
            if (show_waiting_ && busy.idle()) show_result();
        },
        Qt::QueuedConnection);

    persist::ConfigStore& store = main_.settings();
    const persist::ConfigStore::SectionScope in(store, G("SQL查询"));
    set_sql_text(store.read_text(G("语句"), G(kDefaultSql)));
    resize(640, 600);
}

SqlWindow::~SqlWindow() = default;

std::string SqlWindow::sql_text() const {
    return from_edit(edit_);
}

void SqlWindow::set_sql_text(const std::string& text) {
    edit_->setPlainText(to_edit(text));
}

void SqlWindow::closeEvent(QCloseEvent* event) {
    if (main_.busy().put_off_close(this)) {
        event->ignore();
        return;
    }
    results_->show_rows(nullptr, false);  // before the results it shows go
    statements_->clear();
    held_.clear();
    persist::ConfigStore& store = main_.settings();
    const persist::ConfigStore::SectionScope in(store, G("SQL查询"));
    store.write_text(G("语句"), sql_text());
    event->accept();
}

void SqlWindow::run() {
    platform::Busy& busy = main_.busy();
    if (busy.running() == platform::Loop::SqlRun && busy.runs_in(this)) {
        busy.request_stop();
        return;
    }
    // A character GBK lacks would go out as "?" and find other rows than the operator meant.
    if (const std::string lacking = platform::characters_gbk_lacks(edit_->toPlainText());
        !lacking.empty()) {
        platform::ui().message(G("语句中有 GBK 无法表示的字符：") + lacking + G("，没有执行"), {},
                               platform::Icon::None, this);
        return;
    }
    const platform::Busy::Scope running = busy.begin(platform::Loop::SqlRun, this);
    if (!running) return;
    const std::vector<std::string> lines = statement_lines(sql_text());
    results_->show_rows(nullptr, false);
    statements_->clear();
    held_.clear();
    auto& ui = platform::ui();
    db::Connection* c = main_.connection();
    // The run's own current database: a "use" line holds for the lines after it, whatever
    // else selects a database in between. The name the server reports after each statement
    // is followed; nothing is sent between the operator's lines unless the database moved
    // (a statement there would reset FOUND_ROWS(), ROW_COUNT() and the warnings).
    std::string run_database = db::current_database(c);
    int count = 0;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (busy.stop_requested()) break;
        if (!run_database.empty() && db::current_database(c) != run_database)
            db::select_database(c, run_database);
        auto* row = new QTreeWidgetItem(
            QStringList{to_qstring(text::int_text(++count)), to_qstring(line), qtr("正在执行..")});
        statements_->addTopLevelItem(row);
        held_.emplace_back();
        ui.pump();
        // The operator's statement may run long: the window keeps painting, and 执行 again
        // (or closing the window) cancels it.
        if (db::execute_sql_waiting(c, line, [&] {
                ui.pump();
                return !busy.stop_requested();
            })) {
            // The rows go to a file as they come, so any size of result is kept.
            held_.back() = read_rows(c, [&busy] { return busy.stop_requested(); });
            // Rows cut off by a lost link are no success; a stop keeps the rows so far.
            const bool cut_off = held_.back() && held_.back()->failed() && !busy.stop_requested();
            row->setText(2, cut_off ? qtr("执行失败！") : qtr("执行成功！"));
        } else {
            row->setText(2, qtr("执行失败！"));
        }
        run_database = db::current_database(c);
        ui.pump();
    }
    for (int k = 0; k < statements_->columnCount(); ++k) statements_->resizeColumnToContents(k);
}

void SqlWindow::show_result() {
    platform::Busy& busy = main_.busy();
    show_waiting_ = !busy.idle();
    if (show_waiting_) return;
    QTreeWidgetItem* item = statements_->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = statements_->indexOfTopLevelItem(item);
    if (row < 0 || static_cast<size_t>(row) >= held_.size()) return;
    results_->show_rows(held_[static_cast<size_t>(row)].get(), false);
}

std::string SqlWindow::template_insertion(const std::string& stored) {
    return text::replace_all(text::replace_all(stored, "''", "\""), "//", "\t//") + "\r\n";
}

void SqlWindow::insert_template(const std::string& stored) {
    edit_->insertPlainText(to_edit(template_insertion(stored)));
}

void SqlWindow::show_template_menu() {
    using platform::MenuItem;
    const std::string password_template =
        G("UPDATE mysql.user SET password=PASSWORD('新密码') WHERE User='") +
        main_.main_text("编辑框用户名") + G("';//\r\nFLUSH PRIVILEGES;//修改用户密码");
    std::vector<std::string> stored{""};  // by id
    auto items_of = [&](const Template* begin, const Template* end,
                        auto&& self) -> std::vector<MenuItem> {
        std::vector<MenuItem> items;
        for (const Template* t = begin; t != end; ++t) {
            if (!*t->item) {
                items.push_back(MenuItem::separator_line());
            } else if (!t->stored && std::string(t->item) == "字符集") {
                MenuItem sub;
                sub.caption = G(t->item);
                sub.children =
                    self(std::begin(kCharsetTemplates), std::end(kCharsetTemplates), self);
                items.push_back(sub);
            } else {
                stored.push_back(t->stored ? G(t->stored) : password_template);
                items.push_back(MenuItem::command(G(t->item), static_cast<int>(stored.size() - 1)));
            }
        }
        return items;
    };
    const std::vector<MenuItem> items =
        items_of(std::begin(kTemplates), std::end(kTemplates), items_of);
    const int chosen = platform::ui().popup_menu(items, this);
    if (chosen > 0 && static_cast<size_t>(chosen) < stored.size())
        insert_template(stored[static_cast<size_t>(chosen)]);
}

void SqlWindow::show_result_menu() {
    using platform::MenuItem;
    const std::vector<MenuItem> items{
        MenuItem::command(G("复制选定"), 1), MenuItem::command(G("复制全部"), 2),
        MenuItem::separator_line(), MenuItem::command(G("导出 Csv"), 3)};
    switch (platform::ui().popup_menu(items, this)) {
        case 1:
            return results_->copy_rows(results_->selected_rows());
        case 2:
            return results_->copy_rows(results_->all_rows());
        case 3:
            return export_list_rows(*results_, main_.busy(), this);
        default:
            return;
    }
}

}  // namespace qb::manager
