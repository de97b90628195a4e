// _xHHHH_ decoding: four hex digits between "_x" and "_", anything else copied as written.
#include "engine/xlsx/ooxml_text.h"

#include "engine/core/utf8.h"

namespace quillmark::engine {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void appendOoxmlUnescaped(std::string_view text, std::string& out) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t escape = text.find("_x", at);
        if (escape == std::string_view::npos || escape + 7 > text.size()) {
            out.append(text.substr(at));
            return;
        }
        out.append(text.substr(at, escape - at));
        char32_t value = 0;
        bool valid = text[escape + 6] == '_';
        for (std::size_t i = escape + 2; valid && i < escape + 6; ++i) {
            int digit = hexValue(text[i]);
            valid = digit >= 0;
            value = value * 16 + static_cast<char32_t>(digit < 0 ? 0 : digit);
        }
        if (valid) {
            appendUtf8(value, out);
            at = escape + 7;
        } else {
            out += '_';
            at = escape + 1;
        }
    }
}

}  // namespace quillmark::engine

namespace quillmark::engine {

void appendFormulaWithoutFuturePrefixes(std::string_view formula, std::string& out) {
    static constexpr std::string_view kPrefixes[] = {"_xlfn.", "_xlws.", "_xludf."};
    bool inString = false;
    for (std::size_t i = 0; i < formula.size();) {
        char c = formula[i];
        if (c == '"') inString = !inString;  // "" inside a literal flips twice: no harm
        if (!inString && c == '_') {
            bool skipped = false;
            for (std::string_view prefix : kPrefixes) {
                if (formula.substr(i, prefix.size()) == prefix) {
                    i += prefix.size();
                    skipped = true;
                    break;
                }
            }
            if (skipped) continue;
        }
        out += c;
        ++i;
    }
}

}  // namespace quillmark::engine

namespace quillmark::engine {

void appendWithExternalBooks(std::string_view formula, const std::vector<std::string>& books,
                             std::string& out) {
    bool inString = false;
    for (std::size_t i = 0; i < formula.size(); ++i) {
        char c = formula[i];
        if (c == '"') inString = !inString;
        if (!inString && c == '[') {
            std::size_t close = i + 1, index = 0;
            while (close < formula.size() && close - i <= 6 && formula[close] >= '0' &&
                   formula[close] <= '9')
                index = index * 10 + static_cast<std::size_t>(formula[close++] - '0');
            if (close > i + 1 && close < formula.size() && formula[close] == ']' && index >= 1 &&
                index <= books.size()) {
                out += '[';
                out += books[index - 1];
                out += ']';
                i = close;
                continue;
            }
        }
        out += c;
    }
}

}  // namespace quillmark::engine
