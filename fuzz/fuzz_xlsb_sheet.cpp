// The bytes as the sheet part of a small fixed xlsb package ([MS-XLSB]), whose workbook part
// lists one sheet and which has a shared string table, so string cells lead somewhere real.
#include "fuzz_support.h"

namespace {

// Record identifiers of the workbook and shared string parts ([MS-XLSB] 2.3).
enum : unsigned {
    BrtBeginBook = 131,
    BrtEndBook = 132,
    BrtBeginBundleShs = 143,
    BrtEndBundleShs = 144,
    BrtBundleSh = 156,
    BrtBeginSst = 159,
    BrtEndSst = 160,
    BrtSSTItem = 19,
};

// A record: its type and size as 7-bit groups (the high bit says another byte follows).
void appendRecord(std::string& part, unsigned type, const std::string& payload) {
    do {
        std::uint8_t byte = type & 0x7F;
        type >>= 7;
        part.push_back(static_cast<char>(byte | (type != 0 ? 0x80 : 0)));
    } while (type != 0);
    std::size_t size = payload.size();
    do {
        std::uint8_t byte = size & 0x7F;
        size >>= 7;
        part.push_back(static_cast<char>(byte | (size != 0 ? 0x80 : 0)));
    } while (size != 0);
    part += payload;
}

void appendU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

// XLWideString: a 32-bit character count and UTF-16LE characters (ASCII here).
void appendWideString(std::string& out, std::string_view ascii) {
    appendU32(out, static_cast<std::uint32_t>(ascii.size()));
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
}

std::string workbookPart() {
    std::string part;
    appendRecord(part, BrtBeginBook, "");
    appendRecord(part, BrtBeginBundleShs, "");
    std::string sheet;
    appendU32(sheet, 0);  // visible
    appendU32(sheet, 1);  // tab id
    appendWideString(sheet, "rId1");
    appendWideString(sheet, "Sheet1");
    appendRecord(part, BrtBundleSh, sheet);
    appendRecord(part, BrtEndBundleShs, "");
    appendRecord(part, BrtEndBook, "");
    return part;
}

std::string sharedStringsPart() {
    std::string part;
    std::string counts;
    appendU32(counts, 2);
    appendU32(counts, 2);
    appendRecord(part, BrtBeginSst, counts);
    for (std::string_view text : {"alpha", "2008"}) {
        std::string item(1, '\0');  // no rich runs, no phonetic text
        appendWideString(item, text);
        appendRecord(part, BrtSSTItem, item);
    }
    appendRecord(part, BrtEndSst, "");
    return part;
}

constexpr std::string_view kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>)"
    R"(<Override PartName="/xl/worksheets/sheet1.bin" ContentType="application/vnd.ms-excel.worksheet"/>)"
    R"(<Override PartName="/xl/sharedStrings.bin" ContentType="application/vnd.ms-excel.sharedStrings"/>)"
    R"(</Types>)";

constexpr std::string_view kPackageRelationships =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.bin"/>)"
    R"(</Relationships>)";

constexpr std::string_view kWorkbookRelationships =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.bin"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.bin"/>)"
    R"(</Relationships>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::fuzz;
    static const std::string workbook = workbookPart();
    static const std::string sharedStrings = sharedStringsPart();
    std::vector<std::uint8_t> package = buildZip({
        {"[Content_Types].xml", kContentTypes},
        {"_rels/.rels", kPackageRelationships},
        {"xl/workbook.bin", workbook},
        {"xl/_rels/workbook.bin.rels", kWorkbookRelationships},
        {"xl/sharedStrings.bin", sharedStrings},
        {"xl/worksheets/sheet1.bin", asText(data, size)},
    });
    openAndSearch(std::move(package), "book.xlsb");
    return 0;
}
