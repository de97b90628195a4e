// File-name wildcards as desktop folder listings know them: "*" any run, "?" one character,
// letter case ignored. Also the case-ignoring order a listing hands its names out in.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::platform {

// A name as code points with letter case folded away (invalid UTF-8 bytes become U+FFFD),
// the form both matching and ordering work on.
std::u32string foldedName(std::string_view name);

// Whether a folded name matches a folded pattern in full.
bool matchesPattern(std::u32string_view foldedPattern, std::u32string_view foldedName);

}  // namespace quillmark::platform
