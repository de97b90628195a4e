// The one-workbook search, written only against the automation layer: it would drive a real
// spreadsheet server the same way it drives the embedded engine.
#include "search/workbook_search.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "platform/automation.h"

namespace quillmark::search {
namespace {

using automation::CallFailure;
using automation::CallResult;
using automation::Object;
using automation::Variant;

// The server is asked to quit on every path: through the last sheet obtained (when there is
// one) and then directly. A server left running would outlive the search.
void shutDown(Object& application, Object& currentSheet) {
    if (!currentSheet.isNothing()) {
        if (auto sheetApplication = currentSheet.getObject("Application"))
            (void)sheetApplication.value().call("quit");
    }
    (void)application.call("quit");
    currentSheet.release();
    application.release();
}

// The sheet's name at a 1-based position of the Worksheets collection, in the form the
// server gave it, so it can be handed back to look the sheet up by name.
std::optional<Variant> worksheetName(const Object& application, std::int32_t position) {
    auto sheet = application.getObject("Worksheets", {Variant(std::int64_t{position})});
    if (!sheet) return std::nullopt;
    auto name = sheet.value().get("name");
    if (!name || !std::holds_alternative<std::string>(name.value())) return std::nullopt;
    return name.value();
}

// The sheet's whole grid, Cells.Cells, where the keyword is looked for.
CallResult<Object> gridOf(const Object& sheet) {
    auto cells = sheet.getObject("Cells");
    if (!cells) return cells.failure();
    return cells.value().getObject("Cells");
}

// The grid's first cell holding the keyword (nothing when none), or why it cannot be searched.
CallResult<std::optional<Object>> firstFound(const Object& grid, const std::string& keyword) {
    auto found = grid.get("find", {Variant(keyword)});
    if (!found) return found.failure();
    const auto* object = std::get_if<automation::DispatchRef>(&found.value());
    if (object == nullptr || *object == nullptr) return std::optional<Object>();
    return std::optional<Object>(Object(*object));
}

// The hit one found cell stands for: "$C$12" becomes "C12".
CallResult<CellHit> hitOf(const Object& range) {
    auto address = range.get("Address");
    if (!address) return address.failure();
    auto cell = automation::toText(address.value());
    if (!cell) return cell.failure();
    auto text = range.get("Text");
    if (!text) return text.failure();
    auto value = automation::toText(text.value());
    if (!value) return value.failure();
    std::erase(cell.value(), '$');
    return CellHit{cell.take(), value.take()};
}

// One cell of a FindAll collection.
CallResult<CellHit> hitAt(const Object& collection, std::int64_t position) {
    auto range = collection.getObject("Item", {Variant(position)});
    if (!range) return range.failure();
    return hitOf(range.value());
}

// The hits of a matching sheet through the grid's FindAll: the first `limit` kept, the rest
// counted. A server without FindAll leaves the match as it is; any other failure is returned
// with the hits listed so far kept.
std::optional<CallFailure> collectHits(const Object& grid, const std::string& keyword,
                                       std::size_t limit, SheetMatch& match) {
    auto all = grid.getObject("FindAll", {Variant(keyword), Variant(std::int64_t(limit))});
    if (!all) {
        if (all.failure().kind == automation::CallFailureKind::NoSuchMember) return std::nullopt;
        return all.failure();
    }
    auto counted = all.value().get("Count");
    if (!counted) return counted.failure();
    auto count = automation::toInteger(counted.value());
    if (!count) return count.failure();
    const auto total = static_cast<std::uint64_t>(std::max<std::int64_t>(count.value(), 0));
    const std::uint64_t kept = std::min<std::uint64_t>(total, limit);
    for (std::uint64_t position = 1; position <= kept; ++position) {
        auto hit = hitAt(all.value(), static_cast<std::int64_t>(position));
        if (!hit) {
            match.moreHits = total - match.hits.size();
            return hit.failure();
        }
        match.hits.push_back(hit.take());
    }
    match.moreHits = total - kept;
    return std::nullopt;
}

std::optional<std::int32_t> worksheetCount(const Object& application) {
    auto worksheets = application.getObject("Worksheets");
    if (!worksheets) return std::nullopt;
    auto count = worksheets.value().get("Count");
    if (!count) return std::nullopt;
    auto number = automation::toInteger(count.value());
    if (!number || number.value() > INT32_MAX || number.value() < INT32_MIN) return std::nullopt;
    return static_cast<std::int32_t>(number.value());
}

// Searches every worksheet of the open workbook in order into `result`, leaving the last
// sheet obtained in `currentSheet` for the shut-down. Worksheets gives both the count and the
// positions, so chart and dialog sheets neither shift the positions nor fail the workbook. A
// sheet that cannot be searched is passed over; the others still count.
void searchSheets(const Object& application, std::int32_t count, const std::string& keyword,
                  const SearchOptions& options, Object& currentSheet,
                  WorkbookSearchResult& result) {
    std::size_t hitsKept = 0;
    for (std::int32_t position = 1; position <= count; ++position) {
        auto name = worksheetName(application, position);
        if (!name) continue;
        auto sheet = application.getObject("Worksheets", {*name});
        if (!sheet) continue;
        currentSheet = sheet.take();
        const std::string& sheetName = std::get<std::string>(*name);
        auto grid = gridOf(currentSheet);
        auto found = grid ? firstFound(grid.value(), keyword)
                          : CallResult<std::optional<Object>>(grid.failure());
        if (!found) {
            result.sheetFailures.push_back({sheetName, found.failure()});
            continue;
        }
        if (!found.value()) continue;
        SheetMatch match;
        if (options.collectHits && options.firstHitOnly) {
            // A server whose found cell tells nothing more still gives the sheet.
            if (auto first = hitOf(*found.value())) match.hits.push_back(first.take());
            match.hitsCounted = false;
        } else if (options.collectHits) {
            const std::size_t limit = options.hitLimit - std::min(options.hitLimit, hitsKept);
            if (auto failed = collectHits(grid.value(), keyword, limit, match))
                result.sheetFailures.push_back({sheetName, std::move(*failed)});
            hitsKept += match.hits.size();
        }
        if (auto again = worksheetName(application, position)) {
            match.name = std::get<std::string>(*again);
            result.sheets.push_back(std::move(match));
        }
    }
}

// Opens the workbook in the server and searches it; the failure when it cannot be opened.
std::optional<CallFailure> openAndSearch(const Object& application, const std::string& fileName,
                                         const std::string& keyword, const SearchOptions& options,
                                         Object& currentSheet, WorkbookSearchResult& result) {
    auto workbooks = application.getObject("workbooks");
    if (!workbooks) return workbooks.failure();
    if (auto opened = workbooks.value().call("Open", {Variant(fileName)}); !opened)
        return opened.failure();
    auto count = worksheetCount(application);
    if (!count)
        return automation::engineFailure(
            fail(FailureKind::Corrupt, "the workbook's sheets cannot be counted"));
    searchSheets(application, count.value(), keyword, options, currentSheet, result);
    return std::nullopt;
}

}  // namespace

WorkbookSearchResult searchWorkbook(const std::string& fileName, const std::string& keyword,
                                    const SearchOptions& options) {
    engine::CancelScope cancelScope(options.cancel);
    WorkbookSearchResult result;
    auto created = automation::createObject("Excel.Application");
    if (!created) {
        result.failure = created.failure();
        return result;
    }
    Object application = created.take();
    Object currentSheet;
    result.failure = openAndSearch(application, fileName, keyword, options, currentSheet, result);
    shutDown(application, currentSheet);
    return result;
}

std::string sheetNameList(const WorkbookSearchResult& result) {
    std::string answer;
    for (const SheetMatch& sheet : result.sheets) {
        if (!answer.empty()) answer += ',';
        answer += sheet.name;
    }
    return answer;
}

std::string FindinExcel(const std::string& fileName, const std::string& keyword) {
    return sheetNameList(searchWorkbook(fileName, keyword));
}

}  // namespace quillmark::search
