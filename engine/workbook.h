// The engine's one interface over every workbook format: the sheet list, and a search
// of one sheet for the first cell a matcher accepts. One reader per format implements it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

class Matcher;

enum class SheetKind { Worksheet, MacroSheet, Chart, Dialog };

struct SheetInfo {
    std::string name;  // UTF-8, exactly as the workbook names it
    SheetKind kind = SheetKind::Worksheet;
    bool hidden = false;
};

// True for sheets made of cells (worksheets and macro sheets); charts and dialogs have none.
inline bool isGridSheet(SheetKind kind) {
    return kind == SheetKind::Worksheet || kind == SheetKind::MacroSheet;
}

struct CellPosition {
    std::uint32_t row = 0;     // zero-based
    std::uint32_t column = 0;  // zero-based
};

class WorkbookReader {
  public:
    virtual ~WorkbookReader() = default;

    // Every sheet in workbook order, whatever its kind.
    virtual const std::vector<SheetInfo>& sheets() const = 0;

    // Streams the sheet at `sheetIndex` (a position in sheets()) and stops at the first
    // cell whose formula text or value text the matcher accepts. Nothing when none does.
    // A failure means this sheet could not be read (truncated, corrupt, too large...).
    virtual Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex,
                                                           const Matcher& matcher) = 0;
};

using ReaderOutcome = Outcome<std::unique_ptr<WorkbookReader>>;

// Opens a workbook by its content, never by its extension. `path` holds the file name's
// exact bytes. Fails with a reason: not a workbook, encrypted, truncated, unsupported...
ReaderOutcome openWorkbook(const std::string& path);

// The same on bytes in memory; `fileName` names the single sheet of a plain text file.
ReaderOutcome openWorkbookData(std::shared_ptr<const FileData> data, std::string_view fileName);

}  // namespace quillmark::engine
