// Reader for OLE2 compound files ([MS-CFB]) held in memory: the header, the sector allocation
// tables, the directory and the streams. Used to reach the workbook stream of an .xls file.
// Every chain walk is bounded by the sectors the file really has, so a hostile file cannot
// make it loop, read past the end or allocate by its own claims.
#pragma once

#include <cstdint>
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

    // Checks the header and loads the allocation tables and the directory. The bytes must
    // outlive the CompoundFile.
    static Outcome<CompoundFile> open(Bytes file);

    const std::vector<Entry>& entries() const { return entries_; }

    // The stream with this name (compared case-insensitively), preferring one directly in the
    // root storage; nullptr when there is none.
    const Entry* findStream(std::string_view name) const;

    // The stream's bytes. A stream can never be larger than the file, whatever its entry
    // says; a chain that ends before the recorded size yields the bytes it holds.
    Outcome<std::vector<std::uint8_t>> readStream(const Entry& entry) const;

    // The stream's bytes in place, without a copy, when its sectors follow each other in the
    // file as writers usually lay them out; nothing otherwise (then use readStream).
    std::optional<Bytes> contiguousStream(const Entry& entry) const;

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
    Bytes sectorBytes(std::uint32_t sector) const;

    Bytes file_;
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
    std::vector<std::uint32_t> miniStreamSectors_;  // the root entry's chain
    std::uint64_t miniStreamSize_ = 0;
    std::optional<Failure> miniStreamFailure_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> siblingsLeft_, siblingsRight_, children_;
};

}  // namespace quillmark::engine
