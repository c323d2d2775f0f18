// A result list driven as the operator drives it: real mouse events on its rows.
#pragma once

#include <QScrollBar>
#include <QTest>

#include "manager/result_list.h"

namespace qb::test {

// The row added to the list's selection: scrolled to, then clicked with Ctrl held.
inline void click_row(manager::ResultList* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualRect(index).center());
}

}  // namespace qb::test
