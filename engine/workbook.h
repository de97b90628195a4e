// The engine's one interface over every workbook format: the sheet list, and a search of
// one sheet that reports every cell a matcher accepts. One reader per format implements it.
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

// One cell a matcher accepted. `text` is what it accepted: the value text when the value
// matches, else the formula text ("=SUM(A1:B2)"). The view is valid only during the call.
struct CellHit {
    CellPosition cell;
    std::string_view text;
    bool viaFormula = false;
};

// Where a sheet search delivers its hits, in row-major order.
class HitSink {
  public:
    virtual ~HitSink() = default;
    // False: no more hits of this sheet are wanted, and its reading stops.
    virtual bool take(const CellHit& hit) = 0;
    // `count` cells from hit.cell rightwards that hold the same content (a repeated cell of
    // OpenDocument). One take() per cell unless a sink knows better, such as one that counts.
    virtual bool takeRun(const CellHit& hit, std::uint32_t count);
};

class WorkbookReader {
  public:
    virtual ~WorkbookReader() = default;

    // Every sheet in workbook order, whatever its kind.
    virtual const std::vector<SheetInfo>& sheets() const = 0;

    // Streams the sheet at `sheetIndex` (a position in sheets()) and hands every cell whose
    // value text or formula text the matcher accepts to `sink`, until the sink wants no more.
    // A failure means this sheet could not be read (truncated, corrupt, too large...); the
    // hits delivered before it stand.
    [[nodiscard]] Status findCells(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink);

    // The first such cell; nothing when there is none.
    [[nodiscard]] Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex,
                                                                 const Matcher& matcher);

  protected:
    // findCells once the sheet is known to exist and to have cells, and the keyword is not
    // empty.
    virtual Status searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) = 0;
};

using ReaderOutcome = Outcome<std::unique_ptr<WorkbookReader>>;

// Opens a workbook by its content, never by its extension. `path` holds the file name's
// exact bytes. Fails with a reason: not a workbook, encrypted, truncated, unsupported...
ReaderOutcome openWorkbook(const std::string& path);

// The same on bytes in memory; `fileName` names the single sheet of a plain text file.
ReaderOutcome openWorkbookData(std::shared_ptr<const FileData> data, std::string_view fileName);

}  // namespace quillmark::engine
