// Renders the main window at its defaults into a PNG (for the README).
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "persist/config_store.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: main_window_screenshot OUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    qb::persist::ConfigStore store;  // no file: the shipped defaults
    qb::app::MainWindow window(store);
    window.on_created();
    window.show();
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
