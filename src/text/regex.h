// RegexObject: one regular expression (PCRE2, UTF-16, ECMAScript-like syntax with \uHHHH) and
// the matches of its last Execute. Program text goes in and comes out as GBK; match positions
// count UTF-16 code units from 0. A pattern that does not compile, or a match that runs into
// the engine's limits, gives no match.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qb::text {

class RegexObject {
  public:
    static std::string EscapeWildcard(const std::string& text);
    static std::string EscapeLiteral(const std::string& text);
    static std::string EscapeKeepAlternation(const std::string& text);
    static std::string EscapeKeepGroups(const std::string& text);

    // False when the pattern does not compile (the object then matches nothing).
    bool Create(const std::string& pattern, bool ignore_case = true, bool multi_line = true,
                bool global = true);
    int Execute(const std::string& text);
    std::string GetPattern() const;
    std::string Replace(const std::string& text, const std::string& replacement);
    int MatchCount() const;
    std::string MatchValue(int i) const;
    std::string SubMatchValue(int i, int j) const;
    int SubMatchCount() const;
    std::string MatchValueAt(int i, bool want_index, int* index_out) const;
    std::string SubMatchValueAt(int i, int j, bool want_index, int* index_out) const;
    void Reset();

    struct Engine;
    struct Matches;

  private:
    std::shared_ptr<Engine> engine_;
    std::shared_ptr<Matches> matches_;
    std::string subject_;
};

}  // namespace qb::text
