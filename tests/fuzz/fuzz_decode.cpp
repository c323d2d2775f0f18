// libFuzzer target comparing ReadArticleText with iconv: the input is read as characters
// (three bytes each, any code point), written in one of the article code pages, and the
// article text must be, character for character, what iconv makes of each character in GBK,
// with one "?" for each character GBK lacks (and for the euro sign, which iconv writes as 80
// and no server's gbk takes); in the lossless mode, each character's own form. Built by
// scripts/fuzz with clang.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text/codepage.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace {

// One character through iconv; nothing when the charset cannot hold it. (Unicode's tag
// characters, U+E0000 to U+E007F, come through as empty text: iconv drops them.)
std::optional<std::string> through(const char* to, char32_t c) {
    iconv_t cd = iconv_open(to, "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) __builtin_trap();
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF),
                  static_cast<char>(c >> 16 & 0xFF), 0};
    char out[16];
    char* src = in;
    char* dst = out;
    size_t src_left = 4, dst_left = sizeof out;
    const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    return std::string(out, sizeof out - dst_left);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qb::text;
    if (size < 1) return 0;
    // The code page: 1 GBK, 2 UTF-8, 3 UTF-16LE, 4 UTF-16BE, 5 Big5 (6, Big5-HKSCS, combines
    // some pairs of characters into one and is left to the other target).
    const int code = 1 + data[0] % 5;
    const bool lossless = (data[0] & 0x80) != 0;
    const qb::text::LosslessText mode(lossless);
    const char* names[] = {"", "GBK", "UTF-8", "UTF-16LE", "UTF-16BE", "BIG5"};
    std::string bytes, expected;
    for (size_t i = 1; i + 3 <= size; i += 3) {
        char32_t c = (static_cast<char32_t>(data[i]) | static_cast<char32_t>(data[i + 1]) << 8 |
                      static_cast<char32_t>(data[i + 2]) << 16) %
                     0x110000;
        // Surrogates are no characters, a zero byte ends the text, a leading U+FEFF is a mark.
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0 || c == 0xFEFF) continue;
        if (code != 1 && code != 5 && i % 2) c %= 0x80;  // plenty of ASCII too
        const std::optional<std::string> encoded = through(names[code], c);
        if (!encoded || encoded->empty()) continue;  // the code page cannot write it
        bytes += *encoded;
        // GBK's own form: two bytes, ASCII, or nothing for a tag character (iconv drops them).
        const std::optional<std::string> gbk = through("GBK", c);
        const bool tag = c >= 0xE0000 && c <= 0xE007F;
        const bool gbk_has = gbk && (gbk->size() == 2 || c < 0x80 || (tag && !lossless));
        expected += code == kAnsi ? *encoded  // taken as it is
                    : gbk_has     ? *gbk
                    : lossless    ? code_point_text(c)
                                  : "?";
    }
    if (code == kUtf16Le) bytes = "\xFF\xFE" + bytes;
    if (code == kUtf16Be) bytes = "\xFE\xFF" + bytes;
    int used = -1;
    const std::string text = ReadArticleText("", code, &used, bytes);
    // Without any character the bytes (a mark alone) are taken as they are.
    if (!expected.empty() && text != expected) __builtin_trap();
    return 0;
}
