// A plain-text workbook's bytes as UTF-8, chunk by chunk: read in place when they are UTF-8,
// converted when they are UTF-16 (with a byte order mark) or Latin-1. Whether UTF-8 bytes
// really are UTF-8 is known only once they have all been read, so the decoder tracks it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/file_data.h"

namespace quillmark::engine {

enum class TextEncoding { Utf8, Latin1, Utf16Le, Utf16Be };

// The encoding a byte order mark at the start names (UTF-8 when there is none), and the
// offset of the text after the mark.
TextEncoding encodingFromByteOrderMark(Bytes head, std::uint64_t& textStart);

// Checks UTF-8 as it streams past: lead bytes, continuation bytes, no sequence cut short.
class Utf8Validator {
  public:
    // False once any byte so far is not UTF-8.
    bool feed(const std::uint8_t* bytes, std::size_t count);
    // Whether the bytes ended on a whole sequence.
    bool finish() const { return valid_ && pending_ == 0; }

  private:
    unsigned pending_ = 0;  // continuation bytes still owed
    bool valid_ = true;
};

class TextDecoder {
  public:
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

    TextDecoder(const FileData& file, std::uint64_t start, TextEncoding encoding);
    // Appends the next piece of text to `out`; false when the input has ended.
    Outcome<bool> append(std::string& out);
    // Utf8 only: whether the bytes read so far are UTF-8 (after the end: all of them).
    bool valid() const { return valid_; }

  private:
    FileCursor cursor_;
    TextEncoding encoding_;
    std::vector<std::uint8_t> chunk_;
    std::size_t carried_ = 0;  // UTF-16: bytes kept back from the last chunk, at the front
    Utf8Validator validator_;
    bool valid_ = true;
};

}  // namespace quillmark::engine
