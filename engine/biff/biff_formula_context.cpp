// Answers the formula decompiler's questions from the BIFF workbook globals.
#include "engine/biff/biff_formula_context.h"

namespace quillmark::engine::biff {
namespace {

std::string sheetByPosition(const Globals& globals, std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= globals.sheets.size()) return {};
    return globals.sheets[position].info.name;
}

std::string sheetRange(const std::string& first, const std::string& last) {
    if (first.empty() || last.empty()) return {};
    return first == last ? first : first + ":" + last;
}

// An external workbook as the formula bar names it: "[C:\\Budget.xls]", or "[1]" when its
// path is unknown.
std::string bookPrefix(const SupportingBook& book) {
    return "[" + (book.path.empty() ? std::to_string(book.externalNumber) : book.path) + "]";
}

// BIFF8: an XTI names a range of sheets in a supporting book.
std::string biff8ExternSheet(const Globals& globals, std::uint32_t index) {
    if (index >= globals.externSheets.size()) return {};
    const ExternSheetReference& reference = globals.externSheets[index];
    if (reference.book >= globals.books.size()) return {};
    const SupportingBook& book = globals.books[reference.book];
    if (book.kind == SupportingBook::Kind::Self)
        return sheetRange(sheetByPosition(globals, reference.firstSheet),
                          sheetByPosition(globals, reference.lastSheet));
    if (book.kind != SupportingBook::Kind::External) return {};
    std::string prefix = bookPrefix(book);
    auto externalSheet = [&](std::int32_t position) -> std::string {
        if (position < 0 || static_cast<std::size_t>(position) >= book.sheetNames.size()) return {};
        return book.sheetNames[position];
    };
    std::string range =
        sheetRange(externalSheet(reference.firstSheet), externalSheet(reference.lastSheet));
    return range.empty() ? std::string{} : prefix + range;
}

std::string externalName(const Globals& globals, std::uint32_t externIndex,
                         std::uint32_t nameIndex) {
    if (nameIndex == 0) return {};
    if (globals.version != Version::Biff8) {
        // BIFF5 tokens hold a one-based EXTERNSHEET index, negative for this workbook.
        int stored = static_cast<std::int16_t>(externIndex);
        std::size_t sheet = static_cast<std::size_t>(stored < 0 ? -stored : stored);
        if (sheet == 0 || sheet > globals.biff5ExternNames.size()) return {};
        const auto& names = globals.biff5ExternNames[sheet - 1];
        return nameIndex <= names.size() ? names[nameIndex - 1] : std::string{};
    }
    if (externIndex >= globals.externSheets.size()) return {};
    std::uint16_t bookIndex = globals.externSheets[externIndex].book;
    if (bookIndex >= globals.books.size()) return {};
    const SupportingBook& book = globals.books[bookIndex];
    if (nameIndex > book.names.size()) return {};
    const std::string& name = book.names[nameIndex - 1];
    if (book.kind == SupportingBook::Kind::External) return bookPrefix(book) + "!" + name;
    return name;
}

}  // namespace

void SharedFormulaTable::add(std::uint32_t row, std::uint32_t column, FormulaTokens tokens) {
    Kept& kept = formulas_[key(row, column)];
    keptBytes_ -= kept.bytes.size();
    std::size_t size = tokens.rgce.size() + tokens.extra.size();
    if (keptBytes_ + size > kKeptBytes) {
        formulas_.erase(key(row, column));
        return;
    }
    kept.bytes.assign(tokens.rgce.begin(), tokens.rgce.end());
    kept.bytes.insert(kept.bytes.end(), tokens.extra.begin(), tokens.extra.end());
    kept.rgceLength = tokens.rgce.size();
    keptBytes_ += size;
}

std::optional<FormulaTokens> SharedFormulaTable::find(std::uint32_t row,
                                                      std::uint32_t column) const {
    auto found = formulas_.find(key(row, column));
    if (found == formulas_.end()) return std::nullopt;
    Bytes bytes = found->second.bytes;
    return FormulaTokens{bytes.first(found->second.rgceLength),
                         bytes.subspan(found->second.rgceLength)};
}

FormulaContext makeFormulaContext(const Globals* globals, const SharedFormulaTable& shared) {
    FormulaContext context;
    context.sharedFormula = [&shared](std::uint32_t row, std::uint32_t column) {
        return shared.find(row, column);
    };
    if (!globals) return context;
    context.sheetNameForIndex = [globals](std::uint32_t index) {
        return sheetByPosition(*globals, static_cast<std::int32_t>(index));
    };
    context.sheetNameForExternIndex = [globals](std::uint32_t index) -> std::string {
        if (globals->version == Version::Biff8) return biff8ExternSheet(*globals, index);
        return index < globals->biff5ExternSheets.size() ? globals->biff5ExternSheets[index]
                                                         : std::string{};
    };
    context.definedName = [globals](std::uint32_t index) -> std::string {
        if (index == 0 || index > globals->definedNames.size()) return {};
        return globals->definedNames[index - 1];
    };
    context.externalName = [globals](std::uint32_t externIndex, std::uint32_t nameIndex) {
        return externalName(*globals, externIndex, nameIndex);
    };
    return context;
}

}  // namespace quillmark::engine::biff
