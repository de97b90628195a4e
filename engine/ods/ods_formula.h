// OpenFormula (OpenDocument table:formula) text to the formula-bar form the other formats
// offer: "of:=SUM([.A1:.B2];[$Sheet2.C3])" becomes "=SUM(A1:B2,Sheet2!C3)".
#pragma once

#include <string>
#include <string_view>

namespace quillmark::engine {

// Drops the namespace prefix ("of:", "oooc:", "msoxl:"), writes [.A1] references as A1 and
// [$Sheet2.A1] as Sheet2!A1, and turns ";" separators into "," outside string literals.
void appendOdsFormulaAsDisplayed(std::string_view formula, std::string& out);

}  // namespace quillmark::engine
