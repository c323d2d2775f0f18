// Renders the main window at its defaults into a PNG (for the README); with a second path, also
// the manager window, logged in with the default settings (the local server must be running).
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "manager/manager_window.h"
#include "persist/config_store.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: main_window_screenshot OUT.png [MANAGER.png]\n");
        return 2;
    }
    QApplication app(argc, argv);
    qb::persist::ConfigStore store;  // no file: the shipped defaults
    qb::app::MainWindow window(store);
    window.on_created();
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) return 1;
    if (argc < 3) return 0;
    qb::manager::ManagerWindow* manager = window.open_manager();
    if (!manager) return 1;
    QApplication::processEvents();
    return manager->grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
