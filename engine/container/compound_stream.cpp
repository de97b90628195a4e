// Maps stream offsets to file offsets through a sector chain and reads them by runs.
#include "engine/container/compound_stream.h"

#include <algorithm>

namespace quillmark::engine {

SectorChainData::SectorChainData(std::shared_ptr<const FileData> file,
                                 std::vector<std::uint32_t> units, unsigned unitShift,
                                 std::shared_ptr<const std::vector<std::uint32_t>> container,
                                 unsigned sectorShift, std::uint64_t size)
    : file_(std::move(file)),
      units_(std::move(units)),
      unitShift_(unitShift),
      container_(std::move(container)),
      sectorShift_(sectorShift),
      size_(size) {}

std::uint64_t SectorChainData::unitOffset(std::size_t index) const {
    // Sector n starts at (n + 1) * sector size: the header takes the first sector's room.
    if (!container_) return (static_cast<std::uint64_t>(units_[index]) + 1) << unitShift_;
    std::uint64_t inMiniStream = static_cast<std::uint64_t>(units_[index]) << unitShift_;
    std::uint64_t sector = (*container_)[static_cast<std::size_t>(inMiniStream >> sectorShift_)];
    return ((sector + 1) << sectorShift_) +
           (inMiniStream & ((std::uint64_t{1} << sectorShift_) - 1));
}

Outcome<std::size_t> SectorChainData::readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                                 std::size_t length) const {
    const std::uint64_t unitSize = std::uint64_t{1} << unitShift_;
    std::size_t done = 0;
    while (done < length) {
        std::size_t unit = static_cast<std::size_t>(offset >> unitShift_);
        std::uint64_t at = unitOffset(unit) + (offset & (unitSize - 1));
        std::uint64_t run = unitSize - (offset & (unitSize - 1));
        // Units that follow each other in the file are read in one go.
        while (run < length - done && unit + 1 < units_.size() &&
               unitOffset(unit + 1) == at + run) {
            ++unit;
            run += unitSize;
        }
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(run, length - done));
        if (Status read = file_->readExactly(at, buffer + done, take); !read) return read.failure();
        done += take;
        offset += take;
    }
    return done;
}

}  // namespace quillmark::engine
