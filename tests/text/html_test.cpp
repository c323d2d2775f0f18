#include "text/html.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <set>

#include "test_util.h"
#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/pump.h"
#include "text/regex.h"

namespace qb::text {
namespace {

using test::G;

// Each one-pass text function lets events run on a large article, so the window keeps
// painting while it works.
TEST(LongTexts, EveryPassLetsEventsRun) {
    int pumps = 0;
    set_event_pump([&] { ++pumps; });
    std::string page;
    for (int i = 0; i < 200000; ++i) page += "<p>x&amp;&#20013;y</p>  \r\n";
    const std::vector<std::pair<const char*, std::function<void()>>> passes{
        {"RemoveTags", [&] { RemoveTags(page); }},
        {"DecodeEntities", [&] { DecodeEntities(page); }},
        {"RemoveSummaryMarkup", [&] { RemoveSummaryMarkup(page, page.size()); }},
        {"SentenceSeparatorsMarked", [&] { SentenceSeparatorsMarked(page, "|"); }},
    };
    for (const auto& [name, pass] : passes) {
        pumps = 0;
        pass();
        EXPECT_GT(pumps, 10) << name;
    }
    set_event_pump(nullptr);
}

TEST(ExtractBetween, TitlesQuotesBoundariesAndPositions) {
    int pos = 0;
    EXPECT_EQ(ExtractBetween("<html><TITLE>Abc</TITLE>", "<title>", "</title>", &pos), "Abc");
    EXPECT_EQ(pos, 25);
    pos = 0;
    EXPECT_EQ(ExtractBetween("<html>no title</html>", "<title>", "</title>", &pos), "");
    EXPECT_EQ(pos, 0);
    // Quoted head, page without quotes: the second pass finds it.
    pos = 0;
    EXPECT_EQ(ExtractBetween("<meta name=description content=Hello world>",
                             "<meta name=''description'' content=''", "''", &pos),
              "Hello world>");  // the tail without quotes is empty: to the end
    pos = 0;
    EXPECT_EQ(ExtractBetween("<meta name=description content=Hello>",
                             "<meta name=''description'' content=", ">", &pos),
              "Hello");
    pos = 0;
    EXPECT_EQ(ExtractBetween("<meta name=\"d\" content=\"Hi\">", "<meta name=''d'' content=''",
                             "''", &pos),
              "Hi");
    // Empty head: from the start; empty tail: to the end.
    pos = 0;
    EXPECT_EQ(ExtractBetween(G("第一句。第二句。"), "", G("。"), &pos), G("第一句"));
    pos = 0;
    EXPECT_EQ(ExtractBetween("abc=def", "=", "", &pos), "def");
    // Advancing position, reverse, offset and trim.
    pos = 0;
    const std::string tags = "<meta a><meta b><meta c>";
    EXPECT_EQ(ExtractBetween(tags, "<meta", ">", &pos, {.raw = true}), " a");
    EXPECT_EQ(ExtractBetween(tags, "<meta", ">", &pos, {.raw = true}), " b");
    pos = 0;
    EXPECT_EQ(ExtractBetween("[x][y]", "[", "]", &pos, {.reverse = true}), "x");
    pos = 0;
    EXPECT_EQ(ExtractBetween("(hello)", "(", ")", &pos, {.start_offset = 1, .end_trim = 1}), "ell");
    // A head inside a double-byte character (乕 = 81 5B) is not found.
    pos = 0;
    EXPECT_EQ(ExtractBetween(G("乕x]"), "[", "]", &pos), "");
}

TEST(DecodeEntities, NamedNumericAndBroken) {
    EXPECT_EQ(DecodeEntities("&amp;lt;"), "&lt;");
    EXPECT_EQ(DecodeEntities("&#20013;&#x4E2D;&#X4e2d;"), G("中中中"));
    EXPECT_EQ(DecodeEntities("a &# b"), "a &# b");
    EXPECT_EQ(DecodeEntities("&#"), "&#");
    EXPECT_EQ(DecodeEntities("x&#20013"), "x&#20013");
    EXPECT_EQ(DecodeEntities("&Prime;&prime;&nbsp;&quot;"), G("″′ \""));
    EXPECT_EQ(DecodeEntities("&lt;b&gt; &hellip; &mdash; &sim;"), G("<b> … — ～"));
    EXPECT_EQ(DecodeEntities("&#65;&#0;&#;"), "A");  // 0 and empty give nothing
    // Huge values keep their low 16 bits; a lone surrogate or a character GBK lacks: "?".
    EXPECT_EQ(DecodeEntities("&#99999999;"), DecodeEntities("&#57599;"));
    EXPECT_EQ(DecodeEntities("&#55357;"), "?");
    EXPECT_EQ(DecodeEntities(std::string(5000, '9').insert(0, "&#") + ";").size(), 1u);
    // An earlier reference whose ";" lies past a later one sees the later one decoded.
    EXPECT_EQ(DecodeEntities("&#&#49;;"), "\x01");
    std::string many;
    for (int i = 0; i < 200000; ++i) many += "&#20013;";
    EXPECT_EQ(DecodeEntities(many).size(), 400000u);
}

// The one pass over the names gives what a replace_all per name in the table's order gives
// (texts without "&#", whose decoding comes after either way).
TEST(DecodeEntities, OnePassAgreesWithAPassPerName) {
    const std::vector<std::string> names = split(
        "&ndash;|&mdash;|&ldquo;|&rdquo;|&nbsp;|&lt;|&gt;|&quot;|&times;|&divide;|&middot;|"
        "&hellip;|&lsquo;|&rsquo;|&permil;|&prime;|&Prime;|&larr;|&uarr;|&rarr;|&darr;|"
        "&radic;|&prop;|&infin;|&ang;|&and;|&or;|&cap;|&cup;|&int;|&there4;|&sim;|&asymp;|"
        "&ne;|&equiv;|&le;|&ge;|&oplus;|&perp;|&amp;",
        "|");
    std::vector<std::string> pieces{"&", "amp;", "lt;", ";", "x", G("中"), "\x81", "&amp;"};
    pieces.insert(pieces.end(), names.begin(), names.end());
    std::mt19937 random(3);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = static_cast<int>(random() % 12);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        std::string expected = text;
        for (const std::string& name : names)
            expected = replace_all(expected, name, DecodeEntities(name));
        ASSERT_EQ(DecodeEntities(text), expected) << text;
    }
}

// Numeric references, decoded as written: from the last "&#" to the first, each taking the
// first ";" after it in the text as it stands then (a slow model, on short texts).
std::string decode_references_slowly(std::string s) {
    std::vector<size_t> refs;
    for (size_t i = s.find("&#"); i != std::string::npos; i = s.find("&#", i + 1))
        refs.push_back(i);
    for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
        const size_t semi = s.find(';', *it + 2);
        if (semi == std::string::npos) continue;
        const std::string inner = s.substr(*it + 2, semi - *it - 2);
        uint64_t v = 0;
        for (char c : inner) {
            if (c < '0' || c > '9') break;
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        if (v == 0 && !inner.empty())
            for (size_t k = char_size_at(inner, 0); k < inner.size(); ++k) {
                const int d = std::isxdigit(static_cast<unsigned char>(inner[k]))
                                  ? std::stoi(std::string(1, inner[k]), nullptr, 16)
                                  : -1;
                if (d < 0) break;
                v = v * 16 + static_cast<uint64_t>(d);
            }
        const std::string value = DecodeEntities("&#" + std::to_string(v & 0xFFFF) + ";");
        s.replace(*it, semi - *it + 1, value);
    }
    return s;
}

TEST(DecodeEntities, NumericReferencesAsWritten) {
    const std::vector<std::string> pieces{"&#", "&#x", "1", "4",     "9", "a",
                                          ";",  "x",   "5", G("中"), "&"};
    std::mt19937 random(5);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const int n = static_cast<int>(random() % 14);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        ASSERT_EQ(DecodeEntities(text), decode_references_slowly(text)) << text;
    }
}

