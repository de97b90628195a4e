// The bytes as the worksheet part of a small fixed xlsx package, which also has a shared
// string table and a date style, so cell types and styles lead somewhere real.
#include "fuzz_support.h"
#include "xlsx_package.h"

namespace {

using namespace quillmark::fuzz::xlsx;

constexpr std::string_view kWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::fuzz;
    std::vector<std::uint8_t> package = buildZip({
        {"[Content_Types].xml", kContentTypes},
        {"_rels/.rels", kPackageRelationships},
        {"xl/workbook.xml", kWorkbook},
        {"xl/_rels/workbook.xml.rels", kWorkbookRelationships},
        {"xl/sharedStrings.xml", kSharedStrings},
        {"xl/styles.xml", kStyles},
        {"xl/worksheets/sheet1.xml", asText(data, size)},
    });
    openAndSearch(std::move(package), "book.xlsx");
    return 0;
}
