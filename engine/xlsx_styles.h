// Which cell formats of an xlsx workbook show numbers as dates or times (ECMA-376 Part 1,
// 18.8.10 cellXfs and 18.8.30 numFmt), worked out once per workbook so that each numeric
// cell costs one lookup.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"

namespace quillmark::engine {

class ZipArchive;

// Built-in number formats that are dates or times (18.8.30: ids 14-22 and 45-47, and the
// East Asian date ids 27-36 and 50-58).
bool isBuiltinDateFormat(int formatId);

// Whether a format code shows a date or time: it holds d, m, y, h or s outside quoted
// text, [brackets], backslash escapes and the characters after "_" and "*".
bool isDateFormatCode(std::string_view code);

// One flag per cellXfs entry (a cell's s attribute indexes it): true for date formats.
Outcome<std::vector<bool>> readDateStyles(const ZipArchive& zip, const std::string& partName);

}  // namespace quillmark::engine
