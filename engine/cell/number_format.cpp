// Date detection in number format codes: a scan that skips what a code shows literally.
#include "engine/cell/number_format.h"

#include "engine/core/ascii.h"

namespace quillmark::engine {
namespace {

bool isDateLetter(char c) {
    c = lowerAscii(c);
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's';
}

// [h], [hh], [mm], [ss]: elapsed time. Anything else in brackets is a colour, a condition or
// a locale.
bool isElapsedTimeBracket(std::string_view inside) {
    if (inside.empty()) return false;
    char first = lowerAscii(inside[0]);
    if (first != 'h' && first != 'm' && first != 's') return false;
    for (char c : inside)
        if (lowerAscii(c) != first) return false;
    return true;
}

}  // namespace

bool isBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool isDateFormatCode(std::string_view code) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (c == '"') {
            std::size_t close = code.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // an escaped, spacing or fill character
        } else if (c == '[') {
            std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos) return false;
            if (isElapsedTimeBracket(code.substr(i + 1, close - i - 1))) return true;
            i = close;
        } else if (isDateLetter(c)) {
            return true;
        }
    }
    return false;
}

}  // namespace quillmark::engine
