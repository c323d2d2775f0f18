#include "platform/accessibility.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QTextDocumentFragment>
#include <QWidget>

#include "platform/qtext.h"

namespace qb::platform {

namespace {

// Units are named in Chinese; Qt's own parts of dialogs ("qt_msgbox_label", "fileNameEdit")
// are left alone.
bool is_unit(const QWidget* w) {
    const QString name = w->objectName();
    return !name.isEmpty() && name.at(0).unicode() >= 0x80;
}

// The unit name without its kind word: "编辑框库名" is "库名".
QString name_without_kind(const QString& unit) {
    static const char* const kinds[] = {"超级列表框", "超级按钮", "编辑框", "选择框", "单选框",
                                        "组合框",     "列表框",   "分组框", "选择夹", "按钮",
                                        "标签",       "链接",     "图片"};
    for (const char* kind : kinds) {
        const QString k = qtr(kind);
        if (unit.startsWith(k) && unit.size() > k.size()) return unit.mid(k.size());
    }
    return unit;
}

// Where w sits in a layout: found, and the caption label (one that is no unit itself) right
// before it, looking outwards when w opens an inner layout. With a caption word that is
// one character (the "到" between the two edits of a range), the row's first caption too.
struct Beside {
    bool found = false;
    const QLabel* label = nullptr;
    const QLabel* first = nullptr;
};

const QLabel* caption_label(QLayoutItem* item) {
    auto* l = qobject_cast<const QLabel*>(item->widget());
    return l && l->objectName().isEmpty() ? l : nullptr;
}

// In a grid, what stands left of w in its row.
Beside find_beside_in_grid(QGridLayout* grid, int index) {
    int row = 0, column = 0, span_r = 0, span_c = 0;
    grid->getItemPosition(index, &row, &column, &span_r, &span_c);
    Beside out{true, nullptr, nullptr};
    int label_column = -1, first_column = column;
    for (int i = 0; i < grid->count(); ++i) {
        int r = 0, c = 0;
        grid->getItemPosition(i, &r, &c, &span_r, &span_c);
        const QLabel* l = caption_label(grid->itemAt(i));
        if (r != row || c >= column || !l) continue;
        if (c > label_column) label_column = c, out.label = l;
        if (c < first_column) first_column = c, out.first = l;
    }
    return out;
}

Beside find_beside(QLayout* layout, const QWidget* w) {
    Beside out;
    if (!layout) return out;
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        const int index = grid->indexOf(const_cast<QWidget*>(w));
        if (index >= 0) return find_beside_in_grid(grid, index);
    }
    const QLabel* previous = nullptr;
    const QLabel* first = nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) return {true, previous, first};
        if (QLayout* inner = item->layout()) {
            Beside in = find_beside(inner, w);
            if (in.found) {
                if (!in.label) in.label = previous;
                if (!in.first) in.first = first;
                return in;
            }
        }
        previous = caption_label(item);
        if (!first) first = previous;
    }
    return out;
}

QString spoken_text(const QLabel* label) {
    QString t = label->textFormat() == Qt::PlainText
                    ? label->text()
                    : QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    t = t.trimmed();
    while (t.endsWith(QChar(0xFF1A)) || t.endsWith(QLatin1Char(':'))) t.chop(1);
    return t;
}

// Whether Qt already speaks the control's own caption.
bool has_own_caption(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        const QString t = b->text().trimmed();
        return !t.isEmpty() && t != QLatin1String("?");
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        const QString t = spoken_text(l);
        // A picture is one symbol: its unit name says more.
        return t.size() > 1;
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return !g->title().isEmpty();
    return w->isWindow() && !w->windowTitle().isEmpty();
}

void describe(QWidget* w) {
    w->setAccessibleDescription(w->objectName());
    if (has_own_caption(w) || !w->accessibleName().isEmpty()) return;
    QString name;
    // A picture goes with the link after it, not with what stands before it.
    if (!qobject_cast<const QLabel*>(w) && w->parentWidget()) {
        const Beside beside = find_beside(w->parentWidget()->layout(), w);
        if (beside.label) name = spoken_text(beside.label);
        if (name.size() == 1 && beside.first && beside.first != beside.label)
            name = spoken_text(beside.first) + QLatin1Char(' ') + name;
    }
    // A "?" button explains what is in its row.
    if (qobject_cast<const QAbstractButton*>(w))
        name = name.isEmpty() ? qtr("帮助") : name + QLatin1Char(' ') + qtr("帮助");
    if (name.isEmpty()) name = name_without_kind(w->objectName());
    w->setAccessibleName(name);
}

class DescribeOnShow : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow()) describe_units(w);
        }
        return false;
    }
};

}  // namespace

void describe_units(QWidget* window) {
    if (is_unit(window)) describe(window);
    for (QWidget* w : window->findChildren<QWidget*>())
        if (is_unit(w)) describe(w);
}

void describe_units_of_every_window() {
    static DescribeOnShow* filter = nullptr;
    if (filter || !qApp) return;
    filter = new DescribeOnShow(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace qb::platform
