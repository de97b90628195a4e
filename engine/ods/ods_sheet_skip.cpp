// The OpenDocument sheet's skip rule, kept beside the cell search and the formula text whose
// made texts it follows. Everything else a cell shows is read from the bytes: text:p content
// (spans, links and skipped annotations only join texts, which the raw test's join check
// covers; text:s, text:tab, text:line-break and paragraph ends only add white space, which no
// anchor holds) and the office:value, date-value, time-value and string-value attributes,
// searched as written.
#include "engine/ods/ods_sheet_skip.h"

#include <algorithm>
#include <string>

#include "engine/core/ascii.h"
#include "engine/xml/xml_cannot_match.h"

namespace quillmark::engine {
namespace {

bool isAsciiAlphanumeric(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c);
}

// Whether some `bracket` in `bytes` has a byte for which `joins` holds just before it
// (`before`) or just after it.
template <typename Joins>
bool bracketTouches(std::string_view bytes, char bracket, bool before, Joins joins) {
    for (std::size_t at = bytes.find(bracket); at != std::string_view::npos;
         at = bytes.find(bracket, at + 1)) {
        if (before ? at > 0 && joins(bytes[at - 1]) : at + 1 < bytes.size() && joins(bytes[at + 1]))
            return true;
    }
    return false;
}

// The formula-bar form (ods_formula.cpp) copies every byte of a formula but a reference's
// "[" and "]", the "." or "$" that start a reference's part, a sheet name repeated after
// ":", and the leading namespace prefix; it adds "=", "," for ";" and "!" before a cell.
// Inside a reference, what it drops starts a part, after "[" (dropped too) or ":" (kept), and
// a "." after a sheet becomes "!"; the prefix comes before the "=". So two runs of letters and
// digits can only meet where a "[" or "]" was dropped: a "[" after a letter, digit or "]", or
// a "]" before a letter or digit. Made or dropped characters that are not letters or
// digits change an anchor that holds one, so such an anchor gets no skip where formulas are.
bool formulasMayJoinRuns(std::string_view bytes, std::string_view lowerAnchor) {
    if (!std::all_of(lowerAnchor.begin(), lowerAnchor.end(), isAsciiAlphanumeric)) return true;
    return bracketTouches(bytes, '[', true,
                          [](char c) { return isAsciiAlphanumeric(c) || c == ']'; }) ||
           bracketTouches(bytes, ']', false, isAsciiAlphanumeric);
}

// The raw test with the cell search's own join rule: text right before a paragraph's end and
// its cell's is the end of that cell's text. The next end tag closes the cell, so the
// paragraph is the cell's own and none encloses it, and nothing after it joins the cell's
// text. (A document whose end tags close other elements fails to tokenize; in a skipped sheet
// that is left unseen, as any damage is.)
XmlCannotMatchScan odsScan(std::string_view lowerAnchor) {
    XmlCannotMatchScan scan(lowerAnchor, {});
    scan.endsTextAt("</text:p></table:table-cell>");
    return scan;
}

}  // namespace

bool odsSheetSkipMayApply(std::string_view lowerAnchor) {
    return !lowerAnchor.empty() && !anchorIsInWordsOrAlphabet(lowerAnchor, {"true", "false"}, "");
}

bool odsSheetCannotMatch(std::string_view sheet, std::string_view lowerAnchor) {
    XmlCannotMatchScan scan = odsScan(lowerAnchor);
    if (!scan.fragment(sheet)) return false;
    // A cell's formula is its table:formula attribute, found by its local name as written.
    return !formulasMayJoinRuns(sheet, lowerAnchor) ||
           sheet.find("formula") == std::string_view::npos;
}

bool odsDocumentCannotMatch(const std::function<Outcome<std::size_t>(char*, std::size_t)>& read,
                            std::string_view lowerAnchor) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    XmlCannotMatchScan scan = odsScan(lowerAnchor);
    // Each window holds the bytes around the last piece's start, so that a word or bracket
    // cut by the piece's edge is seen whole in the next window.
    bool formulas = false, joins = false;
    for (;;) {
        char* room = scan.room(kPiece);
        auto got = read(room, kPiece);
        if (!got) return false;
        const bool going = got.value() == 0 ? scan.finish() : scan.feedRoom(got.value());
        if (!going) return false;
        const std::string_view window = scan.window();
        formulas = formulas || window.find("formula") != std::string_view::npos;
        joins = joins || formulasMayJoinRuns(window, lowerAnchor);
        if (formulas && joins) return false;
        if (got.value() == 0) return true;
    }
}

}  // namespace quillmark::engine
