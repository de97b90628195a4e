// A workbook file's bytes, read into memory once: a file truncated or replaced while we
// work on it then cannot pull the bytes from under the reader.
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
    virtual Bytes bytes() const = 0;
};

// Reads the file at `path` (its exact bytes). Fails for anything but a regular file, and for
// files past kMaxFileBytes.
Outcome<std::shared_ptr<const FileData>> loadFile(const std::string& path);

inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

// Bytes already in memory.
std::shared_ptr<const FileData> memoryData(std::vector<std::uint8_t> bytes);

}  // namespace quillmark::engine
