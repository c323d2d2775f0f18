#include "mapping/generators.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <opencc/Config.hpp>
#include <opencc/Converter.hpp>
#include <opencc/Exception.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "text/date_parts.h"
#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::mapping {

extern const std::string_view k_pool_frequent_498;
extern const std::string_view k_pool_common_2500;
extern const std::string_view k_pool_secondary_1000;

using text::RandomInt;
using text::Reseed;

namespace {

std::string two_digits(int v) {
    return (v >= 0 && v < 10 ? "0" : "") + std::to_string(v);
}

// OpenCC with its one-character table only, so that each character maps to one character.
// The configuration is given as text and the table by its full path in the installed OpenCC
// data (QB_OPENCC_DATA_DIR in the environment names another folder): no file of ours,
// nothing looked up in the working directory.
class Traditional {
  public:
    Traditional() {
        const char* folder = std::getenv("QB_OPENCC_DATA_DIR");
        const std::string data = folder && *folder ? folder : QB_OPENCC_DATA_DIR;
        const std::string table = data + "/STCharacters.ocd2";
        const std::string dict = R"({"type":"ocd2","file":")" + table + R"("})";
        const std::string config =
            R"({"name":"s2t-characters","segmentation":{"type":"mmseg","dict":)" + dict +
            R"(},"conversion_chain":[{"dict":)" + dict + "}]}";
        if (::access(table.c_str(), R_OK) != 0) {
            failure_ = text::G("找不到OpenCC的繁体字表：") + text::utf8_to_gbk(table);
            return;
        }
        try {
            converter_ = opencc::Config().NewFromString(config, data);
        } catch (const opencc::Exception& e) {
            failure_ = text::G("OpenCC无法读取繁体字表：") + text::utf8_to_gbk(table) + " (" +
                       text::utf8_to_gbk(e.what()) + ")";
        } catch (...) {
            // The table's reader (marisa) throws its own kinds for a damaged file.
            failure_ = text::G("OpenCC无法读取繁体字表：") + text::utf8_to_gbk(table);
        }
    }
    const std::string& failure() const { return failure_; }

    // One GBK character in, its traditional GBK form out (the character itself when there is
    // none, or when GBK lacks it).
    std::string convert_char(const std::string& ch) const {
        if (!converter_ || ch.size() != 2) return ch;
        std::string converted;
        try {
            converted = text::utf8_to_gbk(converter_->Convert(text::gbk_to_utf8(ch)));
        } catch (...) {
            return ch;
        }
        return converted.size() == 2 && converted.find('?') == std::string::npos ? converted : ch;
    }

  private:
    opencc::ConverterPtr converter_;
    std::string failure_;
};

const Traditional& traditional() {
    static const Traditional converter;
    return converter;
}

std::string format_local(time_t t, bool drop_midnight) {
    struct tm lt {};
    localtime_r(&t, &lt);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d ", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
    std::string s = buf;
    if (drop_midnight && lt.tm_hour == 0 && lt.tm_min == 0 && lt.tm_sec == 0) return s;
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", lt.tm_hour, lt.tm_min, lt.tm_sec);
    return s + buf;
}

}  // namespace

std::string_view chinese_pool(int pool) {
    switch (pool) {
        case kMostFrequent:
            return k_pool_frequent_498;
        case kCommon:
            return k_pool_common_2500;
        default:
            return k_pool_secondary_1000;
    }
}

const std::string& TraditionalUnavailable() {
    return traditional().failure();
}

std::string ToTraditional(const std::string& gbk) {
    const Traditional& converter = traditional();
    std::string out;
    out.reserve(gbk.size());
    for (size_t i = 0; i < gbk.size();) {
        const size_t n = text::char_size_at(gbk, i);
        const std::string ch = gbk.substr(i, n);
        out += n == 2 ? converter.convert_char(ch) : ch;
        i += n;
    }
    return out;
}

std::string RandomChinese(int64_t count, int pool, bool traditional) {
    Reseed();
    const std::string_view chars = chinese_pool(pool);
    const int64_t n = count > 0 ? std::min(count, kMaxGeneratedCount) : 8;
    std::string out;
    out.reserve(static_cast<size_t>(n) * 2);
    for (int64_t k = 0; k < n; ++k) {
        int64_t d = RandomInt(0, static_cast<int64_t>(chars.size()) - 2);
        if (d % 2) --d;
        out.append(chars.substr(static_cast<size_t>(d), 2));
    }
    return traditional ? ToTraditional(out) : out;
}

