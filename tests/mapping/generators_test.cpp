#include "mapping/generators.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <set>

#include "test_util.h"
#include "text/gbk.h"

namespace qb::mapping {
namespace {

using test::G;

bool all_of_kind(const std::string& s, bool (*pred)(char)) {
    for (char c : s)
        if (!pred(c)) return false;
    return !s.empty();
}

TEST(Random, BoundsAndTheDrawWithoutRepetition) {
    for (int i = 0; i < 200; ++i) {
        int64_t v = text::RandomInt(5, 2);  // reversed: swapped
        EXPECT_GE(v, 2);
        EXPECT_LE(v, 5);
        EXPECT_EQ(text::RandomInt(-5, -1), 0);  // negative bounds count as 0
    }
    text::DrawPool pool;
    for (int round = 0; round < 3; ++round) {
        std::multiset<int64_t> seen;
        for (int i = 0; i < 10; ++i) seen.insert(pool.Next(1, 10));
        EXPECT_EQ(seen, (std::multiset<int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    }
    // Bags ending on and beside the edges of its words and blocks, starting below zero: each
    // number exactly once, then the bag fills again.
    for (int64_t n : {1, 63, 64, 65, 511, 512, 513, 1500}) {
        std::vector<int> count(static_cast<size_t>(n), 0);
        for (int64_t i = 0; i < n; ++i) {
            const int64_t v = pool.Next(-3, n - 4);
            ASSERT_GE(v, -3);
            ASSERT_LE(v, n - 4);
            ++count[static_cast<size_t>(v + 3)];
        }
        EXPECT_EQ(std::count(count.begin(), count.end(), 1), n) << n;
        EXPECT_TRUE(pool.empty());
    }
    EXPECT_EQ(pool.Next(9, 9), 9);
}

TEST(Generators, ChineseFromThePools) {
    EXPECT_EQ(chinese_pool(kMostFrequent).size(), 996u);
    EXPECT_EQ(chinese_pool(kCommon).size(), 5000u);
    EXPECT_EQ(chinese_pool(kSecondary).size(), 2000u);
    EXPECT_EQ(chinese_pool(kCommon).substr(0, 4), G("一乙"));
    EXPECT_EQ(chinese_pool(kSecondary).substr(1992), G("蘸镶瓤矗"));
    EXPECT_EQ(chinese_pool(kMostFrequent).substr(0, 6), G("的一是"));
    for (int pool : {0, 1, 2}) {
        const std::string s = RandomChinese(20, pool, false);
        ASSERT_EQ(s.size(), 40u);
        for (size_t i = 0; i < s.size(); i += 2)
            EXPECT_NE(text::find(chinese_pool(pool), s.substr(i, 2)), -1);
    }
    EXPECT_EQ(text::char_count(RandomChinese(0, kCommon, false)), 8u);
    EXPECT_EQ(ToTraditional(G("国发后台面中")), G("國發後臺面中"));
    const std::string t = RandomChinese(50, kCommon, true);
    EXPECT_EQ(t.size(), 100u);
    EXPECT_EQ(t.find('?'), std::string::npos);
}

TEST(Generators, TraditionalFormsComeFromTheInstalledTableOnly) {
    // In a child, so that the converter is set up there, in a working directory where
    // another user left a table of the same name, and with a folder without the table.
    test::TempDir dir;
    test::write_file(dir.file("STCharacters.ocd2"), "not a table");
    const auto in_child = [&](const char* data_dir) {
        pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(dir.path().c_str()) != 0) _exit(10);
            if (data_dir) ::setenv("QB_OPENCC_DATA_DIR", data_dir, 1);
            const bool converted = ToTraditional(G("国发")) == G("國發");
            const bool told = !TraditionalUnavailable().empty();
            _exit(converted ? (told ? 11 : 0) : (told ? 1 : 12));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(in_child(nullptr), 0);
    // No table there: the text stays as it is, and the reason is there to be told.
    EXPECT_EQ(in_child(dir.file("empty").c_str()), 1);
    EXPECT_EQ(in_child(dir.path().c_str()), 1);  // a table OpenCC cannot read
}

TEST(Generators, DigitsAndLetters) {
    auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    EXPECT_TRUE(all_of_kind(RandomDigitsLetters(30, false, true, true, true), upper));
    EXPECT_TRUE(all_of_kind(RandomDigitsLetters(30, false, true, true, false), upper));
    EXPECT_TRUE(all_of_kind(RandomDigitsLetters(30, false, true, false, true), lower));
    EXPECT_TRUE(all_of_kind(RandomDigitsLetters(30, false, false, true, true), digit));
    EXPECT_EQ(RandomDigitsLetters(0, false, false, false, false).size(), 8u);
    const std::string full = RandomDigitsLetters(5, true, false, true, true);
    ASSERT_EQ(full.size(), 10u);
    for (size_t i = 0; i < 10; i += 2) {
        EXPECT_EQ(static_cast<unsigned char>(full[i]), 0xA3);
        EXPECT_GE(static_cast<unsigned char>(full[i + 1]), 0xB0);  // ０ .. ９
        EXPECT_LE(static_cast<unsigned char>(full[i + 1]), 0xB9);
    }
    EXPECT_EQ(ToFullWidth(G("a 1~中")), G("ａ　１～中"));
}

TEST(Generators, TimesAndExpressions) {
    for (int i = 0; i < 50; ++i) {
        const std::string s = RandomTime(G("<年>/<月>"), 2012, 2015, false);
        ASSERT_EQ(s.size(), 7u);
        const int year = std::stoi(s.substr(0, 4));
        EXPECT_GE(year, 2012);
        EXPECT_LE(year, 2015);
        EXPECT_EQ(s[4], '/');
    }
    const DateTimeValue v{2013, 5, 7, 8, 9, 0};
    EXPECT_EQ(FormatDateTime(-1, G("#1年#2月#3日"), v), G("2013年05月07日"));
    EXPECT_EQ(FormatDateTime(0, "", v), "2013-05-07 08:09:00");
    EXPECT_EQ(FormatDateTime(1, "", v), "2013-05-07");
    EXPECT_EQ(FormatDateTime(2, "", v), "08:09:00");
    const DateTimeValue now = Now();
    const std::string s = RandomTime(G("<年>-<月>-<日>"), 0, 0, true);
    EXPECT_EQ(s, FormatDateTime(1, "", now));
}

TEST(Generators, FileTimesAndTheMidnightAccessRule) {
    test::TempDir dir;
    const std::string f = dir.file("a.txt");
    test::write_file(f, "x");
    // Access time at local midnight, modification at a known moment.
    struct tm lt {};
    lt.tm_year = 2014 - 1900;
    lt.tm_mon = 2;
    lt.tm_mday = 4;
    lt.tm_isdst = -1;
    const time_t midnight = mktime(&lt);
    const struct timespec times[2] = {{midnight, 0}, {midnight + 3723, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
    FileTimeTexts t;
    ASSERT_TRUE(FileTimes(f, t));
    EXPECT_EQ(t.access, "2014-03-04 ");
    EXPECT_EQ(t.modification, "2014-03-04 01:02:03");
    EXPECT_FALSE(t.creation.empty());
    EXPECT_EQ(FileTimeValue(f, false, false, 0), "2014-03-04 00:00:00");
    EXPECT_EQ(FileTimeValue(f, false, true, 2), "01:02:03");
    EXPECT_EQ(FileTimeValue(f, false, true, 1), "2014-03-04");
    EXPECT_EQ(FileTimeValue(dir.file("missing"), true, false, 0), "");
}

TEST(Generators, PhrasesInTheThreeModes) {
    PhraseState ordered("a|b|c");
    std::vector<std::string> got;
    for (int i = 0; i < 4; ++i) got.push_back(RandomPhrases(ordered, 2, 1, 1));
    EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c", "a"}));

    PhraseState no_repeat("a|b|c");
    for (int file = 0; file < 4; ++file) {
        const std::string v = RandomPhrases(no_repeat, 0, 3, 3);
        auto parts = text::split(v, ",");
        EXPECT_EQ(std::set<std::string>(parts.begin(), parts.end()),
                  (std::set<std::string>{"a", "b", "c"}))
            << v;
    }
    PhraseState lines("x\r\ny\r\nz");
    EXPECT_EQ(lines.phrases, (std::vector<std::string>{"x", "y", "z"}));
    PhraseState natural("p|q");
    EXPECT_EQ(text::split(RandomPhrases(natural, 1, 5, 5), ",").size(), 5u);
    EXPECT_EQ(RandomPhrases(natural, 1, 0, 0), "");
    PhraseState empty("");
    EXPECT_EQ(RandomPhrases(empty, 0, 3, 3), "");
}

TEST(Generators, ParentFolderNames) {
    EXPECT_EQ(ParentFolderName("/home/a/1/2.txt"), "1");
    EXPECT_EQ(ParentFolderName("/a.txt"), "");
    EXPECT_EQ(ParentFolderName("a.txt"), "");
    EXPECT_EQ(ParentFolderName(G("/文章/乗/x.txt")), G("乗"));
}

}  // namespace
}  // namespace qb::mapping
