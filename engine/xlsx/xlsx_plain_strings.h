// A raw look at a shared string table before it is parsed: a table written in the plain shape
// (one <t> per <si>, no rich-text runs, phonetic guides, character references, _xHHHH_ escapes,
// comments or other markup) whose bytes lack the keyword's anchor holds no matching entry.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::engine {

class ZipArchive;

// True only when no entry of the table can match a keyword with this anchor (rawAnchorOf).
// Anything the look does not understand, a read error included, answers false: the table is
// then parsed as always, and its errors reported there.
bool sharedStringsCannotMatch(const ZipArchive& zip, const std::string& partName,
                              std::string_view lowerAnchor);

// The same look over a table already in memory (for tests and small parts).
bool plainStringTableLacksAnchor(std::string_view table, std::string_view lowerAnchor);

}  // namespace quillmark::engine
