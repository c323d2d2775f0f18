#include "text/html.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "text/gbk.h"
#include "text/iconv_text.h"
#include "text/pump.h"
#include "text/random.h"
#include "text/regex.h"

namespace qb::text {

namespace {

// The processed end of a text that is rewritten from its end towards its start: pieces are
// put in front, kept reversed so that doing so costs only their own length. Tracks where
// one chosen byte occurs, to find its first occurrence from the front.
class ReverseTail {
  public:
    explicit ReverseTail(char tracked) : tracked_(tracked) {}
    void push_front(std::string_view piece) {
        for (size_t i = piece.size(); i-- > 0;) {
            if (piece[i] == tracked_) marks_.push_back(rev_.size());
            rev_.push_back(piece[i]);
        }
    }
    void pop_front(size_t n) {
        rev_.resize(rev_.size() - n);
        while (!marks_.empty() && marks_.back() >= rev_.size()) marks_.pop_back();
    }
    // Front index of the first tracked byte, or npos.
    size_t first_tracked() const {
        return marks_.empty() ? std::string::npos : rev_.size() - 1 - marks_.back();
    }
    std::string front(size_t from, size_t to) const {  // bytes [from, to) counted from the front
        std::string out;
        for (size_t k = from; k < to; ++k) out.push_back(rev_[rev_.size() - 1 - k]);
        return out;
    }
    std::string str() const { return std::string(rev_.rbegin(), rev_.rend()); }

  private:
    char tracked_;
    std::string rev_;
    std::vector<size_t> marks_;  // indexes into rev_ of the tracked byte, ascending
};

// The value of a numeric reference's inner text: leading decimal digits, or when that gives
// 0, hexadecimal digits after the first character. Arithmetic wraps; only 16 bits are used.
uint64_t reference_value(const std::string& inner) {
    uint64_t v = 0;
    for (char c : inner) {
        if (c < '0' || c > '9') break;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v != 0 || inner.empty()) return v;
    for (size_t i = char_size_at(inner, 0); i < inner.size(); ++i) {
        char c = inner[i];
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) break;
        v = v * 16 + static_cast<uint64_t>(d);
    }
    return v;
}

// The program text of one UTF-16 unit, as utf16_to_gbk gives it, up to a zero byte; found
// once per unit.
std::string unit_text(char16_t unit) {
    // Bits 0-15: the bytes, first in the high half; bits 16-17: how many; bit 31: known.
    static thread_local std::vector<uint32_t> known(0x10000, 0);
    uint32_t& k = known[unit];
    if (!(k & 0x80000000u)) {
        std::string v = utf16_to_gbk(std::u16string_view(&unit, 1), false);
        v = v.substr(0, std::min(v.find('\0'), size_t{2}));
        uint32_t bytes = 0;
        for (char c : v) bytes = bytes << 8 | static_cast<unsigned char>(c);
        k = 0x80000000u | static_cast<uint32_t>(v.size()) << 16 | bytes;
    }
    const size_t n = (k >> 16) & 3;
    std::string out;
    if (n == 2) out += static_cast<char>(k >> 8 & 0xFF);
    if (n >= 1) out += static_cast<char>(k & 0xFF);
    return out;
}

// The program text of a reference's value: in GBK its low 16 bits as one UTF-16 unit; in the
// lossless mode the code point itself when there is one.
std::string reference_text(uint64_t v) {
    if (lossless_text() && v < 0x110000 && !(v >= 0xD800 && v <= 0xDFFF))
        return code_point_text(static_cast<uint32_t>(v));
    return unit_text(static_cast<char16_t>(v & 0xFFFF));
}

std::string decode_numeric_references(const std::string& s) {
    std::vector<size_t> refs;  // "&#" at byte offsets; neither byte can be a trail byte
    for (const char* p = static_cast<const char*>(std::memchr(s.data(), '&', s.size())); p;) {
        size_t i = static_cast<size_t>(p - s.data());
        pump_now_and_then(i);
        if (i + 1 < s.size() && s[i + 1] == '#') refs.push_back(i);
        if (i + 1 >= s.size()) break;
        p = static_cast<const char*>(std::memchr(p + 1, '&', s.size() - i - 1));
    }
    if (refs.empty()) return s;
    // The common case: every reference has its ";" before the next "&#". Each then takes that
    // ";" whatever the later ones became, and they can be decoded front to back.
    std::vector<size_t> semis;
    semis.reserve(refs.size());
    for (size_t r = 0; r < refs.size(); ++r) {
        pump_now_and_then(r);
        const size_t end = r + 1 < refs.size() ? refs[r + 1] : s.size();
        const void* semi = std::memchr(s.data() + refs[r] + 2, ';', end - refs[r] - 2);
        if (!semi) break;
        semis.push_back(static_cast<size_t>(static_cast<const char*>(semi) - s.data()));
    }
    if (semis.size() == refs.size()) {
        std::string out;
        out.reserve(s.size());
        size_t done = 0;
        for (size_t r = 0; r < refs.size(); ++r) {
            pump_now_and_then(r);
            out.append(s, done, refs[r] - done);
            const uint64_t v = reference_value(s.substr(refs[r] + 2, semis[r] - refs[r] - 2));
            out += reference_text(v);
            done = semis[r] + 1;
        }
        out.append(s, done, std::string::npos);
        return out;
    }
    ReverseTail tail(';');
    size_t pending = s.size();  // s[0, pending) is not yet in the tail
    for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
        pump_now_and_then(static_cast<size_t>(refs.rend() - it));
        tail.push_front(std::string_view(s).substr(*it, pending - *it));
        pending = *it;
        const size_t semi = tail.first_tracked();
        if (semi == std::string::npos) continue;  // no ";" after it: left as it is
        const uint64_t v = reference_value(tail.front(2, semi));
        tail.pop_front(semi + 1);
        tail.push_front(reference_text(v));
    }
    tail.push_front(std::string_view(s).substr(0, pending));
    return tail.str();
}

