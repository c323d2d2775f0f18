// Start-up: the settings file beside the program (or in the user's configuration folder), the
// program's one settings store, and the main window.
#pragma once

#include <memory>
#include <string>

namespace qb::persist {
class ConfigStore;
}

namespace qb::app {

class MainWindow;

// The settings file: "Tarvo·Quillbase.ini" beside the executable when that folder is
// writable, else under $XDG_CONFIG_HOME (default ~/.config)/Tarvo·Quillbase/. System form.
std::string settings_file_path();

// Long text loops (code-page tests, entity scans) let the window process its events.
void attach_text_to_ui();

// SIGTERM and SIGINT close every open menu and dialog, then the window (as a close does: the
// settings saved, a running loop asked to stop).
void close_on_termination(MainWindow* window);

// The program's settings store, created on first use.
persist::ConfigStore& program_settings();

// Opens the settings store and shows the main window; the window lives until the program
// ends (a termination signal or the session ending closes it, so its state is saved).
MainWindow& start_program();

}  // namespace qb::app
