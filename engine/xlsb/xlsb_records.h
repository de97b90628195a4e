// The record stream of an .xlsb part ([MS-XLSB] 2.1.4): each record is a variable-length type
// (1-2 bytes) and size (1-4 bytes), 7 bits a byte, then its data. Records are read from the
// inflating zip stream through one buffer that grows only as real bytes arrive, so a record
// may straddle read chunks and no size a file claims is ever allocated up front.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

class ZipStream;

namespace xlsb {

// Record types read by this engine ([MS-XLSB] 2.3 Record Enumeration).
enum RecordType : std::uint32_t {
    kRowHdr = 0,
    kCellBlank = 1,
    kCellRk = 2,
    kCellError = 3,
    kCellBool = 4,
    kCellReal = 5,
    kCellSt = 6,
    kCellIsst = 7,
    kFmlaString = 8,
    kFmlaNum = 9,
    kFmlaBool = 10,
    kFmlaError = 11,
    // Cells without a column field: each is one column right of the cell before it in its
    // row (the first of a row is in column A).
    kShortBlank = 12,
    kShortRk = 13,
    kShortError = 14,
    kShortBool = 15,
    kShortReal = 16,
    kShortSt = 17,
    kShortIsst = 18,
    kSstItem = 19,
    kName = 39,
    kFmt = 44,
    kXf = 47,
    kCellRString = 62,
    kEndSheetData = 146,
    kWbProp = 153,
    kBundleSh = 156,
    kSupSelf = 357,
    kSupSame = 358,
    kSupTabs = 359,
    kBeginSupBook = 360,
    kExternSheet = 362,
    kArrFmla = 426,
    kShrFmla = 427,
    kBeginCellXfs = 617,
    kEndCellXfs = 618,
    kSupAddin = 667,
};

struct Record {
    std::uint32_t type = 0;
    Bytes data;  // valid until the next call to next()
};

class RecordStream {
  public:
    explicit RecordStream(std::unique_ptr<ZipStream> stream);
    ~RecordStream();

    // Reads the next record: true with `record` filled, false at the part's end. Fails on a
    // record cut short, a malformed header, or a record past kMaxRecordBytes.
    Outcome<bool> next(Record& record);

    // Larger than any record a workbook needs; a claim past it is refused.
    static constexpr std::size_t kMaxRecordBytes = std::size_t{16} << 20;

  private:
    // Makes at least `count` unread bytes available; false when the part ends first.
    Outcome<bool> fill(std::size_t count);

    std::unique_ptr<ZipStream> stream_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;  // first unread byte
    std::size_t end_ = 0;    // one past the last byte read from the part
    bool ended_ = false;
};

// Reads the fields of one record's data; every read checks the bytes are there.
class FieldReader {
  public:
    explicit FieldReader(Bytes data) : data_(data) {}

    bool u8(std::uint8_t& value);
    bool u16(std::uint16_t& value);
    bool u32(std::uint32_t& value);
    bool f64(double& value);
    bool skip(std::size_t count);
    bool bytes(std::size_t count, Bytes& value);
    // XLWideString: a 32-bit count of UTF-16 characters, then the characters, as UTF-8.
    bool wideString(std::string& value);
    // XLNullableWideString: the same, with 0xFFFFFFFF for no string (read as "").
    bool nullableWideString(std::string& value);
    std::size_t remaining() const { return data_.size() - position_; }

  private:
    Bytes data_;
    std::size_t position_ = 0;
};

}  // namespace xlsb
}  // namespace quillmark::engine