// Deletes every "<" ... ">" from the end towards the start: each "<" takes the first ">"
// after it in the text as it stands then.
}  // namespace

std::string RemoveTags(const std::string& s) {
    // The common case: every "<" but the last has a ">" before the next "<". Each then takes
    // that ">" whatever became of the text after it, and the tags go front to back; a last "<"
    // without any ">" after it stays.
    {
        std::string out;
        out.reserve(s.size());
        size_t done = 0;
        bool simple = true;
        size_t steps = 0;
        for (size_t lt = s.find('<'); lt != std::string::npos;) {
            pump_now_and_then(++steps);
            const size_t next = s.find('<', lt + 1);
            const size_t gt = s.find('>', lt + 1);
            if (gt == std::string::npos && next == std::string::npos) break;  // the last stays
            if (gt == std::string::npos || (next != std::string::npos && gt > next)) {
                simple = false;
                break;
            }
            out.append(s, done, lt - done);
            done = gt + 1;
            lt = next;
        }
        if (simple) {
            out.append(s, done, std::string::npos);
            return out;
        }
    }
    ReverseTail tail('>');
    size_t pending = s.size();
    size_t steps = 0;
    for (size_t i = s.size(); i-- > 0;) {
        if (s[i] != '<') continue;
        pump_now_and_then(++steps);
        tail.push_front(std::string_view(s).substr(i, pending - i));
        pending = i;
        const size_t close = tail.first_tracked();
        if (close != std::string::npos) tail.pop_front(close + 1);
    }
    tail.push_front(std::string_view(s).substr(0, pending));
    return tail.str();
}

namespace {

struct Found {
    std::string text;
    int next_position;
};

// One pass of ExtractBetween; an empty head stands for the start, an empty tail for the end.
bool between_pass(std::string_view text, const std::string& head, const std::string& tail,
                  int position, const BetweenOptions& o, Found& out) {
    const int from = position < 1 ? 1 : position;
    if (from > static_cast<int>(text.size()) + 1) return false;
    int head_at, tail_at;
    const int end_of_text = static_cast<int>(text.size()) + 1;
    if (!o.reverse) {
        head_at = head.empty() ? from : find_nocase(text, head, from);
        if (head_at == -1) return false;
        tail_at = tail.empty() ? end_of_text
                               : find_nocase(text, tail, head_at + static_cast<int>(head.size()));
        if (tail_at == -1) return false;
    } else {
        tail_at = tail.empty() ? end_of_text : find_nocase(text, tail, from);
        if (tail_at == -1) return false;
        if (head.empty()) {
            head_at = 1;
        } else {
            // The nearest head that ends before the tail.
            head_at = -1;
            for (int p = find_nocase(text, head, 1);
                 p != -1 && p + static_cast<int>(head.size()) <= tail_at;
                 p = find_nocase(text, head, p + 1, static_cast<size_t>(p - 1)))
                head_at = p;
            if (head_at == -1) return false;
        }
    }
    long begin = head_at - 1 + static_cast<long>(head.size()) + o.start_offset;
    long end = tail_at - 1 - static_cast<long>(o.end_trim);
    begin = std::clamp<long>(begin, 0, static_cast<long>(text.size()));
    end = std::clamp<long>(end, begin, static_cast<long>(text.size()));
    out.text =
        std::string(text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin)));
    out.next_position = tail_at + static_cast<int>(tail.size());
    return true;
}

