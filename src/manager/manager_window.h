// MySQL 管理器: the server's databases beside the tables of the selected one, with the
// commands on them, and the doors to the table viewer, the SQL query and the user windows.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "manager/main_link.h"
#include "manager/table_viewer.h"

class QGroupBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace qb::manager {

class ManagerWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ManagerWindow(MainLink& main);
    ~ManagerWindow() override;

    // The created event: restores the state and makes sure of the connection. False (with
    // its message) when there is none; the caller then discards the window.
    bool on_created();

    template <class T>
    T* unit(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }
    MainLink& main() { return main_; }

    void refresh_database_list();
    void refresh_table_list();
    // The selected database ("" when none), the selected tables in list order, the first of
    // them ("" when none).
    std::string selected_database() const;
    std::vector<int> selected_table_rows() const;
    std::string selected_table() const;
    // The database whose tables the table list shows; the table commands act on it, whatever
    // database the connection moved to meanwhile. False (after its message) when it cannot be
    // selected any more.
    const std::string& listed_database() const { return listed_database_; }
    bool use_listed_database();

    void find_database(bool next);
    void find_table(bool next);
    void hand_over_names();

    void create_database();
    void drop_database();
    void drop_tables(bool clear_only);
    void rename_table();
    // The checks of a new table name; false (with its message, if any) when it fails.
    bool table_name_passes(const std::string& name);
    // False after saying so when the server would misread the name (what: 库名, 表名).
    bool sendable(const std::string& what, const std::string& name);
    void show_transaction_menu();

    void open_viewer(bool fields_mode);
    void open_sql_window();
    void open_user_window();
    TableViewer* viewer() const { return viewer_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void set_database_title();
    void set_table_title();
    void select_table_alone(int row);
    // The rule of platform/busy.h: true, after its message, while a loop runs.
    bool refused();

    MainLink& main_;
    QListWidget* databases_ = nullptr;
    QListWidget* tables_ = nullptr;
    QGroupBox* database_group_ = nullptr;
    QGroupBox* table_group_ = nullptr;
    QPointer<TableViewer> viewer_;
    std::string listed_database_;
    bool shown_once_ = false;
};

// Opens the manager for the main window, or brings the open one forward.
ManagerWindow* open_manager(MainLink& main, QPointer<ManagerWindow>& current);

}  // namespace qb::manager
