// Plain formula text is ASCII, and each run of letters in it is a column name, a number's
// exponent "E", or inside one of a fixed set of words. A keyword's folded run of letters longer
// than any column name (and than "E") can therefore match only inside one of those words.
#include "engine/formula/plain_formula_keyword.h"

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cell/error_codes.h"
#include "engine/cell/number_text.h"
#include "engine/core/ascii.h"
#include "engine/formula/formula_functions.h"
#include "engine/formula/formula_text.h"

namespace quillmark::engine {
namespace {

// The words plain formula text takes its letters from, lower-cased as the matcher folds them.
const std::vector<std::string>& plainTextWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> all;
        auto add = [&all](std::string_view word) {
            std::string lower;
            for (char c : word) lower += lowerAscii(c);
            all.push_back(std::move(lower));
        };
        forEachFunctionOrCommandName(add);
        add("TRUE");
        add("FALSE");
        for (unsigned code = 0; code <= 0xFF; ++code)
            if (const char* text = errorCodeText(static_cast<std::uint8_t>(code))) add(text);
        add(numberText(std::numeric_limits<double>::infinity()));
        return all;
    }();
    return words;
}

bool insideSomeWord(std::string_view letters) {
    for (const std::string& word : plainTextWords())
        if (word.find(letters) != std::string::npos) return true;
    return false;
}

// Whether a folded keyword run can occur in no plain text: matched in ASCII text, each of its
// characters must be ASCII, and each of its runs of letters must lie in one run of the text's.
bool segmentMissesPlainText(const Matcher::Segment& segment, std::size_t columnLetters) {
    std::string letters;
    auto runMisses = [&] { return letters.size() > columnLetters && !insideSomeWord(letters); };
    for (char32_t c : segment) {
        if (c != Matcher::kAnyOne && c >= 0x80) return true;
        if (c >= U'a' && c <= U'z') {
            letters += static_cast<char>(c);
            continue;
        }
        if (runMisses()) return true;
        letters.clear();
    }
    return runMisses();
}

}  // namespace

bool keywordCanMatchPlainFormulaText(const Matcher& matcher, FormulaDialect dialect) {
    if (matcher.foldedSegments().empty()) return !matcher.matchesNothing();
    // A column name is at least as long as the exponent's "E".
    std::size_t columnLetters = maxColumnLetters(dialect);
    for (const Matcher::Segment& segment : matcher.foldedSegments())
        if (segmentMissesPlainText(segment, columnLetters)) return false;
    return true;
}

}  // namespace quillmark::engine
