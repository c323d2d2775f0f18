#include "text/iconv_text.h"

#include "text/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <bit>
#include <utility>

namespace qb::text {

// UTF-16 text is kept in host order and converted as UTF-16LE.
static_assert(std::endian::native == std::endian::little);

namespace {

size_t utf8_sequence_length(std::string_view rest) {
    unsigned char c = static_cast<unsigned char>(rest[0]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    // A well-formed sequence, or one cut off by the end, is skipped whole; a broken one loses
    // just its first byte.
    for (size_t i = 1; i < n; ++i) {
        if (i >= rest.size()) return rest.size();
        if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

bool starts_with_nocase(const char* s, const char* prefix) {
    return strncasecmp(s, prefix, std::strlen(prefix)) == 0;
}

// One descriptor per charset pair and thread: iconv_open is far dearer than a conversion.
class Converter {
public:
    Converter(const char* from, const char* to)
        : cd_(iconv_open(to, from)),
          utf8_source_(starts_with_nocase(from, "UTF-8")),
          gbk_source_(starts_with_nocase(from, "GBK") || starts_with_nocase(from, "GB18030")),
          unit_(starts_with_nocase(from, "UTF-16") ? 2 : starts_with_nocase(from, "UTF-32") ? 4 : 1) {
        if (!valid()) return;
        // "?" in the target's own form.
        iconv_t q = iconv_open(to, "ASCII");
        if (q != reinterpret_cast<iconv_t>(-1)) {
            char in[] = "?";
            char out[8];
            char* src = in;
            char* dst = out;
            size_t src_left = 1, dst_left = sizeof out;
            if (iconv(q, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1))
                replacement_.assign(out, sizeof out - dst_left);
            iconv_close(q);
        }
    }
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    void set_replacement(std::string r) { replacement_ = std::move(r); }

    std::string run(std::string_view in) {
        std::string out;
        if (!valid() || in.empty()) return out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        size_t done = 0;
        while (src_left > 0) {
            char* dst = out.data() + done;
            size_t dst_left = out.size() - done;
            size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            done = out.size() - dst_left;
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL (a sequence cut off at the end): replace and go on.
            const std::string_view rest(src, src_left);
            size_t n = utf8_source_ ? utf8_sequence_length(rest)
                       : gbk_source_ ? char_size_at(rest, 0)
                                     : unit_;
            if (n > src_left) n = src_left;
            src += n;
            src_left -= n;
            if (out.size() - done < replacement_.size()) out.resize(out.size() * 2 + 16);
            out.replace(done, replacement_.size(), replacement_);
            done += replacement_.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(done);
        return out;
    }

private:
    iconv_t cd_;
    bool utf8_source_;
    bool gbk_source_;  // a character the target lacks is skipped whole
    size_t unit_;
    std::string replacement_ = "?";
};

Converter& converter(const char* from, const char* to) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{from, to}];
    if (!slot) slot = std::make_unique<Converter>(from, to);
    return *slot;
}

}  // namespace

std::string convert_charset(std::string_view in, const char* from, const char* to, bool* ok) {
    Converter& c = converter(from, to);
    if (ok) *ok = c.valid();
    return c.run(in);
}

std::string utf8_to_gbk(std::string_view utf8) { return converter("UTF-8", "GBK").run(utf8); }

std::string gbk_to_utf8(std::string_view gbk) {
    thread_local Converter c("GBK", "UTF-8");
    c.set_replacement("\xEF\xBF\xBD");
    return c.run(gbk);
}

std::u16string gbk_to_utf16(std::string_view gbk) {
    thread_local Converter c("GBK", "UTF-16LE");
    c.set_replacement(std::string("\xFD\xFF", 2));
    std::string bytes = c.run(gbk);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string utf16_to_gbk(std::u16string_view utf16) {
    return converter("UTF-16LE", "GBK")
        .run(std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
}

}  // namespace qb::text
