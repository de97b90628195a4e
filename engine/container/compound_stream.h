// A compound file stream seen as file bytes read by ranges: stream offsets map to the
// sectors of its chain (or the mini sectors of the mini stream), and each read is a run of
// positioned reads of the file, one per run of sectors that follow each other in it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/file_data.h"

namespace quillmark::engine {

class SectorChainData final : public FileData {
  public:
    // `units` are the stream's sectors in order, of 2^unitShift bytes each. For a stream in
    // the mini stream they are mini sectors, numbered within the mini stream, whose own
    // sectors (of 2^sectorShift bytes) are `container`; otherwise `container` is null.
    // Every unit the stream's `size` reaches has been checked to lie within `file`.
    SectorChainData(std::shared_ptr<const FileData> file, std::vector<std::uint32_t> units,
                    unsigned unitShift, std::shared_ptr<const std::vector<std::uint32_t>> container,
                    unsigned sectorShift, std::uint64_t size);

    std::uint64_t size() const override { return size_; }
    // Where unit `index` starts in the file.
    std::uint64_t unitOffset(std::size_t index) const;

  private:
    Outcome<std::size_t> readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                    std::size_t length) const override;

    std::shared_ptr<const FileData> file_;
    std::vector<std::uint32_t> units_;
    unsigned unitShift_;
    std::shared_ptr<const std::vector<std::uint32_t>> container_;
    unsigned sectorShift_;
    std::uint64_t size_;
};

}  // namespace quillmark::engine
