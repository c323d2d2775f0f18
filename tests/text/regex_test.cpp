#include "text/regex.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace qb::text {
namespace {

using test::G;

TEST(Regex, Escapers) {
    EXPECT_EQ(RegexObject::EscapeWildcard("*.txt"), ".*\\.txt");
    EXPECT_EQ(RegexObject::EscapeWildcard("a?b"), "a.?b");
    EXPECT_EQ(RegexObject::EscapeWildcard("a-b"), "a\\-b");
    EXPECT_EQ(RegexObject::EscapeLiteral("1+1=2?"), "1\\+1\\=2\\?");
    EXPECT_EQ(RegexObject::EscapeLiteral("a\\b|c"), "a\\\\b\\|c");
    EXPECT_EQ(RegexObject::EscapeKeepAlternation("a|b.c"), "a|b\\.c");
    EXPECT_EQ(RegexObject::EscapeKeepGroups("(a|b)*"), "(a|b)\\*");
    // A GBK character whose second byte is "\" is not a backslash to double.
    EXPECT_EQ(RegexObject::EscapeLiteral(G("乗")), G("乗"));
}

TEST(Regex, GlobalCaselessReplaceAndMatches) {
    RegexObject r;
    ASSERT_TRUE(r.Create("ab"));
    EXPECT_EQ(r.Replace("xAbyabzAB", "-"), "x-y-z-");
    EXPECT_EQ(r.GetPattern(), "ab");
    ASSERT_TRUE(r.Create("(\\d+)-(\\d+)"));
    EXPECT_EQ(r.Execute(G("甲12-34乙5-6")), 2);
    EXPECT_EQ(r.MatchCount(), 2);
    EXPECT_EQ(r.MatchValue(1), "12-34");
    EXPECT_EQ(r.SubMatchValue(2, 2), "6");
    EXPECT_EQ(r.SubMatchCount(), 2);
    int index = -1;
    EXPECT_EQ(r.MatchValueAt(2, true, &index), "5-6");
    EXPECT_EQ(index, 7);  // UTF-16 units: 甲 1-2-3-4-5 乙 = 7
    EXPECT_EQ(r.SubMatchValueAt(1, 1, true, &index), "12");
    EXPECT_EQ(index, 1);
    EXPECT_EQ(r.MatchValue(3), "");
    EXPECT_EQ(r.Replace("1-2", "$2+$1"), "2+1");
    EXPECT_EQ(r.Execute("none"), 0);
    EXPECT_EQ(r.MatchValue(1), "");
}

// Replacement texts in the script dialect: $& $` $' $$, a lone $, a group that is not there,
// two digits only when that group exists.
TEST(Regex, ReplacementReferences) {
    RegexObject r;
    ASSERT_TRUE(r.Create("(b)(c)?"));
    EXPECT_EQ(r.Replace("abd", "[$&]"), "a[b]d");
    EXPECT_EQ(r.Replace("abd", "[$`]"), "a[a]d");
    EXPECT_EQ(r.Replace("abd", "[$']"), "a[d]d");
    EXPECT_EQ(r.Replace("abd", "[$$]"), "a[$]d");
    EXPECT_EQ(r.Replace("abd", "[$]"), "a[$]d");
    EXPECT_EQ(r.Replace("abd", "$"), "a$d");
    EXPECT_EQ(r.Replace("abd", "[$2]"), "a[]d");  // a group that took no part
    EXPECT_EQ(r.Replace("abd", "[$3]"), "a[$3]d");
    EXPECT_EQ(r.Replace("abd", "[$0]"), "a[$0]d");
    EXPECT_EQ(r.Replace("abd", "[$10]"), "a[b0]d");
    EXPECT_EQ(r.Replace("abd", G("[甲$1乙]")), G("a[甲b乙]d"));
    ASSERT_TRUE(r.Create("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)"));
    EXPECT_EQ(r.Replace("abcdefghij", "$10$1"), "ja");
}

TEST(Regex, UnicodeClassesLineAnchorsAndRunaways) {
    RegexObject r;
    ASSERT_TRUE(r.Create("[^0-9a-zA-Z\\u4e00-\\u9fa5]"));
    EXPECT_EQ(r.Replace(G("中a，b！1"), ""), G("中ab1"));
    ASSERT_TRUE(r.Create("^x$"));
    EXPECT_EQ(r.Execute("x\r\nx\rx\nx"), 4);
    ASSERT_TRUE(r.Create("\\11"));  // octal: TAB
    EXPECT_EQ(r.Replace("a\tb", "_"), "a_b");
    // Empty matches advance.
    ASSERT_TRUE(r.Create("x*"));
    EXPECT_EQ(r.Replace("abc", "-"), "-a-b-c-");
    // Catastrophic backtracking on a long text ends with no match instead of hanging.
    ASSERT_TRUE(r.Create("(a+)+b"));
    std::string long_a(5000, 'a');
    EXPECT_EQ(r.Execute(long_a), 0);
    EXPECT_EQ(r.Replace(long_a, ""), long_a);
    // An invalid pattern matches nothing.
    EXPECT_FALSE(r.Create("(unclosed"));
    EXPECT_EQ(r.Execute("unclosed"), 0);
    EXPECT_EQ(r.Replace("abc", "x"), "abc");
    r.Reset();
    EXPECT_EQ(r.GetPattern(), "");
    EXPECT_EQ(r.MatchCount(), 0);
}

}  // namespace
}  // namespace qb::text
