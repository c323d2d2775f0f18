#include "platform/paths.h"

#include <unistd.h>

#include <filesystem>

#include "text/iconv_text.h"

namespace qb::platform {

std::string native_path(const std::string& program_path) {
    return text::gbk_to_utf8(program_path);
}

std::string program_path(const std::string& native) {
    return text::utf8_to_gbk(native);
}

std::string executable_folder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

bool folder_writable(const std::string& native_folder) {
    return ::access(native_folder.c_str(), W_OK | X_OK) == 0;
}

std::string manual_path(std::vector<std::string>* searched) {
    const std::filesystem::path beside = executable_folder();
    const std::filesystem::path places[] = {beside, beside.parent_path(),
                                            beside.parent_path().parent_path(), QB_DOC_DIR};
    for (const std::filesystem::path& folder : places) {
        const std::string file = (folder / "README.md").lexically_normal().string();
        if (searched) searched->push_back(file);
        if (::access(file.c_str(), R_OK) == 0) return file;
    }
    return {};
}

}  // namespace qb::platform
