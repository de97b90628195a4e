// A1-style cell references ("B3", "$AA$10") as OOXML writes them in cell and range attributes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/workbook.h"

namespace quillmark::engine {

// The grid's bounds since Excel 2007 (ECMA-376 Part 1, 18.3.1.4 c: columns A..XFD).
inline constexpr std::uint32_t kMaxRows = 1048576;
inline constexpr std::uint32_t kMaxColumns = 16384;

// Column letters ("A", "xfd") to a zero-based column; nothing past XFD or for non-letters.
std::optional<std::uint32_t> parseColumnLetters(std::string_view letters);

// "B3" or "$B$3" to its zero-based position; nothing for anything else or out of the grid.
std::optional<CellPosition> parseA1(std::string_view reference);

// Appends the letters of a zero-based column.
void appendColumnLetters(std::uint32_t column, std::string& out);

}  // namespace quillmark::engine
