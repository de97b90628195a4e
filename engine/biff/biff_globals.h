// The workbook globals substream of a BIFF5/BIFF8 workbook ([MS-XLS] 2.1.7.20.1): the sheet
// list, code page, date system, cell formats, where the shared string table is, and what the
// formula text needs (external sheets, supporting books, defined names).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/biff/biff_cell_text.h"
#include "engine/biff/biff_records.h"
#include "engine/biff/biff_text.h"
#include "engine/core/outcome.h"
#include "engine/workbook.h"

namespace quillmark::engine::biff {

enum class Version { Biff2, Biff3, Biff4, Biff5, Biff8 };

// BOF substream types ([MS-XLS] 2.4.21, and BIFF2-BIFF4's own).
inline constexpr std::uint16_t kGlobalsSubstream = 0x0005;
inline constexpr std::uint16_t kWorksheetSubstream = 0x0010;
inline constexpr std::uint16_t kChartSubstream = 0x0020;
inline constexpr std::uint16_t kMacroSheetSubstream = 0x0040;
inline constexpr std::uint16_t kWorkspaceSubstream = 0x0100;  // BIFF4 workbook globals too

struct SheetEntry {
    SheetInfo info;
    std::uint64_t bofOffset = 0;  // as BOUNDSHEET records it: checked when the sheet is read
    bool listed = true;           // false for Visual Basic modules, which hold no cells
};

// The FILEPASS record of an encrypted workbook: what decryption is keyed from, and where the
// encrypted records begin.
struct FilePass {
    std::vector<std::uint8_t> data;
    std::uint64_t end = 0;  // the stream offset just past the record
};

// A SUPBOOK record and the EXTERNNAME records after it.
struct SupportingBook {
    enum class Kind { Self, External, AddIn, Other } kind = Kind::Other;
    std::size_t externalNumber = 0;  // 1-based among external workbooks
    std::string path;                // the external workbook's file, decoded; may be empty
    std::vector<std::string> sheetNames;
    std::vector<std::string> names;
};

// One XTI of EXTERNSHEET: a range of sheets in a supporting book.
struct ExternSheetReference {
    std::uint16_t book = 0;
    std::int16_t firstSheet = 0;
    std::int16_t lastSheet = 0;
};

struct Globals {
    Version version = Version::Biff8;
    std::unique_ptr<CodePageDecoder> decoder = std::make_unique<CodePageDecoder>(1252);
    DateStyles styles;
    std::vector<SheetEntry> sheets;  // every BOUNDSHEET in workbook order
    std::optional<std::uint64_t> sstOffset;
    std::optional<FilePass> filePass;  // the workbook is encrypted

    std::vector<SupportingBook> books;                       // BIFF8
    std::vector<ExternSheetReference> externSheets;          // BIFF8
    std::vector<std::string> biff5ExternSheets;              // BIFF5: this workbook's sheet, or ""
    std::vector<std::vector<std::string>> biff5ExternNames;  // BIFF5: per EXTERNSHEET
    std::vector<std::string> definedNames;                   // NAME records in order
};

// The BIFF version a BOF record announces, by its record type and version field.
Version versionOfBof(const Record& bof);

// Reads the globals substream at the start of a BIFF5/BIFF8 workbook stream. Reading stops
// at a FILEPASS record (the rest is encrypted) unless a `decrypter` undoes it.
Outcome<Globals> readGlobals(const FileData& stream, RecordDecrypter* decrypter);

// Sheet kinds that only the sheet's own substream tells: a dialog sheet is a worksheet
// substream whose WSBOOL record has fDialog set; a BOF may also say chart or macro sheet.
// Fails only when the stream cannot be read.
Status refineSheetKinds(const FileData& stream, RecordDecrypter* decrypter,
                        std::vector<SheetEntry>& sheets);

}  // namespace quillmark::engine::biff
