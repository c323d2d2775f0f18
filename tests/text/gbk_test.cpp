#include "text/gbk.h"

#include <gtest/gtest.h>

#include <random>

#include "test_util.h"

namespace qb::text {
namespace {

using test::G;

// 乗 is 81 5C and 亅 is 81 7C in GBK: their second bytes are "\" and "|".
TEST(Gbk, SearchesNeverMatchInsideADoubleByteCharacter) {
    const std::string s = G("乗亅a\\b|");
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(text::find(s, "\\"), 6);
    EXPECT_EQ(text::find(s, "|"), 8);
    EXPECT_EQ(rfind(s, "\\"), 6);
    EXPECT_EQ(rfind(s, "|", 7), -1);  // only the trail byte of 亅 lies before position 7
    EXPECT_EQ(text::find(G("乗乗"), "\\"), -1);
    EXPECT_EQ(text::find(G("乕乚"), "["), -1);
    EXPECT_EQ(text::find(G("乕乚"), "]"), -1);
    EXPECT_EQ(text::find(G("丂"), "@"), -1);
    EXPECT_EQ(text::find(G("丄"), "A"), -1);
    // A start inside a character moves to the next one.
    EXPECT_EQ(text::find(s, "\\", 2), 6);
    EXPECT_EQ(text::find(G("中文"), G("文"), 2), 3);
    // Misaligned byte matches of a Chinese needle are refused too: 中文 = D6 D0 CE C4, so
    // "D0 CE" would appear to sit at byte 2.
    EXPECT_EQ(text::find(G("中文"), std::string("\xD0\xCE")), -1);
}

TEST(Gbk, FindBasicsAndPositions) {
    EXPECT_EQ(text::find("abcabc", "c"), 3);
    EXPECT_EQ(text::find("abcabc", "c", 4), 6);
    EXPECT_EQ(text::find("abcabc", "c", 7), -1);
    EXPECT_EQ(text::find("abc", ""), -1);
    EXPECT_EQ(text::find("", "a"), -1);
    EXPECT_EQ(rfind("abcabc", "abc"), 4);
    EXPECT_EQ(rfind("abcabc", "abc", 3), 1);
    EXPECT_EQ(rfind("abcabc", "x"), -1);
}

TEST(Gbk, CaseInsensitiveFindFoldsOnlyAsciiLetters) {
    EXPECT_EQ(find_nocase("<HTML><TITLE>x", "<title>"), 7);
    EXPECT_EQ(find_nocase(G("中<Title>"), "<TITLE>"), 3);
    // 乤 is 81 61 ("a" as trail byte); 丄 is 81 41 ("A"): neither is a letter to fold.
    EXPECT_EQ(find_nocase(G("乤"), "A"), -1);
    EXPECT_EQ(find_nocase(G("丄x"), G("乤")), -1);
    EXPECT_EQ(find_nocase(G("x丄"), G("丄")), 2);
}

TEST(Gbk, ReplaceSplitJoin) {
    EXPECT_EQ(replace_all("a\r\nb\r\n", "\r\n", "|"), "a|b|");
    EXPECT_EQ(replace_all(G("乗\\"), "\\", "/"), G("乗/"));
    EXPECT_EQ(replace_all("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replace_all("abc", "", "x"), "abc");

    EXPECT_TRUE(split("", "|").empty());
    EXPECT_EQ(split("a||b", "|"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(split("a|", "|"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(split(G("亅|亅"), "|"), (std::vector<std::string>{G("亅"), G("亅")}));
    EXPECT_EQ(split("a|b|c|d", "|", 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(join({"a", "", "b"}, ","), "a,,b");
}

TEST(Gbk, TrimRemovesAsciiAndFullWidthSpacesOnly) {
    EXPECT_EQ(trim_spaces(G(" 　title　 ")), "title");
    EXPECT_EQ(trim_spaces("\ttitle\t"), "\ttitle\t");
    EXPECT_EQ(trim_spaces(G("　")), "");
    EXPECT_EQ(trim_spaces(""), "");
    // 啊 is B0 A1: its trail byte and a following lone A1 are not a full-width space.
    const std::string tricky = G("啊") + "\xA1";
    EXPECT_EQ(trim_spaces(tricky), tricky);
    EXPECT_EQ(trim_spaces(G("啊") + "\xA1\xA1"), G("啊"));
}

TEST(Gbk, CountsAndLeftCharacters) {
    EXPECT_EQ(char_count(G("中文ab")), 4u);
    EXPECT_EQ(char_count(""), 0u);
    EXPECT_EQ(char_count("\x81"), 1u);  // a lone lead byte at the end is one character
    EXPECT_EQ(left_chars(G("中文ab"), 1), G("中"));
    EXPECT_EQ(left_chars(G("中文ab"), 3), G("中文a"));
    EXPECT_EQ(left_chars("ab", 10), "ab");
}

TEST(Gbk, IntegerConversionAndThePositionRule) {
    EXPECT_EQ(to_int("3"), 3);
    EXPECT_EQ(to_int("3a"), 3);
    EXPECT_EQ(to_int("abc"), 0);
    EXPECT_EQ(to_int("-12x"), -12);
    EXPECT_EQ(to_int(""), 0);
    EXPECT_EQ(to_int("99999999999999999999999"), INT64_MAX);
    EXPECT_TRUE(is_position("2"));
    EXPECT_TRUE(is_position("0"));
    EXPECT_FALSE(is_position("02"));
    EXPECT_FALSE(is_position("2a"));
    EXPECT_FALSE(is_position("+2"));
    EXPECT_FALSE(is_position("abc"));
    EXPECT_FALSE(is_position(""));
    EXPECT_FALSE(is_position("99999999999999999999999"));
}

// Searches that start from a known character boundary, and the loops built on them, give
// exactly what a search walking from the start of the text gives.
TEST(Gbk, AKnownBoundaryChangesNoAnswer) {
    const std::vector<std::string> pieces{"a",     "A",     "\\",   "|", G("乗"),
                                          G("亅"), G("中"), "\x81", "|a"};
    std::mt19937 random(11);
    for (int round = 0; round < 400; ++round) {
        std::string s;
        const int n = 1 + static_cast<int>(random() % 16);
        for (int k = 0; k < n; ++k) s += pieces[random() % pieces.size()];
        std::vector<size_t> boundaries;
        for (size_t i = 0; i < s.size(); i += char_size_at(s, i)) boundaries.push_back(i);
        for (const std::string needle : {"\\", "|", "a", "|a", "\x81"}) {
            for (int start = 1; start <= static_cast<int>(s.size()); ++start)
                for (size_t b : boundaries) {
                    if (b > static_cast<size_t>(start - 1)) break;
                    ASSERT_EQ(text::find(s, needle, start, b), text::find(s, needle, start)) << s;
                    ASSERT_EQ(text::find_nocase(s, needle, start, b),
                              text::find_nocase(s, needle, start));
                }
            // The loops, against the same loops written with searches from the start.
            std::string replaced;
            std::vector<std::string> parts;
            int prev = 1, last = -1;
            for (int pos = text::find(s, needle); pos != -1;
                 pos = text::find(s, needle, pos + static_cast<int>(needle.size()))) {
                replaced +=
                    s.substr(static_cast<size_t>(prev - 1), static_cast<size_t>(pos - prev)) + "#";
                parts.push_back(
                    s.substr(static_cast<size_t>(prev - 1), static_cast<size_t>(pos - prev)));
                prev = pos + static_cast<int>(needle.size());
            }
            replaced += s.substr(static_cast<size_t>(prev - 1));
            parts.push_back(s.substr(static_cast<size_t>(prev - 1)));
            for (int pos = text::find(s, needle); pos != -1;
                 pos = text::find(s, needle, pos + static_cast<int>(char_size_at(s, pos - 1))))
                last = pos;
            ASSERT_EQ(replace_all(s, needle, "#"), replaced) << s;
            ASSERT_EQ(split(s, needle), parts) << s;
            ASSERT_EQ(rfind(s, needle), last) << s;
        }
    }
}

// The lossless mode's four-byte forms are one character each: their digits and letters are
// never found, counted or cut on their own, whatever surrounds them; without the mode the
// same bytes are what they were.
TEST(Gbk, FourByteFormsAreOneCharacterInTheLosslessMode) {
    auto four = [](uint32_t cp) {
        std::string f;
        append_four_byte(f, cp);
        return f;
    };
    const std::vector<std::string> pieces{"a",
                                          "A",
                                          "0",
                                          "5",
                                          "|",
                                          G("乗"),
                                          G("中"),
                                          four(0x1F600),
                                          four(0x20AC),
                                          four(0x20BB7),
                                          four(0x10FFFF),
                                          four(0xAC00)};
    for (const std::string& f : {four(0x1F600), four(0x10FFFF), four(0x80)}) {
        ASSERT_EQ(f.size(), 4u);
        EXPECT_EQ(four_byte_value(reinterpret_cast<const unsigned char*>(f.data())),
                  f == four(0x80)      ? 0x80u
                  : f == four(0x1F600) ? 0x1F600u
                                       : 0x10FFFFu);
    }
    const LosslessText on(true);
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::string s;
        std::vector<size_t> boundaries;
        const int n = 1 + static_cast<int>(random() % 12);
        for (int k = 0; k < n; ++k) {
            boundaries.push_back(s.size());
            s += pieces[random() % pieces.size()];
        }
        ASSERT_EQ(char_count(s), boundaries.size()) << s;
        ASSERT_EQ(left_chars(s, 2), s.substr(0, boundaries.size() > 2 ? boundaries[2] : s.size()));
        for (const std::string needle : {"0", "5", "A", "a", "|", "5a", "\x81"}) {
            for (int start = 1; start <= static_cast<int>(s.size()); ++start) {
                int expected = -1;
                for (size_t b : boundaries)
                    if (b >= static_cast<size_t>(start - 1) &&
                        s.compare(b, needle.size(), needle) == 0) {
                        expected = static_cast<int>(b) + 1;
                        break;
                    }
                ASSERT_EQ(text::find(s, needle, start), expected) << s << " " << needle;
                if (needle == "0" || needle == "5" || needle == "|") {  // no letters
                    ASSERT_EQ(find_nocase(s, needle, start), expected) << s << " " << needle;
                }
            }
        }
    }
    // A four-byte form is compared whole by the case-insensitive search too.
    EXPECT_EQ(find_nocase("x" + four(0x1F600), four(0x1F601)), -1);
    EXPECT_EQ(find_nocase("x" + four(0x1F600), four(0x1F600)), 2);
    const LosslessText off(false);
    EXPECT_EQ(char_count(four(0x1F600)), 4u);
    EXPECT_EQ(text::find(four(0x1F600), std::string(1, four(0x1F600)[1])), 2);
}

}  // namespace
}  // namespace qb::text