TEST(Counting, CharsAndLeftChars) {
    EXPECT_EQ(CountChars(G("中a\r\nb\r")), 5u);
    EXPECT_EQ(LeftChars(G("中文abc"), 3), G("中文a"));
    EXPECT_EQ(LeftChars(G("中文abc"), -2), G("中文a"));
    EXPECT_EQ(LeftChars("abc", 0), "");
    EXPECT_EQ(LeftChars("ab", 9), "ab");
    EXPECT_EQ(LeftChars("a\r\nb", 2), "a\r\n");
}

// In the lossless mode a character GBK lacks is one character to every length, and a
// reference beyond the basic plane is its character.
TEST(Summary, LosslessLengthsCountCharacters) {
    const LosslessText on(true);
    const std::string smile = code_point_text(0x1F600);
    std::string page;
    for (int i = 0; i < 50; ++i) page += smile;
    EXPECT_EQ(CountChars(MakeSummary(page, 40, 40)), 40u);
    EXPECT_EQ(MakeSummary(page, 40, 40), page.substr(0, 40 * smile.size()));
    EXPECT_EQ(DecodeEntities("a&#128512;&#x1F600;&#8364;b"),
              "a" + smile + smile + code_point_text(0x20AC) + "b");
    // Still the low 16 bits past the last code point, as in GBK.
    EXPECT_EQ(DecodeEntities("&#1114177;"), "A");
    const std::string sentence = smile + smile + smile + G("。") + "ab";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(PickTitleSentence(sentence, "", 3, "", true), smile + smile + smile);
    EXPECT_EQ(SanitizeFileName(smile + "a/b"), smile + G("a／b"));
}

