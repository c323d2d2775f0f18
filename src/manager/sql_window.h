// SQL查询: free SQL, one statement per line, each listed with its outcome; the rows of the
// chosen statement; a menu of statement templates.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "manager/main_link.h"
#include "manager/result_list.h"

class QPlainTextEdit;
class QTreeWidget;

namespace qb::manager {

// The SQL text made ready for running: comments and runs of blanks become one space, a line
// ending in a comma joins the next; then split into lines.
std::vector<std::string> statement_lines(const std::string& sql);

class SqlWindow : public QWidget {
    Q_OBJECT
  public:
    SqlWindow(MainLink& main, QWidget* owner);
    ~SqlWindow() override;

    template <class T>
    T* unit(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }

    std::string sql_text() const;
    void set_sql_text(const std::string& text);
    // 执行: runs every line; pressed again while they run, stops after the current one.
    void run();
    void show_result();
    void show_template_menu();
    // The text a template puts in the edit box ('' becomes ", a tab before //, CR LF after).
    static std::string template_insertion(const std::string& stored);
    void insert_template(const std::string& stored);
    void show_result_menu();
    QTreeWidget* statements() const { return statements_; }
    ResultList* results() const { return results_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    MainLink& main_;
    bool show_waiting_ = false;  // a statement chosen during a loop: its rows show after it
    QPlainTextEdit* edit_;
    QTreeWidget* statements_;
    ResultList* results_;
    std::vector<std::unique_ptr<db::RowStore>> held_;  // one per statement row
};

}  // namespace qb::manager
