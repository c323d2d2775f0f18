// Generated column values: random Chinese text, digits and letters, date-times and phrases;
// file times; the parent folder's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/random.h"

namespace qb::mapping {

// Counts beyond this are cut to it: a mistyped count must not fill the memory.
constexpr int64_t kMaxGeneratedCount = 1'000'000;

enum ChinesePool { kMostFrequent = 0, kCommon = 1, kSecondary = 2 };

// The pool's characters, two GBK bytes each.
std::string_view chinese_pool(int pool);

std::string RandomChinese(int64_t count, int pool, bool traditional);
// Each simplified character replaced by its traditional form where GBK has one.
std::string ToTraditional(const std::string& gbk);
// Why ToTraditional cannot convert (OpenCC's table is missing or unreadable, so the text
// stays simplified); empty when it can.
const std::string& TraditionalUnavailable();

// ASCII ! to } become A3 (code + 0x80), space A1 A1, ~ A1 AB; double-byte characters stay.
std::string ToFullWidth(const std::string& text);
std::string RandomDigitsLetters(int64_t count, bool full_width, bool no_digits, bool no_lower,
                                bool no_upper);

struct DateTimeValue {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// kind -1: the template; 0 "#1-#2-#3 #4:#5:#6"; 1 "#1-#2-#3"; 2 "#4:#5:#6".
std::string FormatDateTime(int kind, const std::string& templ, const DateTimeValue& value);
// "2013-5-7 8:09:10", "2013-05-07 " and the like; missing parts are 0.
DateTimeValue ParseDateTime(const std::string& text);
DateTimeValue Now();
std::string RandomTime(const std::string& expression, int64_t year_from, int64_t year_to,
                       bool use_now);

struct FileTimeTexts {
    std::string creation, modification, access;  // "yyyy-MM-dd HH:mm:ss", local time
};
// path in the file system's form. Creation is the birth time where the file system records
// it, else the modification time. An access time at midnight has an empty clock part.
bool FileTimes(const std::string& path, FileTimeTexts& out);
// created/modified: the radio buttons 创建 and 修改 (neither: access); kind: 全部/日期/时间.
std::string FileTimeValue(const std::string& path, bool created, bool modified, int kind);

// The phrases of one 随机词组 field for one run.
struct PhraseState {
    explicit PhraseState(const std::string& option_text);
    std::vector<std::string> phrases;
    int64_t sequence = 0;
    text::DrawPool draw;
};
// mode 0 without repetition, 1 with repetition, 2 in list order; count drawn from..to.
std::string RandomPhrases(PhraseState& state, int mode, int64_t count_from, int64_t count_to);

// "/home/a/1/2.txt" gives "1"; "/a.txt" and a name without "/" give empty text.
std::string ParentFolderName(const std::string& path);

}  // namespace qb::mapping
