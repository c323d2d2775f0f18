#include "manager/table_viewer.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include "db/connection.h"
#include "db/statements.h"
#include "manager/manager_window.h"
#include "manager/row_identity.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/ui.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::manager {

using platform::qtr;
using platform::to_qstring;
using text::G;

TableViewer::TableViewer(ManagerWindow& manager)
    : QWidget(&manager, Qt::Window),
      manager_(manager),
      busy_(manager.main().busy()),
      list_(new ResultList) {
    setAttribute(Qt::WA_DeleteOnClose);
    list_->setObjectName(qtr("列表框结果"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    platform::RightClick::install(list_->viewport(), [this] { show_menu(); });
    // A table chosen while a loop ran is shown once it has ended.
    connect(
        &busy_, &platform::Busy::changed, this,
        [this] {
            if (load_waiting_ && busy_.idle()) load();
        },
        Qt::QueuedConnection);
    resize(600, 400);
}

void TableViewer::closeEvent(QCloseEvent* event) {
    if (busy_.put_off_close(this)) {
        event->ignore();
        return;
    }
    event->accept();
}

void TableViewer::load() {
    // No table chosen (another database clicked, the list refreshed): what is shown stays.
    if (manager_.selected_table().empty()) {
        load_waiting_ = false;
        return;
    }
    load_waiting_ = !busy_.idle();
    if (load_waiting_) return;
    const platform::Busy::Scope reading = busy_.begin(platform::Loop::Reading, this);
    table_ = manager_.selected_table();
    database_ = manager_.listed_database();
    const std::string kind = fields_mode_ ? G("字段列表") : G("记录列表");
    setWindowTitle(to_qstring(G("正在读表 ") + table_ + G(" 的") + kind));
    db::Connection* c = manager_.main().connection();
    bool read = db::use_database(c, database_);
    identifying_.clear();
    if (read && !fields_mode_) {
        read = db::execute_sql(c, "show columns from " + db::quote_identifier(table_));
        if (auto columns = read ? db::take_result(c) : nullptr)
            identifying_ = identifying_columns(*columns);
    }
    read =
        read && db::execute_sql(c, fields_mode_ ? "describe " + db::quote_identifier(table_) + ";"
                                                : records_sql(table_, identifying_));
    // The rows show as they arrive; the count so far is in the caption.
    const std::string reading_caption = G("正在读表 ") + table_ + G(" 的") + kind + G("，已读 ");
    list_->show_rows(nullptr, false);
    bool first = true;
    std::unique_ptr<db::RowStore> rows =
        !read
            ? nullptr
            : read_rows(
                  c, [this] { return busy_.stop_requested(); },
                  [&](db::RowStore& store) {
                      if (first) {
                          first = false;
                          shown_ = store.field_count() - static_cast<unsigned>(identifying_.size());
                          list_->show_rows(&store, !fields_mode_, static_cast<int>(shown_));
                      }
                      list_->rows_added();
                      setWindowTitle(to_qstring(
                          reading_caption +
                          text::int_text(static_cast<int64_t>(store.row_count())) + G(" 条")));
                  });
    shown_ = rows ? rows->field_count() - static_cast<unsigned>(identifying_.size()) : 0;
    const bool cut_off = rows && rows->failed() && !busy_.stop_requested();
    list_->show_and_hold(std::move(rows), !fields_mode_, static_cast<int>(shown_));
    if (cut_off)
        platform::ui().message(G("读取表 ") + table_ +
                                   G(" 时出错（连接中断或服务器停止发送），只显示了前 ") +
                                   text::int_text(list_->row_count()) + G(" 条"),
                               {}, platform::Icon::None, this);
    if (!read) {
        // "(0)" would say the table is empty.
        setWindowTitle(to_qstring(G("表 ") + table_ + G(" 读取失败")));
        platform::ui().message(G("读取表 ") + table_ + G(" 失败！请检查表是否存在或是否可读！"), {},
                               platform::Icon::None, this);
        return;
    }
    setWindowTitle(to_qstring(G("表 ") + table_ + " " +
                              (fields_mode_ ? G("的字段列表") : G("记录列表")) + "(" +
                              text::int_text(list_->row_count()) + ")"));
}

void TableViewer::show_menu() {
    using platform::MenuItem;
    const std::vector<MenuItem> items{
        MenuItem::command(G("复制选定"), 1), MenuItem::command(G("复制全部"), 2),
        MenuItem::separator_line(),          MenuItem::command(G("导出csv"), 3),
        MenuItem::separator_line(),          MenuItem::command(G("删除选定"), 4),
        MenuItem::command(G("删除全部"), 5)};
    switch (platform::ui().popup_menu(items, this)) {
        case 1:
            return list_->copy_rows(list_->selected_rows());
        case 2:
            return list_->copy_rows(list_->all_rows());
        case 3:
            return export_rows();
        case 4:
            return delete_rows(false);
        case 5:
            return delete_rows(true);
        default:
            return;
    }
}

void TableViewer::export_rows() {
    export_list_rows(*list_, busy_, this);
}

void TableViewer::delete_rows(bool all) {
    auto& ui = platform::ui();
    std::vector<int> rows = all ? list_->all_rows() : list_->selected_rows();
    if (rows.empty()) {
        ui.message(all ? G("没有可用于删除的项目！") : G("请先选定项目再删除！"), {},
                   platform::Icon::None, this);
        return;
    }
    std::sort(rows.begin(), rows.end());
    const std::string unit = fields_mode_ ? G("个") : G("条");
    const std::string kind = fields_mode_ ? G("字段") : G("记录");
    const std::string count = text::int_text(static_cast<int64_t>(rows.size()));
    if (!ui.ask_ok_cancel(G("确定要删除") + (all ? G("全部") : G("选定的 ") + count + " " + unit) +
                              kind + G("吗？"),
                          {}, this))
        return;
    const platform::Busy::Scope deleting = busy_.begin(platform::Loop::Deleting, this);
    if (!deleting) return;
    setWindowTitle(to_qstring(G("正在删除") + kind + G("中..")));
    db::Connection* c = manager_.main().connection();
    const db::PatientAnswers patient(c);
    size_t deleted = 0;
    for (auto it = rows.rbegin(); it != rows.rend() && !busy_.stop_requested(); ++it) {
        // The rows are the ones shown, of the table in the database it was listed in, whatever
        // the manager selects meanwhile.
        bool ok = false;
        // A database gone meanwhile: nothing of this table can be deleted.
        const bool listed = db::use_database(c, database_);
        if (listed && fields_mode_) {
            const std::vector<std::string> cells = list_->cells(*it);
            ok = !cells.empty() &&
                 db::alter_table(c, db::quote_identifier(table_), 3, db::quote_identifier(cells[0]),
                                 {}, {}, {}, db::ColumnSpec{});
        } else if (db::RowStore* held = listed ? list_->held() : nullptr) {
            // Success means a row went: a condition that matched none deleted nothing.
            ok = db::delete_records(
                     c, db::quote_identifier(table_),
                     record_condition(*held, list_->result_row(*it), shown_, identifying_)) &&
                 db::affected_rows(c) > 0;
        }
        if (ok) {
            list_->remove_row(*it);
            ++deleted;
        }
        ui.pump();
    }
    // The rows left keep the result rows they show: a later delete picks those, even when
    // other clients changed the table meanwhile.
    setWindowTitle(to_qstring(G("总 ") + count + " " + unit + G("要删除的") + kind +
                              G("，实际删除成功 ") + text::int_text(static_cast<int64_t>(deleted)) +
                              " " + unit));
}

}  // namespace qb::manager
