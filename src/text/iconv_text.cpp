#include "text/iconv_text.h"

#include "text/gbk.h"

#include <iconv.h>

#include <strings.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace qb::text {

namespace {
bool is_surrogate(uint32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}
}  // namespace

// UTF-16 text is kept in host order and converted as UTF-16LE.
static_assert(std::endian::native == std::endian::little);

namespace {

// The length UTF-8 gives a sequence by its first byte (1 for a byte that starts none).
size_t utf8_declared_length(unsigned char c) {
    return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
}

size_t utf8_sequence_length(std::string_view rest) {
    const size_t n = utf8_declared_length(static_cast<unsigned char>(rest[0]));
    // A well-formed sequence, or one cut off by the end, is skipped whole; a broken one loses
    // just its first byte.
    for (size_t i = 1; i < n; ++i) {
        if (i >= rest.size()) return rest.size();
        if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

// A Big5 or Big5-HKSCS character: a lead byte and a trail byte, or one byte.
size_t big5_char_size(std::string_view rest) {
    if (rest.size() < 2) return 1;
    const auto lead = static_cast<unsigned char>(rest[0]);
    const auto trail = static_cast<unsigned char>(rest[1]);
    const bool is_pair = lead >= 0x81 && lead <= 0xFE &&
                         ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE));
    return is_pair ? 2 : 1;
}

// A UTF-16 unit, or a surrogate pair outside the basic plane: one character.
size_t utf16_char_size(std::string_view rest, bool big_endian) {
    auto unit = [&](size_t k) {
        const auto a = static_cast<unsigned char>(rest[k]),
                   b = static_cast<unsigned char>(rest[k + 1]);
        return static_cast<unsigned>(big_endian ? a << 8 | b : b << 8 | a);
    };
    if (rest.size() < 2) return rest.size();
    const unsigned u = unit(0);
    if (u >= 0xD800 && u <= 0xDBFF && rest.size() >= 4) {
        const unsigned next = unit(2);
        if (next >= 0xDC00 && next <= 0xDFFF) return 4;
    }
    return 2;
}

bool starts_with_nocase(const char* s, const char* prefix) {
    return strncasecmp(s, prefix, std::strlen(prefix)) == 0;
}

// How a source charset is cut into characters, so that one the target lacks (or a malformed
// one) becomes exactly one replacement and what follows stays intact.
enum class Source { Utf8, Gbk, Big5, Utf16Le, Utf16Be, Other };

Source source_of(const char* from) {
    if (starts_with_nocase(from, "UTF-8") || starts_with_nocase(from, "UTF8")) return Source::Utf8;
    if (starts_with_nocase(from, "GBK") || starts_with_nocase(from, "GB18030")) return Source::Gbk;
    if (starts_with_nocase(from, "BIG5")) return Source::Big5;
    if (strcasecmp(from, "UTF-16LE") == 0) return Source::Utf16Le;
    if (strcasecmp(from, "UTF-16BE") == 0 || strcasecmp(from, "UTF-16") == 0)
        return Source::Utf16Be;
    return Source::Other;
}

// One descriptor per charset pair and thread: iconv_open is far dearer than a conversion.
class Converter {
  public:
    Converter(const char* from, const char* to)
        : cd_(iconv_open(to, from)),
          source_(source_of(from)),
          unit_(starts_with_nocase(from, "UTF-32") ? 4 : 1) {
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
        out.reserve(in.size() + in.size() / 4 + 16);
        // Through a small buffer: a whole-size output buffer would be zero-filled first and
        // walked through memory twice.
        char chunk[64 * 1024];
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        while (src_left > 0) {
            char* dst = chunk;
            size_t dst_left = sizeof chunk;
            size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.append(chunk, sizeof chunk - dst_left);
            if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ or EINVAL (a sequence cut off at the end): replace the whole character
            // and go on. What the encoder holds back (Big5-HKSCS keeps a character to see
            // whether a combining one follows) comes first.
            flush(out);
            size_t n = char_length(std::string_view(src, src_left));
            if (n > src_left) n = src_left;
            src += n;
            src_left -= n;
            out += replacement_;
        }
        flush(out);
        return out;
    }

  private:
    size_t char_length(std::string_view rest) const {
        switch (source_) {
            case Source::Utf8:
                return utf8_sequence_length(rest);
            case Source::Gbk:
                return char_size_at(rest, 0);
            case Source::Big5:
                return big5_char_size(rest);
            case Source::Utf16Le:
            case Source::Utf16Be:
                return utf16_char_size(rest, source_ == Source::Utf16Be);
            case Source::Other:
                break;
        }
        return unit_;
    }
    // Writes out the shift state or held-back character and resets the descriptor.
    void flush(std::string& out) {
        char tail[64];
        char* dst = tail;
        size_t dst_left = sizeof tail;
        iconv(cd_, nullptr, nullptr, &dst, &dst_left);
        out.append(tail, sizeof tail - dst_left);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }

