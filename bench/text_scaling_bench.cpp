// How the article text functions scale: each runs on a 1 MB and an 8 MB input of the same
// make-up (Chinese text in GBK with entities, tags, links left open, line breaks), and the
// ratio of the two times is printed. Linear work gives about 8; the goal is at most 10.
//   build/bench/text_scaling_bench [SMALL_MB=1] [LARGE_MB=8]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "text/codepage.h"
#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/random.h"

using namespace qb::text;

namespace {

// Roughly `bytes` of article text: sentences of Chinese characters with the punctuation the
// sentence split looks for, entities, tags, "<a " links never closed, and GBK characters
// whose trail byte is "\" or "|".
std::string make_article(size_t bytes) {
    const std::vector<std::string> pieces{
        G("中文文章"), G("测试内容"), G("，"),      G("。"), "&amp;",   "&#20013;", "&nbsp;",
        "<p>",         "</p>",        "<a href=x>", "\r\n",  G("乗亅"), "  ",       "a|b\\c"};
    std::mt19937 random(5);
    std::string s;
    s.reserve(bytes + 64);
    while (s.size() < bytes) s += pieces[random() % pieces.size()];
    return s + "</body>";
}

// The best of five runs: the least disturbed by the rest of the machine.
double seconds(const std::function<void()>& work) {
    double best = 1e30;
    for (int k = 0; k < 5; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

struct Case {
    const char* name;
    std::function<void(const std::string& gbk, const std::string& utf8, const std::string& big5)>
        run;
};

volatile size_t g_sink = 0;
void keep(const std::string& s) {
    g_sink = g_sink + s.size();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t small = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1) << 20;
    const size_t large = (argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 8) << 20;
    const std::vector<Case> cases{
        {"replace_all", [](auto& g, auto&, auto&) { keep(replace_all(g, "|", "||")); }},
        {"split", [](auto& g, auto&, auto&) { g_sink = g_sink + split(g, G("。")).size(); }},
        {"rfind",
         [](auto& g, auto&, auto&) { g_sink = g_sink + static_cast<size_t>(rfind(g, "\\") + 1); }},
        {"find_nocase loop",
         [](auto& g, auto&, auto&) {
             for (int p = find_nocase(g, "<P>"); p != -1;
                  p = find_nocase(g, "<P>", p + 3, static_cast<size_t>(p - 1)))
                 g_sink = g_sink + 1;
         }},
        {"DecodeEntities", [](auto& g, auto&, auto&) { keep(DecodeEntities(g)); }},
        {"ExtractBetween reverse",
         [](auto& g, auto&, auto&) {
             int position = 0;
             keep(ExtractBetween(g, "<p>", "</body>", &position, {.reverse = true}));
         }},
        {"MakeSummary (open links)", [](auto& g, auto&, auto&) { keep(MakeSummary(g, 100, 200)); }},
        {"PickTitleSentence (all rejected)",
         [](auto& g, auto&, auto&) { keep(PickTitleSentence(g, "", 100000, "", true)); }},
        {"SanitizeFileName", [](auto& g, auto&, auto&) { keep(SanitizeFileName(g)); }},
        {"ReadArticleText UTF-8",
         [](auto&, auto& u, auto&) { keep(ReadArticleText("", kUtf8, nullptr, u)); }},
        {"ReadArticleText Big5",
         [](auto&, auto&, auto& b) { keep(ReadArticleText("", kBig5, nullptr, b)); }},
        {"ReadArticleText detect (GBK)",
         [](auto& g, auto&, auto&) { keep(ReadArticleText("", kDetect, nullptr, g)); }},
        {"DrawPool (a draw per 8 bytes)",
         [](auto& g, auto&, auto&) {
             DrawPool pool;
             const int64_t n = static_cast<int64_t>(g.size() / 8);
             for (int64_t k = 0; k < n; ++k) g_sink = g_sink + static_cast<size_t>(pool.Next(1, n));
         }},
    };
    struct Input {
        std::string gbk, utf8, big5;
    };
    auto input = [](size_t bytes) {
        Input in;
        in.gbk = make_article(bytes);
        in.utf8 = gbk_to_utf8(in.gbk);
        in.big5 = convert_charset(in.gbk, "GBK", "BIG5");
        return in;
    };
    const Input a = input(small), b = input(large);
    std::printf("%-34s %10s %10s %7s\n", "function", "1x (s)", "8x (s)", "ratio");
    bool all_within = true;
    for (const Case& c : cases) {
        const double t1 = seconds([&] { c.run(a.gbk, a.utf8, a.big5); });
        const double t8 = seconds([&] { c.run(b.gbk, b.utf8, b.big5); });
        const double ratio = t8 / (t1 > 1e-6 ? t1 : 1e-6);
        all_within = all_within && ratio <= 10.0 * static_cast<double>(large) / (8.0 * small);
        std::printf("%-34s %10.4f %10.4f %7.2f\n", c.name, t1, t8, ratio);
    }
    std::printf("inputs: %zu and %zu bytes; %s\n", a.gbk.size(), b.gbk.size(),
                all_within ? "every ratio within 10" : "SOME RATIO ABOVE 10");
    return 0;
}
