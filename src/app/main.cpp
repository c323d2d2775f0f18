// The window program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/start_program.h"
#include "version.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillbase %s\n", QB_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "用法 / usage: quillbase [--version] [--help]\n"
                "打开 Tarvo·Quillbase 的窗口：把文章文件导入 MySQL 表，或把表中的行导出为文件。\n"
                "Opens the Tarvo·Quillbase window: imports article files into a MySQL table, one\n"
                "row per file, and exports rows back to files. Batch runs: quillbase-cli "
                "--help.\n");
            return 0;
        }
    }
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
