#include "text/gbk.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace qb::text {

namespace {

// Byte offset of the first character boundary at or after byte offset from, scanning from a
// known boundary `aligned` (<= from).
size_t align_forward(std::string_view s, size_t aligned, size_t from) {
    // A byte that can be no trail byte (ASCII punctuation, blanks, digits, line breaks) starts a
    // character wherever the walk began: in most text one lies a few bytes before from, and
    // the walk can begin there instead of at a boundary far behind. (In the lossless mode a
    // digit may be the second or fourth byte of a four-byte form.)
    const bool digits_start = !lossless_text();
    for (size_t p = from; p > aligned + 1 && from - p < 64;)
        if (const auto b = static_cast<unsigned char>(s[--p]);
            !is_trail_byte(b) && (digits_start || !is_digit_byte(b))) {
            aligned = p;
            break;
        }
    while (aligned < from) aligned += char_size_at(s, aligned);
    return aligned;
}

// Generic aligned search from start0, walking from `known`, a character boundary at or before
// it: `match_at(i)` tells whether the needle matches at boundary i; `candidate(i)` returns the
// next offset >= i where a match is possible (npos when none). A loop that searches again
// after each match passes the match's offset as `known`, so that it pays for the distance it
// moves and not for the walk from the start of the text each time.
template <class Candidate, class MatchAt>
int find_aligned(std::string_view s, size_t known, size_t start0, Candidate candidate,
                 MatchAt match_at) {
    size_t boundary = align_forward(s, known, start0);
    while (boundary < s.size()) {
        size_t c = candidate(boundary);
        if (c == std::string_view::npos) return -1;
        boundary = align_forward(s, boundary, c);
        if (boundary == c) {
            if (match_at(c)) return static_cast<int>(c) + 1;
            boundary += char_size_at(s, c);
        }
    }
    return -1;
}

inline unsigned char ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

size_t start_offset(int start) {
    return start < 1 ? 0 : static_cast<size_t>(start - 1);
}

}  // namespace

int find(std::string_view s, std::string_view needle, int start, size_t known_boundary) {
    if (needle.empty() || s.size() < needle.size()) return -1;
    const size_t start0 = start_offset(start);
    if (start0 >= s.size()) return -1;
    return find_aligned(
        s, std::min(known_boundary, start0), start0,
        [&](size_t from) { return s.find(needle, from); }, [](size_t) { return true; });
}

int rfind(std::string_view s, std::string_view needle, int start) {
    if (needle.empty() || s.size() < needle.size()) return -1;
    size_t limit = start < 1 ? s.size() : static_cast<size_t>(start - 1);
    int last = -1;
    int pos = find(s, needle, 1);
    while (pos != -1 && static_cast<size_t>(pos - 1) <= limit) {
        last = pos;
        pos = find(s, needle, pos + static_cast<int>(char_size_at(s, pos - 1)),
                   static_cast<size_t>(pos - 1));
    }
    return last;
}

int find_nocase(std::string_view s, std::string_view needle, int start, size_t known_boundary) {
    if (needle.empty() || s.size() < needle.size()) return -1;
    const size_t start0 = start_offset(start);
    if (start0 >= s.size()) return -1;
    const unsigned char first = ascii_lower(static_cast<unsigned char>(needle[0]));
    const bool letter = first >= 'a' && first <= 'z';
    auto candidate = [&](size_t from) -> size_t {
        if (!letter) return s.find(static_cast<char>(first), from);  // memchr speed
        for (size_t i = from; i + needle.size() <= s.size(); ++i)
            if (ascii_lower(static_cast<unsigned char>(s[i])) == first) return i;
        return std::string_view::npos;
    };
    auto match_at = [&](size_t at) {
        size_t i = at, j = 0;
        while (j < needle.size()) {
            if (i >= s.size()) return false;
            size_t a = char_size_at(s, i), b = char_size_at(needle, j);
            if (a != b) return false;
            if (a > 1) {
                if (s.substr(i, a) != needle.substr(j, b)) return false;
            } else if (ascii_lower(static_cast<unsigned char>(s[i])) !=
                       ascii_lower(static_cast<unsigned char>(needle[j]))) {
                return false;
            }
            i += a;
            j += b;
        }
        return true;
    };
    return find_aligned(s, std::min(known_boundary, start0), start0, candidate, match_at);
}

std::string replace_all(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string out;
    out.reserve(s.size());
    int prev = 1;
    int pos = find(s, from, 1);
    while (pos != -1) {
        out.append(s.substr(prev - 1, pos - prev));
        out.append(to);
        prev = pos + static_cast<int>(from.size());
        pos = find(s, from, prev, static_cast<size_t>(pos - 1));
    }
    out.append(s.substr(prev - 1));
    return out;
}

std::vector<std::string> split(std::string_view s, std::string_view separator, int max_parts) {
    std::vector<std::string> parts;
    if (s.empty()) return parts;
    if (separator.empty()) {
        parts.emplace_back(s);
        return parts;
    }
    // Counted first, so that the parts are made in place once instead of being moved each time
    // the list grows (a large text has millions).
    size_t count = 1;
    for (int pos = find(s, separator); pos != -1;
         pos = find(s, separator, pos + static_cast<int>(separator.size()),
                    static_cast<size_t>(pos - 1)))
        ++count;
    parts.reserve(max_parts > 0 ? std::min(count, static_cast<size_t>(max_parts)) : count);
    int prev = 1;
    size_t known = 0;  // a character boundary at or before prev
    while (max_parts <= 0 || static_cast<int>(parts.size()) < max_parts) {
        int pos = find(s, separator, prev, known);
        if (pos == -1) {
            parts.emplace_back(s.substr(prev - 1));
            break;
        }
        parts.emplace_back(s.substr(prev - 1, pos - prev));
        prev = pos + static_cast<int>(separator.size());
        known = static_cast<size_t>(pos - 1);
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

std::string trim_spaces(std::string_view s) {
    auto full_width_at = [&](size_t i) {
        return i + 1 < s.size() && static_cast<unsigned char>(s[i]) == 0xA1 &&
               static_cast<unsigned char>(s[i + 1]) == 0xA1;
    };
    size_t begin = 0;
    while (begin < s.size()) {
        if (s[begin] == ' ')
            begin += 1;
        else if (full_width_at(begin))
            begin += 2;
        else
            break;
    }
    // Trailing spaces: walk forward so that a trail byte A1 is never mistaken for a space.
    size_t end = begin, i = begin;
    while (i < s.size()) {
        size_t n = char_size_at(s, i);
        bool space = (n == 1 && s[i] == ' ') || (n == 2 && full_width_at(i));
        i += n;
        if (!space) end = i;
    }
    return std::string(s.substr(begin, end - begin));
}

size_t char_count(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); i += char_size_at(s, i)) ++n;
    return n;
}

std::string left_chars(std::string_view s, size_t n) {
    size_t i = 0;
    while (n > 0 && i < s.size()) {
        i += char_size_at(s, i);
        --n;
    }
    return std::string(s.substr(0, i));
}

int64_t to_int(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        int d = s[i] - '0';
        if (v > (kMax - d) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
        v = v * 10 + d;
    }
    return negative ? -v : v;
}

std::string int_text(int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool is_position(std::string_view s) {
    return !s.empty() && int_text(to_int(s)) == s;
}

}  // namespace qb::text