struct Entity {
    std::string name, character;
};

const std::vector<Entity>& entities() {
    static const std::vector<Entity> table = [] {
        const auto names = split(
            "&ndash;|&mdash;|&ldquo;|&rdquo;|&nbsp;|&lt;|&gt;|&quot;|&times;|&divide;|&middot;|"
            "&hellip;|&lsquo;|&rsquo;|&permil;|&prime;|&Prime;|&larr;|&uarr;|&rarr;|&darr;|"
            "&radic;|&prop;|&infin;|&ang;|&and;|&or;|&cap;|&cup;|&int;|&there4;|&sim;|&asymp;|"
            "&ne;|&equiv;|&le;|&ge;|&oplus;|&perp;|&amp;",
            "|");
        const std::vector<std::string> chars = {
            G("–"), G("—"),  G("“"), G("”"), " ",    "<",    ">",    "\"",   G("×"), G("÷"),
            G("·"), G("…"),  G("‘"), G("’"), G("‰"), G("′"), G("″"), G("←"), G("↑"), G("→"),
            G("↓"), G("√"),  G("∝"), G("∞"), G("∠"), G("∧"), G("∨"), G("∩"), G("∪"), G("∫"),
            G("∴"), G("～"), G("≈"), G("≠"), G("≡"), G("≤"), G("≥"), G("⊕"), G("⊥"), "&"};
        std::vector<Entity> t;
        for (size_t i = 0; i < names.size(); ++i) t.push_back({names[i], chars[i]});
        return t;
    }();
    return table;
}

// The first offset at or after from where the text holds the ASCII text `what` (letters
// compared without regard to case), remembered so that a scan moving forward pays for each
// offset once. The texts looked for begin with a byte that is never part of a GBK character,
// so a byte match is a character match.
class NextOccurrence {
  public:
    NextOccurrence(std::string_view s, std::string_view what) : s_(s), what_(what) {}
    // from must not decrease from one call to the next.
    size_t at_or_after(size_t from) {
        if (found_ == kEnd || (found_ != kNone && found_ >= from)) return found_;
        for (size_t i = found_ == kNone ? from : std::max(from, found_ + 1);
             i + what_.size() <= s_.size(); ++i)
            if (matches_at(i)) return found_ = i;
        return found_ = kEnd;
    }
    static constexpr size_t kEnd = static_cast<size_t>(-2);

  private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    bool matches_at(size_t i) const {
        for (size_t k = 0; k < what_.size(); ++k) {
            char c = s_[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            if (c != what_[k]) return false;
        }
        return true;
    }
    std::string_view s_, what_;
    size_t found_ = kNone;
};

// What each character of program text becomes on a trip through UTF-16 and back, as the
// expression engine's text made it: itself for nearly every one, "?" for bytes that are no
// GBK character. Found once, from iconv itself, with two conversions of every character.
class GbkRoundTrip {
  public:
    GbkRoundTrip() : pairs_(0x10000) {
        // Every single byte, then every lead and trail pair, one to a line.
        std::string all;
        for (int b = 0; b < 0x100; ++b)
            if (b != '\n') all += {static_cast<char>(b), '\n'};
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                if (trail != 0x7F) all += {static_cast<char>(lead), static_cast<char>(trail), '\n'};
        const std::vector<std::string> back =
            split(utf16_to_gbk(gbk_to_utf16(all, false), false), "\n");
        size_t k = 0;
        for (int b = 0; b < 0x100; ++b)
            if (b != '\n') singles_[b] = k < back.size() ? back[k++] : "?";
        singles_[static_cast<unsigned char>('\n')] = "\n";
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                if (trail != 0x7F) pair_out(lead, trail) = k < back.size() ? back[k++] : "?";
    }
    void append(std::string& out, std::string_view s, size_t i, size_t n) const {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (n == 1) {
            out += singles_[lead];
        } else if (n == 4) {
            out.append(s, i, 4);  // the lossless mode's form goes through UTF-16 unchanged
        } else {
            out += pairs_[static_cast<size_t>(lead) << 8 | static_cast<unsigned char>(s[i + 1])];
        }
    }

