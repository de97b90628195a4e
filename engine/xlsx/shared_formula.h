// Shared formulas (ECMA-376 Part 1, 18.3.1.40 f, t="shared"): only the first cell of the
// group stores the formula text; every other cell shows it with its relative references
// moved by the cell's distance from that first cell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmark::engine {

// Appends `formula` (A1 style, without the leading "=") with every relative row part moved
// by `rowOffset` and every relative column part by `columnOffset`. String literals, sheet
// names, structured references and function names are copied untouched; a reference moved
// off the grid becomes #REF!.
void appendShiftedFormula(std::string_view formula, std::int64_t rowOffset,
                          std::int64_t columnOffset, std::string& out);

}  // namespace quillmark::engine