std::string ToFullWidth(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = text::char_size_at(s, i);
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (n == 1 && c >= '!' && c <= '}') {
            out += static_cast<char>(0xA3);
            out += static_cast<char>(c + 0x80);
        } else if (n == 1 && c == ' ') {
            out += "\xA1\xA1";
        } else if (n == 1 && c == '~') {
            out += "\xA1\xAB";
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    return out;
}

std::string RandomDigitsLetters(int64_t count, bool full_width, bool no_digits, bool no_lower,
                                bool no_upper) {
    Reseed();
    const int64_t n = count > 0 ? std::min(count, kMaxGeneratedCount) : 8;
    enum Kind { kDigit, kLower, kUpper };
    std::string out;
    for (int64_t k = 0; k < n; ++k) {
        Kind kind;
        if (no_digits && no_lower)
            kind = kUpper;
        else if (no_digits && no_upper)
            kind = kLower;
        else if (no_lower && no_upper)
            kind = kDigit;
        else if (no_digits)
            kind = RandomInt(1, 2) == 1 ? kLower : kUpper;
        else if (no_lower)
            kind = RandomInt(0, 1) == 0 ? kDigit : kUpper;
        else if (no_upper)
            kind = RandomInt(0, 1) == 0 ? kDigit : kLower;
        else
            kind = static_cast<Kind>(RandomInt(0, 2));
        if (kind == kDigit)
            out += static_cast<char>('0' + RandomInt(0, 9));
        else if (kind == kLower)
            out += static_cast<char>(RandomInt(97, 122));
        else
            out += static_cast<char>(RandomInt(65, 90));
    }
    return full_width ? ToFullWidth(out) : out;
}

DateTimeValue ParseDateTime(const std::string& text) {
    int parts[6];
    text::parse_date_parts(text, parts);
    return {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

DateTimeValue Now() {
    time_t t = std::time(nullptr);
    struct tm lt {};
    localtime_r(&t, &lt);
    return {lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec};
}

std::string FormatDateTime(int kind, const std::string& templ, const DateTimeValue& v) {
    std::string t;
    switch (kind) {
        case 0:
            t = "#1-#2-#3 #4:#5:#6";
            break;
        case 1:
            t = "#1-#2-#3";
            break;
        case 2:
            t = "#4:#5:#6";
            break;
        default:
            t = templ;
            break;
    }
    if (kind >= 0 && kind <= 2 && !templ.empty()) t = text::replace_all(t, ":", templ);
    const int parts[6] = {v.year, v.month, v.day, v.hour, v.minute, v.second};
    for (int i = 0; i < 6; ++i)
        t = text::replace_all(t, "#" + std::to_string(i + 1), two_digits(parts[i]));
    return t;
}

std::string RandomTime(const std::string& expression, int64_t year_from, int64_t year_to,
                       bool use_now) {
    DateTimeValue v;
    if (use_now) {
        v = Now();
    } else {
        Reseed();
        v.year = static_cast<int>(RandomInt(year_from, year_to));
        v.month = static_cast<int>(RandomInt(1, 12));
        v.day = static_cast<int>(RandomInt(1, 28));
        v.hour = static_cast<int>(RandomInt(0, 23));
        v.minute = static_cast<int>(RandomInt(0, 59));
        v.second = static_cast<int>(RandomInt(0, 59));
    }
    static const std::vector<std::string> items =
        text::split(text::G("<年>|<月>|<日>|<时>|<分>|<秒>"), "|");
    std::string e = expression;
    for (size_t i = 0; i < items.size(); ++i)
        e = text::replace_all(e, items[i], "#" + std::to_string(i + 1));
    return FormatDateTime(-1, e, v);
}

bool FileTimes(const std::string& path, FileTimeTexts& out) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
    const time_t birth = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    out.creation = format_local(birth, false);
    out.modification = format_local(sx.stx_mtime.tv_sec, false);
    out.access = format_local(sx.stx_atime.tv_sec, true);
    return true;
}

std::string FileTimeValue(const std::string& path, bool created, bool modified, int kind) {
    FileTimeTexts t;
    if (!FileTimes(path, t)) return {};
    const std::string& chosen = created ? t.creation : modified ? t.modification : t.access;
    return FormatDateTime(kind, {}, ParseDateTime(chosen));
}

PhraseState::PhraseState(const std::string& option_text)
    : phrases(text::split(text::replace_all(option_text, "\r\n", "|"), "|")) {}

std::string RandomPhrases(PhraseState& state, int mode, int64_t count_from, int64_t count_to) {
    std::string out;
    const int64_t length = static_cast<int64_t>(state.phrases.size());
    if (length == 0) return out;
    Reseed();
    const int64_t k = std::min(RandomInt(count_from, count_to), kMaxGeneratedCount);
    for (int64_t i = 0; i < k; ++i) {
        int64_t index;
        if (mode == 1) {
            index = RandomInt(1, length);
        } else if (mode == 2) {
            state.sequence = state.sequence % length + 1;
            index = state.sequence;
        } else {
            index = state.draw.Next(1, length);
        }
        if (!out.empty()) out += ",";
        out += state.phrases[static_cast<size_t>(index - 1)];
    }
    return out;
}

std::string ParentFolderName(const std::string& path) {
    const int last = text::rfind(path, "/");
    if (last == -1) return {};
    const int before = last > 1 ? text::rfind(path, "/", last - 1) : -1;
    if (before == -1) return path.substr(0, static_cast<size_t>(last - 1));
    return path.substr(static_cast<size_t>(before), static_cast<size_t>(last - before - 1));
}

}  // namespace qb::mapping
