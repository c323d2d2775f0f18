#include "text/iconv_text.h"

#include <iconv.h>

#include <cerrno>

namespace qb::text {

namespace {

// One descriptor per direction and thread: iconv_open is far dearer than a conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; on a byte sequence the target cannot take, skips `skip(rest)` input bytes
    // and writes `replacement`.
    template <class Skip>
    std::string run(std::string_view in, std::string_view replacement, Skip skip) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1) || in.empty()) return out;
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
            // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
            size_t n = skip(std::string_view(src, src_left));
            if (n > src_left) n = src_left;
            src += n;
            src_left -= n;
            if (out.size() - done < replacement.size()) out.resize(out.size() * 2 + 16);
            out.replace(done, replacement.size(), replacement);
            done += replacement.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(done);
        return out;
    }

private:
    iconv_t cd_;
};

size_t utf8_sequence_length(std::string_view rest) {
    unsigned char c = static_cast<unsigned char>(rest[0]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    // Only a well-formed sequence is skipped whole; a broken one loses just its first byte.
    for (size_t i = 1; i < n; ++i)
        if (i >= rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) return 1;
    return n;
}

}  // namespace

std::string utf8_to_gbk(std::string_view utf8) {
    thread_local Converter c("GBK", "UTF-8");
    return c.run(utf8, "?", utf8_sequence_length);
}

std::string gbk_to_utf8(std::string_view gbk) {
    thread_local Converter c("UTF-8", "GBK");
    return c.run(gbk, "\xEF\xBF\xBD", [](std::string_view) { return size_t{1}; });
}

}  // namespace qb::text
