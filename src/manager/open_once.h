// A window the program keeps one of: brought forward when it is open, else made, and kept
// only when its created event accepts it (it needs the connection).
#pragma once

#include <QPointer>

namespace qb::manager {

template <class Window, class Make>
Window* open_once(QPointer<Window>& current, Make make) {
    if (current) {
        current->show();
        current->raise();
        current->activateWindow();
        return current;
    }
    Window* w = make();
    // Known before on_created lets events run (a login, a restore): a second click meanwhile
    // brings this one forward instead of making another.
    current = w;
    if (!w->on_created()) {
        current = nullptr;
        delete w;
        return nullptr;
    }
    w->show();
    return w;
}

}  // namespace qb::manager
