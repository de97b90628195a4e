// The record cursor's reads: the bytes from the next record on stay, the rest is read anew.
#include "engine/biff/biff_records.h"

#include <algorithm>
#include <cstring>

namespace quillmark::engine::biff {
namespace {

// Sequential walks read this much at a time at most; a record (at most 65,539 bytes) may
// need more, and gets it.
constexpr std::size_t kLargestChunk = std::size_t{128} << 10;

}  // namespace

bool RecordCursor::refill(std::size_t count) {
    if (failure_ || offset_ > size_ || size_ - offset_ < count) return false;
    std::size_t kept = 0;
    std::size_t consumed = static_cast<std::size_t>(offset_ - bufferStart_);
    if (consumed < filled_) {
        kept = filled_ - consumed;
        std::memmove(buffer_.data(), buffer_.data() + consumed, kept);
    }
    bufferStart_ = offset_;
    std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(count, chunk_), size_ - offset_));
    chunk_ = std::min(chunk_ * 2, kLargestChunk);
    if (buffer_.size() < wanted) buffer_.resize(wanted);
    if (Status read = stream_.readExactly(offset_ + kept, buffer_.data() + kept, wanted - kept);
        !read) {
        failure_ = read.failure();
        filled_ = 0;
        return false;
    }
    filled_ = wanted;
    return true;
}

}  // namespace quillmark::engine::biff
