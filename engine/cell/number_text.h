// Numbers as a spreadsheet shows them in its formula bar: the shortest text that reads back
// as the same double, limited to 15 significant digits.
#pragma once

#include <cstddef>
#include <string>

namespace quillmark::engine {

// The longest text appendNumberText writes: "-1.23456789012345E-300", "-0.0000123456789012345".
inline constexpr std::size_t kMaxNumberTextBytes = 22;

void appendNumberText(double value, std::string& out);
std::string numberText(double value);

}  // namespace quillmark::engine
