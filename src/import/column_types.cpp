#include "import/column_types.h"

#include "mapping/field_mapping.h"
#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"

namespace qb::import {

const std::string& column_type_list() {
    static const std::string list = text::G(
        "\r\n[0]小数(decimal)\r\n[101]字节(tinyint)\r\n[102]逻辑(bool)\r\n[2]短整数(smallint)"
        "\r\n[3]整数(int)\r\n[9]中等整数(mediumint)\r\n[8]长整数(bigint)\r\n[4]单精度小数(float)"
        "\r\n[5]双精度小数(double)\r\n[7]时间戳(timestamp)\r\n[12]日期与时间(datetime)"
        "\r\n[10]日期(date)\r\n[11]时间(time)\r\n[13]年份(year)\r\n[25202]短文本(tinytext)"
        "\r\n[25203]文本(text)\r\n[25206]中等文本(mediumtext)\r\n[25208]长文本(longtext)"
        "\r\n[25403]字符串(char)\r\n[253]变长字符串(varchar)\r\n[25201]短字节集(tinyblob)"
        "\r\n[25204]字节集(blob)\r\n[25205]中等字节集(mediumblob)\r\n[25207]长字节集(longblob)"
        "\r\n[25401]枚举(enum)\r\n[25402]集合(set)\r\n");
    return list;
}

int lookup_type_code(const std::string& type_name) {
    if (type_name.empty()) return 0;
    int position = 0;
    // The tail "(name)" first, then the nearest line start before it: "[25203]文本".
    const std::string entry =
        text::ExtractBetween(column_type_list(), "\r\n", "(" + type_name + ")", &position,
                             {.reverse = true, .raw = true});
    int inner = 0;
    return static_cast<int>(
        text::to_int(text::ExtractBetween(entry, "[", "]", &inner, {.raw = true})));
}

std::string column_type_label(const std::string& described_type) {
    // The base type ends at the width ("int(11)") or, on servers that print no width, at the
    // attributes ("int unsigned").
    const size_t end = described_type.find_first_of("( ");
    const int code = lookup_type_code(described_type.substr(0, end));
    int position = 0;
    return text::ExtractBetween(column_type_list(), "[" + text::int_text(code) + "]", "\r\n",
                                &position, {.raw = true});
}

std::string type_for_source(const std::string& source) {
    using namespace mapping;
    switch (source_index(source)) {
        case kFileBaseName:
        case kPageTitle:
        case kRandomTime:
        case kParentFolder:
            return "tinytext";
        case kFileContent:
            return "mediumtext";
        case kFileTime:
            return "datetime";
        default:
            return "text";
    }
}

}  // namespace qb::import
