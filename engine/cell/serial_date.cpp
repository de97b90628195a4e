// Serial date conversion. The 1900 system keeps the historical 29 February 1900 (serial 60),
// so serials from 61 on count from 30 December 1899 and earlier ones from 31 December 1899.
#include "engine/cell/serial_date.h"

#include <cmath>
#include <cstdint>

namespace quillmark::engine {
namespace {

constexpr double kLastSerial = 2958465.0;  // 31 December 9999 in the 1900 system
constexpr std::int64_t kSecondsPerDay = 86400;

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// Days since 1 January 1970 to a proleptic Gregorian date (Howard Hinnant's algorithm).
CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

void appendTime(std::int64_t seconds, std::string& out) {
    std::int64_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
    out += std::to_string(hours);
    out += ':';
    if (minutes < 10) out += '0';
    out += std::to_string(minutes);
    if (rest != 0) {
        out += ':';
        if (rest < 10) out += '0';
        out += std::to_string(rest);
    }
}

}  // namespace

bool serialHasDateText(double serial, DateEpoch epoch) {
    if (!std::isfinite(serial) || serial < 0 || serial > kLastSerial) return false;
    return epoch == DateEpoch::Excel1904 || std::llround(serial * kSecondsPerDay) != 0;
}

void appendSerialDateText(double serial, DateEpoch epoch, std::string& out) {
    if (!std::isfinite(serial) || serial < 0 || serial > kLastSerial) return;
    std::int64_t totalSeconds = std::llround(serial * kSecondsPerDay);
    std::int64_t day = totalSeconds / kSecondsPerDay;
    std::int64_t seconds = totalSeconds % kSecondsPerDay;
    if (epoch == DateEpoch::Excel1900 && day == 0) {
        if (seconds != 0) appendTime(seconds, out);  // a time of day with no date
        return;
    }
    CivilDate date;
    if (epoch == DateEpoch::Excel1904) {
        date = civilFromDays(day - 24107);  // 1 January 1904 is 24107 days before 1970
    } else if (day == 60) {
        date = {1900, 2, 29};
    } else {
        date = civilFromDays(day - (day < 60 ? 25568 : 25569));
    }
    out += std::to_string(date.month);
    out += '/';
    out += std::to_string(date.day);
    out += '/';
    out += std::to_string(date.year);
    if (seconds != 0) {
        out += ' ';
        appendTime(seconds, out);
    }
}

}  // namespace quillmark::engine
