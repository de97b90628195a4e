// The shared string table of an xlsx workbook (ECMA-376 Part 1, 18.4.9 sst): each <si>
// entry is matched as it streams past and only the answer is kept.
#pragma once

#include <string>

#include "engine/core/outcome.h"

namespace quillmark::engine {

class Matcher;
class StringTableMatches;
class ZipArchive;

// Fills `matches` for `matcher`'s keyword: one entry per <si>, its plain text (<t>) or its
// rich-text runs (<r><t>) joined; phonetic guides (<rPh>) are not part of the text.
Status matchSharedStrings(const ZipArchive& zip, const std::string& partName,
                          const Matcher& matcher, StringTableMatches& matches);

}  // namespace quillmark::engine