  private:
    std::string& pair_out(int lead, int trail) {
        return pairs_[static_cast<size_t>(lead) << 8 | static_cast<size_t>(trail)];
    }
    std::string singles_[0x100];
    std::vector<std::string> pairs_;
};

const GbkRoundTrip& gbk_round_trip() {
    static const GbkRoundTrip table;
    return table;
}

}  // namespace

std::string RemoveSummaryMarkup(const std::string& text, size_t max_chars) {
    // What the expression "<a [\s\S]+?</a>|<[\s\S]+?>|\r|\n| {2,}" (case-insensitive, every
    // match removed) removes, found in one pass: at each place the first alternative that
    // matches wins, and the shortest ends are looked up once for the whole scan instead of
    // being searched for again after every "<" (a page whose links are never closed made
    // that quadratic). Every character kept is what the engine's trip through UTF-16 made
    // of it.
    const GbkRoundTrip& trip = gbk_round_trip();
    NextOccurrence link_end(text, "</a>"), tag_end(text, ">");
    std::string out;
    out.reserve(std::min(text.size(), max_chars * 2));
    size_t kept = 0;
    size_t steps = 0;
    for (size_t i = 0; i < text.size() && kept < max_chars;) {
        pump_now_and_then(++steps);
        const char c = text[i];
        if (c == '<') {
            if (i + 3 < text.size() && (text[i + 1] == 'a' || text[i + 1] == 'A') &&
                text[i + 2] == ' ') {
                const size_t close = link_end.at_or_after(i + 4);
                if (close != NextOccurrence::kEnd) {
                    i = close + 4;
                    continue;
                }
            }
            const size_t close = tag_end.at_or_after(i + 2);
            if (close != NextOccurrence::kEnd) {
                i = close + 1;
                continue;
            }
        } else if (c == '\r' || c == '\n') {
            ++i;
            continue;
        } else if (c == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
            while (i < text.size() && text[i] == ' ') ++i;
            continue;
        }
        const size_t n = char_size_at(text, i);
        trip.append(out, text, i, n);
        ++kept;
        i += n;
    }
    return out;
}

std::string ExtractBetween(std::string_view text, const std::string& head_in,
                           const std::string& tail_in, int* position, BetweenOptions options) {
    std::string head = options.raw ? head_in : replace_all(head_in, "''", "\"");
    std::string tail = options.raw ? tail_in : replace_all(tail_in, "''", "\"");
    const int entry = position ? *position : 0;
    Found f;
    bool ok = between_pass(text, head, tail, entry, options, f);
    if (!ok) {
        // The same markup written without quotes.
        ok = between_pass(text, replace_all(head, "\"", ""), replace_all(tail, "\"", ""), entry,
                          options, f);
    }
    if (!ok) return {};
    if (position) *position = f.next_position;
    return f.text;
}

std::string DecodeEntities(const std::string& text) {
    if (text.find('&') == std::string::npos) return text;
    // One pass for the names, each "&" tried against the table. It gives what a pass per name
    // in table order gives: an occurrence runs from its "&" to the first ";" and holds no other
    // "&", so no two overlap; "&" is never a trail byte, so every occurrence starts a
    // character; and no replacement makes a new name (none holds a letter after an "&" except
    // the "&" of "&amp;", which comes last and is not looked at again).
    static const std::unordered_map<std::string_view, std::string_view> by_name = [] {
        std::unordered_map<std::string_view, std::string_view> m;
        for (const Entity& e : entities()) m.emplace(e.name, e.character);
        return m;
    }();
    constexpr size_t kLongestName = 8;  // "&there4;"
    std::string s;
    s.reserve(text.size());
    size_t done = 0;
    size_t steps = 0;
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
        pump_now_and_then(++steps);
        // Only as far as the longest name: a search to the next ";" of the text after every
        // "&" would make a page of "&"s quadratic.
        const size_t window = std::min(kLongestName, text.size() - at) - 1;
        const void* found = std::memchr(text.data() + at + 1, ';', window);
        if (!found) continue;
        const size_t semi = static_cast<size_t>(static_cast<const char*>(found) - text.data());
        const auto hit = by_name.find(std::string_view(text).substr(at, semi - at + 1));
        if (hit == by_name.end()) continue;
        s.append(text, done, at - done);
        s += hit->second;
        done = semi + 1;
        at = semi;
    }
    s.append(text, done, std::string::npos);
    return decode_numeric_references(s);
}

