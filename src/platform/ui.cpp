#include "platform/ui.h"

#include "platform/qt_ui.h"
#include "text/iconv_text.h"

namespace qb::platform {

namespace {
Ui* g_ui = nullptr;
bool g_terminating = false;
}  // namespace

void set_terminating() {
    g_terminating = true;
}

bool terminating() {
    return g_terminating;
}

Ui& ui() {
    if (!g_ui) {
        static QtUi qt_ui;
        g_ui = &qt_ui;
    }
    return *g_ui;
}

void set_ui(Ui* u) {
    g_ui = u;
}

void say(const std::string& text, QWidget* owner) {
    ui().message(text, {}, Icon::None, owner);
}

std::string menu_caption(const std::vector<MenuItem>& items, int id) {
    for (const MenuItem& item : items) {
        if (!item.children.empty()) {
            std::string c = menu_caption(item.children, id);
            if (!c.empty()) return c;
        } else if (!item.separator && item.id == id && id > 0) {
            return item.caption;
        }
    }
    return {};
}

const std::string& program_name() {
    static const std::string name = text::G("Tarvo·Quillbase");
    return name;
}

}  // namespace qb::platform
