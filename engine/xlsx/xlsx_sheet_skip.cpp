// The xlsx worksheet's skip rule, kept beside the scanner whose made texts it follows.
#include "engine/xlsx/xlsx_sheet_skip.h"

#include "engine/core/keyword_alphabet.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"
#include "engine/xml/xml_cannot_match.h"

namespace quillmark::engine {

bool xlsxSheetSkipMayApply(std::string_view lowerAnchor, const WorksheetContext& context) {
    if (lowerAnchor.empty()) return false;
    if (context.sharedStrings != nullptr && context.sharedStrings->anyMatch()) return false;
    return !anchorIsInWordsOrAlphabet(lowerAnchor, {"true", "false"}, kDateAlphabet);
}

bool xlsxSheetCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                          const WorksheetContext& context) {
    if (context.externalBooks != nullptr)
        return xmlPartCannotMatch(xml, lowerAnchor, {"shared", "_x", "["});
    return xmlPartCannotMatch(xml, lowerAnchor, {"shared", "_x"});
}

}  // namespace quillmark::engine
