// When an xlsx worksheet part need not be tokenized for a keyword: the raw XML test
// (xml_cannot_match.h) with everything the worksheet scanner makes rather than reads ruled out.
#pragma once

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

}  // namespace quillmark::engine
