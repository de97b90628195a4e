// Searches one .xlsb worksheet or macro sheet part ([MS-XLSB] 2.1.7.62 Worksheet): streams its
// cell records row by row and reports each cell whose value text or formula text the matcher
// accepts.
#pragma once

#include <memory>
#include <optional>

#include "engine/biff/biff_cell_text.h"
#include "engine/core/outcome.h"
#include "engine/core/string_table_matches.h"
#include "engine/workbook.h"
#include "engine/xlsb/xlsb_workbook.h"

namespace quillmark::engine {

class Matcher;
class ZipStream;

namespace xlsb {

struct SheetTables {
    const WorkbookPart& workbook;
    const biff::DateStyles& styles;
    const StringTableMatches& strings;  // already matched for the matcher's keyword
};

[[nodiscard]] Status searchSheet(std::unique_ptr<ZipStream> part, const SheetTables& tables,
                                 const Matcher& matcher, HitSink& sink);

}  // namespace xlsb
}  // namespace quillmark::engine
