// Which cell formats of an xlsx workbook show numbers as dates or times (ECMA-376 Part 1,
// 18.8.10 cellXfs and 18.8.30 numFmt), worked out once per workbook so that each numeric
// cell costs one lookup.
#pragma once

#include <string>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::engine {

class ZipArchive;

// One flag per cellXfs entry (a cell's s attribute indexes it): true for date formats.
Outcome<std::vector<bool>> readDateStyles(const ZipArchive& zip, const std::string& partName);

}  // namespace quillmark::engine
