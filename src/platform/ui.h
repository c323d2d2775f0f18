// Everything the operator sees as a message box, a question, a file dialog or the clipboard,
// plus the event pump of long loops. The window program installs QtUi; tests install
// ScriptedUi, which records messages and answers questions from a script.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qb::platform {

enum class Icon { None, Information, Warning, Error, Question };

// One entry of a popup menu: a command (id > 0), a grayed caption, a separator, or a submenu.
struct MenuItem {
    std::string caption;  // program text
    int id = 0;
    bool enabled = true;
    bool separator = false;
    std::vector<MenuItem> children;  // not empty: a submenu

    static MenuItem command(std::string caption, int id) {
        MenuItem m;
        m.caption = std::move(caption);
        m.id = id;
        return m;
    }
    static MenuItem grayed(std::string caption) {
        MenuItem m;
        m.caption = std::move(caption);
        m.enabled = false;
        return m;
    }
    static MenuItem separator_line() {
        MenuItem m;
        m.separator = true;
        return m;
    }
};

// What an open dialog accepts: one existing file, several, or any one name typed (the caller
// decides what a name that is no file means).
enum class OpenPick { One, Many, AnyName };

// The program is ending (SIGTERM, SIGINT): dialogs close without asking anything.
void set_terminating();
bool terminating();

class Ui {
  public:
    virtual ~Ui() = default;

    // All texts are program text (GBK). An empty caption means the program's own caption.
    virtual void message(const std::string& text, const std::string& caption = {},
                         Icon icon = Icon::None, QWidget* parent = nullptr) = 0;
    virtual bool ask_ok_cancel(const std::string& text, const std::string& caption = {},
                               QWidget* parent = nullptr) = 0;
    virtual bool ask_yes_no(const std::string& text, const std::string& caption = {},
                            QWidget* parent = nullptr) = 0;

    // Dialogs return empty results on cancel. filter is "|"-separated: name|patterns|name|...
    virtual std::string pick_folder(const std::string& title, const std::string& initial,
                                    QWidget* parent = nullptr) = 0;
    virtual std::vector<std::string> pick_open_files(const std::string& title,
                                                     const std::string& filter, OpenPick pick,
                                                     const std::string& initial,
                                                     QWidget* parent = nullptr) = 0;
    // ask_to_replace: false where the chosen file is merged into, not replaced (导出配置).
    virtual std::string pick_save_file(const std::string& title, const std::string& filter,
                                       const std::string& initial, QWidget* parent = nullptr,
                                       bool ask_to_replace = true) = 0;

    virtual std::string clipboard_text() = 0;
    virtual void set_clipboard_text(const std::string& text) = 0;

    // Lets pending user-interface events run, at most about every 15 ms: cheap to call in a
    // tight loop.
    virtual void pump() = 0;
    virtual bool ctrl_held() = 0;
    // Opens a folder or a file (program text) with the desktop's file manager or viewer.
    virtual void open_path(const std::string& path) = 0;
    // Shows a popup menu at the mouse position; the chosen item's id, 0 when dismissed.
    virtual int popup_menu(const std::vector<MenuItem>& items, QWidget* parent = nullptr) = 0;
};

// A message box with the program's caption and no icon, the common case.
void say(const std::string& text, QWidget* owner = nullptr);

// The caption of the item with this id, searched through submenus; empty when none has it.
std::string menu_caption(const std::vector<MenuItem>& items, int id);

// The process-wide service; QtUi unless a test installed another one.
Ui& ui();
void set_ui(Ui* ui);

// The program name, "Tarvo·Quillbase", used as the default caption.
const std::string& program_name();

}  // namespace qb::platform