size_t CountChars(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++n) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            i += 2;
        else
            i += char_size_at(text, i);
    }
    return n;
}

std::string LeftChars(const std::string& text, long n) {
    if (n < 0) n = static_cast<long>(CountChars(text)) + n;
    if (n <= 0) return {};
    size_t i = 0;
    for (long k = 0; k < n && i < text.size(); ++k) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            i += 2;
        else
            i += char_size_at(text, i);
    }
    return text.substr(0, i);
}

std::string MakeSummary(const std::string& contents, long min, long max) {
    Reseed();
    // No line breaks are left to count as one: the first n characters are all there is to
    // find, and the rest of the page need not be looked at.
    const auto n = static_cast<size_t>(RandomInt(min, max));
    return RemoveSummaryMarkup(DecodeEntities(contents), n);
}

const std::string& default_sentence_separators() {
    static const std::string set = G(",，。！!？?;；<>/:：()='. {}《》（）、‘’- \"“”") + "\r\n";
    return set;
}

namespace {

bool is_line_blank(char16_t u) {
    return u == u' ' || u == u'\t' || u == u'\u3000';
}

// What the expression "^[　 \t]*$(\r\n)|^[ 　\t]+|[ 　\t]+$" (multi-line; CR, LF and CR LF
// end a line) removes: blank lines, and the blanks at the start and end of every line.
std::u16string remove_line_blanks(const std::u16string& u) {
    const size_t n = u.size();
    auto line_start = [&](size_t p) {
        return p == 0 || u[p - 1] == u'\n' || (u[p - 1] == u'\r' && (p >= n || u[p] != u'\n'));
    };
    auto ordinary = [&](size_t p) {
        return !is_line_blank(u[p]) && u[p] != u'\r' && u[p] != u'\n';
    };
    std::u16string out;
    out.reserve(n);
    size_t steps = 0;
    for (size_t i = 0; i < n;) {
        pump_now_and_then(++steps);
        if (ordinary(i)) {
            // Every alternative begins with a blank or a line break: a run of other units goes
            // through whole.
            size_t end = i + 1;
            while (end < n && ordinary(end)) ++end;
            out.append(u, i, end - i);
            i = end;
            continue;
        }
        size_t end = i;
        while (end < n && is_line_blank(u[end])) ++end;
        if (line_start(i)) {
            if (end + 1 < n && u[end] == u'\r' && u[end + 1] == u'\n') {
                i = end + 2;  // a blank line goes with its line break
                continue;
            }
            if (end > i) {
                i = end;
                continue;
            }
        }
        if (end > i && (end == n || u[end] == u'\r' || u[end] == u'\n')) {
            i = end;
            continue;
        }
        // Nothing starts here; inside a run of blanks nothing would either, so it goes whole.
        out.append(u, i, std::max(end, i + 1) - i);
        i = std::max(end, i + 1);
    }
    return out;
}

// The pieces the expression of the default separators ("[" + the characters +
// "]|\r\n|\r|\n|\. ") leaves between its matches: the text with the separators taken out, and
// where each piece ends (none for an empty text). Units are first taken through GBK and back,
// as the cleanup's result was before the separators saw it (a unit GBK lacks became "?", which
// separates). Made in place: no copy of the text with its joints, which for a large article
// cost more than all the rest.
struct Pieces16 {
    std::u16string text;
    std::vector<size_t> ends;
};
Pieces16 default_pieces(std::u16string u) {
    static const std::vector<bool> separates = [] {
        std::vector<bool> in(0x10000, false);
        // The class is made with the wildcard escaping, which turns "?" into ".?": a dot
        // separates too.
        for (char16_t c : gbk_to_utf16(
                 replace_all(replace_all(default_sentence_separators(), "\r\n", ""), ". ", ""),
                 false))
            in[c] = true;
        in[u'.'] = true;
        return in;
    }();
    static const std::vector<char16_t> through_gbk = [] {
        std::vector<char16_t> t(0x10000);
        for (uint32_t v = 0; v < 0x10000; ++v) {
            const char16_t unit = static_cast<char16_t>(v);
            const std::u16string back =
                gbk_to_utf16(utf16_to_gbk(std::u16string_view(&unit, 1), false), false);
            t[v] = back.size() == 1 ? back[0] : u'?';
        }
        return t;
    }();
    Pieces16 out;
    if (u.empty()) return out;
    size_t to = 0;
    bool after_cr = false;  // the last unit was a CR, already a separator
    // In the lossless mode a character GBK lacks stays itself (it separates nothing).
    const bool lossless = lossless_text();
    for (size_t i = 0; i < u.size(); ++i) {
        pump_now_and_then(i);
        // A surrogate pair was one character GBK lacks.
        if (u[i] >= 0xD800 && u[i] <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
            u[i + 1] <= 0xDFFF) {
            if (lossless) {
                u[to++] = u[i++];
                u[to++] = u[i];
                after_cr = false;
                continue;
            }
            ++i;
        }
        char16_t c = through_gbk[u[i]];
        if (lossless && c == u'?') c = u[i];
        // CR LF is one separator.
        const bool lf_of_crlf = c == u'\n' && after_cr;
        after_cr = c == u'\r';
        if (lf_of_crlf) continue;
        if (separates[c] || c == u'\r' || c == u'\n')
            out.ends.push_back(to);
        else
            u[to++] = c;
    }
    out.ends.push_back(to);
    u.resize(to);
    out.text = std::move(u);
    return out;
}

// Both steps as their expressions did them, in UTF-16.
Pieces16 default_sentences(const std::string& text) {
    return default_pieces(remove_line_blanks(gbk_to_utf16(text)));
}

}  // namespace

