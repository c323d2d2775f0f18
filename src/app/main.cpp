// The window program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/start_program.h"

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool has_display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!has_display && !(platform && *platform)) {
        std::fprintf(stderr,
                     "quillbase: 没有图形显示 (no display); run it under Xvfb: "
                     "xvfb-run -a ./quillbase run\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(true);
    qb::app::start_program();
    return QApplication::exec();
}
