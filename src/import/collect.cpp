#include "import/collect.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/path_text.h"
#include "text/regex.h"

namespace qb::import {

namespace {

// The entries of a folder that are files (or sub-folders), sorted by name. Symbolic links to
// folders are not followed, so a link loop cannot make the walk endless.
// A folder of 100,000 entries takes long enough to list that events must run meanwhile: every
// few hundred entries, options' pump runs and a stop request ends the listing.
std::vector<std::string> folder_entries(const std::string& folder, bool want_folders,
                                        const CollectOptions* options = nullptr) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    size_t seen = 0;
    while (dirent* e = ::readdir(d)) {
        if (options && (++seen & 0xFF) == 0) {
            if (options->pump) options->pump();
            if (options->stop_requested && options->stop_requested()) break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        const std::string full = text::join_path(folder, name);
        if (::lstat(full.c_str(), &st) != 0) continue;
        bool is_folder = S_ISDIR(st.st_mode);
        bool is_file = S_ISREG(st.st_mode);
        if (S_ISLNK(st.st_mode)) {
            struct stat target;
            is_file = ::stat(full.c_str(), &target) == 0 && S_ISREG(target.st_mode);
        }
        if (want_folders ? is_folder : is_file) names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A wildcard of the file-type box: "*.*" is every name, as on the desktop systems it comes
// from; letters compare without regard to case.
bool wildcard_match(const std::string& pattern_utf8, const std::string& name) {
    if (pattern_utf8 == "*.*" || pattern_utf8 == "*") return true;
    return ::fnmatch(pattern_utf8.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace

namespace {

void list_matching(const std::string& folder, const std::string& patterns_gbk,
                   std::vector<std::string>& out, bool want_folders,
                   const CollectOptions* options) {
    if (want_folders) out.clear();
    const std::string text = patterns_gbk.empty() ? "*.*" : patterns_gbk;
    const std::vector<std::string> names = folder_entries(folder, want_folders, options);
    for (const std::string& pattern : text::split(text, "|")) {
        const std::string p = text::gbk_to_utf8(text::trim_spaces(pattern));
        for (const std::string& name : names)
            if (want_folders || wildcard_match(p, name))
                out.push_back(text::join_path(folder, name));
    }
}

void list_whole_pattern(const std::string& folder, const std::string& pattern_gbk,
                        std::vector<std::string>& out, bool want_folders,
                        const CollectOptions* options) {
    if (want_folders) out.clear();
    const std::string pattern = pattern_gbk.empty() ? "*" : pattern_gbk;
    std::function<bool(const std::string&)> accept;
    if (pattern == "*.*" || pattern == "*") {
        accept = [](const std::string&) { return true; };
    } else if (pattern.rfind("*.", 0) == 0 && pattern.find('*', 1) == std::string::npos) {
        const std::string ending = lower(pattern.substr(1));
        accept = [ending](const std::string& name_gbk) {
            const std::string n = lower(name_gbk);
            return n.size() >= ending.size() &&
                   n.compare(n.size() - ending.size(), ending.size(), ending) == 0;
        };
    } else {
        auto regex = std::make_shared<text::RegexObject>();
        regex->Create(text::RegexObject::EscapeWildcard(pattern));
        accept = [regex](const std::string& name_gbk) { return regex->Execute(name_gbk) > 0; };
    }
    for (const std::string& name : folder_entries(folder, want_folders, options))
        if (accept(text::utf8_to_gbk(name))) out.push_back(text::join_path(folder, name));
}

}  // namespace

void list_folder_entries(const std::string& folder, const std::string& patterns_gbk,
                         std::vector<std::string>& out, bool want_folders) {
    list_matching(folder, patterns_gbk, out, want_folders, nullptr);
}

void list_folder_entries_whole_pattern(const std::string& folder, const std::string& pattern_gbk,
                                       std::vector<std::string>& out, bool want_folders) {
    list_whole_pattern(folder, pattern_gbk, out, want_folders, nullptr);
}

void collect_article_files(std::vector<std::string>& out, const std::string& folder,
                           const CollectOptions& options) {
    if (options.whole_pattern)
        list_whole_pattern(folder, options.patterns_gbk, out, false, &options);
    else
        list_matching(folder, options.patterns_gbk, out, false, &options);
    auto stopped = [&] { return options.stop_requested && options.stop_requested(); };
    if (!options.include_subfolders || stopped()) return;
    std::vector<std::string> subfolders;
    list_matching(folder, {}, subfolders, true, &options);
    for (const std::string& sub : subfolders) {
        if (stopped()) break;
        collect_article_files(out, sub, options);
        if (options.pump) options.pump();
    }
}

}  // namespace qb::import
