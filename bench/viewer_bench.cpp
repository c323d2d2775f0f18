// The table viewer (查看记录) and the SQL window on a large table, through the real windows
// (offscreen): when the first rows are painted, when every row can be reached, the paint of
// the last row after scrolling there, the tab-separated export, and the peak resident memory.
//   viewer_bench HOST:PORT USER PASSWORD DATABASE TABLE viewer|sql EXPORT.csv
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "manager/manager_window.h"
#include "manager/result_list.h"
#include "manager/sql_window.h"
#include "manager/table_viewer.h"
#include "persist/config_store.h"
#include "platform/qt_ui.h"
#include "platform/qtext.h"
#include "text/iconv_text.h"

namespace {

using qb::platform::qtr;
using qb::platform::to_qstring;

// The real pump and dialogs, but the export's file named here.
class BenchUi : public qb::platform::QtUi {
  public:
    std::string save_path;
    std::string pick_save_file(const std::string&, const std::string&, const std::string&, QWidget*,
                               bool) override {
        return save_path;
    }
    void message(const std::string& text, const std::string&, qb::platform::Icon,
                 QWidget*) override {
        last_message = text;
    }
    std::string last_message;
};

// Seconds since the clock started at the first paint of list with rows.
class FirstPaint : public QObject {
  public:
    FirstPaint(qb::manager::ResultList* list, const QElapsedTimer& clock)
        : list_(list), clock_(clock) {}
    double seconds = -1;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && seconds < 0 && list_->row_count() > 0)
            seconds = clock_.elapsed() / 1000.0;
        return false;
    }

  private:
    qb::manager::ResultList* list_;
    const QElapsedTimer& clock_;
};

long peak_resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void select_row(QListWidget* list, const std::string& caption) {
    for (int r = 0; r < list->count(); ++r)
        if (qb::platform::from_qstring(list->item(r)->text()) == caption) {
            list->clearSelection();
            list->setCurrentRow(r);
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) {
        std::fprintf(stderr,
                     "usage: viewer_bench HOST:PORT USER PASSWORD DATABASE TABLE viewer|sql "
                     "EXPORT.csv\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchUi ui;
    ui.save_path = argv[7];
    qb::platform::set_ui(&ui);
    const std::string database = argv[4], table = argv[5], mode = argv[6];
    qb::persist::ConfigStore store;
    qb::app::MainWindow window(store);
    window.on_created();
    window.unit<QLineEdit>("编辑框服务器")->setText(QString::fromUtf8(argv[1]));
    window.unit<QLineEdit>("编辑框用户名")->setText(QString::fromUtf8(argv[2]));
    window.unit<QLineEdit>("编辑框密码")->setText(QString::fromUtf8(argv[3]));
    window.toggle_connection();
    if (!window.connection()) return 1;
    qb::manager::ManagerWindow* manager = window.open_manager();
    select_row(manager->unit<QListWidget>("超级列表框库列表"), database);
    QApplication::processEvents();

    QElapsedTimer clock;
    qb::manager::ResultList* list = nullptr;
    QWidget* owner = nullptr;
    FirstPaint* first = nullptr;
    clock.start();
    if (mode == "viewer") {
        select_row(manager->unit<QListWidget>("超级列表框表列表"), table);
        // The viewer is made by the first open; its list is watched from its first paint.
        manager->open_viewer(true);
        qb::manager::TableViewer* viewer = manager->viewer();
        list = viewer->list();
        owner = viewer;
        first = new FirstPaint(list, clock);
        list->viewport()->installEventFilter(first);
        clock.restart();
        manager->open_viewer(false);
    } else {
        auto* sql = new qb::manager::SqlWindow(window, manager);
        sql->show();
        list = sql->results();
        owner = sql;
        first = new FirstPaint(list, clock);
        list->viewport()->installEventFilter(first);
        sql->set_sql_text("select * from " + database + "." + table + ";");
        clock.restart();
        sql->run();
        sql->statements()->setCurrentItem(sql->statements()->topLevelItem(0));
        QApplication::processEvents();
    }
    const double all_rows = clock.elapsed() / 1000.0;
    clock.restart();
    list->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex last = list->model()->index(list->row_count() - 1, 0);
    const bool last_shown = list->visualRect(last).isValid() && !last.data().toString().isEmpty();
    const double to_last = clock.elapsed() / 1000.0;
    // QB_BENCH_SHOT=FILE.png: how the window looks with the last rows on screen.
    if (const char* shot = std::getenv("QB_BENCH_SHOT"))
        owner->grab().save(QString::fromUtf8(shot));
    clock.restart();
    qb::manager::export_list_rows(*list, window.busy(), owner);
    const double exported = clock.elapsed() / 1000.0;
    std::printf("rows %d\nfirst_rows_painted_s %.3f\nall_rows_reachable_s %.3f\n",
                list->row_count(), first->seconds, all_rows);
    std::printf("scroll_to_last_row_s %.3f (last row painted: %s)\nexport_s %.3f (%s)\n", to_last,
                last_shown ? "yes" : "no", exported,
                qb::text::gbk_to_utf8(ui.last_message).c_str());
    std::printf("peak_resident_mb %.1f\n", peak_resident_kb() / 1024.0);
    qb::platform::set_ui(nullptr);
    return 0;
}
