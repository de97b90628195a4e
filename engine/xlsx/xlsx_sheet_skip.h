// When an xlsx worksheet part need not be tokenized for a keyword: the raw XML test
// (xml_cannot_match.h) with everything the worksheet scanner makes rather than reads ruled out.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/xml/xml_cannot_match.h"

namespace quillmark::engine {

struct WorksheetContext;

// Once per sheet search, before the part is read: whether the raw test can decide at all.
// Not when the anchor is empty, when more than a few shared strings matched (cells name
// entries by number, so each matching number is looked for), or when the anchor fits inside
// TRUE or FALSE or a date's text, which cells get from their values.
bool xlsxSheetSkipMayApply(std::string_view lowerAnchor, const WorksheetContext& context);

// Whether no cell of this part can match (xlsxSheetSkipMayApply having held). Beyond the raw
// test: no shared formula, whose other cells are rebuilt with moved references; no "_x",
// which starts both _xHHHH_ escapes and the "_xlfn." prefixes that formula texts lose; and,
// in a workbook with external books, no "[" of a "[1]" that a book's name replaces; and when
// shared strings match, no cell whose <v> could name one of them.
XmlCannotMatchScan xlsxSheetScan(std::string_view lowerAnchor, const WorksheetContext& context);
bool xlsxSheetCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                          const WorksheetContext& context);

// Where the cell table's content begins: just past the part's first sheetData start tag, when
// `opening` (the part's first bytes) holds it whole and it is not empty.
std::optional<std::size_t> sheetDataContentStart(std::string_view opening);

// Where a worksheet scan may start once the raw test stopped proving at `failedAt`: the row
// start tag at or before it, found in `window` (bytes at `windowStart` of the part). The part's
// opening up to `contentStart` joined to the bytes from that row reads as the whole part
// would, for the cells from that row on, when the row follows another row or the sheetData
// start tag (so it is no cell's child) and names its number in r (so no rows need counting).
// Nothing when any of that is not so.
std::optional<std::uint64_t> worksheetResumeRow(std::string_view window, std::uint64_t windowStart,
                                                std::uint64_t failedAt, std::size_t contentStart);

}  // namespace quillmark::engine