TEST(Summary, TagsLinksAndBreaksGoneLengthInRange) {
    std::string page = "<html><head><title>t</title></head><body>";
    for (int i = 0; i < 50; ++i)
        page += G("<p>这是第") + std::to_string(i) +
                G("段文字，<a href=\"x\">链接文字</a>内容&amp;说明。</p>\r\n   ");
    page += "</body></html>";
    for (int i = 0; i < 20; ++i) {
        const std::string s = MakeSummary(page, 100, 200);
        const size_t n = CountChars(s);
        EXPECT_GE(n, 100u);
        EXPECT_LE(n, 200u);
        EXPECT_EQ(s.find('<'), std::string::npos);
        EXPECT_EQ(s.find('\n'), std::string::npos);
        EXPECT_EQ(find(s, G("链接")), -1);
        EXPECT_EQ(s.find("  "), std::string::npos);
    }
    EXPECT_EQ(MakeSummary(G("<b>短</b>"), 100, 200), G("短"));
    EXPECT_EQ(MakeSummary("abc", 0, 0), "");
}

TEST(TitleSentence, PicksTheLongSentence) {
    const std::string text = G("短句子。这是一个有十二个字的句子啊！五个字片段");
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(PickTitleSentence(text, "", 10, "", false), G("这是一个有十二个字的句子啊"));
    std::set<std::string> picks;
    for (int i = 0; i < 50; ++i)
        picks.insert(PickTitleSentence(G("一。二。三"), "", 10, "", false));
    EXPECT_GT(picks.size(), 1u);  // none qualifies: a random one anyway
    EXPECT_EQ(PickTitleSentence(G("一。二。三"), "", 10, "", true), "");
    EXPECT_EQ(PickTitleSentence("pi is 3.14", "", 0, "14", true), "14");
    EXPECT_EQ(PickTitleSentence("<p>Title here</p>\r\n  \r\n", "\r\n", 0, "", true), "Title here");
    EXPECT_EQ(PickTitleSentence("", "", 0, "", false), "");
}

// The one-pass sentence marking gives what its two expressions gave.
TEST(TitleSentence, TheMarkingAgreesWithItsExpressions) {
    RegexObject cleanup, separator;
    ASSERT_TRUE(cleanup.Create(G("^[　 \\t]*$(\\r\\n)|^[ 　\\t]+|[ 　\\t]+$")));
    const std::string chars =
        replace_all(replace_all(default_sentence_separators(), "\r\n", ""), ". ", "");
    ASSERT_TRUE(
        separator.Create("[" + RegexObject::EscapeWildcard(chars) + "]|\\r\\n|\\r|\\n|\\. "));
    const std::string joint = G("[⊥]");
    std::vector<std::string> pieces{" ",     "\t", G("　"), "\r\n",  "\r",   "\n",      "x",
                                    G("中"), ",",  G("，"), ". ",    ".",    "?",       "\x81",
                                    "\xFF",  "-",  "\"",    G("《"), G("‘"), "\xA2\xA0"};
    std::mt19937 random(13);
    // And in the lossless mode, with characters GBK lacks (which separate nothing).
    for (int round = 0; round < 10000; ++round) {
        const LosslessText mode(round >= 5000);
        if (round == 5000)
            for (uint32_t cp : {0x1F600u, 0x20ACu, 0xFF1Fu, 0x3000u + 0x2000u})
                pieces.push_back(code_point_text(cp));
        std::string text;
        const int n = static_cast<int>(random() % 16);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        ASSERT_EQ(SentenceSeparatorsMarked(text, joint),
                  separator.Replace(cleanup.Replace(text, ""), joint))
            << text;
    }
}

