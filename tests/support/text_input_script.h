// Answers the next text input dialog from a test: with a text (OK) or, with nullopt, Cancel.
// The dialog's caption is recorded.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <optional>
#include <string>

#include "platform/qtext.h"
#include "platform/text_input_dialog.h"

namespace qb::test {

inline void answer_text_input(std::optional<std::string> text, std::string* caption = nullptr) {
    QTimer::singleShot(0, [text, caption] {
        auto* d = qobject_cast<platform::TextInputDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        if (caption) *caption = platform::from_qstring(d->windowTitle());
        if (!text) {
            d->reject();
            return;
        }
        d->set_text(*text);
        QTest::mouseClick(d->findChild<QPushButton*>(platform::qtr("按钮确定")), Qt::LeftButton);
    });
}

}  // namespace qb::test
