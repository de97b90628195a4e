// Which entries of a workbook's shared string table match the current keyword. The table is
// matched once per keyword as it streams past; only these answers are kept, and the texts of
// the matching entries for the hits that show them, up to a bound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::engine {

class StringTableMatches {
  public:
    // Matching texts kept beyond this many bytes are dropped: a hit on such an entry shows
    // an empty text rather than memory growing with a million matching strings.
    static constexpr std::size_t kKeptTextBytes = std::size_t{8} << 20;

    bool isFor(const std::string& keyword) const { return ready_ && keyword_ == keyword; }
    void start(const std::string& keyword) {
        keyword_ = keyword;
        matches_.clear();
        kept_.clear();
        texts_.clear();
        matchCount_ = 0;
        firstMatches_.clear();
        ready_ = true;
    }
    void invalidate() { ready_ = false; }
    void add(bool matched, std::string_view text) {
        if (matched && texts_.size() + text.size() <= kKeptTextBytes) {
            kept_.push_back(Kept{matches_.size(), texts_.size(), text.size()});
            texts_.append(text);
        }
        matches_.push_back(matched);
        if (matched && ++matchCount_ <= kFirstMatches) firstMatches_.push_back(matches_.size() - 1);
    }
    // Entries known not to match without their text being read.
    void addUnmatched(std::size_t count) { matches_.resize(matches_.size() + count, false); }
    // An index past the table (a broken reference) matches nothing.
    bool matches(std::size_t index) const { return index < matches_.size() && matches_[index]; }
    std::size_t size() const { return matches_.size(); }
    // Whether any entry matched: when none did, no cell that names an entry can match.
    bool anyMatch() const { return matchCount_ > 0; }
    // The indexes of the matching entries while there are at most kFirstMatches of them.
    static constexpr std::size_t kFirstMatches = 16;
    const std::vector<std::size_t>* fewMatches() const {
        return matchCount_ <= kFirstMatches ? &firstMatches_ : nullptr;
    }
    // The text of a matching entry; empty when it was not kept.
    std::string_view text(std::size_t index) const;

  private:
    struct Kept {
        std::size_t index, offset, length;
    };

    std::string keyword_;
    std::vector<bool> matches_;
    std::vector<Kept> kept_;  // in index order
    std::string texts_;
    std::size_t matchCount_ = 0;
    std::vector<std::size_t> firstMatches_;
    bool ready_ = false;
};

inline std::string_view StringTableMatches::text(std::size_t index) const {
    std::size_t low = 0, high = kept_.size();
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        if (kept_[middle].index < index)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == kept_.size() || kept_[low].index != index) return {};
    return std::string_view(texts_).substr(kept_[low].offset, kept_[low].length);
}

}  // namespace quillmark::engine
