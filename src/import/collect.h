// Collecting the article files of a folder: the file-name patterns of the file-type box, with
// or without sub-folders. Paths are in the file system's form (UTF-8), so that any file name
// can be opened, whatever GBK can show of it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qb::import {

// Each "|"-separated pattern ("*.txt|*.html") searched in turn and its hits appended: a file
// matching two patterns is listed twice. With want_folders, the sub-folders (not followed
// through symbolic links) replace the list. Names are sorted within each search.
void list_folder_entries(const std::string& folder, const std::string& patterns_gbk,
                         std::vector<std::string>& out, bool want_folders);
// The same with the pattern text taken whole, as the right button of the import button does:
// "*.*" or "*" accept every name, "*.ext" compares endings without regard to case, anything
// else matches as an unanchored wildcard expression.
void list_folder_entries_whole_pattern(const std::string& folder, const std::string& pattern_gbk,
                                       std::vector<std::string>& out, bool want_folders);

struct CollectOptions {
    std::string patterns_gbk = "*.*";
    bool include_subfolders = false;
    bool whole_pattern = false;
    std::function<bool()> stop_requested;  // checked before each sub-folder and while listing
    std::function<void()> pump;            // between folders and while listing a large one
};

// Depth first, pre-order: a folder's own files before those of its sub-folders.
void collect_article_files(std::vector<std::string>& out, const std::string& folder,
                           const CollectOptions& options);

}  // namespace qb::import
