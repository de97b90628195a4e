// OOXML string escapes (ECMA-376 Part 1, 22.9.2.19 ST_Xstring): characters XML cannot carry
// are written as _xHHHH_, and a literal "_x" as _x005F_x.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmark::engine {

// Appends `text` with every _xHHHH_ escape replaced by its character.
void appendOoxmlUnescaped(std::string_view text, std::string& out);

// Whether `text` may hold such an escape (the cheap test before copying).
inline bool mayHoldOoxmlEscape(std::string_view text) {
    return text.find("_x") != std::string_view::npos;
}

}  // namespace quillmark::engine

namespace quillmark::engine {

// Appends a stored formula as the formula bar shows it: functions newer than the file
// format carry a "_xlfn." (or "_xlws.", "_xludf.") prefix in the file that is not shown.
void appendFormulaWithoutFuturePrefixes(std::string_view formula, std::string& out);

// Appends a stored formula with its external book indexes ("[1]Sheet1!A1") replaced by the
// books they stand for ("[C:\\Budget.xlsx]Sheet1!A1"), as the formula bar names them.
void appendWithExternalBooks(std::string_view formula, const std::vector<std::string>& books,
                             std::string& out);

}  // namespace quillmark::engine
