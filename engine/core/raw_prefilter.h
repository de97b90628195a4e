// A cheap test on a part's raw XML bytes, made once per keyword: when the keyword's anchor
// (a piece of it that only plain ASCII text can spell) is absent from the bytes, no text read
// from them can match, and a reader may skip the part's cell-by-cell work.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::engine {

// The ASCII characters some non-ASCII code point case-folds to under the matcher's folding
// (the Kelvin sign to 'k', the long s to 's'); found by asking the folding about every code
// point once per process.
const std::string& asciiFoldTargetsOfNonAscii();

// The longest literal run of the keyword ("*" and "?" end a run, "~" makes the next character
// literal) of ASCII characters that only themselves fold to and that raw XML writes as
// themselves: no markup or reference characters, no white space or controls, no "=" (formula
// texts gain one). Lower-cased; empty when no run reaches `minimumLength`.
std::string rawAnchorOf(std::string_view keyword, std::size_t minimumLength = 3);

// Where `lowerAnchor` (as rawAnchorOf returns it) first occurs in `bytes`, ASCII case
// ignored; npos when it does not.
std::size_t findAnchor(std::string_view bytes, std::string_view lowerAnchor);
bool containsAnchor(std::string_view bytes, std::string_view lowerAnchor);

}  // namespace quillmark::engine
