// The keyword matcher: a cell matches when the keyword occurs anywhere in its text, letter
// case ignored across Unicode, with "?" for one character, "*" for any run and "~" making
// the next character literal. An empty keyword matches nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmark::engine {

class Matcher {
  public:
    // A pattern element: a case-folded code point, or kAnyOne for "?".
    using Segment = std::vector<char32_t>;
    static constexpr char32_t kAnyOne = 0xFFFFFFFF;

    explicit Matcher(std::string_view keywordUtf8);

    const std::string& keyword() const { return keyword_; }
    // Only for an empty keyword: a keyword of stars alone matches every non-empty cell.
    bool matchesNothing() const { return segments_.empty() && !wildcardOnly_; }
    // The keyword's runs between "*"s, empty runs dropped, in the folded form text is matched
    // in: text matches when they occur in it in this order, without overlapping. A keyword of
    // stars alone has none.
    const std::vector<Segment>& foldedSegments() const { return segments_; }

    // Whether the keyword occurs in this UTF-8 text (invalid bytes count as U+FFFD).
    bool matches(std::string_view textUtf8) const;

  private:
    bool matchesAscii(std::string_view text) const;
    bool matchesFolded(const std::u32string& text) const;

    std::string keyword_;
    std::vector<Segment> segments_;  // the runs between "*"s, empty runs dropped
    bool wildcardOnly_ = false;      // the keyword was only "*"s: any non-empty text matches
    bool asciiLiteral_ = false;      // one segment of ASCII letters, no "?": the fast path
    std::string asciiLower_;         // that segment, lower-cased
};

}  // namespace quillmark::engine
