// Date serial numbers (days since the workbook's epoch, the fraction being the time of day) as
// the en-US text a person would search for: "m/d/yyyy", plus " h:mm" or " h:mm:ss".
#pragma once

#include <string>

namespace quillmark::engine {

enum class DateEpoch { Excel1900, Excel1904 };

// Appends the date text for `serial`; appends nothing for serials outside 1900..9999 (or
// below the 1904 epoch). A serial below 1 in the 1900 system is a time of day only.
void appendSerialDateText(double serial, DateEpoch epoch, std::string& out);

// Whether appendSerialDateText has any text for `serial`. A number shown as a date is searched
// as that date only: the serial's own digits are neither shown nor typed.
bool serialHasDateText(double serial, DateEpoch epoch);

}  // namespace quillmark::engine
