// quillmark-find: the same folder walk and workbook search as the window, for scripts.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quillmark::cli {

// Exit statuses as grep's.
inline constexpr int kExitMatch = 0;
inline constexpr int kExitNoMatch = 1;
inline constexpr int kExitTrouble = 2;

// Runs the command with its arguments (without the program name).
int runFind(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace quillmark::cli
