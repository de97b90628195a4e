// Chunked decoding of plain text. A UTF-16 code unit or surrogate pair cut by a chunk boundary
// is kept back for the next chunk, so the text comes out as converting the whole file would.
#include "engine/text/text_decoder.h"

#include <cstring>

#include "engine/core/utf8.h"

namespace quillmark::engine {

TextEncoding encodingFromByteOrderMark(Bytes head, std::uint64_t& textStart) {
    textStart = 0;
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        textStart = 2;
        return TextEncoding::Utf16Le;
    }
    if (head.size() >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
        textStart = 2;
        return TextEncoding::Utf16Be;
    }
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) textStart = 3;
    return TextEncoding::Utf8;
}

bool Utf8Validator::feed(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    while (valid_ && i < count) {
        if (pending_ > 0) {
            if ((bytes[i++] & 0xC0) != 0x80) valid_ = false;
            --pending_;
            continue;
        }
        // Eight ASCII bytes at a time: most text is ASCII.
        while (i + 8 <= count) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= count) break;
        std::uint8_t lead = bytes[i++];
        if (lead < 0x80) continue;
        if ((lead & 0xE0) == 0xC0 && lead >= 0xC2)
            pending_ = 1;
        else if ((lead & 0xF0) == 0xE0)
            pending_ = 2;
        else if ((lead & 0xF8) == 0xF0)
            pending_ = 3;
        else
            valid_ = false;
    }
    return valid_;
}

TextDecoder::TextDecoder(const FileData& file, std::uint64_t start, TextEncoding encoding)
    : cursor_(file, start, file.size()), encoding_(encoding), chunk_(kChunkBytes + 4) {}

Outcome<bool> TextDecoder::append(std::string& out) {
    auto got = cursor_.read(chunk_.data() + carried_, kChunkBytes);
    if (!got) return got.failure();
    std::size_t count = got.value();
    if (encoding_ == TextEncoding::Utf8 || encoding_ == TextEncoding::Latin1) {
        if (count == 0) {
            valid_ = valid_ && validator_.finish();
            return false;
        }
        if (encoding_ == TextEncoding::Latin1) {
            appendLatin1AsUtf8(chunk_.data(), count, out);
            return true;
        }
        valid_ = valid_ && validator_.feed(chunk_.data(), count);
        out.append(reinterpret_cast<const char*>(chunk_.data()), count);
        return true;
    }
    // UTF-16: swap the new bytes of a big-endian file into little-endian order (a byte kept
    // back alone is still unswapped), then convert whole units.
    std::size_t swappedFrom = carried_ & ~std::size_t{1};
    std::size_t total = carried_ + count;
    std::size_t units = total / 2;
    if (encoding_ == TextEncoding::Utf16Be)
        for (std::size_t i = swappedFrom; i + 1 < total; i += 2)
            std::swap(chunk_[i], chunk_[i + 1]);
    bool ended = count == 0;
    // A high surrogate at the end may pair with the next chunk's first unit.
    std::size_t convert = units;
    if (!ended && convert > 0) {
        unsigned last = chunk_[2 * (convert - 1)] | (chunk_[2 * (convert - 1) + 1] << 8);
        if (last >= 0xD800 && last <= 0xDBFF) --convert;
    }
    appendUtf16LeAsUtf8(chunk_.data(), convert, out);
    carried_ = ended ? 0 : total - 2 * convert;  // an odd byte at the very end is dropped
    if (carried_ > 0) std::memmove(chunk_.data(), chunk_.data() + 2 * convert, carried_);
    return !ended || convert > 0;
}

}  // namespace quillmark::engine
