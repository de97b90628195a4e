// Which entries of a workbook's shared string table match the current keyword. The table is
// matched once per keyword as it streams past and only these answers are kept, not the text.
#pragma once

#include <string>
#include <vector>

namespace quillmark::engine {

class StringTableMatches {
  public:
    bool isFor(const std::string& keyword) const { return ready_ && keyword_ == keyword; }
    void start(const std::string& keyword) {
        keyword_ = keyword;
        matches_.clear();
        ready_ = true;
    }
    void invalidate() { ready_ = false; }
    void add(bool matched) { matches_.push_back(matched); }
    // An index past the table (a broken reference) matches nothing.
    bool matches(std::size_t index) const { return index < matches_.size() && matches_[index]; }
    std::size_t size() const { return matches_.size(); }

  private:
    std::string keyword_;
    std::vector<bool> matches_;
    bool ready_ = false;
};

}  // namespace quillmark::engine
