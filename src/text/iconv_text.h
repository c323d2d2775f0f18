// Conversion between charsets through glibc iconv, and between program text (GBK) and UTF-8
// or UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace qb::text {

// Converts bytes from one charset to another by iconv name. A sequence the source cannot hold
// or the target cannot take becomes "?" (in the target's form). ok (when given) is false when
// iconv knows neither name pair; the result is then empty.
std::string convert_charset(std::string_view in, const char* from, const char* to,
                            bool* ok = nullptr);

// UTF-8 to GBK. A character GBK cannot hold, and every invalid UTF-8 byte, becomes "?".
std::string utf8_to_gbk(std::string_view utf8);
// GBK to UTF-8. A byte that starts no valid GBK character becomes U+FFFD.
std::string gbk_to_utf8(std::string_view gbk);
// GBK to UTF-16 (host order) and back; as above, "?" for what the target cannot hold.
std::u16string gbk_to_utf16(std::string_view gbk);
std::string utf16_to_gbk(std::u16string_view utf16);

// Program-text literal: the UTF-8 literals of the source code as GBK.
inline std::string G(std::string_view utf8) {
    return utf8_to_gbk(utf8);
}

}  // namespace qb::text
