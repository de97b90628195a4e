// The BIFF8 shared string table (SST and its CONTINUE records, [MS-XLS] 2.4.265): each
// entry is matched once per keyword as it streams past, and only the answers are kept.
#pragma once

#include "engine/biff/biff_records.h"
#include "engine/core/matcher.h"
#include "engine/core/string_table_matches.h"

namespace quillmark::engine::biff {

// Fills `matches` for the matcher's keyword from the SST record at `sstOffset`. The table's
// own string count is not trusted: entries are read until its records run out. Fails only
// when the stream cannot be read (cut short since it was opened, or the search cancelled).
Status matchSharedStrings(const FileData& stream, RecordDecrypter* decrypter,
                          std::uint64_t sstOffset, const Matcher& matcher,
                          StringTableMatches& matches);

}  // namespace quillmark::engine::biff
