// The one-workbook search: on which sheets of this workbook does the keyword occur, where,
// and, when it could not look, why not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/cancel.h"
#include "platform/automation.h"

namespace quillmark::search {

// One matching cell: its reference in A1 form ("C12") and the text the keyword was found in
// (the value text, or the formula text when the formula is what matched).
struct CellHit {
    std::string cell;
    std::string text;
};

// A sheet where the keyword occurs: its name exactly as the workbook gives it, its first
// hits, and how many further hits it holds whose texts were not kept. A search for first hits
// only lists one and leaves the rest uncounted.
struct SheetMatch {
    std::string name;
    std::vector<CellHit> hits;
    std::uint64_t moreHits = 0;
    bool hitsCounted = true;  // false: hits beyond those listed were not looked for
};

// A sheet that could not be read (or whose hits could not all be listed); the other
// sheets' answers still stand.
struct SheetFailure {
    std::string name;
    automation::CallFailure failure;
};

struct WorkbookSearchResult {
    std::vector<SheetMatch> sheets;                  // the matching sheets, in sheet order
    std::vector<SheetFailure> sheetFailures;         // sheets passed over, in sheet order
    std::optional<automation::CallFailure> failure;  // the workbook could not be searched

    bool matched() const { return !sheets.empty(); }
};

struct SearchOptions {
    bool collectHits = false;    // also find where: the hits of every matching sheet
    std::size_t hitLimit = 100;  // hit texts kept per workbook; further hits are counted
    // With collectHits: only each matching sheet's first hit, found by the search that finds
    // the sheet, so nothing is read beyond it. What the window's run takes: its rows cost no
    // more than the bare answer, and the rest is counted when someone asks.
    bool firstHitOnly = false;
    const engine::CancelToken* cancel = nullptr;  // asked while the workbook is read
};

// Searches `fileName` for `keyword` through the "Excel.Application" automation server.
WorkbookSearchResult searchWorkbook(const std::string& fileName, const std::string& keyword,
                                    const SearchOptions& options = {});

// The matching sheets' names joined by "," in sheet order; empty when none matched.
std::string sheetNameList(const WorkbookSearchResult& result);

// The answer as the window's run takes it: sheetNameList of a search without hits. The empty
// answer means no match, or a workbook that could not be searched.
std::string FindinExcel(const std::string& fileName, const std::string& keyword);

// A one-workbook search in the form searchWorkbook has, so callers (a run's workers, tests)
// can be handed another; it must honour options.cancel.
using WorkbookSearch = std::function<WorkbookSearchResult(
    const std::string& fileName, const std::string& keyword, const SearchOptions& options)>;

}  // namespace quillmark::search