std::string SentenceSeparatorsMarked(const std::string& text, const std::string& joint) {
    const Pieces16 pieces = default_sentences(text);
    const std::u16string joint16 = gbk_to_utf16(joint);
    std::u16string marked;
    for (size_t k = 0, from = 0; k < pieces.ends.size(); from = pieces.ends[k++]) {
        if (k) marked += joint16;
        marked.append(pieces.text, from, pieces.ends[k] - from);
    }
    return utf16_to_gbk(marked);
}

namespace {

// The pieces between the joints, as split finds them, left where they are. A UTF-16 text
// can be split on its units: each stands for one character of its program text.
template <class Char>
void pieces_between(std::basic_string_view<Char> marked, std::basic_string_view<Char> joint,
                    std::vector<std::basic_string_view<Char>>& pieces) {
    if (marked.empty()) return;
    for (size_t from = 0, known = 0;;) {
        size_t at;
        if constexpr (sizeof(Char) == 1) {
            const int p = find(marked, joint, static_cast<int>(from) + 1, known);
            at = p == -1 ? std::string::npos : static_cast<size_t>(p - 1);
        } else {
            at = marked.find(joint, from);
        }
        pieces.push_back(marked.substr(from, at - from));
        if (at == std::basic_string_view<Char>::npos) break;
        known = at;
        from = at + joint.size();
    }
}

// The sentences a title is drawn from, as the text split at the joints its separators became
// gives them, and the program text of the k-th.
class TitleSentenceList {
  public:
    TitleSentenceList(const std::string& contents, const std::string& separators) {
        std::string text = RemoveTags(contents);
        const std::string joint = G("[⊥]");
        if (separators.empty()) {
            // The common case in one linear pass each, without the expression engine; only the
            // sentences looked at go back to program text.
            const std::u16string joint16 = gbk_to_utf16(joint);
            default_ = default_sentences(text);
            const std::u16string_view all(default_.text);
            for (size_t k = 0, from = 0; k < default_.ends.size(); from = default_.ends[k++]) {
                const std::u16string_view piece = all.substr(from, default_.ends[k] - from);
                // The joint written in the text itself splits it too.
                if (piece.find(joint16[1]) == std::u16string_view::npos)
                    pieces16_.push_back(piece);
                else
                    pieces_between(piece, std::u16string_view(joint16), pieces16_);
            }
            return;
        }
        std::string chars = replace_all(replace_all(separators, "\r\n", ""), ". ", "");
        // An empty class would not compile: leave it out when only line breaks separate.
        std::vector<std::string> alternatives;
        if (!chars.empty()) alternatives.push_back("[" + RegexObject::EscapeWildcard(chars) + "]");
        if (find(separators, "\r\n") != -1) alternatives.push_back("\\r\\n|\\r|\\n");
        if (find(separators, ". ") != -1) alternatives.push_back("\\. ");
        RegexObject cleanup;
        cleanup.Create(G("^[　 \\t]*$(\\r\\n)|^[ 　\\t]+|[ 　\\t]+$"));
        text = cleanup.Replace(text, "");
        RegexObject separator;
        separator.Create(join(alternatives, "|"));
        marked_ = separator.Replace(text, joint);
        pieces_between(std::string_view(marked_), std::string_view(joint), pieces_);
        regex_ = true;
    }
    size_t size() const { return regex_ ? pieces_.size() : pieces16_.size(); }
    std::string operator[](size_t k) const {
        return regex_ ? std::string(pieces_[k]) : utf16_to_gbk(pieces16_[k]);
    }

