// Searches one BIFF sheet substream for the cells whose value text or formula text the
// matcher accepts ([MS-XLS] 2.1.7.20.5 worksheet substream; BIFF2-BIFF4 cell records).
#pragma once

#include <optional>

#include "engine/biff/biff_globals.h"
#include "engine/core/matcher.h"
#include "engine/core/string_table_matches.h"
#include "engine/workbook.h"

namespace quillmark::engine::biff {

struct SheetSearchInput {
    const FileData* stream = nullptr;      // read by ranges from the sheet's BOF on
    RecordDecrypter* decrypter = nullptr;  // an encrypted workbook's
    std::uint64_t bofOffset = 0;
    Version version = Version::Biff8;
    // The workbook globals; null for a stream that is a single sheet, which carries its own
    // code page and formats among its records.
    const Globals* globals = nullptr;
    const StringTableMatches* sharedStrings = nullptr;  // BIFF8, already matched
};

[[nodiscard]] Status searchSheet(const SheetSearchInput& input, const Matcher& matcher,
                                 HitSink& sink);

}  // namespace quillmark::engine::biff
