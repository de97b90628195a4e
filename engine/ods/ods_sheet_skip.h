// When a sheet of an OpenDocument content document in memory need not be tokenized for a
// keyword: the raw XML test (xml_cannot_match.h) over the sheet's bytes, with everything the
// cell search makes rather than reads ruled out.
#pragma once

#include <functional>
#include <string_view>

#include "engine/core/outcome.h"

namespace quillmark::engine {

// Once per keyword: whether the raw test can decide at all. Not when the anchor is empty, nor
// when it fits inside TRUE or FALSE, which boolean cells get from their office:boolean-value.
bool odsSheetSkipMayApply(std::string_view lowerAnchor);

// Whether no cell of a sheet can match (odsSheetSkipMayApply having held). `sheet` runs from
// the sheet's table:table start tag to the next sheet's start tag or the document's end, in a
// document the sheet list tokenized past that sheet. Beyond the raw test, when the bytes hold
// a formula: the anchor is letters and digits alone, and no reference's brackets, which the
// formula-bar form drops, stand between two letters or digits.
bool odsSheetCannotMatch(std::string_view sheet, std::string_view lowerAnchor);

// The same over a whole content document too large to hold, read piece by piece through
// `read` (0 at its end): whether no cell of any sheet can match. A read that fails leaves the
// answer to the search, which meets the failure itself.
bool odsDocumentCannotMatch(const std::function<Outcome<std::size_t>(char*, std::size_t)>& read,
                            std::string_view lowerAnchor);

}  // namespace quillmark::engine
