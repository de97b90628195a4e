// Array formula ranges kept while a sheet is scanned row by row.
#include "engine/cell/array_formulas.h"

#include <algorithm>

namespace quillmark::engine {

void OpenArrayFormulas::open(CellPosition first, CellPosition last, std::string_view text) {
    if (open_.size() >= kMaxOpen || text.empty()) return;
    open_.push_back(
        Range{CellPosition{std::min(first.row, last.row), std::min(first.column, last.column)},
              CellPosition{std::max(first.row, last.row), std::max(first.column, last.column)},
              std::string(text)});
}

void OpenArrayFormulas::closeAbove(std::uint64_t row) {
    std::erase_if(open_, [row](const Range& range) { return range.last.row < row; });
}

const std::string* OpenArrayFormulas::covering(CellPosition cell) const {
    for (const Range& range : open_)
        if (cell.row >= range.first.row && cell.row <= range.last.row &&
            cell.column >= range.first.column && cell.column <= range.last.column)
            return &range.text;
    return nullptr;
}

}  // namespace quillmark::engine
