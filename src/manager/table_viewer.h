// The table viewer: the columns (fields mode) or the rows (records mode) of the table selected
// in the manager, with copy, export and delete.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "manager/result_list.h"
#include "platform/busy.h"

namespace qb::manager {

class ManagerWindow;

class TableViewer : public QWidget {
    Q_OBJECT
  public:
    explicit TableViewer(ManagerWindow& manager);

    void set_fields_mode(bool fields) { fields_mode_ = fields; }
    bool fields_mode() const { return fields_mode_; }
    ResultList* list() const { return list_; }

    // Shows the manager's selected table again in the current mode; while a loop runs, once
    // it has ended.
    void load();
    void show_menu();
    // 导出csv.
    void export_rows();
    // 删除选定 / 删除全部.
    void delete_rows(bool all);
    std::string database() const { return database_; }
    std::string table() const { return table_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    ManagerWindow& manager_;
    platform::Busy& busy_;
    ResultList* list_;
    bool fields_mode_ = true;
    bool load_waiting_ = false;
    std::string database_, table_;  // the table the list shows, in the database it was listed in
    // Records mode: the columns that identify a row, whose stored bytes follow the shown ones.
    std::vector<std::string> identifying_;
    unsigned shown_ = 0;
};

}  // namespace qb::manager
