// Renders the main window at its defaults into a PNG (for the README); with a folder, also the
// manager, SQL query, user and create-table windows there, logged in with the default
// settings (the local server must be running).
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "manager/create_table_window.h"
#include "manager/manager_window.h"
#include "manager/sql_window.h"
#include "manager/user_window.h"
#include "persist/config_store.h"

namespace {

bool save(QWidget* w, const std::string& path) {
    w->show();
    QApplication::processEvents();
    return w->grab().save(QString::fromStdString(path));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: main_window_screenshot OUT.png [FOLDER]\n");
        return 2;
    }
    QApplication app(argc, argv);
    qb::persist::ConfigStore store;  // no file: the shipped defaults
    qb::app::MainWindow window(store);
    window.on_created();
    if (!save(&window, argv[1])) return 1;
    if (argc < 3) return 0;
    const std::string folder = argv[2];
    qb::manager::ManagerWindow* manager = window.open_manager();
    if (!manager || !save(manager, folder + "/manager.png")) return 1;
    bool ok = save(new qb::manager::SqlWindow(window, manager), folder + "/sql.png");
    ok = save(new qb::manager::UserWindow(window, manager), folder + "/users.png") && ok;
    qb::manager::CreateTableWindow* create = window.open_create_table();
    return create && save(create, folder + "/create-table.png") && ok ? 0 : 1;
}
