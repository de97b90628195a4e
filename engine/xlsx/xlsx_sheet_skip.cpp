// The xlsx worksheet's skip rule, kept beside the scanner whose made texts it follows.
#include "engine/xlsx/xlsx_sheet_skip.h"

#include <string>
#include <vector>

#include "engine/cell/a1_reference.h"
#include "engine/core/ascii.h"
#include "engine/core/keyword_alphabet.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"
#include "engine/xml/xml_bytes.h"

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

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// At `at`, a start tag (not an end tag, declaration or instruction) whose local name is `name`.
bool startTagNamed(std::string_view bytes, std::size_t at, std::string_view name) {
    if (at + 1 >= bytes.size() || bytes[at] != '<') return false;
    const char next = bytes[at + 1];
    if (next == '/' || next == '!' || next == '?') return false;
    std::string_view tag = xmlTagNameAt(bytes, at + 1);
    return at + 1 + tag.size() < bytes.size() && localPartOf(tag) == name;
}

// The row number the start tag at `at` gives in its one attribute named r, plain digits.
bool namesItsRow(std::string_view bytes, std::size_t at) {
    std::size_t p = at + 1 + xmlTagNameAt(bytes, at + 1).size();
    int plainR = 0;
    bool otherR = false;
    for (;;) {
        while (p < bytes.size() && isXmlSpace(bytes[p])) ++p;
        if (p >= bytes.size()) return false;
        if (bytes[p] == '>' || bytes[p] == '/') break;
        std::size_t nameEnd = p;
        while (nameEnd < bytes.size() && bytes[nameEnd] != '=' && !isXmlNameEnd(bytes[nameEnd]))
            ++nameEnd;
        std::string_view name = bytes.substr(p, nameEnd - p);
        p = nameEnd;
        while (p < bytes.size() && isXmlSpace(bytes[p])) ++p;
        if (p + 1 >= bytes.size() || bytes[p] != '=') return false;
        ++p;
        while (p < bytes.size() && isXmlSpace(bytes[p])) ++p;
        if (p >= bytes.size() || (bytes[p] != '"' && bytes[p] != '\'')) return false;
        std::size_t close = bytes.find(bytes[p], p + 1);
        if (close == kNone) return false;
        std::string_view value = bytes.substr(p + 1, close - p - 1);
        p = close + 1;
        if (name == "r") {
            std::uint64_t number = 0;
            bool digits = !value.empty() && value.size() <= 7;
            for (char c : value) {
                digits = digits && isAsciiDigit(c);
                number = number * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (!digits || number < 1 || number > kMaxRows) return false;
            ++plainR;
        } else if (localPartOf(name) == "r") {
            otherR = true;
        }
    }
    return plainR == 1 && !otherR;
}

// The tag ending just before `at` (white space between allowed) closes a row, or is the
// sheetData start tag ending at `contentStart` (window offsets; kNone when not in the window).
bool followsRowOrTableStart(std::string_view bytes, std::size_t at, std::size_t contentStart) {
    std::size_t end = at;
    while (end > 0 && isXmlSpace(bytes[end - 1])) --end;
    if (end == contentStart) return true;
    if (end < 2 || bytes[end - 1] != '>') return false;
    std::size_t open = bytes.rfind('<', end - 1);
    if (open == kNone) return false;
    if (bytes[open + 1] == '/') return localPartOf(xmlTagNameAt(bytes, open + 2)) == "row";
    return bytes[end - 2] == '/' && startTagNamed(bytes, open, "row");
}

}  // namespace

std::optional<std::size_t> sheetDataContentStart(std::string_view opening) {
    for (std::size_t at = opening.find("sheetData"); at != kNone;
         at = opening.find("sheetData", at + 1)) {
        std::size_t open = opening.rfind('<', at);
        if (open == kNone || !startTagNamed(opening, open, "sheetData")) continue;
        // Only a tag without attributes: nothing in it can hide a ">".
        std::size_t close = open + 1 + xmlTagNameAt(opening, open + 1).size();
        while (close < opening.size() && isXmlSpace(opening[close])) ++close;
        if (close >= opening.size() || opening[close] != '>') return std::nullopt;
        return close + 1;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> worksheetResumeRow(std::string_view window, std::uint64_t windowStart,
                                                std::uint64_t failedAt, std::size_t contentStart) {
    if (failedAt < windowStart || failedAt - windowStart >= window.size()) return std::nullopt;
    const auto inWindow = [&](std::uint64_t offset) {
        return offset >= windowStart && offset - windowStart <= window.size()
                   ? static_cast<std::size_t>(offset - windowStart)
                   : kNone;
    };
    const std::size_t content = inWindow(contentStart);
    for (std::size_t at = static_cast<std::size_t>(failedAt - windowStart);;) {
        at = window.rfind('<', at);
        if (at == kNone || windowStart + at < contentStart) return std::nullopt;
        if (startTagNamed(window, at, "row")) {
            if (!followsRowOrTableStart(window, at, content) || !namesItsRow(window, at))
                return std::nullopt;
            return windowStart + at;
        }
        if (at == 0) return std::nullopt;
        --at;
    }
}

}  // namespace quillmark::engine