    iconv_t cd_;
    Source source_;
    size_t unit_;
    std::string replacement_ = "?";
};

// UTF-8 to GBK is the conversion of almost every article: a table of the basic plane, filled
// once from iconv itself, and a decoder that takes whole sequences the way the iconv path
// does ("?" for a sequence GBK lacks or that is malformed).
class Utf8ToGbk {
  public:
    Utf8ToGbk() : table_(0x10000, 0) {
        iconv_t cd = iconv_open("GBK", "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            char in[2] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8)};
            char out[4];
            char* src = in;
            char* dst = out;
            size_t src_left = 2, dst_left = sizeof out;
            // Two bytes only: glibc also gives the euro sign as the single byte 80 (code
            // page 936's), which no server's gbk takes; it becomes "?" like every other
            // character GBK lacks.
            const bool converted =
                iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
            if (converted && sizeof out - dst_left == 2)
                table_[cp] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                   static_cast<unsigned char>(out[1]));
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        iconv_close(cd);
    }

    std::string run(std::string_view in, bool lossless) const {
        // GBK never takes more bytes than UTF-8; a four-byte form at most twice as many (for a
        // two-byte sequence).
        std::string out(in.size() * (lossless ? 2 : 1), '\0');
        char* to = out.data();
        const auto* p = reinterpret_cast<const unsigned char*>(in.data());
        const size_t n = in.size();
        for (size_t i = 0; i < n;) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                *to++ = static_cast<char>(c);
                ++i;
                continue;
            }
            const size_t len = utf8_sequence_length(in.substr(i));
            // A sequence cut off by the end is as long as what is left, not as its lead says:
            // decoding it would make up a different character.
            const size_t declared = utf8_declared_length(c);
            uint32_t cp = 0;
            if (len == declared && len == 2) cp = (c & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
            if (len == declared && len == 3)
                cp = (c & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
            if (len == declared && len == 4)
                cp = (c & 0x07u) << 18 | (p[i + 1] & 0x3Fu) << 12 | (p[i + 2] & 0x3Fu) << 6 |
                     (p[i + 3] & 0x3Fu);
            const bool well_formed = (len == 2 && cp >= 0x80) || (len == 3 && cp >= 0x800) ||
                                     (len == 4 && cp >= 0x10000 && cp < 0x110000);
            // iconv drops Unicode's tag characters (U+E0000 to U+E007F) instead of refusing
            // them; so does this path in GBK, to give its answers.
            if (!lossless && well_formed && cp >= 0xE0000 && cp <= 0xE007F) {
                i += len;
                continue;
            }
            const uint16_t g = well_formed && cp < 0x10000 ? table_[cp] : 0;
            if (g) {
                *to++ = static_cast<char>(g >> 8);
                *to++ = static_cast<char>(g & 0xFF);
            } else if (lossless && well_formed && !is_surrogate(cp)) {
                to = write_four_byte(to, cp);
            } else {
                *to++ = '?';
            }
            i += len;
        }
        out.resize(static_cast<size_t>(to - out.data()));
        return out;
    }

    // The GBK form of a basic-plane code point: two bytes (> 0xFF), one byte (ASCII), or 0
    // when GBK lacks it.
    uint16_t gbk_of(uint32_t cp) const {
        return cp < 0x80 ? static_cast<uint16_t>(cp) : table_[cp];
    }

  private:
    std::vector<uint16_t> table_;
};

const Utf8ToGbk& utf8_to_gbk_table() {
    static const Utf8ToGbk table;
    return table;
}

bool is_utf8(const char* name) {
    return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}
bool is_gbk(const char* name) {
    return strcasecmp(name, "GBK") == 0;
}

Converter& converter(const char* from, const char* to) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{from, to}];
    if (!slot) slot = std::make_unique<Converter>(from, to);
    return *slot;
}

}  // namespace

