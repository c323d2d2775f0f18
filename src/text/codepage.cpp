#include "text/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/pump.h"

namespace qb::text {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
// No server takes a statement over 1 GB (max_allowed_packet), so no article is larger.
constexpr off_t kMaxArticleBytes = off_t{1} << 30;

// Only regular files are articles: a FIFO would block the run until some writer came, a
// device would never end, and a folder reports a size that is no content. Opening without
// blocking and checking the opened file (not the name) settles it.
bool read_file(const std::string& path, std::string& out, std::string* failure) {
    auto fail = [&](const std::string& reason) {
        if (failure) *failure = reason;
        out.clear();
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return fail(G("无法打开文件：") + utf8_to_gbk(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) return fail(G("无法读取文件：") + utf8_to_gbk(std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) return fail(G("不是普通文件，没有读取"));
    if (st.st_size > kMaxArticleBytes) return fail(G("文件太大（超过 1 GB），无法导入"));
    try {
        out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::exception&) {
        return fail(G("内存不足，无法读入文件"));
    }
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return fail(G("无法读取文件：") + utf8_to_gbk(std::strerror(errno)));
        if (r == 0) break;  // the file shrank while it was read
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return true;
}

bool starts_with(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

const char* charset_name(int code) {
    switch (code) {
        case kUtf8:
            return "UTF-8";
        case kUtf16Le:
            return "UTF-16LE";
        case kUtf16Be:
            return "UTF-16BE";
        case kBig5:
            return "BIG5";
        case kBig5Hkscs:
            return "BIG5-HKSCS";
        default:
            return "";
    }
}

std::string ConvertCodePage(const std::string& bytes, const std::string& from_charset,
                            const std::string& to_charset) {
    // Program text is GBK (or the lossless mode's own form): GB18030's four-byte forms must
    // never get into it.
    auto program_side = [](const std::string& name) {
        return strcasecmp(name.c_str(), "GB18030") == 0 ? std::string("GBK") : name;
    };
    return convert_charset(bytes, program_side(from_charset).c_str(),
                           program_side(to_charset).c_str());
}

bool LooksLikeUtf8(std::string_view bytes) {
    const size_t n = bytes.size();
    size_t ascii = 0;
    for (size_t i = 0; i < n;) {
        if ((i & 0xFFFF8) == 0) pump_events();
        // Runs of ASCII go eight bytes at a time.
        if (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                ascii += 8;
                i += 8;
                continue;
            }
        }
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++ascii;
            ++i;
            continue;
        }
        const unsigned char c1 = i + 1 < n ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if ((c & 0xE0) == 0xC0 && (c1 & 0xC0) == 0x80) {
            i += 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < n && (c1 & 0xC0) == 0x80 &&
                   (static_cast<unsigned char>(bytes[i + 2]) & 0xC0) == 0x80) {
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4 && i + 3 < n &&
                   // Well-formed only: F0 needs 90..BF after it, F4 at most 8F.
                   c1 >= (c == 0xF0 ? 0x90 : 0x80) && c1 <= (c == 0xF4 ? 0x8F : 0xBF) &&
                   (static_cast<unsigned char>(bytes[i + 2]) & 0xC0) == 0x80 &&
                   (static_cast<unsigned char>(bytes[i + 3]) & 0xC0) == 0x80) {
            // Emoji and the rarer CJK ideographs; each becomes one "?" in program text.
            i += 4;
        } else {
            return false;
        }
    }
    return ascii != n;
}

bool SniffMetaCharset(std::string_view text, int* code_out) {
    if (code_out) *code_out = 0;
    int head_position = 0;
    const std::string head =
        ExtractBetween(text, "<head>", "</head>", &head_position, {.raw = true});
    const std::string_view section = head.empty() ? text : std::string_view(head);
    static const std::vector<std::vector<std::string>> lists = [] {
        std::vector<std::vector<std::string>> out;
        for (const char* list :
             {"charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'",
              "charset=Big5[fg]charset=''Big5''[fg]charset='Big5'",
              "charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'"})
            out.push_back(split(replace_all(list, "''", "\""), "[fg]"));
        return out;
    }();
    int position = 0;
    for (;;) {
        const int before = position;
        std::string tag = ExtractBetween(section, "<meta", ">", &position, {.raw = true});
        if (position == before) return false;  // no further tag
        for (size_t l = 0; l < lists.size(); ++l)
            for (const std::string& item : lists[l])
                if (find_nocase(tag, item) != -1) {
                    if (code_out) *code_out = static_cast<int>(l) + 1;
                    return true;
                }
    }
}

std::string ReadArticleText(const std::string& path, int choice, int* detected,
                            const std::string& bytes_in, const std::string& text_in,
                            std::string* failure) {
    std::string source;
    if (failure) failure->clear();
    if (path.empty()) {
        source = bytes_in.empty() ? text_in : bytes_in;
    } else if (!read_file(path, source, failure)) {
        if (detected) *detected = choice;
        return {};
    }
    int code = choice;
    size_t start = 0;
    if (choice == kDetect) {
        if (starts_with(source, kUtf8Mark)) {
            code = kUtf8;
            start = 3;
        } else if (starts_with(source, kUtf16LeMark)) {
            code = kUtf16Le;
            start = 2;
        } else if (starts_with(source, kUtf16BeMark)) {
            code = kUtf16Be;
            start = 2;
        } else {
            // Read as text: up to the first 00 or 1A byte. Without any "<" there is no tag.
            const std::string_view all(source);
            int meta = 0;
            if (all.find('<') != std::string_view::npos &&
                SniffMetaCharset(all.substr(0, std::min(all.find('\0'), all.find('\x1A'))), &meta))
                code = meta == 1 ? kUtf8 : meta == 2 ? kBig5 : kBig5Hkscs;
        }
    } else if (choice == kUtf16Le || choice == kUtf16Be) {
        start = std::min<size_t>(2, source.size());
    } else if (choice == kUtf8 && starts_with(source, kUtf8Mark)) {
        start = 3;
    }
    const std::string_view payload = std::string_view(source).substr(start);
    if (code == kDetect && LooksLikeUtf8(payload)) code = kUtf8;
    std::string text;
    if (code >= kUtf8 && code <= kBig5Hkscs && !payload.empty())
        text = convert_charset(payload, charset_name(code), "GBK");
    if (text.empty()) {
        text = std::move(source);
        code = kAnsi;
    }
    if (detected) *detected = code;
    return text;
}

bool WriteArticleText(const std::string& path, const std::string& text, int choice,
                      std::string* bytes_out) {
    std::string bytes;
    if (choice >= kUtf8 && choice <= kBig5Hkscs) {
        std::string converted = ConvertCodePage(text, "GB18030", charset_name(choice));
        if (!converted.empty()) {
            std::string_view mark = choice == kUtf8      ? kUtf8Mark
                                    : choice == kUtf16Le ? kUtf16LeMark
                                    : choice == kUtf16Be ? kUtf16BeMark
                                                         : std::string_view();
            bytes = std::string(mark) + converted;
        }
    }
    // As it is, in GBK: lossless program text but for its four-byte forms, which no GBK file
    // holds.
    if (bytes.empty()) bytes = lossless_text() ? plain_gbk(text) : text;
    if (bytes_out) *bytes_out = bytes;
    if (path.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace qb::text
