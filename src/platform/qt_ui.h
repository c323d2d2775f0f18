// The Ui service on real Qt dialogs.
#pragma once

#include <QElapsedTimer>

#include "platform/ui.h"

namespace qb::platform {

class QtUi : public Ui {
  public:
    QtUi();
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
    std::string clipboard_text() override;
    void set_clipboard_text(const std::string& text) override;
    void pump() override;
    bool ctrl_held() override;
    void open_path(const std::string& folder) override;
    int popup_menu(const std::vector<MenuItem>& items, QWidget* parent) override;

  private:
    QElapsedTimer since_pump_;
};

// Loads Qt's own Chinese texts for its standard buttons and dialogs; once, at start.
void install_chinese_qt_texts();

// Qt's filter string from a "|"-separated one ("文本|*.txt|全部|*.*").
QString qt_file_filter(const std::string& filter);

}  // namespace qb::platform
