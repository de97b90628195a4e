// What an .xlsb workbook part (xl/workbook.bin) tells the sheet searches: its sheets in order
// (BrtBundleSh, resolved through the part's relationships), the 1904 date system (BrtWbProp),
// defined names (BrtName) and the sheets 3-D references name (BrtExternSheet over the
// BrtSupSelf / BrtBeginSupBook / BrtSupSame / BrtSupAddin books).
#pragma once

#include <string>
#include <vector>

#include "engine/core/outcome.h"
#include "engine/workbook.h"

namespace quillmark::engine {

class ZipArchive;

namespace xlsb {

struct WorkbookPart {
    std::vector<SheetInfo> sheets;
    std::vector<std::string> sheetParts;  // per sheet: its part name, "" when unresolved
    bool date1904 = false;
    std::vector<std::string> definedNames;  // in BrtName order: ptgName index 1 is the first
    std::vector<std::string> externSheets;  // per XTI: "Sheet2", "Jan:Mar", "[1]Prices" or ""
    std::string sharedStringsPart;          // "" when the workbook has none
    std::string stylesPart;
};

Outcome<WorkbookPart> readWorkbookPart(const ZipArchive& zip);

}  // namespace xlsb
}  // namespace quillmark::engine
