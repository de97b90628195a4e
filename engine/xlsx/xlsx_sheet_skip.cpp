// The xlsx worksheet's skip rule, kept beside the scanner whose made texts it follows.
#include "engine/xlsx/xlsx_sheet_skip.h"

#include <string>
#include <vector>

#include "engine/core/keyword_alphabet.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"

namespace quillmark::engine {

bool xlsxSheetSkipMayApply(std::string_view lowerAnchor, const WorksheetContext& context) {
    if (lowerAnchor.empty()) return false;
    if (context.sharedStrings != nullptr && context.sharedStrings->fewMatches() == nullptr)
        return false;
    return !anchorIsInWordsOrAlphabet(lowerAnchor, {"true", "false"}, kDateAlphabet);
}

XmlCannotMatchScan xlsxSheetScan(std::string_view lowerAnchor, const WorksheetContext& context) {
    XmlCannotMatchScan scan = context.externalBooks != nullptr
                                  ? XmlCannotMatchScan(lowerAnchor, {"shared", "_x", "["})
                                  : XmlCannotMatchScan(lowerAnchor, {"shared", "_x"});
    // A cell names its shared string by the number in <v> (18.3.1.96).
    if (context.sharedStrings != nullptr && context.sharedStrings->anyMatch()) {
        std::vector<std::string> needles;
        for (std::size_t index : *context.sharedStrings->fewMatches())
            needles.push_back(std::to_string(index));
        scan.watchValues("v", "c", std::move(needles));
    }
    return scan;
}

bool xlsxSheetCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                          const WorksheetContext& context) {
    return xlsxSheetScan(lowerAnchor, context).wholePart(xml);
}

}  // namespace quillmark::engine
