// The parts of a one-sheet xlsx whose one row of cells names entries of a given shared string
// table, for tests of how the table is read.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "stored_zip.h"

namespace quillmark::testing {

using PackageParts = std::vector<std::pair<std::string, std::string>>;

// Row 1 of the sheet holds one cell per index, in column order, each naming that entry.
inline PackageParts sharedStringsWorkbookParts(const std::string& sharedStrings,
                                               const std::vector<std::size_t>& indexes) {
    const std::string rels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::string cells;
    for (std::size_t index : indexes)
        cells += "<c t=\"s\"><v>" + std::to_string(index) + "</v></c>";
    return {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/"
         "2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "</Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas."
         "openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" Type=\"" +
             rels + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas."
         "openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"" +
             rels +
             "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>"
             "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
         "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
             rels +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             rels + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml",
         "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/"
         "spreadsheetml/2006/main\"><sheetData><row r=\"1\">" +
             cells + "</row></sheetData></worksheet>"},
        {"xl/sharedStrings.xml", sharedStrings}};
}

inline std::string storedPackage(const PackageParts& parts) {
    StoredZip zip;
    for (const auto& [name, data] : parts) zip.add(name, data);
    return zip.finish();
}

}  // namespace quillmark::testing
