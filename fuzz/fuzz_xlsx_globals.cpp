// The workbook-wide parts of an xlsx package: the first byte picks which of the workbook part,
// its relationships, the shared string table or the style sheet the rest of the bytes stand in
// for; the other parts, and a worksheet that uses strings, styles and formulas, stay fixed.
#include <array>

#include "fuzz_support.h"
#include "xlsx_package.h"

namespace {

using namespace quillmark::fuzz::xlsx;

constexpr std::string_view kWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<sheets><sheet name="One" sheetId="1" r:id="rId1"/><sheet name="Two" sheetId="2" r:id="rId4"/></sheets>)"
    R"(<definedNames><definedName name="Total">One!$A$1:$B$3</definedName></definedNames></workbook>)";

// Every cell kind the other parts feed: shared strings by index (in range and past the end),
// each style, and a shared formula with a follower.
constexpr std::string_view kSheet =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
    R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>2</v></c><c r="C1" t="s"><v>7</v></c></row>)"
    R"(<row r="2"><c r="A2" s="1"><v>39448</v></c><c r="B2" s="2"><v>39448.5</v></c><c r="C2" s="9"><v>1</v></c></row>)"
    R"(<row r="3"><c r="A3"><f t="shared" ref="A3:B3" si="0">Total+A1</f><v>3</v></c>)"
    R"(<c r="B3"><f t="shared" si="0"/><v>4</v></c></row>)"
    R"(</sheetData></worksheet>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::fuzz;
    if (size == 0) return 0;
    std::array<Part, 7> parts = {{
        {"[Content_Types].xml", kContentTypes},
        {"_rels/.rels", kPackageRelationships},
        {"xl/workbook.xml", kWorkbook},
        {"xl/_rels/workbook.xml.rels", kWorkbookRelationships},
        {"xl/sharedStrings.xml", kSharedStrings},
        {"xl/styles.xml", kStyles},
        {"xl/worksheets/sheet1.xml", kSheet},
    }};
    const std::size_t replaced = 2 + data[0] % 4;  // workbook, its relationships, strings, styles
    parts[replaced].second = asText(data + 1, size - 1);
    openAndSearch(buildZip({parts.begin(), parts.end()}), "book.xlsx");
    return 0;
}