namespace {

// Program text to UTF-16 and back is what every regular expression costs, twice: a table of
// every GBK character, filled once from iconv itself (U+FFFD for bytes that are no GBK
// character, as the iconv path gives), and the table of the UTF-8 path for the way back ("?"
// for a unit GBK lacks), make it a lookup per character.
class GbkUtf16Tables {
  public:
    GbkUtf16Tables() : units_(0x10000, 0xFFFD) {
        iconv_t cd = iconv_open("UTF-16LE", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        auto fill = [&](size_t key, std::string in) {
            char out[8];
            char* src = in.data();
            char* dst = out;
            size_t src_left = in.size(), dst_left = sizeof out;
            if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) &&
                src_left == 0 && sizeof out - dst_left == 2)
                units_[key] = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                    static_cast<unsigned char>(out[1]) << 8);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        };
        for (size_t b = 0; b < 0x100; ++b) fill(b, std::string(1, static_cast<char>(b)));
        for (size_t lead = 0x81; lead <= 0xFE; ++lead)
            for (size_t trail = 0x40; trail <= 0xFE; ++trail)
                if (trail != 0x7F)
                    fill(lead << 8 | trail, {static_cast<char>(lead), static_cast<char>(trail)});
        iconv_close(cd);
    }

    // The character of a GBK pair, or of a single byte; U+FFFD when GBK has none there.
    char16_t pair_unit(unsigned char lead, unsigned char trail) const {
        return units_[static_cast<size_t>(lead) << 8 | trail];
    }
    char16_t single_unit(unsigned char byte) const { return units_[byte]; }

    std::u16string to_utf16(std::string_view s) const {
        std::u16string out(s.size(), u'\0');
        char16_t* to = out.data();
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        const size_t n = s.size();
        for (size_t i = 0; i < n;) {
            const unsigned char lead = p[i];
            if (lead < 0x80) {
                *to++ = lead;
                ++i;
            } else if (i + 1 < n && is_lead_byte(lead) && is_trail_byte(p[i + 1])) {
                *to++ = units_[static_cast<size_t>(lead) << 8 | p[i + 1]];
                i += 2;
            } else {
                *to++ = units_[lead];
                ++i;
            }
        }
        out.resize(static_cast<size_t>(to - out.data()));
        return out;
    }

    static std::string to_gbk(std::u16string_view u, bool lossless) {
        const Utf8ToGbk& table = utf8_to_gbk_table();
        std::string out(u.size() * (lossless ? 4 : 2), '\0');
        char* to = out.data();
        for (size_t i = 0; i < u.size(); ++i) {
            const char16_t v = u[i];
            if (v < 0x80) {
                *to++ = static_cast<char>(v);
                continue;
            }
            if (is_surrogate(v)) {
                // A pair outside the basic plane (a character GBK lacks), or a lone half.
                if (v <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
                    const uint32_t cp = 0x10000 + ((v - 0xD800u) << 10 | (u[++i] - 0xDC00u));
                    if (lossless) {
                        to = write_four_byte(to, cp);
                        continue;
                    }
                    // Unicode's tag characters go, as iconv drops them.
                    if (cp >= 0xE0000 && cp <= 0xE007F) continue;
                }
                *to++ = '?';
                continue;
            }
            const uint16_t g = table.gbk_of(v);
            if (g) {
                *to++ = static_cast<char>(g >> 8);
                *to++ = static_cast<char>(g & 0xFF);
            } else if (lossless) {
                to = write_four_byte(to, v);
            } else {
                *to++ = '?';
            }
        }
        out.resize(static_cast<size_t>(to - out.data()));
        return out;
    }

  private:
    std::vector<char16_t> units_;  // by byte, or lead << 8 | trail
};

const GbkUtf16Tables& gbk_utf16_tables() {
    static const GbkUtf16Tables tables;
    return tables;
}

}  // namespace

namespace {

// Walks program text: on_char(code point) for each character, on_invalid(bytes) for each
// byte, or GBK pair, that is none (a pair GBK does not define is one). In GBK the byte 80 is
// the euro sign, as iconv reads it (a raw ANSI file's); lossless, a four-byte form is its
// character and 80 none, as the server's gbk has it.
template <class OnChar, class OnInvalid>
void walk_program(std::string_view s, bool lossless, OnChar on_char, OnInvalid on_invalid) {
    const GbkUtf16Tables& tables = gbk_utf16_tables();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            on_char(c);
            ++i;
            continue;
        }
        const bool lead = is_lead_byte(c) && i + 1 < n;
        if (lead && is_trail_byte(p[i + 1])) {
            const char16_t u = tables.pair_unit(c, p[i + 1]);
            if (u == 0xFFFD)
                on_invalid(s.substr(i, 2));
            else
                on_char(u);
            i += 2;
        } else if (lossless && lead && i + 3 < n && is_digit_byte(p[i + 1]) &&
                   is_lead_byte(p[i + 2]) && is_digit_byte(p[i + 3])) {
            const uint32_t v = four_byte_value(p + i);
            if (v >= 0x80 && v < 0x110000 && !is_surrogate(v))
                on_char(v);
            else
                on_invalid(s.substr(i, 4));
            i += 4;
        } else {
            // A lone lead byte, or 80 or FF: the server's gbk takes none of them alone.
            if (const char16_t u = tables.single_unit(c); !lossless && u != 0xFFFD)
                on_char(u);
            else
                on_invalid(s.substr(i, 1));
            ++i;
        }
    }
}

