// A cheap test made once per keyword: can any text written only with a few ASCII characters
// (the digits and signs of a number, say) match it? When not, readers skip matching such
// cells altogether, which is most of the work on a large numeric sheet.
#pragma once

#include <string_view>

namespace quillmark::engine {

// Characters of numbers as files write them, and of the date texts offered beside them.
inline constexpr std::string_view kNumberAlphabet = "0123456789.+-eE";
inline constexpr std::string_view kDateAlphabet = "0123456789/: ";

// False only when every match needs a character outside `alphabet`: the keyword has a
// literal character (not "*", "?" or one escaped by "~" that is in the alphabet) that the
// alphabet lacks, letter case ignored. `alphabet` must be ASCII without 'k' or 's', the only
// letters that non-ASCII characters fold to.
bool keywordCanMatchTextOf(std::string_view keyword, std::string_view alphabet);

}  // namespace quillmark::engine
