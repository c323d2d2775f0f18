// Settings stores as the operator sees them, and the 导出配置 / 导入配置 dialogs of a window:
// the chosen path is remembered with both buttons and offered next time.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace qb::persist {
class ConfigStore;
}

namespace qb::platform {

// The store's long writes pump events, its alerts are message boxes, its side-file names go
// to the file system's form.
void attach_store_to_ui(persist::ConfigStore& store);

// The path to export to, in the file system's form; empty when cancelled.
std::string ask_config_export_path(QWidget* export_button, QWidget* import_button, QWidget* owner);
// An existing configuration file (the chosen path, or it with ".ini" added), in the file
// system's form; empty when cancelled or, after its message, when there is no such file.
std::string ask_config_import_path(QWidget* export_button, QWidget* import_button, QWidget* owner);

// Reads a configuration file with load; false, with the reason and nothing loaded, when the
// file cannot be read.
// section: the window's own; a file without it holds nothing for the window and changes
// nothing.
// load: loads the window from the file, or says why the file holds nothing for it (and loads
// nothing).
using ConfigLoad = std::function<std::string(persist::ConfigStore&)>;
bool read_config_file(const std::string& native_path, const std::string& section,
                      const ConfigLoad& load, std::string& reason);
// Reads it and says whether that worked.
void import_config_file(const std::string& native_path, const std::string& section, QWidget* owner,
                        const ConfigLoad& load);

// 导出配置 of a window: asks for the path, writes the window's state with save (the file once),
// says whether that worked.
void export_window_config(QWidget* export_button, QWidget* import_button, QWidget* owner,
                          const std::function<void(persist::ConfigStore&)>& save);
// 导入配置 of a window: asks for an existing file, reads it with load, says so.
void import_window_config(QWidget* export_button, QWidget* import_button, QWidget* owner,
                          const std::string& section, const ConfigLoad& load);

}  // namespace qb::platform
