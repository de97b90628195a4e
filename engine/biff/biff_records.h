// The BIFF record stream ([MS-XLS] 2.1.4): record identifiers this reader acts on, and a
// cursor that walks records read by ranges, with every length checked against the stream.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/core/file_data.h"

namespace quillmark::engine::biff {

// Record identifiers, named as [MS-XLS] and the older BIFF references name them. BIFF2
// identifiers lack the version byte that BIFF3 and later add (LABEL 0x0004 became 0x0204).
namespace record {
inline constexpr std::uint16_t Bof2 = 0x0009, Bof3 = 0x0209, Bof4 = 0x0409, Bof = 0x0809;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t BoundSheet = 0x0085, BundleSheet = 0x008F;
inline constexpr std::uint16_t CodePage = 0x0042, DateMode = 0x0022, FilePass = 0x002F;
inline constexpr std::uint16_t Sst = 0x00FC, Continue = 0x003C;
inline constexpr std::uint16_t Xf2 = 0x0043, Xf3 = 0x0243, Xf4 = 0x0443, Xf = 0x00E0;
inline constexpr std::uint16_t Format2 = 0x001E, Format = 0x041E;
inline constexpr std::uint16_t ExternSheet = 0x0017, SupBook = 0x01AE, ExternName = 0x0023;
inline constexpr std::uint16_t Name = 0x0018;
inline constexpr std::uint16_t WsBool = 0x0081;
inline constexpr std::uint16_t Ixfe2 = 0x0044;
// Cells.
inline constexpr std::uint16_t Integer2 = 0x0002, Number2 = 0x0003, Label2 = 0x0004;
inline constexpr std::uint16_t BoolErr2 = 0x0005, Formula2 = 0x0006, String2 = 0x0007;
inline constexpr std::uint16_t Number = 0x0203, Label = 0x0204, BoolErr = 0x0205;
inline constexpr std::uint16_t String = 0x0207, Rk = 0x027E, MulRk = 0x00BD;
inline constexpr std::uint16_t Formula3 = 0x0206, Formula4 = 0x0406;
inline constexpr std::uint16_t LabelSst = 0x00FD, RString = 0x00D6;
inline constexpr std::uint16_t SharedFormula = 0x04BC, SharedFormula5 = 0x00BC;
inline constexpr std::uint16_t Array = 0x0221, Array2 = 0x0021, Table = 0x0236;
}  // namespace record

inline bool isBof(std::uint16_t type) {
    return type == record::Bof || type == record::Bof2 || type == record::Bof3 ||
           type == record::Bof4;
}

struct Record {
    std::uint16_t type = 0;
    std::uint64_t offset = 0;  // of the record header in the stream
    Bytes data;
};

// Undoes a workbook's encryption on each record's data as it is read, keyed by where the
// record lies in the stream, so records read in any order decrypt alike.
class RecordDecrypter {
  public:
    virtual ~RecordDecrypter() = default;
    virtual void decrypt(std::uint16_t type, std::uint64_t recordOffset, std::uint8_t* data,
                         std::size_t length) = 0;
};

// Walks records from a position in the stream, reading it by ranges into a buffer of its
// own that starts small and grows as the walk goes on (a sheet's first records are often
// all a caller wants). A record's data stays valid until the next call to next() or
// peekType(). The walk ends at the stream's end, at a record whose length runs past it, or
// when a read fails, which failure() then gives.
class RecordCursor {
  public:
    RecordCursor(const FileData& stream, std::uint64_t offset, RecordDecrypter* decrypter = nullptr)
        : stream_(stream),
          size_(stream.size()),
          decrypter_(decrypter),
          offset_(offset),
          bufferStart_(offset) {}

    std::optional<Record> next() {
        if (!available(4)) return std::nullopt;
        const std::uint8_t* header = current();
        Record record;
        record.type = static_cast<std::uint16_t>(header[0] | (header[1] << 8));
        std::size_t length = static_cast<std::size_t>(header[2] | (header[3] << 8));
        if (!available(4 + length)) return std::nullopt;
        std::uint8_t* data = current() + 4;
        if (decrypter_) decrypter_->decrypt(record.type, offset_, data, length);
        record.offset = offset_;
        record.data = Bytes(data, length);
        offset_ += 4 + length;
        return record;
    }

    // The type of the record that next() would return, without moving.
    std::optional<std::uint16_t> peekType() {
        if (!available(4)) return std::nullopt;
        return static_cast<std::uint16_t>(current()[0] | (current()[1] << 8));
    }

    std::uint64_t offset() const { return offset_; }
    const std::optional<Failure>& failure() const { return failure_; }

  private:
    bool available(std::size_t count) {
        return offset_ - bufferStart_ + count <= filled_ || refill(count);
    }
    bool refill(std::size_t count);
    std::uint8_t* current() { return buffer_.data() + (offset_ - bufferStart_); }

    const FileData& stream_;
    std::uint64_t size_;
    RecordDecrypter* decrypter_;
    std::uint64_t offset_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_;  // the stream offset of buffer_[0]
    std::size_t filled_ = 0;
    std::size_t chunk_ = 4096;
    std::optional<Failure> failure_;
};

// Done, or why the cursor's walk stopped short of the stream's end.
inline Status readStatus(const RecordCursor& cursor) {
    if (cursor.failure()) return *cursor.failure();
    return Done{};
}

}  // namespace quillmark::engine::biff
