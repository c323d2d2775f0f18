#include "platform/qt_ui.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>

#include "platform/paths.h"
#include "platform/qtext.h"
#include "text/gbk.h"

namespace qb::platform {

namespace {

void add_menu_items(QMenu& menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
        } else if (!item.children.empty()) {
            add_menu_items(
                *menu.addMenu(to_qstring(item.caption).replace(u'&', QStringLiteral("&&"))),
                item.children);
        } else {
            // "&" would mark a shortcut letter and vanish from a name.
            QAction* a =
                menu.addAction(to_qstring(item.caption).replace(u'&', QStringLiteral("&&")));
            a->setEnabled(item.enabled);
            a->setData(item.id);
        }
    }
}

QString caption_or_default(const std::string& caption) {
    return to_qstring(caption.empty() ? program_name() : caption);
}

QMessageBox::Icon qt_icon(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

bool ask(const std::string& text, const std::string& caption, QWidget* parent,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton yes) {
    QMessageBox box(QMessageBox::Question, caption_or_default(caption), to_qstring(text), buttons,
                    parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == yes;
}

// A chosen path as program text. Program text is GBK: a path with a character GBK lacks
// would name another file, so it is refused with a message (and empty returned, as for a
// cancel).
std::string program_text_of_path(const QString& path, QWidget* parent) {
    if (path.isEmpty()) return {};
    std::string gbk = from_qstring(path);
    if (to_qstring(gbk) == path) return gbk;
    QMessageBox box(
        QMessageBox::Warning, caption_or_default({}),
        qtr("路径中有GBK编码无法表示的字符，本程序无法使用它，请换一个名字或位置：\n") + path,
        QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return {};
}

}  // namespace

void install_chinese_qt_texts() {
    // Qt's own buttons and dialogs ("OK", "Cancel", "Save", "Look in") speak the program's
    // language, whatever the desktop's is.
    static QTranslator qt_texts;
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    if (qt_texts.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_texts);
}

QtUi::QtUi() {
    since_pump_.start();
}

void QtUi::message(const std::string& text, const std::string& caption, Icon icon,
                   QWidget* parent) {
    QMessageBox box(qt_icon(icon), caption_or_default(caption), to_qstring(text), QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtUi::ask_ok_cancel(const std::string& text, const std::string& caption, QWidget* parent) {
    return ask(text, caption, parent, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
}

bool QtUi::ask_yes_no(const std::string& text, const std::string& caption, QWidget* parent) {
    return ask(text, caption, parent, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
}

std::string QtUi::pick_folder(const std::string& title, const std::string& initial,
                              QWidget* parent) {
    QString dir = QFileDialog::getExistingDirectory(parent, to_qstring(title), to_qstring(initial),
                                                    QFileDialog::ShowDirsOnly);
    return program_text_of_path(dir, parent);
}

QString qt_file_filter(const std::string& filter) {
    std::vector<std::string> parts = text::split(filter, "|");
    QStringList entries;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = to_qstring(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // A name may carry a line break from the filter text: it shows as nothing.
        const QString name =
            to_qstring(parts[i]).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        entries << name + QLatin1String(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QLatin1String(";;"));
}

std::vector<std::string> QtUi::pick_open_files(const std::string& title, const std::string& filter,
                                               OpenPick pick, const std::string& initial,
                                               QWidget* parent) {
    QFileDialog dialog(parent, to_qstring(title), to_qstring(initial), qt_file_filter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(pick == OpenPick::Many  ? QFileDialog::ExistingFiles
                       : pick == OpenPick::One ? QFileDialog::ExistingFile
                                               : QFileDialog::AnyFile);
    std::vector<std::string> out;
    if (dialog.exec() != QDialog::Accepted) return out;
    for (const QString& f : dialog.selectedFiles()) {
        std::string path = program_text_of_path(f, parent);
        if (!path.empty()) out.push_back(path);
    }
    return out;
}

std::string QtUi::pick_save_file(const std::string& title, const std::string& filter,
                                 const std::string& initial, QWidget* parent, bool ask_to_replace) {
    QString f = QFileDialog::getSaveFileName(
        parent, to_qstring(title), to_qstring(initial), qt_file_filter(filter), nullptr,
        ask_to_replace ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
    return program_text_of_path(f, parent);
}

std::string QtUi::clipboard_text() {
    return from_qstring(QApplication::clipboard()->text());
}

void QtUi::set_clipboard_text(const std::string& text) {
    QApplication::clipboard()->setText(to_qstring(text));
}

void QtUi::pump() {
    if (since_pump_.elapsed() < 15) return;
    QCoreApplication::processEvents();
    since_pump_.restart();
}

bool QtUi::ctrl_held() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

void QtUi::open_path(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(native_path(path))));
}

int QtUi::popup_menu(const std::vector<MenuItem>& items, QWidget* parent) {
    QMenu menu(parent);
    add_menu_items(menu, items);
    QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace qb::platform
