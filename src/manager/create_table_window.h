// 新建表: the columns of a new table designed one by one, then the table (and its database when
// missing) created under the names typed in the main window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "manager/main_link.h"

class QComboBox;
class QTreeWidget;

namespace qb::manager {

class CreateTableWindow : public QWidget {
    Q_OBJECT
  public:
    CreateTableWindow(MainLink& main, QWidget* owner);
    ~CreateTableWindow() override;

    // The created event: makes sure of the connection (false, with its message, when there is
    // none), fills the type list and restores the saved design.
    bool on_created();

    template <class T>
    T* unit(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }

    // Rows as (name, type label, length or values).
    std::vector<std::array<std::string, 3>> rows() const;
    void set_rows(const std::vector<std::array<std::string, 3>>& rows);

    // The selected type's length (varchar) or value list (enum, set), asked for.
    void ask_type_parameter();
    void load_row(int row);
    void add_or_modify(bool modify);
    void delete_row();
    void delete_all_rows();
    void create();
    void export_config();
    void import_config();
    void import_config_file(const std::string& native_path);
    // 导入配置's load: the design of the file, or why it holds none (and nothing changes).
    std::string load_design(persist::ConfigStore& store);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool restoring_ = false;      // on_created's restore is under way
    bool close_waiting_ = false;  // and a close came meanwhile
    void save_state(persist::ConfigStore& store);
    void restore_state(persist::ConfigStore& store);
    void select_row(int row);

    MainLink& main_;
    QComboBox* types_;
    QTreeWidget* list_;
    // The parameter of each type entry: a length for varchar, a value list for enum and set.
    std::vector<std::string> parameters_;
};

// Opens the create-table window, or brings the open one forward.
CreateTableWindow* open_create_table(MainLink& main, QPointer<CreateTableWindow>& current);

}  // namespace qb::manager
