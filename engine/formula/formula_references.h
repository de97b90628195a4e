// Cell references and sheet names as a formula bar writes them: A1, $B$2, A:C, 3:5, and
// sheet prefixes such as Sheet2! or 'My Sheet'!, for the formula decompiler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmark::engine::formula {

// The grid a dialect addresses: BIFF5 16384 x 256, BIFF8 65536 x 256, BIFF12 1048576 x 16384.
struct GridSize {
    std::uint32_t rows;
    std::uint32_t columns;
};

struct CellReference {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    bool rowRelative = false;     // written without "$" before the row
    bool columnRelative = false;  // written without "$" before the column
};

void appendColumnName(std::uint32_t column, std::string& out);
void appendCell(const CellReference& cell, std::string& out);

// A range; spanning every row it is written as columns (A:C), spanning every column as
// rows (3:5).
void appendArea(const CellReference& first, const CellReference& last, GridSize grid,
                std::string& out);

// Whether a sheet name must be quoted in a reference: anything but letters, digits, "_" and
// ".", a leading digit, or a name that reads as a cell reference (A1, R1C1).
bool sheetNameNeedsQuotes(std::string_view name);

// Appends the sheet part of a 3-D reference and its "!": `sheets` is "Sheet2", "Jan:Mar" or
// "[1]Sheet1", quoted as a whole when any name in it needs quotes; "" becomes "#REF!".
void appendSheetPrefix(std::string_view sheets, std::string& out);

}  // namespace quillmark::engine::formula
