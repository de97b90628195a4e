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

// Whether the sheet's cells hold the keyword; nothing when the sheet cannot be searched.
std::optional<bool> sheetHasKeyword(const Object& sheet, const std::string& keyword) {
    auto cells = sheet.getObject("Cells");
    if (!cells) return std::nullopt;
    auto allCells = cells.value().getObject("Cells");
    if (!allCells) return std::nullopt;
    auto found = allCells.value().get("find", {Variant(keyword)});
    if (!found) return std::nullopt;
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

std::string FindinExcel(const std::string& fileName, const std::string& keyword) {
    auto created = automation::createObject("Excel.Application");
    if (!created) return {};
    Object application = created.take();
    Object currentSheet;

    auto workbooks = application.getObject("workbooks");
    if (!workbooks || !workbooks.value().call("Open", {Variant(fileName)})) {
        shutDown(application, currentSheet);
        return {};
    }
    auto count = worksheetCount(application);
    if (!count) {
        shutDown(application, currentSheet);
        return {};
    }

    // Worksheets gives both the count and the positions, so chart and dialog sheets neither
    // shift the positions nor fail the workbook. A sheet that cannot be searched is passed
    // over; the others still count.
    std::string accumulator;
    for (std::int32_t position = 1; position <= count.value(); ++position) {
        auto name = worksheetName(application, position);
        if (!name) continue;
        auto sheet = application.getObject("Worksheets", {*name});
        if (!sheet) continue;
        currentSheet = sheet.take();
        std::optional<bool> found = sheetHasKeyword(currentSheet, keyword);
        if (!found || !*found) continue;
        if (auto again = worksheetName(application, position))
            accumulator += std::get<std::string>(*again) + ",";
    }
    std::string answer =
        accumulator.empty() ? std::string() : accumulator.substr(0, accumulator.size() - 1);
    shutDown(application, currentSheet);
    return answer;
}

}  // namespace quillmark::search
