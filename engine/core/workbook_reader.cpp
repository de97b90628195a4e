// The checks every reader's search shares, and the first-hit search over the full one.
#include "engine/core/matcher.h"
#include "engine/workbook.h"

namespace quillmark::engine {
namespace {

class FirstHit final : public HitSink {
  public:
    bool take(const CellHit& hit) override {
        found = hit.cell;
        return false;
    }
    bool takeRun(const CellHit& hit, std::uint32_t) override { return take(hit); }

    std::optional<CellPosition> found;
};

}  // namespace

bool HitSink::takeRun(const CellHit& hit, std::uint32_t count) {
    CellHit each = hit;
    for (std::uint32_t i = 0; i < count; ++i) {
        each.cell.column = hit.cell.column + i;
        if (!take(each)) return false;
    }
    return true;
}

Status WorkbookReader::findCells(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) {
    const std::vector<SheetInfo>& list = sheets();
    if (sheetIndex >= list.size())
        return fail(FailureKind::NoSuchSheet, "no sheet at that position");
    // Charts and dialog sheets hold no cells; an empty keyword matches nothing.
    if (matcher.matchesNothing() || !isGridSheet(list[sheetIndex].kind)) return Done{};
    return searchSheet(sheetIndex, matcher, sink);
}

Outcome<std::optional<CellPosition>> WorkbookReader::findFirst(std::size_t sheetIndex,
                                                               const Matcher& matcher) {
    FirstHit first;
    Status searched = findCells(sheetIndex, matcher, first);
    // A failure after the first hit does not take it back: the cell was read whole.
    if (first.found) return first.found;
    if (!searched) return searched.failure();
    return std::optional<CellPosition>();
}

}  // namespace quillmark::engine
