#include "platform/busy.h"

#include "platform/ui.h"
#include "text/iconv_text.h"

namespace qb::platform {

using text::G;

Busy::Scope::~Scope() {
    if (busy_) busy_->end();
}

Busy::Scope Busy::begin(Loop loop, QWidget* owner) {
    if (refuse(owner)) return Scope();
    loop_ = loop;
    owner_ = owner;
    stop_ = false;
    emit changed();
    return Scope(this);
}

void Busy::end() {
    loop_ = Loop::None;
    owner_.clear();
    stop_ = false;
    emit changed();
    // Windows that asked to close during the loop: their loop is off the stack of their
    // event handlers once this returns, and a window deleted on close goes only when control
    // is back in the event loop.
    std::vector<QPointer<QWidget>> waiting;
    waiting.swap(close_after_);
    for (QPointer<QWidget>& w : waiting)
        if (w) w->close();
}

bool Busy::runs_in(const QWidget* window) const {
    if (loop_ == Loop::None || !window) return false;
    // Up through the owning windows too (isAncestorOf stops at a window's edge).
    for (const QWidget* w = owner_; w; w = w->parentWidget())
        if (w == window) return true;
    return false;
}

std::string Busy::doing() const {
    switch (loop_) {
        case Loop::Import:
            return G("导入文章");
        case Loop::Export:
            return G("导出文章");
        case Loop::Listing:
            return G("读取名称列表");
        case Loop::Reading:
            return G("读取记录");
        case Loop::SqlRun:
            return G("执行SQL语句");
        case Loop::Deleting:
            return G("删除记录");
        case Loop::Accounts:
            return G("读取用户列表");
        case Loop::Creating:
            return G("创建表");
        case Loop::Saving:
            return G("导出记录");
        case Loop::None:
            break;
    }
    return {};
}

bool Busy::refuse(QWidget* parent) const {
    if (loop_ == Loop::None) return false;
    ui().message(G("正在") + doing() + G("，请等它结束后再试！"), {}, Icon::None, parent);
    return true;
}

bool Busy::put_off_close(QWidget* window, bool any_loop) {
    if (loop_ == Loop::None || (!any_loop && !runs_in(window))) return false;
    stop_ = true;
    for (const QPointer<QWidget>& w : close_after_)
        if (w == window) return true;
    close_after_.emplace_back(window);
    return true;
}

}  // namespace qb::platform
