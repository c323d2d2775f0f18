#include "text/iconv_text.h"

#include <gtest/gtest.h>

namespace qb::text {
namespace {

TEST(IconvText, RoundTripAndReplacements) {
    const std::string gbk = utf8_to_gbk("Tarvo·Quillbase 中文");
    EXPECT_EQ(gbk, "Tarvo\xA1\xA4Quillbase \xD6\xD0\xCE\xC4");
    EXPECT_EQ(gbk_to_utf8(gbk), "Tarvo·Quillbase 中文");
    // Outside GBK, and broken UTF-8: one "?" each, the rest kept.
    EXPECT_EQ(utf8_to_gbk("a😀b"), "a?b");
    EXPECT_EQ(utf8_to_gbk("a\xE4\xB8z"), "a??z");
    // A lone lead byte at the end of GBK text.
    EXPECT_EQ(gbk_to_utf8("ab\x81"), "ab\xEF\xBF\xBD");
    EXPECT_EQ(utf8_to_gbk(""), "");
    // Long input grows the buffer.
    std::string big(100000, 'x');
    big += "中";
    EXPECT_EQ(gbk_to_utf8(utf8_to_gbk(big)), big);
}

}  // namespace
}  // namespace qb::text
