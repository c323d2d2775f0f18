// Conversion between charsets through glibc iconv, and between program text (GBK) and UTF-8
// or UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/gbk.h"

namespace qb::text {

// Converts bytes from one charset to another by iconv name. A sequence the source cannot hold
// or the target cannot take becomes "?" (in the target's form). ok (when given) is false when
// iconv knows neither name pair; the result is then empty.
std::string convert_charset(std::string_view in, const char* from, const char* to,
                            bool* ok = nullptr);

// UTF-8 to program text. A character GBK cannot hold (unless lossless: then it takes its
// four-byte form), and every invalid UTF-8 byte, becomes "?".
std::string utf8_to_gbk(std::string_view utf8, bool lossless = lossless_text());
// Program text to UTF-8. A byte that starts no valid character becomes U+FFFD.
std::string gbk_to_utf8(std::string_view gbk, bool lossless = lossless_text());
// Lossless program text to UTF-8 for the server: a byte that starts no character is kept as
// it is, so that the server refuses the value with its own reason, as it does a GBK one.
std::string program_to_server_utf8(std::string_view text);
// Program text to UTF-16 (host order) and back; as above, "?" for what the target cannot hold.
std::u16string gbk_to_utf16(std::string_view gbk, bool lossless = lossless_text());
std::string utf16_to_gbk(std::u16string_view utf16, bool lossless = lossless_text());
// The program text of one code point ("?" for one the mode cannot hold; empty for 0).
std::string code_point_text(uint32_t code_point, bool lossless = lossless_text());
// Program text as GBK bytes alone: each four-byte form becomes "?".
std::string plain_gbk(std::string_view text);

// Program-text literal: the UTF-8 literals of the source code as GBK.
inline std::string G(std::string_view utf8) {
    return utf8_to_gbk(utf8);
}

}  // namespace qb::text
