#include "platform/ui.h"

#include "platform/qt_ui.h"
#include "text/iconv_text.h"

namespace qb::platform {

namespace {
Ui* g_ui = nullptr;
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

const std::string& program_name() {
    static const std::string name = text::G("Tarvo·Quillbase");
    return name;
}

}  // namespace qb::platform
