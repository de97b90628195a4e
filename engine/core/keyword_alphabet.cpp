// Mirrors the matcher's reading of "*", "?" and "~" so that the answer stays conservative.
#include "engine/core/keyword_alphabet.h"

#include "engine/core/ascii.h"

namespace quillmark::engine {
namespace {

bool inAlphabet(char c, std::string_view alphabet) {
    for (char member : alphabet)
        if (lowerAscii(member) == lowerAscii(c)) return true;
    return false;
}

}  // namespace

bool keywordCanMatchTextOf(std::string_view keyword, std::string_view alphabet) {
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = keyword[i];
        if (c == '~' && i + 1 < keyword.size()) {
            c = keyword[++i];
        } else if (c == '*' || c == '?') {
            continue;
        }
        // A byte of a non-ASCII character is a literal no ASCII alphabet holds.
        if (static_cast<unsigned char>(c) >= 0x80 || !inAlphabet(c, alphabet)) return false;
    }
    return true;
}

}  // namespace quillmark::engine
