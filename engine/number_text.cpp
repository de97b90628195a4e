// Shortest round-trip text, then cut to 15 significant digits as spreadsheets keep no more.
#include "number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quillmark::engine {

void appendNumberText(double value, std::string& out) {
    if (std::isnan(value)) {
        out += "#NUM!";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "#NUM!" : "-#NUM!";
        return;
    }
    if (value == 0) {
        out += '0';
        return;
    }
    char text[64];
    // Try the fewest digits first; 15 is where a spreadsheet's precision ends.
    for (int digits = 1; digits <= 15; ++digits) {
        int length = std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (digits == 15 || std::strtod(text, nullptr) == value) {
            std::string_view view(text, static_cast<std::size_t>(length));
            // "%g" writes exponents as e+05; spreadsheets write E+05 and only for very large
            // or small magnitudes, which %g's own threshold approximates well enough here.
            std::size_t e = view.find('e');
            if (e == std::string_view::npos) {
                out.append(view);
            } else {
                out.append(view.substr(0, e));
                out += 'E';
                out.append(view.substr(e + 1));
            }
            return;
        }
    }
}

std::string numberText(double value) {
    std::string out;
    appendNumberText(value, out);
    return out;
}

}  // namespace quillmark::engine
