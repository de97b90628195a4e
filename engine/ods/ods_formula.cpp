// References sit in square brackets (OpenFormula 5.8): "[" [sheet] "." cell [":" ...] "]",
// a sheet written "$Name" or "'Quoted name'". Everything outside brackets and strings is
// copied as written, apart from the ";" parameter separator.
#include "engine/ods/ods_formula.h"

#include <vector>

#include "engine/core/ascii.h"

namespace quillmark::engine {
namespace {

// The parts of a range "a:b:c" split at ":" outside quotes.
std::vector<std::string_view> rangeParts(std::string_view reference) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        if (reference[i] == '\'') quoted = !quoted;
        if (reference[i] == ':' && !quoted) {
            parts.push_back(reference.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(reference.substr(start));
    return parts;
}

// Splits "Sheet.A1" / ".A1" / "$'My sheet'.$B$2" at the last "." outside quotes.
void splitSheet(std::string_view part, std::string_view& sheet, std::string_view& cell) {
    bool quoted = false;
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '\'') quoted = !quoted;
        if (part[i] == '.' && !quoted) dot = i;
    }
    if (dot == std::string_view::npos) {
        sheet = {};
        cell = part;
        return;
    }
    sheet = part.substr(0, dot);
    cell = part.substr(dot + 1);
    if (!sheet.empty() && sheet.front() == '$') sheet.remove_prefix(1);
}

void appendReference(std::string_view reference, std::string& out) {
    std::string_view previousSheet;
    bool first = true;
    for (std::string_view part : rangeParts(reference)) {
        std::string_view sheet, cell;
        splitSheet(part, sheet, cell);
        if (!first) out += ':';
        if (!sheet.empty() && (first || sheet != previousSheet)) {
            out.append(sheet);
            out += '!';
        }
        out.append(cell);
        if (!sheet.empty()) previousSheet = sheet;
        first = false;
    }
}

}  // namespace

void appendOdsFormulaAsDisplayed(std::string_view formula, std::string& out) {
    std::size_t prefixEnd = 0;
    while (prefixEnd < formula.size() && isAsciiLetter(formula[prefixEnd])) ++prefixEnd;
    if (prefixEnd > 0 && prefixEnd < formula.size() && formula[prefixEnd] == ':')
        formula.remove_prefix(prefixEnd + 1);
    if (formula.empty() || formula.front() != '=') out += '=';
    for (std::size_t i = 0; i < formula.size();) {
        char c = formula[i];
        if (c == '"') {
            std::size_t end = i + 1;
            while (end < formula.size()) {
                if (formula[end] == '"' && !(end + 1 < formula.size() && formula[end + 1] == '"'))
                    break;
                end += formula[end] == '"' ? 2 : 1;
            }
            end = std::min(end + 1, formula.size());
            out.append(formula.substr(i, end - i));
            i = end;
        } else if (c == '[') {
            bool quoted = false;
            std::size_t end = i + 1;
            while (end < formula.size() && (quoted || formula[end] != ']')) {
                if (formula[end] == '\'') quoted = !quoted;
                ++end;
            }
            appendReference(formula.substr(i + 1, end - i - 1), out);
            i = std::min(end + 1, formula.size());
        } else {
            out += c == ';' ? ',' : c;
            ++i;
        }
    }
}

}  // namespace quillmark::engine
