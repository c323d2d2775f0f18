// The secondary command of a control: runs a handler when the right mouse button is released
// over the widget. With the left button it makes a click command of a widget that has none
// (a picture).
#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace qb::platform {

class RightClick : public QObject {
    Q_OBJECT
  public:
    // The filter is owned by the widget.
    static void install(QWidget* widget, std::function<void()> handler,
                        Qt::MouseButton button = Qt::RightButton);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    RightClick(QWidget* widget, std::function<void()> handler, Qt::MouseButton button);
    std::function<void()> handler_;
    Qt::MouseButton button_;
};

}  // namespace qb::platform
