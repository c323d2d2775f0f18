#include "platform/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/qtext.h"

namespace qb::platform::widgets {

QLineEdit* make_edit(const char* name, const char* value, QWidget* parent) {
    auto* e = new QLineEdit(qtr(value), parent);
    e->setObjectName(qtr(name));
    return e;
}

QPushButton* make_button(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(qtr(caption), parent);
    b->setObjectName(qtr(name));
    return b;
}

QCheckBox* make_check(const char* name, const char* caption, bool checked, QWidget* parent) {
    auto* c = new QCheckBox(qtr(caption), parent);
    c->setObjectName(qtr(name));
    c->setChecked(checked);
    return c;
}

QRadioButton* make_radio(const char* name, const char* caption, bool checked, QWidget* parent) {
    auto* r = new QRadioButton(qtr(caption), parent);
    r->setObjectName(qtr(name));
    r->setChecked(checked);
    return r;
}

QComboBox* make_combo(const char* name, std::initializer_list<const char*> items, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(qtr(name));
    for (const char* item : items) c->addItem(qtr(item));
    c->setCurrentIndex(0);
    return c;
}

QLabel* make_label(const char* caption, QWidget* parent) {
    auto* l = new QLabel(qtr(caption), parent);
    // A description such as "<title>…</title>" is text, not markup.
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* make_link(const char* name, const char* caption, QWidget* parent) {
    auto* l =
        new QLabel(QLatin1String("<a href=\"#\">") + qtr(caption) + QLatin1String("</a>"), parent);
    l->setObjectName(qtr(name));
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    return l;
}

}  // namespace qb::platform::widgets
