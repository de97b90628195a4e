// Streams one xlsx worksheet or macro sheet part (ECMA-376 Part 1, 18.3.1.99 worksheet,
// sheetData/row/c) and reports each cell whose value or formula text matches.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/cell/serial_date.h"
#include "engine/core/outcome.h"
#include "engine/workbook.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {

class Matcher;
class StringTableMatches;

struct WorksheetContext {
    const Matcher& matcher;
    const StringTableMatches* sharedStrings = nullptr;  // nullptr: the workbook has none
    const std::vector<bool>* dateStyles = nullptr;      // per cellXfs entry; nullptr: none
    DateEpoch epoch = DateEpoch::Excel1900;
    const std::vector<std::string>* externalBooks = nullptr;  // targets of [1], [2]...
};

[[nodiscard]] Status searchWorksheet(XmlPullTokenizer::Source source,
                                     const WorksheetContext& context, HitSink& sink);

}  // namespace quillmark::engine
