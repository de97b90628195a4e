// Reader for OLE2 compound files ([MS-CFB]) read by ranges: the header, the sector allocation
// tables and the directory are held in memory (with caps on their size), streams are read
// sector run by sector run. Used to reach the workbook stream of an .xls file. Every chain
// walk is bounded by the sectors the file really has, so a hostile file cannot make it loop,
// read past the end or allocate by its own claims.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

class CompoundFile {
  public:
    enum class EntryType : std::uint8_t { Empty = 0, Storage = 1, Stream = 2, Root = 5 };

    struct Entry {
        std::string name;  // UTF-8
        EntryType type = EntryType::Empty;
        std::uint32_t startSector = 0;
        std::uint64_t size = 0;
        bool inRootStorage = false;  // a direct child of the root, not inside a sub-storage
    };

    // Checks the header and loads the allocation tables and the directory.
    static Outcome<CompoundFile> open(std::shared_ptr<const FileData> file);

    // Allocation table entries held at most: 4 Mi (16 MB), enough for 2 GiB of 512-byte
    // sectors or 16 GiB of 4096-byte ones. A file that needs more fails as too large.
    static constexpr std::size_t kMaxFatEntries = std::size_t{1} << 22;
    // Directory entries held at most.
    static constexpr std::size_t kMaxEntries = std::size_t{1} << 16;
    // The largest stream readStream copies into memory: an encrypted package, which is
    // decrypted whole. Streams read by ranges (openStream) have no such cap.
    static constexpr std::uint64_t kMaxStreamBytes = std::uint64_t{1} << 30;

    const std::vector<Entry>& entries() const { return entries_; }

    // The stream with this name (compared case-insensitively), preferring one directly in the
    // root storage; nullptr when there is none.
    const Entry* findStream(std::string_view name) const;

    // The stream, read by ranges as its reader asks. A stream can never be larger than the
    // file, whatever its entry says; a chain that ends before the recorded size yields the
    // bytes it holds. Every sector it reaches must lie within the file (else Truncated), so
    // a later read fails only when the file itself shrinks.
    Outcome<std::shared_ptr<const FileData>> openStream(const Entry& entry) const;
    // The stream's bytes, whole, in memory (at most kMaxStreamBytes).
    Outcome<std::vector<std::uint8_t>> readStream(const Entry& entry) const;

  private:
    CompoundFile() = default;

    Status loadAllocationTable();
    Status loadDirectory(std::uint32_t firstSector);
    Status loadMiniStream();
    void markRootChildren();

    // Follows a chain in `table` from `start`, collecting at most `maxLength` sectors (all of
    // them when the chain is shorter). `sectorCount` bounds the valid indexes.
    Outcome<std::vector<std::uint32_t>> followChain(std::uint32_t start,
                                                    const std::vector<std::uint32_t>& table,
                                                    std::size_t sectorCount,
                                                    std::size_t maxLength) const;
    // The sector's bytes, fewer for a truncated last sector.
    Outcome<std::vector<std::uint8_t>> sectorBytes(std::uint32_t sector) const;
    std::uint64_t sectorOffset(std::uint32_t sector) const {
        return (static_cast<std::uint64_t>(sector) + 1) << sectorShift_;
    }

    std::shared_ptr<const FileData> file_;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint8_t> header_;
    unsigned sectorShift_ = 9;
    std::size_t sectorSize_ = 512;
    std::size_t sectorCount_ = 0;  // sectors the file really holds, a partial last one included
    std::uint32_t miniStreamCutoff_ = 4096;
    std::uint32_t firstMiniFatSector_ = 0;
    std::uint32_t fatSectorClaim_ = 0;
    std::uint32_t firstDifatSector_ = 0;
    std::uint32_t difatSectorClaim_ = 0;
    bool version3_ = true;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    // The root entry's chain, shared with the mini streams opened over it.
    std::shared_ptr<const std::vector<std::uint32_t>> miniStreamSectors_ =
        std::make_shared<std::vector<std::uint32_t>>();
    std::uint64_t miniStreamSize_ = 0;
    std::optional<Failure> miniStreamFailure_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> siblingsLeft_, siblingsRight_, children_;
};

}  // namespace quillmark::engine
