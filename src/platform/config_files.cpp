#include "platform/config_files.h"

#include <sys/stat.h>

#include "persist/config_store.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "text/iconv_text.h"

namespace qb::platform {

namespace {

const char* const kConfigFilter = "ini配置文件(*.ini)|*.ini|全部文件(*.*)|*.*";

bool exists(const std::string& native) {
    struct stat st;
    return ::stat(native.c_str(), &st) == 0;
}

void remember(QWidget* export_button, QWidget* import_button, const std::string& path) {
    set_unit_tag(export_button, path);
    set_unit_tag(import_button, path);
}

std::string failure_text(const std::string& what, const std::string& reason,
                         const std::string& native) {
    return what + text::G("\r\n原因：") + reason + text::G("\r\n文件：") + program_path(native);
}

}  // namespace

void attach_store_to_ui(persist::ConfigStore& store) {
    store.set_pump([] { ui().pump(); });
    store.set_alert([](const std::string& message, const std::string& dump) {
        ui().message(message, text::G("Tarvo："), Icon::Warning);
        ui().message(dump);
    });
    store.set_name_encoder(native_path);
}

std::string ask_config_export_path(QWidget* export_button, QWidget* import_button, QWidget* owner) {
    const std::string path =
        ui().pick_save_file(text::G("选择一个文件路径保存当前界面配置："), text::G(kConfigFilter),
                            unit_tag(export_button), owner, /*ask_to_replace=*/false);
    if (path.empty()) return {};
    remember(export_button, import_button, path);
    return native_path(path);
}

std::string ask_config_import_path(QWidget* export_button, QWidget* import_button, QWidget* owner) {
    const std::vector<std::string> chosen =
        ui().pick_open_files(text::G("选择一个先前导出的ini配置文件导入："), text::G(kConfigFilter),
                             OpenPick::AnyName, unit_tag(import_button), owner);
    if (chosen.empty() || chosen.front().empty()) return {};
    std::string path = chosen.front();
    if (!exists(native_path(path))) path += ".ini";
    if (!exists(native_path(path))) {
        ui().message(text::G("请选择一个已存在的ini文件！"), {}, Icon::None, owner);
        return {};
    }
    remember(export_button, import_button, path);
    return native_path(path);
}

bool read_config_file(const std::string& native_path, const std::string& section,
                      const ConfigLoad& load, std::string& reason) {
    persist::ConfigStore store;
    attach_store_to_ui(store);
    store.open_file(native_path);
    if (!store.loaded()) {
        // Loading defaults from a file that could not be read would reset the window.
        reason = store.error();
        return false;
    }
    if (!store.has_section(section)) {
        reason = text::G("文件中没有[") + section + text::G("]节，不是这个窗口导出的配置");
        return false;
    }
    reason = load(store);
    return reason.empty();
}

void import_config_file(const std::string& native_path, const std::string& section, QWidget* owner,
                        const ConfigLoad& load) {
    std::string reason;
    if (read_config_file(native_path, section, load, reason))
        ui().message(text::G("导入配置完成！"), {}, Icon::None, owner);
    else
        ui().message(failure_text(text::G("导入配置失败！"), reason, native_path), {},
                     Icon::Warning, owner);
}

void export_window_config(QWidget* export_button, QWidget* import_button, QWidget* owner,
                          const std::function<void(persist::ConfigStore&)>& save) {
    const std::string path = ask_config_export_path(export_button, import_button, owner);
    if (path.empty()) return;
    persist::ConfigStore store;
    attach_store_to_ui(store);
    if (store.open_file(path)) {
        persist::ConfigStore::Batch once(store);
        save(store);
    }
    if (store.error().empty())
        ui().message(text::G("导出配置完成！"), {}, Icon::None, owner);
    else
        ui().message(failure_text(text::G("导出配置失败！"), store.error(), path), {},
                     Icon::Warning, owner);
}

void import_window_config(QWidget* export_button, QWidget* import_button, QWidget* owner,
                          const std::string& section, const ConfigLoad& load) {
    const std::string path = ask_config_import_path(export_button, import_button, owner);
    if (!path.empty()) import_config_file(path, section, owner, load);
}

}  // namespace qb::platform
