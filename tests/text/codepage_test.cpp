#include "text/codepage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "test_util.h"
#include "text/iconv_text.h"

namespace qb::text {
namespace {

using test::G;

std::string enc(const char* utf8, const char* charset) {
    return convert_charset(utf8, "UTF-8", charset);
}

class CodePageTest : public ::testing::Test {
  protected:
    std::string file(const std::string& name, const std::string& bytes) {
        std::string p = dir_.file(name);
        test::write_file(p, bytes);
        return p;
    }
    test::TempDir dir_;
};

TEST_F(CodePageTest, DetectsMarksMetaCharsetsAndUtf8) {
    const char* chinese = "中文文章，测试。";
    int code = -1;
    EXPECT_EQ(ReadArticleText(file("m8", "\xEF\xBB\xBF" + enc(chinese, "UTF-8")), kDetect, &code),
              G(chinese));
    EXPECT_EQ(code, kUtf8);
    EXPECT_EQ(ReadArticleText(file("le", "\xFF\xFE" + enc(chinese, "UTF-16LE")), kDetect, &code),
              G(chinese));
    EXPECT_EQ(code, kUtf16Le);
    EXPECT_EQ(ReadArticleText(file("be", "\xFE\xFF" + enc(chinese, "UTF-16BE")), kDetect, &code),
              G(chinese));
    EXPECT_EQ(code, kUtf16Be);

    // No mark, Chinese in UTF-8: the UTF-8 test decides; with ANSI the bytes stay raw.
    const std::string raw8 = enc(chinese, "UTF-8");
    const std::string p8 = file("n8", raw8);
    EXPECT_EQ(ReadArticleText(p8, kDetect, &code), G(chinese));
    EXPECT_EQ(code, kUtf8);
    EXPECT_EQ(ReadArticleText(p8, kAnsi, &code), raw8);
    EXPECT_EQ(code, kAnsi);

    EXPECT_EQ(ReadArticleText(file("a", "plain ascii"), kDetect, &code), "plain ascii");
    EXPECT_EQ(code, kAnsi);
    EXPECT_EQ(ReadArticleText(file("g", G(chinese)), kDetect, &code), G(chinese));
    EXPECT_EQ(code, kAnsi);

    // UTF-16LE without mark read as Unicode: the first character is taken for the mark.
    EXPECT_EQ(ReadArticleText(file("le0", enc("AB中", "UTF-16LE")), kUtf16Le, &code), G("B中"));

    const std::string big5_page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=\"Big5\"\"><title>" +
        enc("繁體", "BIG5") + "</title></head></html>";
    EXPECT_EQ(
        ReadArticleText(file("b5", big5_page), kDetect, &code).find(G("繁體")) != std::string::npos,
        true);
    EXPECT_EQ(code, kBig5);
    const std::string hk = "<HEAD><META charset='Big5-HKSCS'></HEAD>" + enc("香港", "BIG5-HKSCS");
    ReadArticleText(file("hk", hk), kDetect, &code);
    EXPECT_EQ(code, kBig5Hkscs);
    ReadArticleText(file("hk2", "<head><meta charset=Big5-HKSCS></head>x"), kDetect, &code);
    EXPECT_EQ(code, kBig5);  // the unquoted form already holds charset=Big5
    ReadArticleText(file("gb", "<head><meta charset=gb2312></head>" + G(chinese)), kDetect, &code);
    EXPECT_EQ(code, kAnsi);

    // Well-formed four-byte UTF-8 (an emoji, a rare ideograph) is UTF-8: one "?" each, the
    // rest intact, instead of invalid GBK bytes that the server refuses.
    const std::string emoji = "a\xF0\x9F\x98\x80" + raw8 + "\xF0\xAA\x9A\xB2";
    EXPECT_EQ(ReadArticleText(file("e4", emoji), kDetect, &code), "a?" + G(chinese) + "?");
    EXPECT_EQ(code, kUtf8);
    // Malformed four-byte forms still fail the test (overlong, beyond U+10FFFF, cut short).
    for (const char* bad : {"a\xF0\x8F\x98\x80", "a\xF4\x90\x80\x80", "a\xF0\x9F\x98"}) {
        ReadArticleText(file("e4bad", bad), kDetect, &code);
        EXPECT_EQ(code, kAnsi) << bad;
    }
    // But with a mark, a character GBK lacks becomes "?", never GB18030 bytes.
    EXPECT_EQ(ReadArticleText(file("e4m",
                                   "\xEF\xBB\xBF"
                                   "a\xF0\x9F\x98\x80"
                                   "b"),
                              kDetect, &code),
              "a?b");

    EXPECT_EQ(ReadArticleText(file("empty", ""), kDetect, &code), "");
    EXPECT_EQ(code, kAnsi);
    EXPECT_EQ(ReadArticleText(dir_.file("missing"), kDetect, &code), "");
    EXPECT_EQ(ReadArticleText("", kDetect, &code, "\xEF\xBB\xBF" + raw8), G(chinese));
    EXPECT_EQ(ReadArticleText("", kAnsi, &code, "", "text in"), "text in");
}

TEST_F(CodePageTest, BrokenInputsGiveDefinedText) {
    int code = -1;
    // A mark alone, odd-length UTF-16, truncated UTF-8, NUL and 1A bytes, a lone lead byte.
    EXPECT_EQ(ReadArticleText(file("m", "\xFF\xFE"), kDetect, &code), "\xFF\xFE");
    EXPECT_EQ(code, kAnsi);
    EXPECT_EQ(ReadArticleText(file("odd", std::string("\xFF\xFE"
                                                      "a\0b",
                                                      5)),
                              kDetect, &code),
              "a?");
    EXPECT_EQ(ReadArticleText(file("t8",
                                   "\xEF\xBB\xBF"
                                   "ab\xE4\xB8"),
                              kDetect, &code),
              "ab?");
    const std::string nul = "<head><meta charset=utf-8>" + std::string("\0\x1A", 2);
    ReadArticleText(file("nul", nul), kDetect, &code);
    EXPECT_EQ(code, kUtf8);
    EXPECT_EQ(ReadArticleText(file("lead", "ab\x81"), kDetect, &code), "ab\x81");
}

TEST_F(CodePageTest, WritesTheFourFormsAndRoundTrips) {
    const std::string text = G("导入文章，測試？");
    std::string bytes;
    ASSERT_TRUE(WriteArticleText(dir_.file("u8"), text, kUtf8, &bytes));
    EXPECT_EQ(test::read_file(dir_.file("u8")), "\xEF\xBB\xBF" + enc("导入文章，測試？", "UTF-8"));
    ASSERT_TRUE(WriteArticleText(dir_.file("le"), text, kUtf16Le, &bytes));
    EXPECT_EQ(bytes, "\xFF\xFE" + enc("导入文章，測試？", "UTF-16LE"));
    ASSERT_TRUE(WriteArticleText(dir_.file("be"), text, kUtf16Be, &bytes));
    EXPECT_EQ(bytes, "\xFE\xFF" + enc("导入文章，測試？", "UTF-16BE"));
    ASSERT_TRUE(WriteArticleText(dir_.file("an"), text, kAnsi, &bytes));
    EXPECT_EQ(bytes, text);
    ASSERT_TRUE(WriteArticleText(dir_.file("de"), text, kDetect, &bytes));
    EXPECT_EQ(bytes, text);
    bytes.clear();
    EXPECT_FALSE(WriteArticleText("", text, kUtf8, &bytes));
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_FALSE(WriteArticleText(dir_.file("no/such/folder/x"), text, kAnsi));

    for (const char* name : {"u8", "le", "be", "an"}) {
        int code = -1;
        EXPECT_EQ(ReadArticleText(dir_.file(name), kDetect, &code), text) << name;
    }
    ASSERT_TRUE(WriteArticleText(dir_.file("b5"), G("測試文章"), kBig5, &bytes));
    EXPECT_EQ(ReadArticleText(dir_.file("b5"), kBig5), G("測試文章"));
    // A simplified character that Big5 lacks becomes "?".
    ASSERT_TRUE(WriteArticleText(dir_.file("b5s"), G("导文"), kBig5, &bytes));
    EXPECT_EQ(ReadArticleText(dir_.file("b5s"), kBig5), "?" + G("文"));
}

TEST(Utf8Test, Rules) {
    EXPECT_FALSE(LooksLikeUtf8("ascii only"));
    EXPECT_FALSE(LooksLikeUtf8(""));
    EXPECT_TRUE(LooksLikeUtf8("\xC3\xA9"));
    EXPECT_TRUE(LooksLikeUtf8("a\xE4\xB8\xAD"));
    EXPECT_FALSE(LooksLikeUtf8("\xE4\xB8"));
    EXPECT_TRUE(LooksLikeUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(LooksLikeUtf8("\xF8\x88\x80\x80\x80"));
    EXPECT_FALSE(LooksLikeUtf8(G("中文")));
}

// A character the source has and GBK lacks is one "?", and everything after it is intact,
// whatever the code page; no character is made up from a cut-off sequence.
TEST_F(CodePageTest, ACharacterGbkLacksIsOneQuestionMark) {
    const std::string zhong = enc("中", "BIG5"), wen = enc("文", "BIG5");
    // Big5 A1 45 is a hyphenation point, which GBK lacks; 45 alone would read as "E".
    const std::string big5 = zhong + "\xA1\x45" + wen + "\xA1\x45";
    EXPECT_EQ(ReadArticleText(file("b5", big5), kBig5), G("中?文?"));
    EXPECT_EQ(
        ReadArticleText(file("hk", enc("中", "BIG5-HKSCS") + "\xA1\x45" + enc("文", "BIG5-HKSCS")),
                        kBig5Hkscs),
        G("中?文"));
    // A page that says it is Big5 goes the same way.
    EXPECT_EQ(ReadArticleText(file("b5page", "<head><meta charset=Big5></head>" + big5), kDetect),
              "<head><meta charset=Big5></head>" + G("中?文?"));

    // A surrogate pair of UTF-16 (outside the basic plane) is one character.
    const std::string pair_le(
        "\xFF\xFE"
        "a\0"
        "\x3D\xD8\x00\xDE"
        "b\0",
        10);
    EXPECT_EQ(ReadArticleText(file("sp", pair_le), kDetect), "a?b");
    const std::string pair_be(
        "\xFE\xFF\0a"
        "\xD8\x3D\xDE\x00"
        "\0b",
        10);
    EXPECT_EQ(ReadArticleText(file("spbe", pair_be), kDetect), "a?b");
    // A lone surrogate is one character too.
    EXPECT_EQ(ReadArticleText(file("lone", std::string("\xFF\xFE\x3D\xD8"
                                                       "c\0",
                                                       6)),
                              kDetect),
              "?c");

    // Unicode's tag characters are dropped, as iconv drops them, in UTF-8 as in UTF-16.
    EXPECT_EQ(ReadArticleText(file("tag8",
                                   "a\xF3\xA0\x80\x81"
                                   "b"),
                              kUtf8),
              "ab");
    EXPECT_EQ(ReadArticleText(file("tag16", std::string("\xFF\xFE"
                                                        "a\0"
                                                        "\x40\xDB\x01\xDC"
                                                        "b\0",
                                                        10)),
                              kDetect),
              "ab");

    // UTF-8 cut off at the end: E3 A0 would decode as "à" if its length were taken from what
    // is left; F0 9F 98 as some three-byte character.
    EXPECT_EQ(ReadArticleText(file("cut3", "ab\xE3\xA0"), kUtf8), "ab?");
    EXPECT_EQ(ReadArticleText(file("cut4", "ab\xF0\x9F\x98"), kUtf8), "ab?");
    EXPECT_EQ(ReadArticleText(file("cut3m",
                                   "\xEF\xBB\xBF"
                                   "ab\xE3\xA0"),
                              kDetect),
              "ab?");

    // Big5-HKSCS holds back a final Ê or ê (a combining mark may follow): the write keeps it.
    std::string bytes;
    ASSERT_TRUE(WriteArticleText(dir_.file("hkw"), G("文ê"), kBig5Hkscs, &bytes));
    EXPECT_EQ(ReadArticleText(dir_.file("hkw"), kBig5Hkscs), G("文ê"));
    EXPECT_EQ(bytes, enc("文", "BIG5-HKSCS") + "\x88\xA7");
}

TEST_F(CodePageTest, OnlyRegularFilesAreRead) {
    std::string failure;
    EXPECT_EQ(ReadArticleText(file("ok", "x"), kDetect, nullptr, {}, {}, &failure), "x");
    EXPECT_EQ(failure, "");
    // A FIFO with no writer is not waited for; a device is not read for ever; a folder is
    // not taken for its size.
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir_.path().string()}) {
        EXPECT_EQ(ReadArticleText(path, kDetect, nullptr, {}, {}, &failure), "") << path;
        EXPECT_EQ(failure, G("不是普通文件，没有读取")) << path;
    }
    EXPECT_EQ(ReadArticleText(dir_.file("missing"), kDetect, nullptr, {}, {}, &failure), "");
    EXPECT_EQ(failure, G("无法打开文件：") + utf8_to_gbk(std::strerror(ENOENT)));
    // A file larger than any statement can carry fails at once, without reading it.
    const std::string huge = file("huge", "");
    ASSERT_EQ(::truncate(huge.c_str(), off_t{3} << 30), 0);
    EXPECT_EQ(ReadArticleText(huge, kDetect, nullptr, {}, {}, &failure), "");
    EXPECT_EQ(failure, G("文件太大（超过 1 GB），无法导入"));
    if (::geteuid() != 0) {  // root reads any file
        const std::string locked = file("locked", "x");
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(ReadArticleText(locked, kDetect, nullptr, {}, {}, &failure), "");
        EXPECT_EQ(failure, G("无法打开文件：") + utf8_to_gbk(std::strerror(EACCES)));
    }
}

}  // namespace
}  // namespace qb::text
