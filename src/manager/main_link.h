// What the manager windows need from the main window: its connection, its names and its
// settings store. The main window implements it, so that the manager does not depend on it.
#pragma once

#include <string>

class QWidget;

namespace qb::db {
class Connection;
}
namespace qb::persist {
class ConfigStore;
}
namespace qb::platform {
class Busy;
}

namespace qb::manager {

class MainLink {
  public:
    virtual ~MainLink() = default;
    virtual db::Connection* connection() const = 0;
    // Connects once with the main window's login when not connected; true when connected.
    virtual bool ensure_connected() = 0;
    // The content of one of the main window's edit boxes ("编辑框库名", ...), program text.
    virtual std::string main_text(const char* edit_box) const = 0;
    virtual void focus_main(const char* edit_box) = 0;
    // Writes the names into 编辑框库名 and 编辑框表名 and brings the main window forward.
    virtual void hand_over_names(const std::string& database, const std::string& table) = 0;
    // The window is closed when the main window disconnects.
    virtual void register_connection_window(QWidget* window) = 0;
    virtual persist::ConfigStore& settings() = 0;
    virtual QWidget* main_widget() = 0;
    // The program's one rule of what may run while a loop runs.
    virtual platform::Busy& busy() = 0;
};

}  // namespace qb::manager
