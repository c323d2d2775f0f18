#include "platform/right_click.h"

#include <QMouseEvent>
#include <QWidget>

namespace qb::platform {

RightClick::RightClick(QWidget* widget, std::function<void()> handler, Qt::MouseButton button)
    : QObject(widget), handler_(std::move(handler)), button_(button) {
    widget->installEventFilter(this);
}

void RightClick::install(QWidget* widget, std::function<void()> handler, Qt::MouseButton button) {
    new RightClick(widget, std::move(handler), button);
}

bool RightClick::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        auto* w = static_cast<QWidget*>(watched);
        if (me->button() == button_ && w->rect().contains(me->position().toPoint())) {
            // Qt hands a greyed unit's mouse events to its filters too; greyed means that
            // neither button does anything (its own group box greyed counts).
            if (w->isEnabled()) handler_();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qb::platform
