// The shared modal window for entering or showing a longer text: the phrase list, names asked
// for by the manager windows, the troubleshooting text after a failed login.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace qb::platform {

struct TextInputRequest {
    std::string initial;
    std::optional<std::string> prompt;  // none: no prompt; empty: the default prompt
    std::string caption;                // empty: "Tarvo："
    QWidget* parent = nullptr;
    bool editable = true;
    int width = 0, height = 0, margin = 0;  // 0: not given
};

struct TextInputResult {
    bool accepted = false;
    std::string text;
    std::string lacking;  // characters_gbk_lacks of what was typed: text holds "?" for them
};

// Opens the dialog modally and returns when it closes; refused (not accepted) while another
// one is open.
TextInputResult ShowTextInput(const TextInputRequest& request);

class TextInputDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TextInputDialog(const TextInputRequest& request);
    ~TextInputDialog() override;

    const TextInputResult& result_text() const { return result_; }
    // True while a text input dialog exists.
    static bool is_open();

    std::string text() const;
    void set_text(const std::string& text);

    void paste();
    void restore_initial();
    void clear_text();
    void add_file_contents();
    void add_file_names();

    void done(int r) override;

  private:
    std::vector<std::string> pick_files(const char* what);

    std::string initial_;
    std::string
        shown_;  // the initial text as the edit box holds it: a change is a change from this
    bool editable_;
    TextInputResult result_;
    QPlainTextEdit* prompt_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
};

}  // namespace qb::platform
