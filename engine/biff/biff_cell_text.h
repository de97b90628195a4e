// What a BIFF cell offers the matcher besides strings: RK numbers, error codes, and date text
// for numbers whose format is a date format ([MS-XLS] 2.5.217 RkNumber, 2.5.97 BErr,
// 2.4.126 Format, 2.4.353 XF).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::engine::biff {

// The double an RK value stands for: a 30-bit integer or the top of a double, maybe / 100.
double decodeRk(std::uint32_t rk);

// "#N/A", "#DIV/0!"...; an unknown code gives "#N/A".
const char* errorText(std::uint8_t code);

// Which cell formats (XF records) are date formats, built as FORMAT and XF records stream
// past. Only date answers are kept, never the format codes.
class DateStyles {
  public:
    void addFormat(std::uint16_t formatIndex, std::string_view code);
    // BIFF2-BIFF4 number formats are numbered in the order their FORMAT records appear.
    void addNumberedFormat(std::string_view code) { addFormat(nextFormatIndex_, code); }
    void addCellFormat(std::uint16_t formatIndex);

    bool formatIsDate(std::uint16_t formatIndex) const;
    bool cellFormatIsDate(std::size_t xfIndex) const {
        return xfIndex < xfFormats_.size() && formatIsDate(xfFormats_[xfIndex]);
    }

    bool date1904 = false;

  private:
    // Per format index: -1 not defined by a FORMAT record, else whether it is a date. A fixed
    // table of every possible index, made on the first FORMAT record.
    std::vector<std::int8_t> customFormats_;
    std::vector<std::uint16_t> xfFormats_;
    std::uint16_t nextFormatIndex_ = 0;
};

}  // namespace quillmark::engine::biff
