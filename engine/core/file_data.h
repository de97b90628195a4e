// A workbook file's bytes, read by ranges: readers ask for the bytes they are working on and
// hold nothing more, so memory follows the work in hand and not the file's size. The size is
// the one the file had when opened; a file that shrinks, or is cut, while a search reads it
// fails that workbook as Truncated, and every read asks the thread's cancel token first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::engine {

using Bytes = std::span<const std::uint8_t>;

class FileData {
  public:
    virtual ~FileData() = default;
    // The file's size when it was opened; reads never go past it.
    virtual std::uint64_t size() const = 0;

    // Up to `length` bytes from `offset` into `buffer`; fewer only where size() ends (none
    // from size() on). Fails Cancelled when this thread's search is asked to stop, Truncated
    // when the file no longer holds the bytes its size promised, Unreadable on I/O errors.
    Outcome<std::size_t> read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;
    // Exactly `length` bytes from `offset`; Truncated when size() ends first.
    Status readExactly(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;
    // At most `limit` bytes from the start: what format detection looks at.
    Outcome<std::vector<std::uint8_t>> head(std::size_t limit) const;

  private:
    // `length` is already within size(); returns fewer bytes only when the file shrank.
    virtual Outcome<std::size_t> readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                            std::size_t length) const = 0;
};

// The bytes of a run of a file in order, chunk by chunk, from `offset` to `end`.
class FileCursor {
  public:
    FileCursor(const FileData& file, std::uint64_t offset, std::uint64_t end)
        : file_(file), offset_(offset), end_(end) {}
    explicit FileCursor(const FileData& file) : FileCursor(file, 0, file.size()) {}
    // Up to `capacity` bytes; 0 at the end.
    Outcome<std::size_t> read(std::uint8_t* buffer, std::size_t capacity);
    std::uint64_t offset() const { return offset_; }

  private:
    const FileData& file_;
    std::uint64_t offset_;
    std::uint64_t end_;
};

// Opens the file at `path` for reading by ranges. Fails for anything but a regular file.
Outcome<std::shared_ptr<const FileData>> loadFile(const std::string& path);

// Bytes already in memory (tests, fuzz targets, a decrypted package).
std::shared_ptr<const FileData> memoryData(std::vector<std::uint8_t> bytes);

}  // namespace quillmark::engine
