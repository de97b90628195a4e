// Numbers as a spreadsheet shows them in its formula bar: the shortest text that reads back
// as the same double, limited to 15 significant digits.
#pragma once

#include <string>

namespace quillmark::engine {

void appendNumberText(double value, std::string& out);
std::string numberText(double value);

}  // namespace quillmark::engine
