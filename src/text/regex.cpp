#define PCRE2_CODE_UNIT_WIDTH 16
#include "text/regex.h"

#include <pcre2.h>

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::text {

namespace {

// Enough for any sane pattern on a 50 MB article; a runaway backtrack stops here instead of
// hanging the window or exhausting the stack.
constexpr uint32_t kMatchLimit = 50'000'000;
constexpr uint32_t kDepthLimit = 10'000;

std::string escape_chars(const std::string& text, const char* chars) {
    std::string out = text;
    for (const char* c = chars; *c; ++c)
        out = replace_all(out, std::string(1, *c), std::string("\\") + *c);
    return out;
}

PCRE2_SPTR16 sptr(const std::u16string& s) {
    return reinterpret_cast<PCRE2_SPTR16>(s.data());
}

}  // namespace

struct RegexObject::Engine {
    std::string pattern;
    bool global = true;
    pcre2_code_16* code = nullptr;
    pcre2_match_context_16* context = nullptr;
    ~Engine() {
        pcre2_code_free_16(code);
        pcre2_match_context_free_16(context);
    }
};

struct RegexObject::Matches {
    std::u16string subject;
    // Per match: start and end of the whole match, then of each group (-1 when unset).
    std::vector<std::vector<std::pair<long, long>>> spans;
};

std::string RegexObject::EscapeWildcard(const std::string& text) {
    std::string s = escape_chars(text, "\\^$+.{}[]=()-\"");
    s = replace_all(s, "*", ".*");
    return replace_all(s, "?", ".?");
}
std::string RegexObject::EscapeLiteral(const std::string& text) {
    return escape_chars(text, "\\^$+.{}[]=()?*|\"");
}
std::string RegexObject::EscapeKeepAlternation(const std::string& text) {
    return escape_chars(text, "\\^$+.{}[]=()?*\"");
}
std::string RegexObject::EscapeKeepGroups(const std::string& text) {
    return escape_chars(text, "\\^$+.{}[]=?*\"");
}

bool RegexObject::Create(const std::string& pattern, bool ignore_case, bool multi_line,
                         bool global) {
    auto e = std::make_shared<Engine>();
    e->pattern = pattern;
    e->global = global;
    const std::u16string p = gbk_to_utf16(pattern);
    uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_INVALID_UTF;
    if (ignore_case) options |= PCRE2_CASELESS;
    if (multi_line) options |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE offset = 0;
    // CR, LF and CR LF all end a line for ^ and $, as in the ECMAScript dialect.
    pcre2_compile_context_16* cc = pcre2_compile_context_create_16(nullptr);
    pcre2_set_newline_16(cc, PCRE2_NEWLINE_ANYCRLF);
    e->code = pcre2_compile_16(sptr(p), p.size(), options, &error, &offset, cc);
    pcre2_compile_context_free_16(cc);
    if (e->code) {
        pcre2_jit_compile_16(e->code, PCRE2_JIT_COMPLETE);
        e->context = pcre2_match_context_create_16(nullptr);
        pcre2_set_match_limit_16(e->context, kMatchLimit);
        pcre2_set_depth_limit_16(e->context, kDepthLimit);
    }
    engine_ = e;
    matches_.reset();
    return e->code != nullptr;
}

std::string RegexObject::GetPattern() const {
    return engine_ ? engine_->pattern : std::string();
}

namespace {

using Spans = std::vector<std::pair<long, long>>;

// Every match of the subject (only the first unless global): the whole match, then each
// group. None at all on an engine error (a runaway backtrack), as if nothing matched.
std::vector<Spans> find_matches(pcre2_code_16* code, pcre2_match_context_16* context, bool global,
                                const std::u16string& subject) {
    std::vector<Spans> found;
    pcre2_match_data_16* md = pcre2_match_data_create_from_pattern_16(code, nullptr);
    PCRE2_SIZE start = 0;
    uint32_t flags = 0;
    const PCRE2_SIZE length = subject.size();
    while (start <= length) {
        int rc = pcre2_match_16(code, sptr(subject), length, start, flags, md, context);
        if (rc == PCRE2_ERROR_NOMATCH && flags != 0) {
            // No non-empty match at this point: step over one character and go on.
            flags = 0;
            start += (start + 1 < length && (subject[start] & 0xFC00) == 0xD800) ? 2 : 1;
            continue;
        }
        if (rc < 0) {
            if (rc != PCRE2_ERROR_NOMATCH) found.clear();
            break;
        }
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer_16(md);
        uint32_t pairs = pcre2_get_ovector_count_16(md);
        Spans spans;
        for (uint32_t g = 0; g < pairs; ++g)
            spans.emplace_back(
                ov[2 * g] == PCRE2_UNSET ? -1 : static_cast<long>(ov[2 * g]),
                ov[2 * g + 1] == PCRE2_UNSET ? -1 : static_cast<long>(ov[2 * g + 1]));
        found.push_back(std::move(spans));
        if (!global) break;
        start = ov[1];
        flags = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
    }
    pcre2_match_data_free_16(md);
    return found;
}

// The replacement of one match, by the script dialect's rules: $$ is "$", $& the match, $`
// the text before it, $' the text after it, $1 to $99 a group (two digits when that group
// exists, else one; an unset group is empty); any other "$" is itself.
void append_replacement(std::u16string& out, const std::u16string& repl,
                        const std::u16string& subject, const Spans& m) {
    const size_t groups = m.size() - 1;
    auto digit = [&](size_t i) {
        return i < repl.size() && repl[i] >= u'0' && repl[i] <= u'9' ? repl[i] - u'0' : -1;
    };
    auto append_span = [&](long from, long to) {
        if (from >= 0)
            out.append(subject, static_cast<size_t>(from), static_cast<size_t>(to - from));
    };
    for (size_t i = 0; i < repl.size(); ++i) {
        if (repl[i] != u'$' || i + 1 >= repl.size()) {
            out += repl[i];
            continue;
        }
        const char16_t next = repl[i + 1];
        if (next == u'$') {
            out += u'$';
        } else if (next == u'&') {
            append_span(m[0].first, m[0].second);
        } else if (next == u'`') {
            append_span(0, m[0].first);
        } else if (next == u'\'') {
            append_span(m[0].second, static_cast<long>(subject.size()));
        } else if (const int d1 = digit(i + 1); d1 >= 0) {
            const int d2 = digit(i + 2);
            const int two = d2 >= 0 ? d1 * 10 + d2 : -1;
            if (two >= 1 && static_cast<size_t>(two) <= groups) {
                append_span(m[two].first, m[two].second);
                i += 2;
            } else if (d1 >= 1 && static_cast<size_t>(d1) <= groups) {
                append_span(m[d1].first, m[d1].second);
                ++i;
            } else {
                out += u'$';
            }
            continue;
        } else {
            out += u'$';
            continue;
        }
        ++i;
    }
}

}  // namespace

int RegexObject::Execute(const std::string& text) {
    auto m = std::make_shared<Matches>();
    subject_ = text;
    matches_ = m;
    if (!engine_ || !engine_->code) return 0;
    m->subject = gbk_to_utf16(text);
    m->spans = find_matches(engine_->code, engine_->context, engine_->global, m->subject);
    return static_cast<int>(m->spans.size());
}

std::string RegexObject::Replace(const std::string& text, const std::string& replacement) {
    if (!engine_ || !engine_->code) return text;
    const std::u16string subject = gbk_to_utf16(text);
    const std::vector<Spans> found =
        find_matches(engine_->code, engine_->context, engine_->global, subject);
    const std::u16string repl = gbk_to_utf16(replacement);
    std::u16string out;
    out.reserve(subject.size());
    size_t done = 0;
    for (const Spans& m : found) {
        out.append(subject, done, static_cast<size_t>(m[0].first) - done);
        append_replacement(out, repl, subject, m);
        done = static_cast<size_t>(m[0].second);
    }
    out.append(subject, done, std::u16string::npos);
    return utf16_to_gbk(out);
}

int RegexObject::MatchCount() const {
    return matches_ ? static_cast<int>(matches_->spans.size()) : 0;
}

std::string RegexObject::MatchValueAt(int i, bool want_index, int* index_out) const {
    return SubMatchValueAt(i, 0, want_index, index_out);
}

std::string RegexObject::MatchValue(int i) const {
    return MatchValueAt(i, false, nullptr);
}

std::string RegexObject::SubMatchValue(int i, int j) const {
    return SubMatchValueAt(i, j, false, nullptr);
}

std::string RegexObject::SubMatchValueAt(int i, int j, bool want_index, int* index_out) const {
    if (!matches_ || i < 1 || i > static_cast<int>(matches_->spans.size()) || j < 0) return {};
    const auto& spans = matches_->spans[i - 1];
    if (want_index && index_out) *index_out = static_cast<int>(spans[0].first);
    if (j >= static_cast<int>(spans.size()) || spans[j].first < 0) return {};
    return utf16_to_gbk(std::u16string_view(matches_->subject)
                            .substr(spans[j].first, spans[j].second - spans[j].first));
}

int RegexObject::SubMatchCount() const {
    if (!matches_ || matches_->spans.empty()) return 0;
    return static_cast<int>(matches_->spans[0].size()) - 1;
}

void RegexObject::Reset() {
    engine_.reset();
    matches_.reset();
    subject_.clear();
}

}  // namespace qb::text
