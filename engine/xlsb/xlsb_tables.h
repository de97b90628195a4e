// The workbook-wide tables an .xlsb sheet search consults: which cell formats are dates
// (styles.bin: BrtFmt, and BrtXF between BrtBeginCellXFs and BrtEndCellXFs) and which shared
// strings match the keyword (sharedStrings.bin: BrtSSTItem, matched as they stream past).
#pragma once

#include <string_view>

#include "engine/biff/biff_cell_text.h"
#include "engine/core/outcome.h"
#include "engine/core/string_table_matches.h"

namespace quillmark::engine {

class Matcher;
class ZipArchive;

namespace xlsb {

Status readDateStyles(const ZipArchive& zip, std::string_view part, biff::DateStyles& styles);

Status matchSharedStrings(const ZipArchive& zip, std::string_view part, const Matcher& matcher,
                          StringTableMatches& matches);

}  // namespace xlsb
}  // namespace quillmark::engine
