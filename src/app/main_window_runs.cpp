// The import and export buttons, dropped files and the configuration buttons of the main window.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "app/main_window.h"
#include "app/start_program.h"
#include "db/connection.h"
#include "export/export_run.h"
#include "import/collect.h"
#include "import/import_run.h"
#include "persist/config_store.h"
#include "platform/config_files.h"
#include "platform/paths.h"
#include "platform/qtext.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/path_text.h"

namespace qb::app {

using platform::from_qstring;
using platform::to_qstring;
using text::G;

namespace {

bool is_folder(const std::string& native) {
    struct stat st;
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& native) {
    struct stat st;
    return ::stat(native.c_str(), &st) == 0;
}

std::string lower_extension(const std::string& path) {
    std::string e = text::extension(path);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

}  // namespace

// The window as a run sees it; button: the run's button, whose caption shows the progress.
class WindowRunHost : public mapping::RunHost {
  public:
    WindowRunHost(MainWindow& w, const char* button, const bool& stop)
        : w_(w), button_(button), stop_(stop) {}
    void message(const std::string& text) override {
        platform::ui().message(text, {}, platform::Icon::None, &w_);
    }
    void focus(Box box) override {
        const char* name = box == Box::Database ? "编辑框库名"
                           : box == Box::Table  ? "编辑框表名"
                                                : "编辑框文章目录";
        w_.unit<QLineEdit>(name)->setFocus();
    }
    void pump() override { platform::ui().pump(); }
    bool stop_requested() override { return stop_; }
    bool ctrl_held() override { return platform::ui().ctrl_held(); }
    std::vector<mapping::FieldMapping> field_rows() override { return w_.field_rows(); }
    void set_field_name(const mapping::FieldMapping& row, size_t,
                        const std::string& name) override {
        if (QTreeWidgetItem* it = w_.field_item_by_id(row.id)) it->setText(0, to_qstring(name));
    }
    void set_button_caption(const std::string& caption) override {
        w_.unit<QPushButton>(button_)->setText(to_qstring(caption));
    }
    void set_window_caption(const std::string& caption) override {
        w_.setWindowTitle(to_qstring(caption));
    }
    // The run goes on: the caption and the button's tooltip say it, the summary again.
    void notice(const std::string& text) override {
        w_.setWindowTitle(to_qstring(text));
        w_.show_server_in_use();
    }

