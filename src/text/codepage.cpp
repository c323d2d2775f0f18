#include "text/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/pump.h"

namespace qb::text {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

bool read_file(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) {
        // Not seekable (a pipe): read what comes.
        in.clear();
        in.seekg(0);
        out.assign(std::istreambuf_iterator<char>(in), {});
        return true;
    }
    in.seekg(0);
    out.resize(static_cast<size_t>(size));
    in.read(out.data(), size);
    out.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
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
    // Program text is GBK: GB18030's four-byte forms must never get into it.
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
                            const std::string& bytes_in, const std::string& text_in) {
    std::string source;
    if (path.empty()) {
        source = bytes_in.empty() ? text_in : bytes_in;
    } else if (!read_file(path, source)) {
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
    std::string bytes = text;
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
    if (bytes_out) *bytes_out = bytes;
    if (path.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace qb::text
