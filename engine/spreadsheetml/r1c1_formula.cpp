// The conversion walks the formula once. A reference can only start where a name could (not
// inside a longer name such as ROUND or a number), and is only taken for one when no name
// character follows it, so functions and defined names beginning with R or C stay as they are.
#include "engine/spreadsheetml/r1c1_formula.h"

#include <charconv>
#include <optional>

#include "engine/cell/a1_reference.h"

namespace quillmark::engine {
namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}

// One axis of a reference: R, R3 or R[-2] (likewise for C).
struct Axis {
    bool present = false;
    bool absolute = false;
    std::int64_t number = 0;  // the 1-based index when absolute, else the offset
};

struct Reference {
    Axis row, column;
    std::size_t length = 0;
};

// Reads "R..." or "C..." at `at`; advances `at` past it.
Axis readAxis(std::string_view text, std::size_t& at, char letter) {
    Axis axis;
    if (at >= text.size() || text[at] != letter) return axis;
    std::size_t cursor = at + 1;
    if (cursor < text.size() && text[cursor] == '[') {
        std::size_t close = text.find(']', cursor);
        if (close == std::string_view::npos) return axis;
        std::string_view digits = text.substr(cursor + 1, close - cursor - 1);
        if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
        auto result = std::from_chars(digits.data(), digits.data() + digits.size(), axis.number);
        if (digits.empty() || result.ec != std::errc() || result.ptr != digits.end()) return {};
        cursor = close + 1;
    } else {
        std::size_t digitsEnd = cursor;
        while (digitsEnd < text.size() && text[digitsEnd] >= '0' && text[digitsEnd] <= '9' &&
               digitsEnd - cursor < 8)
            ++digitsEnd;
        if (digitsEnd > cursor) {
            std::from_chars(text.data() + cursor, text.data() + digitsEnd, axis.number);
            if (axis.number == 0) return {};
            axis.absolute = true;
            cursor = digitsEnd;
        }
    }
    axis.present = true;
    at = cursor;
    return axis;
}

std::optional<Reference> readReference(std::string_view text, std::size_t start) {
    std::size_t at = start;
    Reference reference;
    reference.row = readAxis(text, at, 'R');
    reference.column = readAxis(text, at, 'C');
    if (!reference.row.present && !reference.column.present) return std::nullopt;
    if (at < text.size() && (isNameCharacter(text[at]) || text[at] == '(')) return std::nullopt;
    reference.length = at - start;
    return reference;
}

// Relative positions past the grid's edge wrap around, as they do in the formula bar.
std::uint32_t resolve(const Axis& axis, std::uint32_t own, std::uint32_t limit) {
    std::int64_t position = axis.absolute ? axis.number - 1 : std::int64_t{own} + axis.number;
    position %= limit;
    if (position < 0) position += limit;
    return static_cast<std::uint32_t>(position);
}

void appendRow(const Axis& axis, std::uint32_t row, std::string& out) {
    if (axis.absolute) out += '$';
    out += std::to_string(resolve(axis, row, kMaxRows) + 1);
}

void appendColumn(const Axis& axis, std::uint32_t column, std::string& out) {
    if (axis.absolute) out += '$';
    appendColumnLetters(resolve(axis, column, kMaxColumns), out);
}

bool isWholeRow(const Reference& reference) {
    return reference.row.present && !reference.column.present;
}
bool isWholeColumn(const Reference& reference) {
    return reference.column.present && !reference.row.present;
}

// Copies a literal that runs to its closing `quote` (doubled inside); returns its end.
std::size_t copyQuoted(std::string_view text, std::size_t at, std::string& out) {
    char quote = text[at];
    std::size_t cursor = at + 1;
    while (cursor < text.size()) {
        if (text[cursor] == quote) {
            if (cursor + 1 < text.size() && text[cursor + 1] == quote) {
                cursor += 2;
                continue;
            }
            ++cursor;
            break;
        }
        ++cursor;
    }
    out.append(text.substr(at, cursor - at));
    return cursor;
}

}  // namespace

void appendR1C1FormulaAsA1(std::string_view formula, std::uint32_t row, std::uint32_t column,
                           std::string& out) {
    std::size_t at = 0;
    while (at < formula.size()) {
        char c = formula[at];
        if (c == '"' || c == '\'') {
            at = copyQuoted(formula, at, out);
            continue;
        }
        if (!isNameCharacter(c)) {
            out += c;
            ++at;
            continue;
        }
        auto reference = readReference(formula, at);
        if (!reference) {  // a name, a function or a number: copied whole
            std::size_t end = at;
            while (end < formula.size() && isNameCharacter(formula[end])) ++end;
            out.append(formula.substr(at, end - at));
            at = end;
            continue;
        }
        at += reference->length;
        if (reference->row.present && reference->column.present) {
            appendColumn(reference->column, column, out);
            appendRow(reference->row, row, out);
            continue;
        }
        // A whole row or column is written as a range in A1 form: R2 is $2:$2, R1:R3 is $1:$3.
        std::optional<Reference> last;
        if (at + 1 < formula.size() && formula[at] == ':') {
            last = readReference(formula, at + 1);
            if (last && isWholeRow(*last) == isWholeRow(*reference) &&
                isWholeColumn(*last) == isWholeColumn(*reference)) {
                at += 1 + last->length;
            } else {
                last.reset();
            }
        }
        const Reference& end = last ? *last : *reference;
        if (isWholeRow(*reference)) {
            appendRow(reference->row, row, out);
            out += ':';
            appendRow(end.row, row, out);
        } else {
            appendColumn(reference->column, column, out);
            out += ':';
            appendColumn(end.column, column, out);
        }
    }
}

}  // namespace quillmark::engine
