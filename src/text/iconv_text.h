// Conversion between program text (GBK) and UTF-8 through glibc iconv.
#pragma once

#include <string>
#include <string_view>

namespace qb::text {

// UTF-8 to GBK. A character GBK cannot hold, and every invalid UTF-8 byte, becomes "?".
std::string utf8_to_gbk(std::string_view utf8);

// GBK to UTF-8. A byte that starts no valid GBK character becomes U+FFFD.
std::string gbk_to_utf8(std::string_view gbk);

// Program-text literal: the UTF-8 literals of the source code as GBK.
inline std::string G(std::string_view utf8) { return utf8_to_gbk(utf8); }

}  // namespace qb::text
