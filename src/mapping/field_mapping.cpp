#include "mapping/field_mapping.h"

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::mapping {

using text::G;

const std::vector<std::string>& source_names() {
    static const std::vector<std::string> names = {
        G("文件主名"), G("文件内容"), G("网页标题"), G("内容摘要"), G("文件时间"), G("随机汉字"),
        G("随机数母"), G("随机时间"), G("随机词组"), G("父目录名"), G("固定文本")};
    return names;
}

int source_index(const std::string& name) {
    const auto& names = source_names();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

const std::string& options_separator() {
    static const std::string sep = G("┊?┊");
    return sep;
}

std::string build_options_text(int source, const std::vector<std::string>& values) {
    switch (source) {
        case kFileBaseName:
        case kFileContent:
        case kParentFolder: {
            static const std::string none = G("无");
            return none;
        }
        case kFixedText:
            return values.empty() ? std::string() : values.front();
        default:
            if (source < 0 || source >= kSourceCount) return {};
            return text::join(values, options_separator());
    }
}

std::vector<std::string> split_options(const std::string& options) {
    return text::split(options, options_separator(), 100);
}

const std::string& option_at(const std::vector<std::string>& parts, size_t i) {
    static const std::string empty;
    return i < parts.size() ? parts[i] : empty;
}

const std::string& true_text() {
    static const std::string t = G("真");
    return t;
}
const std::string& false_text() {
    static const std::string f = G("假");
    return f;
}
bool is_true_text(const std::string& s) {
    return s == true_text();
}

std::vector<FieldMapping> default_field_rows() {
    const auto& n = source_names();
    return {{G("标题"), n[kFileBaseName], {}},
            {G("内容"), n[kFileContent], {}},
            {"title", n[kFileBaseName], {}},
            {"content", n[kFileContent], {}}};
}

const std::vector<std::string>& field_list_headers() {
    static const std::vector<std::string> headers = {G("字段名或位置"), G("数据来源"),
                                                     G("数据配置")};
    return headers;
}

}  // namespace qb::mapping
