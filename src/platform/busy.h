// What may run while a long loop runs. Loops stay on the user-interface thread and let pending
// events run between steps, so every command of every window can run inside them. The rule,
// held here for the whole program (the main window owns the one Busy, the connection holder):
//
//  - One loop at a time. Import (with its file collection), export, a list fill, the SQL run,
//    the viewer's delete, the name listings of 库.. and 表.., the user list and 执行创建 are
//    loops; starting one while another runs is refused with a message naming the running one.
//  - Refused too, because they would free or replace what a loop uses or move the connection
//    to another database: disconnecting, 读表字段, 导入配置 of the main window, the manager's
//    lists and commands, the SQL window's 执行, 执行创建 and the user window's commands. Their
//    units look disabled while a loop runs; a call that reaches them anyway gets the message.
//  - The running loop's own start button stays enabled: pressing it is the stop request.
//  - Allowed: editing a window's own units (names, the field list, options, SQL text),
//    copying and saving what a list already shows, and message boxes.
//  - Waiting: the table viewer asked to show another table and the SQL window asked to show
//    another statement's rows do so once the loop has ended.
//  - Closing a window whose loop runs asks the loop to stop; the window closes when it has
//    ended. Closing the main window does that for any loop, since every window goes with it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

namespace qb::platform {

enum class Loop {
    None,
    Import,
    Export,
    Listing,  // the database and table names of 库.. and 表..
    Reading,  // a result shown in a list: the table viewer, the SQL window's rows
    SqlRun,
    Deleting,  // the table viewer's delete
    Accounts,  // the user window's account list
    Creating,  // 执行创建
    Saving,    // a list's rows written to a tab-separated file
};

class Busy : public QObject {
    Q_OBJECT
  public:
    // A running loop; ending it (the destructor) closes the windows that waited for it.
    class Scope {
      public:
        Scope() = default;
        Scope(Scope&& other) noexcept : busy_(other.busy_) { other.busy_ = nullptr; }
        Scope& operator=(Scope&&) = delete;
        ~Scope();
        explicit operator bool() const { return busy_ != nullptr; }

      private:
        friend class Busy;
        explicit Scope(Busy* busy) : busy_(busy) {}
        Busy* busy_ = nullptr;
    };

    // Starts a loop run by a unit of window owner; an empty scope, after telling the operator
    // which loop runs, when one does.
    [[nodiscard]] Scope begin(Loop loop, QWidget* owner);
    Loop running() const { return loop_; }
    bool idle() const { return loop_ == Loop::None; }
    // True while a loop of window (or of a window it owns) runs.
    bool runs_in(const QWidget* window) const;

    // For the commands the rule refuses: true, after the message, while a loop runs.
    bool refuse(QWidget* parent) const;
    // "正在导入文章" and the like: what the running loop is doing.
    std::string doing() const;

    void request_stop() { stop_ = true; }
    bool stop_requested() const { return stop_; }
    const bool& stop_flag() const { return stop_; }

    // From a window's closeEvent: true when the close must wait (a loop of this window runs,
    // or any loop for the main window); the loop is then asked to stop and the window is
    // closed once it has ended.
    bool put_off_close(QWidget* window, bool any_loop = false);

  signals:
    // A loop started or ended: windows enable or disable their units.
    void changed();

  private:
    void end();

    Loop loop_ = Loop::None;
    QPointer<QWidget> owner_;
    bool stop_ = false;
    std::vector<QPointer<QWidget>> close_after_;
};

}  // namespace qb::platform
