// Text operations on articles: the text between two markers, entities, character counts,
// the summary, a sentence for a title, and a title made into a file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::text {

struct BetweenOptions {
    bool reverse = false;  // find the tail first, then the nearest head before it
    int start_offset = 0;  // added to the start of the result
    int end_trim = 0;      // bytes removed from the end of the result
    bool raw = false;      // else '' in head and tail stands for a double quote
};

// The text between the first head at or after *position (1-based, 0 = the start) and the first
// tail after it; *position becomes the byte after the tail. Empty head: from the start; empty
// tail: to the end. Letters compare without regard to case. A second pass without double
// quotes in head and tail runs when the first finds nothing.
std::string ExtractBetween(std::string_view text, const std::string& head, const std::string& tail,
                           int* position, BetweenOptions options = {});

std::string DecodeEntities(const std::string& text);

// Characters: a double-byte character, a CR LF pair, and any other byte count one each.
size_t CountChars(const std::string& text);
// The first n characters; a negative n leaves |n| off the end.
std::string LeftChars(const std::string& text, long n);

// The text without tags, links and line breaks, cut to a random length from min to max.
std::string MakeSummary(const std::string& contents, long min, long max);
// The removal MakeSummary makes: every "<a " .. "</a>" link, "<" .. ">" tag, line-break
// character and run of two or more spaces, in one pass; at most max_chars characters of what
// is left.
std::string RemoveSummaryMarkup(const std::string& text, size_t max_chars = SIZE_MAX);

// One sentence of the contents, drawn at random among those with at least min_chars
// characters that hold `required`; empty separators: the default set.
std::string PickTitleSentence(const std::string& contents, const std::string& separators,
                              long min_chars, const std::string& required, bool strict);

// \ / : * ? | < > made full-width; double quotes, CR, LF and TAB removed.
// The sentences PickTitleSentence draws from, in order.
std::vector<std::string> TitleSentences(const std::string& contents, const std::string& separators);
std::string SanitizeFileName(const std::string& name);

// The default sentence separators.
const std::string& default_sentence_separators();
// The text without its tags, as PickTitleSentence reads it: each "<", from the last to the
// first, takes away itself up to the first ">" after it in the text as it stands then.
std::string RemoveTags(const std::string& text);
// The text PickTitleSentence splits with the default separators: blank lines and the blanks
// around lines removed, then every separator (a character of the set, a line break, ". ")
// replaced by joint.
std::string SentenceSeparatorsMarked(const std::string& text, const std::string& joint);

}  // namespace qb::text
