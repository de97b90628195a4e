// Array formulas: a formula stored once, in the first cell of a range, that every cell of the
// range shows unshifted (OOXML f t="array", OpenDocument table:number-matrix-*-spanned).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/workbook.h"

namespace quillmark::engine {

// The array formulas a row-major scan has met whose ranges reach its current row or later.
class OpenArrayFormulas {
  public:
    // Past this many open ranges, later ones show only in their first cell, so a hostile
    // sheet cannot make every cell look through millions of ranges.
    static constexpr std::size_t kMaxOpen = 256;

    void open(CellPosition first, CellPosition last, std::string_view text);
    // Forgets the ranges that end above `row`.
    void closeAbove(std::uint64_t row);
    // The formula shown at `cell` by a range that covers it, or nothing.
    const std::string* covering(CellPosition cell) const;
    bool empty() const { return open_.empty(); }

  private:
    struct Range {
        CellPosition first;
        CellPosition last;
        std::string text;
    };
    std::vector<Range> open_;
};

}  // namespace quillmark::engine
