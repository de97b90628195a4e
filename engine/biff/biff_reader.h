// The WorkbookReader over a BIFF record stream: a BIFF5/BIFF8 workbook stream from a compound
// file, or a bare BIFF2-BIFF5 stream saved as a file of its own.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "engine/biff/biff_globals.h"
#include "engine/core/string_table_matches.h"
#include "engine/workbook.h"

namespace quillmark::engine::biff {

class BiffWorkbook final : public WorkbookReader {
  public:
    // `stream` is the file itself or a stream inside it, read by ranges as sheets are
    // searched; `decrypter` is null unless the workbook is encrypted; `globals` is null when
    // the sheets carry their own formats and code page (BIFF2-BIFF4, bare worksheet streams).
    BiffWorkbook(std::shared_ptr<const FileData> stream, std::unique_ptr<RecordDecrypter> decrypter,
                 Version version, std::unique_ptr<Globals> globals, std::vector<SheetEntry> sheets);

    const std::vector<SheetInfo>& sheets() const override { return sheetInfos_; }

  protected:
    Status searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) override;

  private:
    std::shared_ptr<const FileData> stream_;
    std::unique_ptr<RecordDecrypter> decrypter_;
    Version version_;
    std::unique_ptr<Globals> globals_;
    std::vector<SheetEntry> entries_;  // the listed sheets, in workbook order
    std::vector<SheetInfo> sheetInfos_;
    StringTableMatches sharedStrings_;
};

// A workbook stream ("Workbook" or "Book" in a compound file, or a bare BIFF5/BIFF8 file).
ReaderOutcome openWorkbookStream(std::shared_ptr<const FileData> stream);

// A file that is itself a BIFF stream. BIFF2 sheets are named after the file, as
// spreadsheet programs show them; BIFF3 and BIFF4 ones "Sheet1".
ReaderOutcome openBareStream(std::shared_ptr<const FileData> data, std::string_view fileName);

}  // namespace quillmark::engine::biff
