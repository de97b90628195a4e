// SpreadsheetML 2003 stores formulas in R1C1 form ("=RC[-1]*2"); the formula bar shows them in
// A1 form relative to the cell that holds them ("=B4*2" in C4).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmark::engine {

// Appends `formula` with every R1C1 reference outside string literals and quoted sheet names
// written in A1 form for the cell at zero-based (`row`, `column`): R[n]C[m] relative, RnCm
// absolute ($B$3), R or C alone for whole rows or columns (4:4, B:B), ranges with ":" and
// sheet-qualified references (Sheet1!RC). Everything else is copied as written.
void appendR1C1FormulaAsA1(std::string_view formula, std::uint32_t row, std::uint32_t column,
                           std::string& out);

}  // namespace quillmark::engine
