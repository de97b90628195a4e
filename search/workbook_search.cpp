// The one-workbook search, written only against the automation layer: it would drive a real
// spreadsheet server the same way it drives the embedded engine.
#include "search/workbook_search.h"

#include <climits>
#include <optional>

#include "platform/automation.h"

namespace quillmark::search {
namespace {

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

// Whether the sheet's cells hold the keyword, or why the sheet cannot be searched.
Outcome<bool> sheetHasKeyword(const Object& sheet, const std::string& keyword) {
    auto cells = sheet.getObject("Cells");
    if (!cells) return cells.failure();
    auto allCells = cells.value().getObject("Cells");
    if (!allCells) return allCells.failure();
    auto found = allCells.value().get("find", {Variant(keyword)});
    if (!found) return found.failure();
    const auto* object = std::get_if<automation::DispatchRef>(&found.value());
    return object != nullptr && *object != nullptr;
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

    auto workbooks = application.getObject("workbooks");
    if (!workbooks) {
        result.failure = workbooks.failure();
        shutDown(application, currentSheet);
        return result;
    }
    if (auto opened = workbooks.value().call("Open", {Variant(fileName)}); !opened) {
        result.failure = opened.failure();
        shutDown(application, currentSheet);
        return result;
    }
    auto count = worksheetCount(application);
    if (!count) {
        result.failure = fail(FailureKind::Corrupt, "the workbook's sheets cannot be counted");
        shutDown(application, currentSheet);
        return result;
    }

    // Worksheets gives both the count and the positions, so chart and dialog sheets neither
    // shift the positions nor fail the workbook. A sheet that cannot be searched is passed
    // over; the others still count.
    for (std::int32_t position = 1; position <= count.value(); ++position) {
        auto name = worksheetName(application, position);
        if (!name) continue;
        auto sheet = application.getObject("Worksheets", {*name});
        if (!sheet) continue;
        currentSheet = sheet.take();
        auto found = sheetHasKeyword(currentSheet, keyword);
        if (!found) {
            result.sheetFailures.push_back({std::get<std::string>(*name), found.failure()});
            continue;
        }
        if (!found.value()) continue;
        if (auto again = worksheetName(application, position))
            result.sheets.push_back(SheetMatch{std::get<std::string>(*again), {}, 0});
    }
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
