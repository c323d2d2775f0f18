// GBK-aware primitives on program text (GBK bytes in std::string).
// Positions are 1-based byte positions, -1 means not found; no search matches inside a
// double-byte character, whatever its second byte is (GBK trail bytes include \ | [ ] @ and
// letters).
//
// In the lossless mode program text also holds every character GBK lacks, in a four-byte form
// shaped as GB18030's (lead 81-FE, 30-39, 81-FE, 30-39) that numbers the code points in
// order. GBK characters keep their bytes, so a text of GBK characters is the same in both
// modes, and every function here needs to know only the shape of the four bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::text {

// A lead byte starts a double-byte character only when a valid trail byte follows it;
// a lone lead byte (at the end, or before an invalid trail) counts as one character.
inline bool is_lead_byte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
inline bool is_trail_byte(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}
inline bool is_digit_byte(unsigned char c) {
    return c >= 0x30 && c <= 0x39;
}

// The lossless mode, for the whole program: set by the window's check box and the command
// line's --lossless, and for the length of a run by LosslessText.
inline std::atomic<bool> lossless_mode{false};
inline bool lossless_text() {
    return lossless_mode.load(std::memory_order_relaxed);
}
class LosslessText {
  public:
    explicit LosslessText(bool on) : before_(lossless_mode.exchange(on)) {}
    ~LosslessText() { lossless_mode.store(before_); }
    LosslessText(const LosslessText&) = delete;
    LosslessText& operator=(const LosslessText&) = delete;

  private:
    bool before_;
};

// The code point a four-byte form stands for (not checked: may be no character at all).
inline uint32_t four_byte_value(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] - 0x81) * 12600 + static_cast<uint32_t>(p[1] - 0x30) * 1260 +
           static_cast<uint32_t>(p[2] - 0x81) * 10 + static_cast<uint32_t>(p[3] - 0x30);
}
// Writes the four bytes at to; returns the end.
inline char* write_four_byte(char* to, uint32_t code_point) {
    *to++ = static_cast<char>(0x81 + code_point / 12600);
    *to++ = static_cast<char>(0x30 + code_point / 1260 % 10);
    *to++ = static_cast<char>(0x81 + code_point / 10 % 126);
    *to++ = static_cast<char>(0x30 + code_point % 10);
    return to;
}
inline void append_four_byte(std::string& out, uint32_t code_point) {
    char four[4];
    out.append(four, write_four_byte(four, code_point));
}

// Length in bytes (1, 2, or 4 in the lossless mode) of the character that starts at byte
// offset i (0-based).
inline size_t char_size_at(std::string_view s, size_t i) {
    if (i + 1 < s.size() && is_lead_byte(static_cast<unsigned char>(s[i]))) {
        const auto next = static_cast<unsigned char>(s[i + 1]);
        if (is_trail_byte(next)) return 2;
        if (is_digit_byte(next) && i + 3 < s.size() && lossless_text() &&
            is_lead_byte(static_cast<unsigned char>(s[i + 2])) &&
            is_digit_byte(static_cast<unsigned char>(s[i + 3])))
            return 4;
    }
    return 1;
}

// Finds needle at or after the 1-based byte position start; a start inside a double-byte
// character begins at the next character. An empty needle is never found.
// known_boundary: a 0-based offset at or before start known to begin a character (an earlier
// match, say); the boundaries are walked from there instead of from the start of the text, so
// that a loop searching again after each match stays linear.
int find(std::string_view s, std::string_view needle, int start = 1, size_t known_boundary = 0);

// Finds the last needle that begins at or before the 1-based position start (-1: anywhere).
int rfind(std::string_view s, std::string_view needle, int start = -1);

// As find, with ASCII letters compared without regard to case; double-byte characters
// compare exactly.
int find_nocase(std::string_view s, std::string_view needle, int start = 1,
                size_t known_boundary = 0);

// Replaces every occurrence of from (left to right, non-overlapping) by to.
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);

// Splits at every separator. Empty text gives no parts; max_parts > 0 keeps at most that many
// leading parts.
std::vector<std::string> split(std::string_view s, std::string_view separator, int max_parts = -1);

// Joins parts with the separator between them.
std::string join(const std::vector<std::string>& parts, std::string_view separator);

// Removes leading and trailing ASCII spaces and full-width ideographic spaces (A1 A1);
// tabs and line breaks stay.
std::string trim_spaces(std::string_view s);

// Number of characters; a double-byte (or four-byte) character counts once.
size_t char_count(std::string_view s);

// The first n characters.
std::string left_chars(std::string_view s, size_t n);

// The leading decimal number (optional blanks, optional sign, digits), 0 when there is none.
// Saturates at the 64-bit range.
int64_t to_int(std::string_view s);

// True when printing to_int(s) in decimal gives back exactly s ("3" yes; "03", "3a", "+3" no).
bool is_position(std::string_view s);

// Decimal text of an integer.
std::string int_text(int64_t v);

}  // namespace qb::text