  private:
    MainWindow& w_;
    const char* button_;
    const bool& stop_;
};

std::string MainWindow::text_of(const char* name) const {
    return from_qstring(unit<QLineEdit>(name)->text());
}

void MainWindow::start_import(bool whole_pattern) {
    if (busy_.running() == platform::Loop::Import) {
        busy_.request_stop();
        return;
    }
    while_running(platform::Loop::Import, [&] { collect_and_import(whole_pattern); });
}

void MainWindow::while_running(platform::Loop run, const std::function<void()>& work) {
    // Ending the scope closes the window if a close was asked for during the run.
    if (platform::Busy::Scope scope = busy_.begin(run, this)) work();
}

void MainWindow::collect_and_import(bool whole_pattern) {
    auto& ui = platform::ui();
    const std::string folder = text_of("编辑框文章目录");
    const std::string native = platform::native_path(folder);
    if (folder.empty() || !exists(native)) {
        ui.message(
            G("请先选择要导入到数据库的文章所在目录，或者直接拖放文件列表到本窗口开始导入！"), {},
            platform::Icon::None, this);
        folder_edit_->setFocus();
        return;
    }
    auto* button = unit<QPushButton>("按钮导入");
    button->setText(platform::qtr("正在读取文章列表.."));
    std::vector<std::string> files;
    import::CollectOptions options;
    options.patterns_gbk = text_of("编辑框文件类型");
    options.include_subfolders = unit<QCheckBox>("选择框遍历子目录")->isChecked();
    options.whole_pattern = whole_pattern;
    options.stop_requested = [this] { return busy_.stop_requested(); };
    options.pump = [&ui] { ui.pump(); };
    import::collect_article_files(files, native, options);
    button->setText(to_qstring(import::idle_import_caption()));
    if (files.empty()) {
        ui.message(G("根据文件类型设置[") + options.patterns_gbk +
                       G("]在这个目录中找不到文件：\r\n") + folder,
                   {}, platform::Icon::None, this);
        return;
    }
    run_import(files);
}

// Qualified in full: a line that starts with "import" reads as a module import to the formatter.
qb::import::ImportResult MainWindow::run_import(const std::vector<std::string>& files) {
    import::ImportSettings settings;
    settings.database = text_of("编辑框库名");
    settings.table = text_of("编辑框表名");
    settings.encoding = unit<QComboBox>("组合框文件编码")->currentIndex();
    settings.random_order = unit<QCheckBox>("选择框乱序导入")->isChecked();
    settings.lossless = unit<QCheckBox>("选择框无损")->isChecked();
    settings.time_created = unit<QRadioButton>("单选框创建")->isChecked();
    settings.time_modified = unit<QRadioButton>("单选框修改")->isChecked();
    settings.time_kind = unit<QComboBox>("组合框类型")->currentIndex();
    WindowRunHost host(*this, "按钮导入", busy_.stop_flag());
    const db::PatientAnswers patient(connection_.get());
    return import::run_import(connection_.get(), settings, files, host);
}

void MainWindow::start_export() {
    auto* button = unit<QPushButton>("按钮导出");
    if (busy_.running() == platform::Loop::Export) {
        busy_.request_stop();
        button->setText(platform::qtr("正在停止中.."));
        return;
    }
    exporting::ExportSettings settings;
    settings.database = text_of("编辑框库名");
    settings.table = text_of("编辑框表名");
    settings.folder = platform::native_path(text_of("编辑框文章目录"));
    settings.types = text_of("编辑框文件类型");
    settings.encoding = unit<QComboBox>("组合框文件编码")->currentIndex();
    settings.lossless = unit<QCheckBox>("选择框无损")->isChecked();
    WindowRunHost host(*this, "按钮导出", busy_.stop_flag());
    const db::PatientAnswers patient(connection_.get());
    while_running(platform::Loop::Export,
                  [&] { exporting::run_export(connection_.get(), settings, host); });
}

void MainWindow::import_dropped_file(int count, int position, const std::string& native) {
    auto& ui = platform::ui();
    if (count == 1) {
        const std::string path = platform::program_path(native);
        if (is_folder(native)) {
            folder_edit_->setText(to_qstring(path));
            return;
        }
        const std::string ext = lower_extension(native);
        if (ext == "mdb") {
            unit<QLineEdit>("编辑框服务器")->setText(to_qstring(path));
            return;
        }
        if (ext == "ini") {
            if (busy_.refuse(this)) return;
            platform::import_config_file(native, G("主界面"), this,
                                         [this](persist::ConfigStore& store) {
                                             load_config(store);
                                             return std::string();
                                         });
            return;
        }
    }
    if (position == 1) dropped_files_.clear();
    if (!is_folder(native)) dropped_files_.push_back(native);
    if (position != count) return;
    if (!ui.ask_ok_cancel(
            G("确定要导入被拖放的 ") + text::int_text(static_cast<int64_t>(dropped_files_.size())) +
                G(" 个文件到表[") + text_of("编辑框表名") + G("]中吗？请首先设置好所有参数"),
            {}, this))
        return;
    if (busy_.running() == platform::Loop::Import) {
        ui.message(G("已经有导入在执行，请稍后！"), {}, platform::Icon::None, this);
        return;
    }
    const std::vector<std::string> files = dropped_files_;
    while_running(platform::Loop::Import, [&] { run_import(files); });
}

void MainWindow::load_config(persist::ConfigStore& store) {
    restore_field_list(store);
    select_source();
}

void MainWindow::export_config() {
    platform::export_window_config(unit<QPushButton>("按钮导出配置"),
                                   unit<QPushButton>("按钮导入配置"), this,
                                   [this](persist::ConfigStore& store) { save_field_list(store); });
}

void MainWindow::import_config() {
    // The field list it replaces is the one a running import reads.
    if (busy_.refuse(this)) return;
    platform::import_window_config(unit<QPushButton>("按钮导出配置"),
                                   unit<QPushButton>("按钮导入配置"), this, G("主界面"),
                                   [this](persist::ConfigStore& store) {
                                       load_config(store);
                                       return std::string();
                                   });
}

}  // namespace qb::app
