// Decoding throughput of ReadArticleText with automatic detection against the iconv command
// converting the same files to GBK, in the same run; plus the time of MakeSummary and of the
// page-title extraction on a 100 KB HTML page.
//   build/bench/codepage_bench [MB]   (default 100)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mapping/generators.h"
#include "text/codepage.h"
#include "text/html.h"
#include "text/iconv_text.h"

using namespace qb;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Chinese prose of about `bytes` GBK bytes: pool characters, punctuation and line breaks.
std::string chinese_text(size_t bytes) {
    const std::string_view pool = mapping::chinese_pool(mapping::kCommon);
    const std::string comma = text::G("，"), stop = text::G("。");
    std::string s;
    s.reserve(bytes + 64);
    size_t k = 0;
    while (s.size() < bytes) {
        s.append(pool.substr((k * 2 * 7919) % pool.size() & ~size_t{1}, 2));
        ++k;
        if (k % 13 == 0) s += comma;
        if (k % 61 == 0) s += stop + "\r\n";
    }
    return s;
}

void compare(const char* label, const std::string& path, const char* iconv_from, size_t bytes) {
    auto t = Clock::now();
    int code = -1;
    const std::string text = text::ReadArticleText(path, text::kDetect, &code);
    const double ours = seconds_since(t);
    t = Clock::now();
    const std::string cmd =
        std::string("iconv -c -f ") + iconv_from + " -t GBK '" + path + "' > /dev/null";
    if (std::system(cmd.c_str()) != 0) std::printf("  (iconv reported invalid input)\n");
    const double theirs = seconds_since(t);
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf(
        "%-22s detected %d  ours %8.1f MB/s  iconv %8.1f MB/s  ratio %.2f  (%zu bytes out)\n",
        label, code, mb / ours, mb / theirs, theirs / ours, text.size());
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const auto dir = std::filesystem::temp_directory_path() / "quillbase-bench";
    std::filesystem::create_directories(dir);
    const std::string gbk = chinese_text(mb << 20);
    const std::string utf8 = text::convert_charset(gbk, "GBK", "UTF-8");
    const std::string utf16 = "\xFF\xFE" + text::convert_charset(gbk, "GBK", "UTF-16LE");
    const std::string big5_body =
        text::convert_charset(mapping::ToTraditional(gbk.substr(0, gbk.size() / 8)), "GBK", "BIG5");
    std::string big5 =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=big5\"></head><body>";
    while (big5.size() < (mb << 20)) big5 += big5_body;
    const std::pair<const char*, const std::string*> files[] = {
        {"gbk", &gbk}, {"utf8", &utf8}, {"utf16le", &utf16}, {"big5", &big5}};
    for (auto& [name, bytes] : files) write((dir / name).string(), *bytes);

    std::printf("ReadArticleText(自动识别) against `iconv -t GBK`, %zu MB inputs:\n", mb);
    compare("GBK", (dir / "gbk").string(), "GBK", gbk.size());
    compare("UTF-8 without mark", (dir / "utf8").string(), "UTF-8", utf8.size());
    compare("UTF-16LE with mark", (dir / "utf16le").string(), "UTF-16", utf16.size());
    compare("Big5 HTML", (dir / "big5").string(), "BIG5", big5.size());

    std::string page = "<html><head><title>" + text::G("标题文字") + "</title></head><body>";
    const std::string para = chinese_text(900);
    while (page.size() < 100 * 1024) page += "<p>" + para + "<a href=\"#\">link</a>&nbsp;</p>\r\n";
    page += "</body></html>";
    const int runs = 200;
    auto t = Clock::now();
    size_t sink = 0;
    for (int i = 0; i < runs; ++i) sink += text::MakeSummary(page, 100, 200).size();
    const double summary_ms = seconds_since(t) * 1000 / runs;
    t = Clock::now();
    for (int i = 0; i < runs; ++i) {
        int pos = 0;
        sink += text::ExtractBetween(page, "<title>", "</title>", &pos).size();
    }
    const double title_ms = seconds_since(t) * 1000 / runs;
    std::printf("100 KB page: MakeSummary %.3f ms, title extraction %.4f ms (%zu)\n", summary_ms,
                title_ms, sink % 10);
    std::filesystem::remove_all(dir);
}
