// Reference text for the formula decompiler.
#include "engine/formula/formula_references.h"

#include "engine/core/ascii.h"

namespace quillmark::engine::formula {
namespace {

// "A1", "xfd1048576": letters then digits, as a cell reference reads.
bool looksLikeA1(std::string_view name) {
    std::size_t letters = 0;
    while (letters < name.size() && isAsciiLetter(name[letters])) ++letters;
    if (letters == 0 || letters > 3 || letters == name.size()) return false;
    for (std::size_t i = letters; i < name.size(); ++i)
        if (!isAsciiDigit(name[i])) return false;
    return true;
}

// "R", "C", "R1C1", "RC3": what R1C1 notation would read as a reference.
bool looksLikeR1C1(std::string_view name) {
    std::size_t i = 0;
    auto digits = [&] {
        while (i < name.size() && isAsciiDigit(name[i])) ++i;
    };
    if (i < name.size() && (name[i] == 'R' || name[i] == 'r')) {
        ++i;
        digits();
    }
    if (i < name.size() && (name[i] == 'C' || name[i] == 'c')) {
        ++i;
        digits();
    }
    return i > 0 && i == name.size();
}

void appendRow(std::uint32_t row, bool relative, std::string& out) {
    if (!relative) out += '$';
    out += std::to_string(static_cast<std::uint64_t>(row) + 1);
}

void appendColumn(std::uint32_t column, bool relative, std::string& out) {
    if (!relative) out += '$';
    appendColumnName(column, out);
}

}  // namespace

void appendColumnName(std::uint32_t column, std::string& out) {
    char letters[8];
    int count = 0;
    std::uint64_t value = static_cast<std::uint64_t>(column) + 1;
    while (value > 0 && count < 8) {
        letters[count++] = static_cast<char>('A' + (value - 1) % 26);
        value = (value - 1) / 26;
    }
    while (count > 0) out += letters[--count];
}

void appendCell(const CellReference& cell, std::string& out) {
    appendColumn(cell.column, cell.columnRelative, out);
    appendRow(cell.row, cell.rowRelative, out);
}

void appendArea(const CellReference& first, const CellReference& last, GridSize grid,
                std::string& out) {
    bool everyRow = first.row == 0 && last.row == grid.rows - 1;
    bool everyColumn = first.column == 0 && last.column == grid.columns - 1;
    if (everyColumn) {
        appendRow(first.row, first.rowRelative, out);
        out += ':';
        appendRow(last.row, last.rowRelative, out);
    } else if (everyRow) {
        appendColumn(first.column, first.columnRelative, out);
        out += ':';
        appendColumn(last.column, last.columnRelative, out);
    } else {
        appendCell(first, out);
        out += ':';
        appendCell(last, out);
    }
}

bool sheetNameNeedsQuotes(std::string_view name) {
    if (name.empty() || isAsciiDigit(name.front())) return true;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) continue;  // letters of other scripts need no quotes
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_' && c != '.') return true;
    }
    return looksLikeA1(name) || looksLikeR1C1(name);
}

void appendSheetPrefix(std::string_view sheets, std::string& out) {
    if (sheets.empty()) {
        out += "#REF!";
        return;
    }
    std::string_view names = sheets;
    if (names.front() == '[') {
        std::size_t close = names.find(']');
        if (close != std::string_view::npos) names.remove_prefix(close + 1);
    }
    bool quote = names.empty();
    while (!quote) {
        std::size_t colon = names.find(':');
        quote = sheetNameNeedsQuotes(names.substr(0, colon));
        if (colon == std::string_view::npos) break;
        names.remove_prefix(colon + 1);
    }
    if (!quote) {
        out.append(sheets);
        out += '!';
        return;
    }
    out += '\'';
    for (char c : sheets) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += "'!";
}

}  // namespace quillmark::engine::formula
