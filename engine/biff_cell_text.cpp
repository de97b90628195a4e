// Number, date and error texts of BIFF cells.
#include "biff_cell_text.h"

#include <cmath>
#include <cstring>

namespace quillmark::engine::biff {
namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool isDateLetter(char c) {
    c = asciiLower(c);
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's';
}

// [h], [hh], [mm], [ss]: elapsed time. Anything else in brackets is a colour, a condition or
// a locale.
bool isElapsedTimeBracket(std::string_view inside) {
    if (inside.empty()) return false;
    char first = asciiLower(inside[0]);
    if (first != 'h' && first != 'm' && first != 's') return false;
    for (char c : inside)
        if (asciiLower(c) != first) return false;
    return true;
}

void appendTwoDigits(int value, std::string& out) {
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// Civil date from days since 1970-01-01 (the proleptic Gregorian calendar).
void civilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long dayOfEra = days - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

double decodeRk(std::uint32_t rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

const char* errorText(std::uint8_t code) {
    switch (code) {
        case 0x00: return "#NULL!";
        case 0x07: return "#DIV/0!";
        case 0x0F: return "#VALUE!";
        case 0x17: return "#REF!";
        case 0x1D: return "#NAME?";
        case 0x24: return "#NUM!";
        case 0x2A: return "#N/A";
        case 0x2B: return "#GETTING_DATA";
        default: return "#N/A";
    }
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

bool isBuiltinDateFormat(std::uint16_t formatIndex) {
    return (formatIndex >= 14 && formatIndex <= 22) || (formatIndex >= 45 && formatIndex <= 47);
}

bool appendDateText(double serial, bool date1904, std::string& out) {
    if (!(serial >= 0) || serial >= 2958466) return false;
    long long wholeDays = static_cast<long long>(std::floor(serial));
    long long seconds = std::llround((serial - static_cast<double>(wholeDays)) * 86400.0);
    if (seconds >= 86400) {
        ++wholeDays;
        seconds -= 86400;
    }
    int year, month, day;
    if (!date1904 && wholeDays == 60) {
        // 1900 counts as a leap year in this date system: serial 60 is February 29, 1900.
        year = 1900, month = 2, day = 29;
    } else if (!date1904 && wholeDays == 0) {
        year = 1900, month = 1, day = 0;  // shown as January 0, 1900
    } else {
        // Days since 1970-01-01: serial 25569 in the 1900 system (past the false leap day),
        // 24107 in the 1904 system.
        long long fromEpoch = date1904 ? wholeDays - 24107 : wholeDays - 25569;
        if (!date1904 && wholeDays < 60) ++fromEpoch;
        civilFromDays(fromEpoch, year, month, day);
    }
    out += std::to_string(month);
    out += '/';
    out += std::to_string(day);
    out += '/';
    out += std::to_string(year);
    if (seconds != 0) {
        out += ' ';
        out += std::to_string(seconds / 3600);
        out += ':';
        appendTwoDigits(static_cast<int>(seconds / 60 % 60), out);
        if (seconds % 60 != 0) {
            out += ':';
            appendTwoDigits(static_cast<int>(seconds % 60), out);
        }
    }
    return true;
}

void DateStyles::addFormat(std::uint16_t formatIndex, std::string_view code) {
    if (customFormats_.empty()) customFormats_.assign(0x10000, -1);
    customFormats_[formatIndex] = isDateFormatCode(code) ? 1 : 0;
    nextFormatIndex_ = static_cast<std::uint16_t>(formatIndex + 1);
}

void DateStyles::addCellFormat(std::uint16_t formatIndex) { xfFormats_.push_back(formatIndex); }

bool DateStyles::formatIsDate(std::uint16_t formatIndex) const {
    if (!customFormats_.empty() && customFormats_[formatIndex] >= 0)
        return customFormats_[formatIndex] == 1;
    return isBuiltinDateFormat(formatIndex);
}

bool keywordCanMatchNumbers(std::string_view keyword) {
    static constexpr std::string_view kNumberCharacters = "0123456789-+.eE/: ";
    for (char c : keyword) {
        if (c == '*' || c == '?' || c == '~') continue;
        if (kNumberCharacters.find(c) == std::string_view::npos) return false;
    }
    return true;
}

}  // namespace quillmark::engine::biff
