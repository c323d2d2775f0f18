// What the accessibility bus learns of a window's units, read through Qt's accessibility
// interfaces (the ones its AT-SPI bridge exports).
#pragma once

#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

#include "platform/accessibility.h"

namespace qb::test {

// Every unit of window (a widget with a Chinese name) has its unit name as description and a
// spoken name that is neither empty nor a lone symbol; returns how many units there were.
inline int expect_units_described(QWidget* window) {
    platform::describe_units(window);
    int units = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString unit = w->objectName();
        if (unit.isEmpty() || unit.at(0).unicode() < 0x80) continue;
        ++units;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a) {
            ADD_FAILURE() << unit.toStdString() << ": no accessible interface";
            continue;
        }
        EXPECT_EQ(a->text(QAccessible::Description), unit) << unit.toStdString();
        const QString name = a->text(QAccessible::Name).trimmed();
        EXPECT_GT(name.size(), 1) << unit.toStdString() << ": \"" << name.toStdString() << "\"";
    }
    return units;
}

}  // namespace qb::test
