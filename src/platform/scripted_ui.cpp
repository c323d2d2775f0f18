#include "platform/scripted_ui.h"

namespace qb::platform {

void ScriptedUi::message(const std::string& text, const std::string& caption, Icon icon, QWidget*) {
    shown.push_back({Shown::Message, text, caption, icon});
}

bool ScriptedUi::answer() {
    if (answers.empty()) return default_answer;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedUi::ask_ok_cancel(const std::string& text, const std::string& caption, QWidget*) {
    shown.push_back({Shown::OkCancel, text, caption, Icon::Question});
    return answer();
}

bool ScriptedUi::ask_yes_no(const std::string& text, const std::string& caption, QWidget*) {
    shown.push_back({Shown::YesNo, text, caption, Icon::Question});
    return answer();
}

std::string ScriptedUi::pick_folder(const std::string&, const std::string& initial, QWidget*) {
    dialog_initials.push_back(initial);
    if (folders.empty()) return {};
    std::string f = folders.front();
    folders.pop_front();
    return f;
}

std::vector<std::string> ScriptedUi::pick_open_files(const std::string&, const std::string&,
                                                     OpenPick, const std::string& initial,
                                                     QWidget*) {
    dialog_initials.push_back(initial);
    if (open_files.empty()) return {};
    auto f = open_files.front();
    open_files.pop_front();
    return f;
}

std::string ScriptedUi::pick_save_file(const std::string&, const std::string&,
                                       const std::string& initial, QWidget*, bool) {
    dialog_initials.push_back(initial);
    if (save_files.empty()) return {};
    std::string f = save_files.front();
    save_files.pop_front();
    return f;
}

namespace {
int id_of(const std::vector<MenuItem>& items, const std::string& caption) {
    for (const MenuItem& item : items) {
        if (!item.children.empty()) {
            if (int id = id_of(item.children, caption)) return id;
        } else if (!item.separator && item.enabled && item.caption == caption) {
            return item.id;
        }
    }
    return 0;
}
}  // namespace

int ScriptedUi::popup_menu(const std::vector<MenuItem>& items, QWidget*) {
    menus.push_back(items);
    if (menu_choices.empty()) return 0;
    const std::string caption = menu_choices.front();
    menu_choices.pop_front();
    return id_of(items, caption);
}

void ScriptedUi::pump() {
    ++pump_count;
    if (on_pump) on_pump();
}

std::vector<std::string> ScriptedUi::messages() const {
    std::vector<std::string> out;
    for (const auto& s : shown)
        if (s.kind == Shown::Message) out.push_back(s.text);
    return out;
}

std::string ScriptedUi::last_message() const {
    auto m = messages();
    return m.empty() ? std::string() : m.back();
}

}  // namespace qb::platform
