// The main window: connection settings, article source, the field list with its option pages,
// and the buttons that start the runs. Field-list editing lives in main_window_fields.cpp.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "import/import_run.h"
#include "manager/main_link.h"
#include "mapping/field_mapping.h"
#include "platform/busy.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace qb::persist {
class ConfigStore;
}
namespace qb::db {
class Connection;
}

namespace qb::manager {
class ManagerWindow;
class CreateTableWindow;
}  // namespace qb::manager

namespace qb::app {

class MainWindow : public QWidget, public manager::MainLink {
    Q_OBJECT
  public:
    explicit MainWindow(persist::ConfigStore& settings);
    ~MainWindow() override;

    // The created event: restores the state, shows the matching option page, accepts drops.
    void on_created();

    // A unit of this window by its name (UTF-8 literal), for the parts and the tests.
    template <class T>
    T* unit(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }

    // Field list (Qt-free view of the list view's rows).
    std::vector<mapping::FieldMapping> field_rows() const;
    void set_field_rows(const std::vector<mapping::FieldMapping>& rows);
    int current_field_row() const;
    void set_current_field_row(int row);

    void select_source();
    void load_field_row(int row);
    void add_field() { add_or_modify_field(false); }
    void modify_field() { add_or_modify_field(true); }
    void delete_field();
    void clear_fields();
    std::string build_options_text(int source) const;
    void save_field_list(persist::ConfigStore& store);
    void restore_field_list(persist::ConfigStore& store);

    // How long the window's own short statements wait for an answer on the next login
    // (db::kShortAnswerSeconds; the tests shorten it).
    void set_short_answer_seconds(unsigned seconds) { short_answer_seconds_ = seconds; }

    void pick_article_folder();
    void show_article_folder();
    // The tooltip of 断开连接: the server the connection is on and how the link is protected.
    void show_server_in_use();
    // The "…" beside 编辑框证书: the CA file that verifies the server's certificate.
    void pick_ca_file();

    // Every dropped path reaches this handler: the number of items of the drop, the item's
    // 1-based position, its path in the file system's form. import_dropped_file by default.
    using DropHandler = std::function<void(int count, int position, const std::string& path)>;
    void set_drop_handler(DropHandler handler) { drop_handler_ = std::move(handler); }

    // 按钮导入: collects the folder's files and imports them, or asks a running import to stop.
    // whole_pattern: the right button's listing (the pattern text taken whole).
    void start_import(bool whole_pattern);
    import::ImportResult run_import(const std::vector<std::string>& files);
    void import_dropped_file(int count, int position, const std::string& native_path);
    // 按钮导出: writes the table's rows out as article files, or asks a running export to stop.
    void start_export();
    void export_config();
    void import_config();
    // A configuration file's section 主界面 into the window.
    void load_config(persist::ConfigStore& store);

    // 库.., 表..: a popup of the server's database names (fetched once per connection) or of
    // the tables of the database in 编辑框库名 (fetched again when server or database changed).
    void show_database_popup();
    void show_table_popup();
    // 读表字段: the field list becomes the columns of the named table.
    void read_table_columns();

    // The commands of the database and table name popups land here.
    enum class NameTarget { Database, Table };
    void apply_name_command(NameTarget target, const std::string& name);

    // Enables the buttons that need a connection while connected, and disables what the
    // running loop forbids (see platform/busy.h).
    void update_units();
    // Program text and the connection follow the 选择框无损 box.
    void apply_lossless_mode();

    // 按钮建立连接: connects with the three connection boxes, or disconnects.
    void toggle_connection();
    // The program's one connection; null while disconnected.
    db::Connection* connection() const override { return connection_.get(); }
    // Windows that need the connection; disconnecting closes them (they save on close).
    void register_connection_window(QWidget* window) override {
        connection_windows_.push_back(window);
    }
    bool ensure_connected() override;
    std::string main_text(const char* edit_box) const override { return text_of(edit_box); }
    void focus_main(const char* edit_box) override;
    void hand_over_names(const std::string& database, const std::string& table) override;
    persist::ConfigStore& settings() override { return settings_; }
    QWidget* main_widget() override { return this; }
    platform::Busy& busy() override { return busy_; }

    // 链接管理器 / 图片管理器: the manager window; 链接新建表 / 图片新建表: the create-table
    // window. One of each.
    manager::ManagerWindow* open_manager();
    manager::CreateTableWindow* open_create_table();
    // 帮助: the program's manual in the desktop's viewer.
    void open_manual();
    // Database names listed by the 库.. popup, kept while connected.
    std::vector<std::string>& database_names_cache() { return database_names_cache_; }

    // Saves the state. The last save (on close, or when the program quits without a close)
    // happens once; a save that is not the last (the session manager's, before a logout that
    // the user may still cancel) leaves the later ones to happen.
    void save_state(bool last = true);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Runs an import or export as the program's one loop: the other run's button waits, a
    // disconnect is refused, a close waits.
    void while_running(platform::Loop run, const std::function<void()>& work);
    // The drop's paths, handed to the drop handler after the drop event has returned.
    void handle_drop(const QStringList& paths);
    void collect_and_import(bool whole_pattern);
    void show_name_popup(NameTarget target, const std::vector<std::string>& names);
    friend class WindowRunHost;
    std::string text_of(const char* name) const;
    void build_connection_group(QGridLayout* grid);
    void build_source_group(QGridLayout* grid);
    QWidget* build_field_group();
    void build_option_pages();
    void add_or_modify_field(bool modify);
    QTreeWidgetItem* field_item(int row) const;
    // A field-list row with its id, which a run uses to keep the row's options with the row.
    QTreeWidgetItem* new_field_item(const mapping::FieldMapping& row);
    QTreeWidgetItem* field_item_by_id(uint64_t id) const;

    persist::ConfigStore& settings_;
    bool saved_ = false;
    bool loading_row_allowed_ = true;
    uint64_t last_field_id_ = 0;
    unsigned short_answer_seconds_ = db::kShortAnswerSeconds;
    DropHandler drop_handler_;
    platform::Busy busy_;
    std::vector<std::string> dropped_files_;

    QLineEdit* database_edit_ = nullptr;
    QLineEdit* table_edit_ = nullptr;
    QLineEdit* folder_edit_ = nullptr;
    QLineEdit* field_edit_ = nullptr;
    QComboBox* source_combo_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QTreeWidget* field_list_ = nullptr;
    QPushButton* connect_button_ = nullptr;
    std::unique_ptr<db::Connection> connection_;
    std::vector<QPointer<QWidget>> connection_windows_;
    QPointer<manager::ManagerWindow> manager_;
    QPointer<manager::CreateTableWindow> create_table_;
    std::vector<std::string> database_names_cache_;
    std::vector<std::string> table_names_cache_;
    std::string table_names_key_;  // server text + database text the table names belong to
    // The option units of each source, in the order their values are joined.
    std::array<std::vector<QWidget*>, mapping::kSourceCount> option_units_;
};

}  // namespace qb::app
