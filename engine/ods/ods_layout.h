// Where the sheets of an OpenDocument spreadsheet sit (OpenDocument 1.2 Part 1, 3.1 and 9.1):
// root > office:body > office:spreadsheet > table:table. Only those tables are sheets; a
// chart's own data table (inside draw:frame / draw:object / office:document) or a table in a
// cell sits deeper and is never taken for one. Depths count the root as 1.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmark::engine {

inline constexpr std::size_t kOdsSpreadsheetDepth = 3;
inline constexpr std::size_t kOdsSheetDepth = 4;

// Whether a start tag at `depth` is on the way down to the sheets; everything off the way
// can be skipped unread.
inline bool isOnPathToOdsSheets(std::size_t depth, std::string_view name) {
    return depth == 1 || (depth == 2 && name == "body") ||
           (depth == kOdsSpreadsheetDepth && name == "spreadsheet");
}

}  // namespace quillmark::engine
