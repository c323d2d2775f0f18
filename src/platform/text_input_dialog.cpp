#include "platform/text_input_dialog.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <fstream>

#include "platform/paths.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::platform {

using text::G;

namespace {

int g_open_dialogs = 0;

QPushButton* add_button(QHBoxLayout* row, QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(qtr(caption), parent);
    b->setObjectName(qtr(name));
    b->setAutoDefault(false);
    row->addWidget(b);
    return b;
}

// Program text keeps CR LF line breaks; the edit box has bare LF.
QString to_edit_text(const std::string& s) {
    return platform::to_qstring(text::replace_all(s, "\r\n", "\n"));
}

std::string read_bytes(const std::string& program_path) {
    std::ifstream in(platform::native_path(program_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

bool TextInputDialog::is_open() {
    return g_open_dialogs > 0;
}

TextInputDialog::TextInputDialog(const TextInputRequest& request)
    : QDialog(request.parent), initial_(request.initial), editable_(request.editable) {
    ++g_open_dialogs;
    setWindowTitle(platform::to_qstring(request.caption.empty() ? G("Tarvo：") : request.caption));

    auto* file_dialog = new QObject(this);
    file_dialog->setObjectName(qtr("导入文本文件对话框"));
    file_dialog->setProperty("title", qtr("选择一个文本文件，导入其文本数据"));
    file_dialog->setProperty("filter",
                             qtr("Txt文本|*.txt;*.text|\r\nIni配置|*.ini;*.inf|\r\n全部文件|*.*"));

    const int margin = request.margin > 0 ? request.margin : 5;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);

    prompt_ = new QPlainTextEdit(this);
    prompt_->setObjectName(qtr("编辑框提示"));
    prompt_->setReadOnly(true);
    prompt_->setMaximumHeight(52);
    std::string prompt;
    if (request.prompt)
        prompt = !request.prompt->empty() ? *request.prompt
                 : editable_              ? G("请输入数据：")
                                          : G("以下为信息详情：");
    prompt_->setPlainText(to_edit_text(prompt));
    layout->addWidget(prompt_);

    body_ = new QPlainTextEdit(this);
    body_->setObjectName(qtr("编辑框正文"));
    body_->setPlainText(to_edit_text(initial_));
    body_->setReadOnly(!editable_);
    layout->addWidget(body_, 1);

    auto* frame = new QFrame(this);
    frame->setObjectName(qtr("外形框"));
    frame->setFrameShape(QFrame::HLine);
    layout->addWidget(frame);

    auto* row = new QHBoxLayout;
    connect(add_button(row, this, "按钮粘贴", "粘贴"), &QPushButton::clicked, this,
            &TextInputDialog::paste);
    connect(add_button(row, this, "按钮恢复", "恢复"), &QPushButton::clicked, this,
            &TextInputDialog::restore_initial);
    connect(add_button(row, this, "按钮清空", "清空"), &QPushButton::clicked, this,
            &TextInputDialog::clear_text);
    connect(add_button(row, this, "按钮文件", "内容"), &QPushButton::clicked, this,
            &TextInputDialog::add_file_contents);
    connect(add_button(row, this, "按钮文件名", "文件名"), &QPushButton::clicked, this,
            &TextInputDialog::add_file_names);
    row->addStretch();
    auto* ok = add_button(row, this, "按钮确定", "确定");
    auto* cancel = add_button(row, this, "按钮取消", "取消");
    connect(ok, &QPushButton::clicked, this, [this] {
        result_ = {true, text(), characters_gbk_lacks(body_->toPlainText())};
        QDialog::done(Accepted);
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(row);

    if (!editable_) {
        ok->hide();
        frame->hide();
        cancel->setText(qtr("关闭(&G)"));
        // A text to read: nothing to paste, restore, clear or import into it.
        for (const char* name : {"按钮粘贴", "按钮恢复", "按钮清空", "按钮文件", "按钮文件名"})
            findChild<QPushButton*>(qtr(name))->hide();
    }

    // A given width or height is the text box's: the window is laid out around a box of that
    // size, which then follows the window when it is resized.
    resize(520, 360);
    if (request.width > 0 || request.height > 0) {
        body_->setFixedSize(request.width > 0 ? request.width : body_->sizeHint().width(),
                            request.height > 0 ? request.height : body_->sizeHint().height());
        adjustSize();
        body_->setMinimumSize(0, 0);
        body_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2,
             area.y() + (area.height() - 30 - height()) / 2);
    }
    body_->setFocus();
    shown_ = text();
}

TextInputDialog::~TextInputDialog() {
    --g_open_dialogs;
}

std::string TextInputDialog::text() const {
    return text::replace_all(platform::from_qstring(body_->toPlainText()), "\n", "\r\n");
}

void TextInputDialog::set_text(const std::string& t) {
    body_->setPlainText(to_edit_text(t));
}

void TextInputDialog::paste() {
    set_text(platform::ui().clipboard_text());
}

void TextInputDialog::restore_initial() {
    if (initial_.empty()) {
        platform::ui().message(G("启动值为空！"), {}, platform::Icon::None, this);
        return;
    }
    set_text(initial_);
}

void TextInputDialog::clear_text() {
    body_->clear();
}

std::vector<std::string> TextInputDialog::pick_files(const char* what) {
    return platform::ui().pick_open_files(
        G("选择多个文件，将导入其") + G(what),
        G("文本文本|*.txt;*.text;*.ini;*.htn;*.html|全部文件|*.*"), platform::OpenPick::Many, {},
        this);
}

void TextInputDialog::add_file_contents() {
    std::string t = text();
    for (const std::string& f : pick_files("文件内容")) t += read_bytes(f) + "\r\n";
    set_text(t);
}

void TextInputDialog::add_file_names() {
    std::string t = text();
    for (const std::string& f : pick_files("文件路径")) t += f + "\r\n";
    set_text(t);
}

void TextInputDialog::done(int r) {
    // Closing without 确定 after a change asks first; No keeps the dialog open.
    if (r != Accepted && editable_ && text() != shown_ && !terminating()) {
        if (!platform::ui().ask_yes_no(G("内容已被改动，是否要放弃？"), {}, this)) return;
    }
    QDialog::done(r);
}

TextInputResult ShowTextInput(const TextInputRequest& request) {
    if (TextInputDialog::is_open()) return {};
    TextInputDialog dialog(request);
    dialog.exec();
    return dialog.result_text();
}

}  // namespace qb::platform