// Program text to UTF-8, with replacement in place of each invalid piece (empty: the bytes
// as they are). Written through a pointer: this is every exported UTF-8 file.
std::string program_to_utf8(std::string_view s, bool lossless, std::string_view replacement) {
    // A GBK pair takes three bytes for its two; anything else at most its own size, but a
    // replacement.
    std::string out(s.size() + s.size() / 2 + 8, '\0');
    size_t n = 0;
    auto room = [&](size_t k) {
        if (n + k > out.size()) out.resize(std::max(out.size() * 2, n + k));
    };
    walk_program(
        s, lossless,
        [&](uint32_t cp) {
            room(4);
            char* to = out.data() + n;
            if (cp < 0x80) {
                *to++ = static_cast<char>(cp);
            } else if (cp < 0x800) {
                *to++ = static_cast<char>(0xC0 | cp >> 6);
                *to++ = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                *to++ = static_cast<char>(0xE0 | cp >> 12);
                *to++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                *to++ = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                *to++ = static_cast<char>(0xF0 | cp >> 18);
                *to++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
                *to++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                *to++ = static_cast<char>(0x80 | (cp & 0x3F));
            }
            n = static_cast<size_t>(to - out.data());
        },
        [&](std::string_view bytes) {
            const std::string_view put = replacement.empty() ? bytes : replacement;
            room(put.size());
            std::copy(put.begin(), put.end(), out.data() + n);
            n += put.size();
        });
    out.resize(n);
    return out;
}

}  // namespace

std::string convert_charset(std::string_view in, const char* from, const char* to, bool* ok) {
    if (ok) *ok = true;
    const bool lossless = lossless_text();
    if (is_gbk(to)) {
        if (is_utf8(from)) return utf8_to_gbk_table().run(in, lossless);
        // UTF-16 by the unit table: a lone half of a pair, or a last odd byte, is one "?".
        if (const Source form = source_of(from);
            form == Source::Utf16Le || form == Source::Utf16Be) {
            std::u16string units(in.size() / 2, u'\0');
            const auto* p = reinterpret_cast<const unsigned char*>(in.data());
            const int high = form == Source::Utf16Be ? 0 : 1;
            for (size_t k = 0; k < units.size(); ++k)
                units[k] = static_cast<char16_t>(p[2 * k + high] << 8 | p[2 * k + 1 - high]);
            std::string out = GbkUtf16Tables::to_gbk(units, lossless);
            if (in.size() % 2) out += '?';
            return out;
        }
        // Through UTF-8 and its table: iconv's GBK writes the euro sign as 80, and holds
        // nothing outside GBK.
        Converter& c = converter(from, "UTF-8");
        if (ok) *ok = c.valid();
        return utf8_to_gbk_table().run(c.run(in), lossless);
    }
    if (is_gbk(from) && (lossless || is_utf8(to))) {
        const std::string utf8 = program_to_utf8(in, lossless, "?");
        if (is_utf8(to)) return utf8;
        Converter& c = converter("UTF-8", to);
        if (ok) *ok = c.valid();
        return c.run(utf8);
    }
    Converter& c = converter(from, to);
    if (ok) *ok = c.valid();
    return c.run(in);
}

std::string utf8_to_gbk(std::string_view utf8, bool lossless) {
    return utf8_to_gbk_table().run(utf8, lossless);
}

std::string gbk_to_utf8(std::string_view gbk, bool lossless) {
    return program_to_utf8(gbk, lossless, "\xEF\xBF\xBD");
}

std::string program_to_server_utf8(std::string_view text) {
    return program_to_utf8(text, true, {});
}

std::u16string gbk_to_utf16(std::string_view gbk, bool lossless) {
    if (!lossless) return gbk_utf16_tables().to_utf16(gbk);
    std::u16string out;
    out.reserve(gbk.size());
    walk_program(
        gbk, true,
        [&](uint32_t cp) {
            if (cp < 0x10000) {
                out += static_cast<char16_t>(cp);
            } else {
                out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
        },
        [&](std::string_view) { out += u'\xFFFD'; });
    return out;
}

std::string utf16_to_gbk(std::u16string_view utf16, bool lossless) {
    return GbkUtf16Tables::to_gbk(utf16, lossless);
}

std::string code_point_text(uint32_t code_point, bool lossless) {
    std::string out;
    if (code_point == 0) return out;
    const uint16_t g = code_point < 0x10000 ? utf8_to_gbk_table().gbk_of(code_point) : 0;
    if (g > 0xFF) {
        out += static_cast<char>(g >> 8);
        out += static_cast<char>(g & 0xFF);
    } else if (g) {
        out += static_cast<char>(g);
    } else if (lossless && code_point < 0x110000 && !is_surrogate(code_point)) {
        append_four_byte(out, code_point);
    } else {
        out += '?';
    }
    return out;
}

std::string plain_gbk(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = char_size_at(text, i);
        if (n == 4)
            out += '?';
        else
            out.append(text, i, n);
        i += n;
    }
    return out;
}

}  // namespace qb::text
