// A Ui for tests and unattended runs: records every message, answers every question and
// dialog from queues set up beforehand (a default answer when a queue is empty).
#pragma once

#include <deque>
#include <functional>

#include "platform/ui.h"

namespace qb::platform {

class ScriptedUi : public Ui {
  public:
    struct Shown {
        enum Kind { Message, OkCancel, YesNo } kind;
        std::string text, caption;
        Icon icon;
    };

    void message(const std::string& text, const std::string& caption, Icon icon,
                 QWidget* parent) override;
    bool ask_ok_cancel(const std::string& text, const std::string& caption,
                       QWidget* parent) override;
    bool ask_yes_no(const std::string& text, const std::string& caption, QWidget* parent) override;
    std::string pick_folder(const std::string& title, const std::string& initial,
                            QWidget* parent) override;
    std::vector<std::string> pick_open_files(const std::string& title, const std::string& filter,
                                             OpenPick pick, const std::string& initial,
                                             QWidget* parent) override;
    std::string pick_save_file(const std::string& title, const std::string& filter,
                               const std::string& initial, QWidget* parent,
                               bool ask_to_replace) override;
    std::string clipboard_text() override { return clipboard_; }
    void set_clipboard_text(const std::string& text) override { clipboard_ = text; }
    void pump() override;
    bool ctrl_held() override { return ctrl_held_; }
    void open_path(const std::string& folder) override { opened_paths.push_back(folder); }
    int popup_menu(const std::vector<MenuItem>& items, QWidget* parent) override;

    // What was shown, oldest first.
    std::vector<Shown> shown;
    // Messages only, texts only: the common thing a test looks at.
    std::vector<std::string> messages() const;
    std::string last_message() const;

    std::deque<bool> answers;  // for questions; empty: default_answer
    bool default_answer = true;
    std::deque<std::string> folders;                  // for pick_folder; empty: cancel
    std::deque<std::vector<std::string>> open_files;  // for pick_open_files; empty: cancel
    std::deque<std::string> save_files;               // for pick_save_file; empty: cancel
    std::vector<std::string> dialog_initials;         // the initial path each dialog was given
    std::vector<std::string> opened_paths;
    std::vector<std::vector<MenuItem>> menus;  // every popup shown
    // For popup_menu: the caption of the item to choose; empty queue or no such item: dismiss.
    std::deque<std::string> menu_choices;
    bool ctrl_held_ = false;
    std::function<void()> on_pump;
    int pump_count = 0;

  private:
    bool answer();
    std::string clipboard_;
};

}  // namespace qb::platform
