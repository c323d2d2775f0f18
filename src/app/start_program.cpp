#include "app/start_program.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/main_window.h"
#include "persist/config_store.h"
#include "platform/accessibility.h"
#include "platform/config_files.h"
#include "platform/paths.h"
#include "platform/qt_ui.h"
#include "platform/ui.h"
#include "text/iconv_text.h"
#include "text/pump.h"

namespace qb::app {

namespace {

int g_signal_pipe[2] = {-1, -1};

void on_termination_signal(int) {
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &c, 1);
}

}  // namespace

// SIGTERM and SIGINT close the window the normal way, from the event loop: first every menu
// and dialog that is open, each of which runs a loop of its own on the stack of the call that
// opened it (closing the windows inside that loop would delete what the call still uses),
// then, once none is left, the window.
void close_on_termination(MainWindow* window) {
    for (int& fd : g_signal_pipe)
        if (fd >= 0) ::close(std::exchange(fd, -1));
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signal_pipe[0], &c, 1);
        platform::set_terminating();
        auto* ending = new QTimer(window);
        QObject::connect(ending, &QTimer::timeout, window, [window, ending] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
                return;
            }
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
                return;
            }
            // A tick after the last one closed: its loop has returned.
            ending->stop();
            window->close();
        });
        ending->start(10);
    });
    struct sigaction sa {};
    sa.sa_handler = on_termination_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

std::string settings_file_path() {
    const std::string file = platform::native_path(platform::program_name() + ".ini");
    const std::string beside = platform::executable_folder();
    // Beside the program in a build or an unpacked copy; an installed program (under /usr,
    // writable only to root) keeps them in the user's configuration folder.
    const bool installed = beside.rfind("/usr/", 0) == 0 || beside == QB_INSTALL_BINDIR;
    if (!installed && platform::folder_writable(beside)) return beside + "/" + file;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = xdg && *xdg ? xdg : std::string(home ? home : ".") + "/.config";
    std::string folder = base + "/" + platform::native_path(platform::program_name());
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder + "/" + file;
}

void attach_text_to_ui() {
    text::set_event_pump([] { platform::ui().pump(); });
}

persist::ConfigStore& program_settings() {
    static persist::ConfigStore store;
    return store;
}

MainWindow& start_program() {
    platform::install_chinese_qt_texts();
    attach_text_to_ui();
    platform::describe_units_of_every_window();
    persist::ConfigStore& store = program_settings();
    platform::attach_store_to_ui(store);
    store.open_file(settings_file_path());

    auto* window = new MainWindow(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->on_created();
    close_on_termination(window);
    // A session that ends without closing the window still keeps its state.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, window,
                     [window] { window->save_state(false); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                     [window] { window->save_state(); });
    window->show();
    return *window;
}

}  // namespace qb::app
