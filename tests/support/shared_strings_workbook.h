// A one-sheet xlsx whose one row of cells names entries of a given shared string table, for
// tests of how the table is read: the smallest package (xlsx_package.h) with the table added.
#pragma once

#include <string>
#include <vector>

#include "stored_zip.h"
#include "xlsx_package.h"

namespace quillmark::testing {

// Row 1 of the sheet holds one cell per index, in column order, each naming that entry.
inline Parts sharedStringsWorkbookParts(const std::string& sharedStrings,
                                        const std::vector<std::size_t>& indexes) {
    std::string cells;
    for (std::size_t index : indexes)
        cells += "<c t=\"s\"><v>" + std::to_string(index) + "</v></c>";
    Parts parts = xlsxParts({worksheetXml("<row r=\"1\">" + cells + "</row>")});
    for (auto& [name, text] : parts) {
        if (name != "xl/_rels/workbook.xml.rels") continue;
        text.insert(text.rfind("</Relationships>"),
                    "<Relationship Id=\"rIdStrings\" Type=\"http://schemas.openxmlformats.org/"
                    "officeDocument/2006/relationships/sharedStrings\" "
                    "Target=\"sharedStrings.xml\"/>");
    }
    parts.emplace_back("xl/sharedStrings.xml", sharedStrings);
    return parts;
}

inline std::string storedPackage(const Parts& parts) {
    StoredZip zip;
    for (const auto& [name, data] : parts) zip.add(name, data);
    return zip.finish();
}

}  // namespace quillmark::testing
