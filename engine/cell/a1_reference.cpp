// A1 references: letters for the column (base 26 without a zero digit), digits for the row.
#include "engine/cell/a1_reference.h"

#include <string>

#include "engine/core/ascii.h"

namespace quillmark::engine {

std::optional<std::uint32_t> parseColumnLetters(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return std::nullopt;
    std::uint32_t column = 0;
    for (char c : letters) {
        if (!isAsciiLetter(c)) return std::nullopt;
        column = column * 26 + static_cast<std::uint32_t>((c | 0x20) - 'a' + 1);
    }
    if (column > kMaxColumns) return std::nullopt;
    return column - 1;
}

std::optional<CellPosition> parseA1(std::string_view reference) {
    std::size_t i = 0;
    if (i < reference.size() && reference[i] == '$') ++i;
    std::size_t lettersStart = i;
    while (i < reference.size() && isAsciiLetter(reference[i])) ++i;
    auto column = parseColumnLetters(reference.substr(lettersStart, i - lettersStart));
    if (!column) return std::nullopt;
    if (i < reference.size() && reference[i] == '$') ++i;
    std::size_t digitsStart = i;
    std::uint64_t row = 0;
    while (i < reference.size() && isAsciiDigit(reference[i]) && i - digitsStart < 8)
        row = row * 10 + static_cast<std::uint64_t>(reference[i++] - '0');
    if (i == digitsStart || i != reference.size() || row == 0 || row > kMaxRows)
        return std::nullopt;
    return CellPosition{static_cast<std::uint32_t>(row - 1), *column};
}

void appendColumnLetters(std::uint32_t column, std::string& out) {
    char letters[8];
    int count = 0;
    std::uint64_t value = std::uint64_t{column} + 1;
    while (value > 0 && count < 8) {
        letters[count++] = static_cast<char>('A' + (value - 1) % 26);
        value = (value - 1) / 26;
    }
    while (count > 0) out += letters[--count];
}

}  // namespace quillmark::engine