  private:
    bool regex_ = false;
    Pieces16 default_;
    std::vector<std::u16string_view> pieces16_;
    std::string marked_;
    std::vector<std::string_view> pieces_;
};

}  // namespace

std::vector<std::string> TitleSentences(const std::string& contents,
                                        const std::string& separators) {
    const TitleSentenceList list(contents, separators);
    std::vector<std::string> out;
    for (size_t k = 0; k < list.size(); ++k) out.push_back(list[k]);
    return out;
}

std::string PickTitleSentence(const std::string& contents, const std::string& separators,
                              long min_chars, const std::string& required, bool strict) {
    const TitleSentenceList sentence(contents, separators);
    const size_t count = sentence.size();
    if (count == 0) return {};

    DrawPool draw;
    const auto n = static_cast<int64_t>(count);
    for (int64_t attempt = 0; attempt < n; ++attempt) {
        if ((attempt & 0xFFF) == 0) pump_events();
        const std::string candidate =
            trim_spaces(sentence[static_cast<size_t>(draw.Next(1, n) - 1)]);
        if (candidate.empty()) continue;
        if (min_chars > 0 && CountChars(candidate) < static_cast<size_t>(min_chars)) continue;
        if (!required.empty() && find(candidate, required) == -1) continue;
        return candidate;
    }
    if (strict) return {};
    Reseed();
    return sentence[static_cast<size_t>(RandomInt(1, n) - 1)];
}

std::string SanitizeFileName(const std::string& name) {
    // The characters no file name may hold become their full-width forms; quotes, line breaks,
    // tabs and zero bytes (a zero would end the name where the file system reads it) go.
    static const std::string unsafe = "\\/:*?|<>";
    auto one_by_one = [](std::string s) {
        for (char c : unsafe) {
            const char full[] = {static_cast<char>(0xA3), static_cast<char>(c + 0x80), 0};
            s = replace_all(s, std::string(1, c), full);
        }
        s = replace_all(s, "\"", "");
        s = replace_all(s, "\r\n", "");
        for (const char* c : {"\r", "\n", "\t"}) s = replace_all(s, c, "");
        s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
        return s;
    };
    // Without a lone lead byte every character stays whole whatever is replaced around it,
    // and one pass gives what the passes one character after another give. With one, a
    // full-width form put after it would join it and move the boundaries of what follows:
    // those passes, as they are, say what that makes.
    std::string out;
    out.reserve(name.size() + 16);
    for (size_t i = 0; i < name.size();) {
        const size_t n = char_size_at(name, i);
        const char c = name[i];
        if (n > 1) {
            out.append(name, i, n);
        } else if (is_lead_byte(static_cast<unsigned char>(c))) {
            return one_by_one(name);
        } else if (unsafe.find(c) != std::string::npos) {
            out += static_cast<char>(0xA3);
            out += static_cast<char>(c + 0x80);
        } else if (c != '"' && c != '\r' && c != '\n' && c != '\t' && c != '\0') {
            out += c;
        }
        i += n;
    }
    return out;
}

}  // namespace qb::text
