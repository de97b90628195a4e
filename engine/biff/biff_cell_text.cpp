// Number, date and error texts of BIFF cells.
#include "engine/biff/biff_cell_text.h"

#include <cstring>

#include "engine/cell/error_codes.h"
#include "engine/cell/number_format.h"

namespace quillmark::engine::biff {

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
    const char* text = errorCodeText(code);
    return text != nullptr ? text : "#N/A";
}

void DateStyles::addFormat(std::uint16_t formatIndex, std::string_view code) {
    if (customFormats_.empty()) customFormats_.assign(0x10000, -1);
    customFormats_[formatIndex] = isDateFormatCode(code) ? 1 : 0;
    nextFormatIndex_ = static_cast<std::uint16_t>(formatIndex + 1);
}

void DateStyles::addCellFormat(std::uint16_t formatIndex) {
    xfFormats_.push_back(formatIndex);
}

bool DateStyles::formatIsDate(std::uint16_t formatIndex) const {
    if (!customFormats_.empty() && customFormats_[formatIndex] >= 0)
        return customFormats_[formatIndex] == 1;
    return isBuiltinDateFormat(formatIndex);
}

}  // namespace quillmark::engine::biff