// The sentences a title is drawn from are the marked text split at its joints, as they were
// made before the marking stopped writing the joints: the same names for the same draws, also
// where the text itself holds the joint or pieces of it.
TEST(TitleSentence, TheSentencesAreTheMarkedTextSplitAtItsJoints) {
    const std::string joint = G("[⊥]");
    const std::vector<std::string> pieces{"x", G("中"), G("。"), "\r\n", " ",   G("　"), "[",
                                          "]", G("⊥"),  joint,   ". ",   "<b>", "\n",    "?"};
    std::mt19937 random(23);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const int n = static_cast<int>(random() % 14);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        const std::string marked = SentenceSeparatorsMarked(RemoveTags(text), joint);
        std::vector<std::string> model;  // every part, the empty ones too; none of no text
        for (int from = 1; !marked.empty();) {
            const int at = qb::text::find(marked, joint, from);
            model.push_back(
                marked.substr(static_cast<size_t>(from - 1),
                              at == -1 ? std::string::npos : static_cast<size_t>(at - from)));
            if (at == -1) break;
            from = at + static_cast<int>(joint.size());
        }
        ASSERT_EQ(TitleSentences(text, ""), model) << text;
    }
}

TEST(TitleSentence, TagsGoAsWrittenFromTheLastToTheFirst) {
    std::vector<std::string> pieces{"<", ">", "x", G("中"), "<b>", "\x81"};
    std::mt19937 random(17);
    for (int round = 0; round < 10000; ++round) {
        const LosslessText mode(round >= 5000);
        if (round == 5000) pieces.push_back(code_point_text(0x1F600));
        std::string text;
        const int n = static_cast<int>(random() % 14);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        std::string expected = text;  // the slow model
        for (size_t lt = expected.rfind('<'); lt != std::string::npos;
             lt = lt ? expected.rfind('<', lt - 1) : std::string::npos) {
            const size_t gt = expected.find('>', lt + 1);
            if (gt != std::string::npos) expected.erase(lt, gt - lt + 1);
            if (lt == 0) break;
        }
        ASSERT_EQ(RemoveTags(text), expected) << text;
    }
}

TEST(FileNames, Sanitized) {
    EXPECT_EQ(SanitizeFileName("a/b:c*\"d\"?.txt"), G("a／b：c＊d？.txt"));
    EXPECT_EQ(SanitizeFileName("x\\y|z<w>\r\n\t"), G("x＼y｜z＜w＞"));
    EXPECT_EQ(SanitizeFileName(G("乗亅")), G("乗亅"));  // their 5C and 7C bytes are no \ or |
    EXPECT_EQ(SanitizeFileName(std::string("ti\0tle.txt", 10)), "title.txt");
    // The same as a replace_all per character, lone lead bytes and all.
    const std::vector<std::string> pieces{
        "\\", "/",  ":",  "*",  "?", "|",    "<",       ">",
        "\"", "\r", "\n", "\t", "x", "\x81", G("乗亅"), std::string(1, '\0')};
    std::mt19937 random(9);
    for (int round = 0; round < 3000; ++round) {
        std::string name;
        const int n = static_cast<int>(random() % 10);
        for (int k = 0; k < n; ++k) name += pieces[random() % pieces.size()];
        std::string expected = name;
        for (char c : std::string("\\/:*?|<>"))
            expected =
                replace_all(expected, std::string(1, c),
                            std::string{static_cast<char>(0xA3), static_cast<char>(c + 0x80)});
        for (const char* c : {"\"", "\r\n", "\r", "\n", "\t"})
            expected = replace_all(expected, c, "");
        expected.erase(std::remove(expected.begin(), expected.end(), '\0'), expected.end());
        ASSERT_EQ(SanitizeFileName(name), expected) << name;
    }
}

// The one-pass removal gives what the expression it stands for gives, on texts made of the
// pieces that decide it: open and closed links, tags, blanks, breaks, a lone GBK lead byte.
TEST(Summary, TheMarkupRemovalAgreesWithItsExpression) {
    RegexObject markup;
    ASSERT_TRUE(markup.Create("<a [\\s\\S]+?</a>|<[\\s\\S]+?>|\\r|\\n| {2,}"));
    const std::vector<std::string> pieces{"<a ",  "<A ",  "</a>", "</A>",     "<",       ">",  " ",
                                          "  ",   "\r",   "\n",   "x",        G("中"),   "<a", "a ",
                                          "\x81", "\x80", "\xFF", "\xA2\xA0", "\xFE\xFE"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = static_cast<int>(random() % 24);
        for (int k = 0; k < n; ++k) text += pieces[random() % pieces.size()];
        ASSERT_EQ(RemoveSummaryMarkup(text), markup.Replace(text, "")) << text;
    }
}

}  // namespace
}  // namespace qb::text
