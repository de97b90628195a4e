// The workbook part of an xlsx package (ECMA-376 Part 1, 18.2.27 workbook): the sheet list
// in order with each sheet's relationship id, and the date system.
#pragma once

#include <string>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::engine {

class ZipArchive;

struct WorkbookSheetEntry {
    std::string name;
    std::string relationshipId;
    bool hidden = false;  // state="hidden" or "veryHidden"
};

struct WorkbookPart {
    std::vector<WorkbookSheetEntry> sheets;
    bool date1904 = false;  // workbookPr date1904
    // externalReferences: relationship ids of the external books that formulas call [1], [2]...
    std::vector<std::string> externalReferenceIds;
};

Outcome<WorkbookPart> readWorkbookPart(const ZipArchive& zip, const std::string& partName);

}  // namespace quillmark::engine
