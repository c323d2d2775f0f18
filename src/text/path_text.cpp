#include "text/path_text.h"

#include "text/gbk.h"

namespace qb::text {

namespace {
const std::string kSep(1, kPathSeparator);
}

std::string join_path(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (a.back() == kPathSeparator) return a + b;
    return a + kPathSeparator + b;
}

std::string parent_path(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == kPathSeparator) p.pop_back();
    int slash = rfind(p, kSep);
    if (slash == -1) return {};
    if (slash == 1) return kSep;
    return p.substr(0, static_cast<size_t>(slash - 1));
}

std::string file_name(const std::string& path) {
    int slash = rfind(path, kSep);
    return slash == -1 ? path : path.substr(static_cast<size_t>(slash));
}

std::string base_name(const std::string& path) {
    std::string name = file_name(path);
    int dot = rfind(name, ".");
    return dot == -1 ? name : name.substr(0, static_cast<size_t>(dot - 1));
}

std::string extension(const std::string& path) {
    std::string name = file_name(path);
    int dot = rfind(name, ".");
    return dot == -1 ? std::string() : name.substr(static_cast<size_t>(dot));
}

}  // namespace qb::text
