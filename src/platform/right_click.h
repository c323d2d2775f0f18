// The secondary command of a control: runs a handler when the right mouse button is released
// over the widget.
#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace qb::platform {

class RightClick : public QObject {
    Q_OBJECT
  public:
    // The filter is owned by the widget.
    static void install(QWidget* widget, std::function<void()> handler);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    RightClick(QWidget* widget, std::function<void()> handler);
    std::function<void()> handler_;
};

}  // namespace qb::platform
