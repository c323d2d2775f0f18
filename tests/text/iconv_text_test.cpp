#include "text/iconv_text.h"

#include <gtest/gtest.h>

#include <optional>

#include "test_util.h"

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

#include <iconv.h>

namespace qb::text {
namespace {

std::string utf8_of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// The table-driven UTF-8 decoder gives what glibc's own UTF-8 to GBK conversion gives, for
// every character of the basic plane and for malformed input; but for the euro sign, which
// glibc writes as the single byte 80 and the server's gbk refuses.
TEST(IconvText, FastUtf8MatchesIconvOnTheWholeBasicPlane) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int mismatches = 0;
    for (uint32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string in = utf8_of(cp);
        char out[8];
        char* src = in.data();
        char* dst = out;
        size_t src_left = in.size(), dst_left = sizeof out;
        std::string expected =
            iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)
                ? "?"
                : std::string(out, sizeof out - dst_left);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (expected.size() == 1 && cp >= 0x80) expected = "?";
        if (convert_charset(in, "UTF-8", "GBK") != expected && ++mismatches < 5)
            ADD_FAILURE() << "U+" << std::hex << cp;
    }
    iconv_close(cd);
    EXPECT_EQ(mismatches, 0);
    // Overlong forms, surrogates, broken and cut-off sequences: "?" each, nothing else lost.
    EXPECT_EQ(utf8_to_gbk("a\xC0\xAF"
                          "b"),
              "a?b");
    EXPECT_EQ(utf8_to_gbk("\xED\xA0\x80"), "?");
    EXPECT_EQ(utf8_to_gbk("\xE4x\xB8"), "?x?");
    EXPECT_EQ(utf8_to_gbk("x\xE4\xB8"), "x?");
}

// The tables between program text and UTF-16 give iconv's own answer for every GBK byte and
// pair and for every UTF-16 unit (the euro sign aside: see above).
TEST(Utf16Tables, AgreeWithIconvEverywhere) {
    iconv_t to16 = iconv_open("UTF-16LE", "GBK"), from16 = iconv_open("GBK", "UTF-16LE");
    ASSERT_NE(to16, reinterpret_cast<iconv_t>(-1));
    ASSERT_NE(from16, reinterpret_cast<iconv_t>(-1));
    auto run = [](iconv_t cd, std::string in) -> std::optional<std::string> {
        char out[8];
        char* src = in.data();
        char* dst = out;
        size_t src_left = in.size(), dst_left = sizeof out;
        const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (!ok || src_left) return std::nullopt;
        return std::string(out, sizeof out - dst_left);
    };
    int mismatches = 0;
    auto check_gbk = [&](const std::string& in) {
        const std::optional<std::string> b = run(to16, in);
        std::u16string expected =
            b && b->size() == 2
                ? std::u16string(1, static_cast<char16_t>(static_cast<unsigned char>((*b)[0]) |
                                                          static_cast<unsigned char>((*b)[1]) << 8))
                : u"\uFFFD";
        if (gbk_to_utf16(in) != expected && ++mismatches < 5) ADD_FAILURE() << in;
        // And to UTF-8, by the same table.
        if (gbk_to_utf8(in) !=
                convert_charset(std::string(reinterpret_cast<const char*>(expected.data()), 2),
                                "UTF-16LE", "UTF-8") &&
            ++mismatches < 5)
            ADD_FAILURE() << "utf-8 " << in;
    };
    for (int b = 0; b < 0x100; ++b) check_gbk(std::string(1, static_cast<char>(b)));
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) check_gbk({static_cast<char>(lead), static_cast<char>(trail)});
    for (uint32_t v = 0; v < 0x10000; ++v) {
        if (v >= 0xD800 && v <= 0xDFFF) continue;
        const std::optional<std::string> g =
            run(from16, {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)});
        const char16_t unit = static_cast<char16_t>(v);
        const std::string expected = g && (g->size() == 2 || v < 0x80) ? *g : "?";
        if (utf16_to_gbk(std::u16string_view(&unit, 1)) != expected && ++mismatches < 5)
            ADD_FAILURE() << "U+" << std::hex << v;
    }
    iconv_close(to16);
    iconv_close(from16);
    EXPECT_EQ(mismatches, 0);
    // A pair outside the basic plane and a lone half: one "?" each.
    EXPECT_EQ(utf16_to_gbk(u"a\U0001F600b" + std::u16string(1, char16_t{0xD800}) + u"z"), "a?b?z");
}

// The lossless mode holds every Unicode scalar value: UTF-8, UTF-16 (host order and through
// iconv's UTF-16LE/BE and UTF-32) to program text and back give the same characters, GBK's
// own characters keep their GBK bytes, and what is no character (a lone half of a pair, a
// malformed byte) is what it was in GBK.
TEST(IconvText, TheLosslessModeHoldsEveryCharacter) {
    std::string utf8;
    std::u16string utf16;
    for (uint32_t cp = 1; cp < 0x110000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const char32_t c = cp;
        utf8 +=
            convert_charset(std::string(reinterpret_cast<const char*>(&c), 4), "UTF-32LE", "UTF-8");
    }
    utf16 = gbk_to_utf16(utf8_to_gbk(utf8, true), true);
    const LosslessText on(true);
    const std::string program = utf8_to_gbk(utf8);
    EXPECT_EQ(gbk_to_utf8(program), utf8);
    EXPECT_EQ(program_to_server_utf8(program), utf8);
    EXPECT_EQ(convert_charset(program, "GBK", "UTF-8"), utf8);
    EXPECT_EQ(gbk_to_utf16(program), utf16);
    EXPECT_EQ(utf16_to_gbk(utf16), program);
    EXPECT_EQ(convert_charset(utf8, "UTF-8", "UTF-16BE"),
              convert_charset(program, "GBK", "UTF-16BE"));
    for (const char* form : {"UTF-16LE", "UTF-16BE", "UTF-32LE"})
        EXPECT_EQ(convert_charset(convert_charset(utf8, "UTF-8", form), form, "GBK"), program)
            << form;
    // Each character counts once; a GBK character is its GBK bytes, and GBK text is the same
    // text in both modes.
    EXPECT_EQ(char_count(program), 0x110000u - 0x800 - 1);
    EXPECT_EQ(utf8_to_gbk("中文€😀"),
              G("中文") + code_point_text(0x20AC) + code_point_text(0x1F600));
    EXPECT_EQ(code_point_text(0x20AC).size(), 4u);
    EXPECT_EQ(code_point_text(0x20AC, false), "?");
    EXPECT_EQ(plain_gbk(utf8_to_gbk("中€😀x")), G("中??x"));
    // Not characters: "?" from UTF-8 and UTF-16 as in GBK; to the server, a byte that starts
    // no character stays itself (the server refuses it with its own reason).
    EXPECT_EQ(utf8_to_gbk("a\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80z"),
              "a??"
              "?z");
    EXPECT_EQ(utf16_to_gbk(std::u16string(1, char16_t{0xDC00}) + u"z"), "?z");
    EXPECT_EQ(program_to_server_utf8("a\x80\x81 b\xFF"), "a\x80\x81 b\xFF");
    EXPECT_EQ(gbk_to_utf8("a\x80"), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qb::text
