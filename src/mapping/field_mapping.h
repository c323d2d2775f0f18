// One row of the field list: which column receives which data source, with the source's
// options joined into one text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qb::mapping {

struct FieldMapping {
    std::string field;    // column name or 1-based column position
    std::string source;   // one of the eleven source names (or another text such as 请设置)
    std::string options;  // option values joined by the options separator
    // Which row of a list this is, for as long as the row lives (rows may be deleted or added
    // above it during a run); 0 where the list has no ids and the position stands for it.
    uint64_t id = 0;
};

// Index of each data source: also the item of the source combo box and the page of the
// option tab control.
enum Source : int {
    kFileBaseName = 0,   // 文件主名
    kFileContent = 1,    // 文件内容
    kPageTitle = 2,      // 网页标题
    kSummary = 3,        // 内容摘要
    kFileTime = 4,       // 文件时间
    kRandomChinese = 5,  // 随机汉字
    kRandomAlnum = 6,    // 随机数母
    kRandomTime = 7,     // 随机时间
    kRandomPhrase = 8,   // 随机词组
    kParentFolder = 9,   // 父目录名
    kFixedText = 10,     // 固定文本
    kSourceCount = 11,
};

// The eleven source names in index order (GBK).
const std::vector<std::string>& source_names();
// Index of a source name, -1 for any other text.
int source_index(const std::string& name);

// "┊?┊", the separator of option values.
const std::string& options_separator();
// The options text of a source from its option values in their fixed order: "无" for the
// sources without options, the text alone for fixed text, empty for an unknown index.
std::string build_options_text(int source, const std::vector<std::string>& values);
// The option values of an options text: at most the first 100 parts.
std::vector<std::string> split_options(const std::string& options);
// Part i (0-based) of split options, empty text beyond the last.
const std::string& option_at(const std::vector<std::string>& parts, size_t i);

// "真" / "假", and only "真" reads as true.
const std::string& true_text();
const std::string& false_text();
inline const std::string& bool_text(bool v) {
    return v ? true_text() : false_text();
}
bool is_true_text(const std::string& s);

// The rows a field list starts with when nothing is stored.
std::vector<FieldMapping> default_field_rows();

// Headers of the field list's three columns, which also name the stored cells.
const std::vector<std::string>& field_list_headers();

}  // namespace qb::mapping
