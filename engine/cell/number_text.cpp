// Shortest round-trip digits (std::to_chars), cut to 15 significant digits as spreadsheets
// keep no more, then laid out as a formula bar writes them: plain digits for everyday
// magnitudes, "1.5E+20" style only for very large or very small ones.
#include "engine/cell/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillmark::engine {
namespace {

constexpr int kMaxSignificantDigits = 15;

struct Scientific {
    std::string digits;  // significant digits, no leading or trailing zeros
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1)
};

// Parses "d.ddde+XX" (either sign of the exponent) into its digits and exponent.
Scientific parseScientific(std::string_view text) {
    Scientific result;
    std::size_t e = text.find('e');
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9') result.digits.push_back(c);
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    result.exponent);
    while (result.digits.size() > 1 && result.digits.back() == '0') result.digits.pop_back();
    return result;
}

Scientific significantDigits(double magnitude) {
    char text[64];
    auto written =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    Scientific shortest = parseScientific(std::string_view(text, written.ptr - text));
    if (shortest.digits.size() <= kMaxSignificantDigits) return shortest;
    int length = std::snprintf(text, sizeof text, "%.*e", kMaxSignificantDigits - 1, magnitude);
    return parseScientific(std::string_view(text, static_cast<std::size_t>(length)));
}

void appendFixed(const Scientific& number, std::string& out) {
    const int count = static_cast<int>(number.digits.size());
    if (number.exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-number.exponent - 1), '0');
        out += number.digits;
        return;
    }
    for (int i = 0; i <= std::max(number.exponent, count - 1); ++i) {
        if (i == number.exponent + 1) out += '.';
        out += i < count ? number.digits[static_cast<std::size_t>(i)] : '0';
    }
}

void appendExponent(const Scientific& number, std::string& out) {
    out += number.digits[0];
    if (number.digits.size() > 1) {
        out += '.';
        out.append(number.digits, 1);
    }
    out += number.exponent < 0 ? "E-" : "E+";
    int magnitude = std::abs(number.exponent);
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
}

}  // namespace

void appendNumberText(double value, std::string& out) {
    // Whole numbers, the most common numbers in a sheet, directly: their shortest text is
    // their digits.
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        char digits[24];
        auto end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value)).ptr;
        out.append(digits, end);
        return;
    }
    if (std::isnan(value) || std::isinf(value)) {
        out += "#NUM!";
        return;
    }
    if (value == 0) {
        out += '0';
        return;
    }
    if (value < 0) out += '-';
    Scientific number = significantDigits(std::fabs(value));
    if (number.exponent >= -5 && number.exponent < kMaxSignificantDigits)
        appendFixed(number, out);
    else
        appendExponent(number, out);
}

std::string numberText(double value) {
    std::string out;
    appendNumberText(value, out);
    return out;
}

}  // namespace quillmark::engine
