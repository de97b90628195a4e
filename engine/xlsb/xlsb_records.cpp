// Record framing and field reading for .xlsb parts.
#include "engine/xlsb/xlsb_records.h"

#include <algorithm>
#include <cstring>

#include "engine/container/zip_archive.h"
#include "engine/core/utf8.h"

namespace quillmark::engine::xlsb {
namespace {

constexpr std::size_t kFirstBufferBytes = 64 << 10;

}  // namespace

RecordStream::RecordStream(std::unique_ptr<ZipStream> stream) : stream_(std::move(stream)) {}
RecordStream::~RecordStream() = default;

Outcome<bool> RecordStream::fill(std::size_t count) {
    if (end_ - begin_ >= count) return true;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < count) {
        if (ended_) return false;
        // Grow only when the buffer is full of bytes really read: at most twice the data.
        if (end_ == buffer_.size()) buffer_.resize(std::max(kFirstBufferBytes, buffer_.size() * 2));
        auto got = stream_->read(buffer_.data() + end_, buffer_.size() - end_);
        if (!got) return got.failure();
        if (got.value() == 0) ended_ = true;
        end_ += got.value();
    }
    return true;
}

Outcome<bool> RecordStream::next(Record& record) {
    auto any = fill(1);
    if (!any) return any.failure();
    if (!any.value()) return false;  // the part ends between records

    // Type: 1-2 bytes; size: 1-4 bytes; the high bit of each byte says another follows.
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::size_t headerBytes = 0;
    for (int part = 0; part < 2; ++part) {
        std::size_t maxBytes = part == 0 ? 2 : 4;
        std::uint32_t value = 0;
        for (std::size_t i = 0;; ++i) {
            if (i == maxBytes) return fail(FailureKind::Corrupt, "malformed record header");
            auto have = fill(headerBytes + 1);
            if (!have) return have.failure();
            if (!have.value()) return fail(FailureKind::Truncated, "record header cut short");
            std::uint8_t byte = buffer_[begin_ + headerBytes++];
            value |= static_cast<std::uint32_t>(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0) break;
        }
        (part == 0 ? type : size) = value;
    }
    if (size > kMaxRecordBytes) return fail(FailureKind::TooLarge, "record too large");
    auto whole = fill(headerBytes + size);
    if (!whole) return whole.failure();
    if (!whole.value()) return fail(FailureKind::Truncated, "record cut short");
    record.type = type;
    record.data = Bytes(buffer_.data() + begin_ + headerBytes, size);
    begin_ += headerBytes + size;
    return true;
}

bool FieldReader::bytes(std::size_t count, Bytes& value) {
    if (remaining() < count) return false;
    value = data_.subspan(position_, count);
    position_ += count;
    return true;
}

bool FieldReader::skip(std::size_t count) {
    Bytes ignored;
    return bytes(count, ignored);
}

bool FieldReader::u8(std::uint8_t& value) {
    Bytes b;
    if (!bytes(1, b)) return false;
    value = b[0];
    return true;
}

bool FieldReader::u16(std::uint16_t& value) {
    Bytes b;
    if (!bytes(2, b)) return false;
    value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool FieldReader::u32(std::uint32_t& value) {
    Bytes b;
    if (!bytes(4, b)) return false;
    value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool FieldReader::f64(double& value) {
    Bytes b;
    if (!bytes(8, b)) return false;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[static_cast<std::size_t>(i)];
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool FieldReader::wideString(std::string& value) {
    std::uint32_t count = 0;
    Bytes characters;
    if (!u32(count) || count > remaining() / 2 || !bytes(std::size_t{count} * 2, characters))
        return false;
    value.clear();
    appendUtf16LeAsUtf8(characters.data(), count, value);
    return true;
}

bool FieldReader::nullableWideString(std::string& value) {
    if (remaining() >= 4 && data_[position_] == 0xFF && data_[position_ + 1] == 0xFF &&
        data_[position_ + 2] == 0xFF && data_[position_ + 3] == 0xFF) {
        position_ += 4;
        value.clear();
        return true;
    }
    return wideString(value);
}

}  // namespace quillmark::engine::xlsb
