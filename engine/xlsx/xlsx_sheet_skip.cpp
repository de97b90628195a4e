// The xlsx worksheet's skip rule, kept beside the scanner whose made texts it follows.
#include "engine/xlsx/xlsx_sheet_skip.h"

#include "engine/core/keyword_alphabet.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"

namespace quillmark::engine {

bool xlsxSheetSkipMayApply(std::string_view lowerAnchor, const WorksheetContext& context) {
    if (lowerAnchor.empty()) return false;
    if (context.sharedStrings != nullptr && context.sharedStrings->anyMatch()) return false;
    return !anchorIsInWordsOrAlphabet(lowerAnchor, {"true", "false"}, kDateAlphabet);
}

XmlCannotMatchScan xlsxSheetScan(std::string_view lowerAnchor, const WorksheetContext& context) {
    if (context.externalBooks != nullptr)
        return XmlCannotMatchScan(lowerAnchor, {"shared", "_x", "["});
    return XmlCannotMatchScan(lowerAnchor, {"shared", "_x"});
}

bool xlsxSheetCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                          const WorksheetContext& context) {
    return xlsxSheetScan(lowerAnchor, context).wholePart(xml);
}

}  // namespace quillmark::engine
