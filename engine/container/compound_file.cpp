// [MS-CFB] compound file reader: header, DIFAT, FAT, mini FAT, directory and stream chains,
// all read from the file by ranges with every index checked against the real size.
#include "engine/container/compound_file.h"

#include <algorithm>

#include "engine/container/compound_stream.h"
#include "engine/core/ascii.h"
#include "engine/core/byte_order.h"
#include "engine/core/utf8.h"

namespace quillmark::engine {
namespace {

constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirectoryEntryBytes = 128;
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

std::string entryName(const std::uint8_t* entry) {
    // The name is UTF-16 with its terminating null counted in the length; a bad length
    // falls back to the characters before the first null.
    std::uint16_t lengthBytes = readU16(entry + 64);
    std::size_t units = (lengthBytes >= 2 && lengthBytes <= 64) ? lengthBytes / 2 - 1 : 32;
    std::size_t actual = 0;
    while (actual < units && readU16(entry + 2 * actual) != 0) ++actual;
    std::string name;
    appendUtf16LeAsUtf8(entry, actual, name);
    return name;
}

}  // namespace

Outcome<CompoundFile> CompoundFile::open(std::shared_ptr<const FileData> file) {
    std::uint64_t fileSize = file->size();
    if (fileSize < kHeaderBytes)
        return fail(FailureKind::Truncated, "compound file header cut short");
    CompoundFile compound;
    compound.header_.resize(kHeaderBytes);
    if (Status read = file->readExactly(0, compound.header_.data(), kHeaderBytes); !read)
        return read.failure();
    const std::uint8_t* header = compound.header_.data();
    if (!std::equal(std::begin(kSignature), std::end(kSignature), header))
        return fail(FailureKind::NotAWorkbook, "no compound file signature");

    compound.file_ = std::move(file);
    compound.fileSize_ = fileSize;
    std::uint16_t majorVersion = readU16(header + 26);
    compound.sectorShift_ = readU16(header + 30);
    if (compound.sectorShift_ != 9 && compound.sectorShift_ != 12)
        return fail(FailureKind::Corrupt, "compound file sector size is neither 512 nor 4096");
    if (readU16(header + 32) != 6)
        return fail(FailureKind::Corrupt, "compound file mini sector size is not 64");
    compound.version3_ = majorVersion != 4;
    compound.sectorSize_ = std::size_t{1} << compound.sectorShift_;
    if (fileSize <= compound.sectorSize_)
        return fail(FailureKind::Truncated, "compound file holds no sectors");
    // Sector n starts at (n + 1) * sector size: the header occupies the first sector's room.
    std::uint64_t sectors =
        (fileSize - compound.sectorSize_ + compound.sectorSize_ - 1) / compound.sectorSize_;
    if (sectors > kMaxRegularSector)
        return fail(FailureKind::TooLarge, "compound file has more sectors than it can number");
    compound.sectorCount_ = static_cast<std::size_t>(sectors);
    compound.fatSectorClaim_ = readU32(header + 44);
    std::uint32_t firstDirectorySector = readU32(header + 48);
    compound.miniStreamCutoff_ = readU32(header + 56);
    compound.firstMiniFatSector_ = readU32(header + 60);
    compound.firstDifatSector_ = readU32(header + 68);
    compound.difatSectorClaim_ = readU32(header + 72);

    if (Status status = compound.loadAllocationTable(); !status) return status.failure();
    if (Status status = compound.loadDirectory(firstDirectorySector); !status)
        return status.failure();
    if (Status status = compound.loadMiniStream(); !status) return status.failure();
    compound.markRootChildren();
    return compound;
}

Outcome<std::vector<std::uint8_t>> CompoundFile::sectorBytes(std::uint32_t sector) const {
    // A truncated last sector yields the bytes that are there.
    std::uint64_t offset = sectorOffset(sector);
    if (offset >= fileSize_) return std::vector<std::uint8_t>();
    std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(sectorSize_, fileSize_ - offset));
    if (Status read = file_->readExactly(offset, bytes.data(), bytes.size()); !read)
        return read.failure();
    return bytes;
}

Status CompoundFile::loadAllocationTable() {
    // The FAT's own sectors are listed by the DIFAT: 109 entries in the header, then a chain
    // of DIFAT sectors whose last entry points to the next one.
    std::size_t wanted = std::min<std::size_t>(fatSectorClaim_, sectorCount_);
    std::vector<std::uint32_t> fatSectors;
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < wanted; ++i)
        fatSectors.push_back(readU32(header_.data() + 76 + 4 * i));

    std::size_t entriesPerSector = sectorSize_ / 4;
    std::vector<bool> visited(sectorCount_, false);
    std::uint32_t difatSector = firstDifatSector_;
    for (std::uint32_t walked = 0; fatSectors.size() < wanted && walked < difatSectorClaim_;
         ++walked) {
        if (difatSector >= sectorCount_) {
            if (difatSector > kMaxRegularSector) break;
            return fail(FailureKind::Truncated, "DIFAT sector lies past the end of the file");
        }
        if (visited[difatSector]) return fail(FailureKind::Corrupt, "DIFAT chain loops");
        visited[difatSector] = true;
        auto read = sectorBytes(difatSector);
        if (!read) return read.failure();
        const std::vector<std::uint8_t>& bytes = read.value();
        if (bytes.size() < sectorSize_)
            return fail(FailureKind::Truncated, "DIFAT sector cut short");
        for (std::size_t i = 0; i + 1 < entriesPerSector && fatSectors.size() < wanted; ++i)
            fatSectors.push_back(readU32(bytes.data() + 4 * i));
        difatSector = readU32(bytes.data() + 4 * (entriesPerSector - 1));
    }

    // Only the entries for sectors the file really holds are kept.
    std::size_t entries = std::min(fatSectors.size() * entriesPerSector, sectorCount_);
    if (entries > kMaxFatEntries)
        return fail(FailureKind::TooLarge, "compound file allocation table past its cap");
    fat_.assign(entries, kFreeSector);
    for (std::size_t k = 0; k < fatSectors.size(); ++k) {
        std::uint32_t sector = fatSectors[k];
        if (sector > kMaxRegularSector) continue;  // an unused DIFAT slot
        if (sector >= sectorCount_)
            return fail(FailureKind::Truncated,
                        "allocation table sector lies past the end of the file");
        auto read = sectorBytes(sector);
        if (!read) return read.failure();
        const std::vector<std::uint8_t>& bytes = read.value();
        for (std::size_t i = 0; i < entriesPerSector; ++i) {
            std::size_t index = k * entriesPerSector + i;
            if (index >= fat_.size() || 4 * i + 4 > bytes.size()) break;
            fat_[index] = readU32(bytes.data() + 4 * i);
        }
    }
    if (fat_.empty()) return fail(FailureKind::Corrupt, "compound file has no allocation table");
    return Done{};
}

Outcome<std::vector<std::uint32_t>> CompoundFile::followChain(
    std::uint32_t start, const std::vector<std::uint32_t>& table, std::size_t sectorCount,
    std::size_t maxLength) const {
    std::vector<std::uint32_t> chain;
    std::vector<bool> visited(sectorCount, false);
    std::uint32_t sector = start;
    while (sector != kEndOfChain && chain.size() < maxLength) {
        if (sector > kMaxRegularSector)
            return fail(FailureKind::Corrupt, "sector chain runs into a free or reserved sector");
        if (sector >= sectorCount)
            return fail(FailureKind::Truncated, "sector chain points past the end of the file");
        if (visited[sector]) return fail(FailureKind::Corrupt, "sector chain loops");
        visited[sector] = true;
        chain.push_back(sector);
        if (sector >= table.size())
            return fail(FailureKind::Corrupt, "sector lies outside the allocation table");
        sector = table[sector];
    }
    return chain;
}

Status CompoundFile::loadDirectory(std::uint32_t firstSector) {
    auto chain = followChain(firstSector, fat_, sectorCount_, sectorCount_);
    if (!chain) return chain.failure();
    std::size_t perSector = sectorSize_ / kDirectoryEntryBytes;
    if (chain.value().size() * perSector > kMaxEntries)
        return fail(FailureKind::TooLarge, "compound file directory past its cap");
    for (std::uint32_t sector : chain.value()) {
        auto read = sectorBytes(sector);
        if (!read) return read.failure();
        const std::vector<std::uint8_t>& bytes = read.value();
        for (std::size_t i = 0; i < perSector; ++i) {
            if ((i + 1) * kDirectoryEntryBytes > bytes.size()) break;
            const std::uint8_t* raw = bytes.data() + i * kDirectoryEntryBytes;
            Entry entry;
            std::uint8_t type = raw[66];
            entry.type = (type == 1 || type == 2 || type == 5) ? static_cast<EntryType>(type)
                                                               : EntryType::Empty;
            if (entry.type != EntryType::Empty) entry.name = entryName(raw);
            entry.startSector = readU32(raw + 116);
            // Version 3 files may leave garbage in the size's high half.
            entry.size = version3_ ? readU32(raw + 120) : readU64(raw + 120);
            entries_.push_back(std::move(entry));
            siblingsLeft_.push_back(readU32(raw + 68));
            siblingsRight_.push_back(readU32(raw + 72));
            children_.push_back(readU32(raw + 76));
        }
    }
    if (entries_.empty() || entries_[0].type != EntryType::Root)
        return fail(FailureKind::Corrupt, "compound file directory has no root entry");
    return Done{};
}

Status CompoundFile::loadMiniStream() {
    // Only small streams live in the mini stream, so a broken one fails those streams alone
    // (kept in miniStreamFailure_), not the whole file.
    const Entry& root = entries_[0];
    miniStreamSize_ = std::min<std::uint64_t>(root.size, fileSize_);
    if (miniStreamSize_ == 0) return Done{};
    std::size_t sectorsNeeded = (miniStreamSize_ + sectorSize_ - 1) / sectorSize_;
    auto chain = followChain(root.startSector, fat_, sectorCount_, sectorsNeeded);
    if (!chain) {
        miniStreamFailure_ = chain.failure();
        miniStreamSize_ = 0;
        return Done{};
    }
    miniStreamSectors_ = std::make_shared<const std::vector<std::uint32_t>>(chain.take());
    miniStreamSize_ =
        std::min<std::uint64_t>(miniStreamSize_, miniStreamSectors_->size() * sectorSize_);

    std::size_t miniSectorCount = miniStreamSize_ / kMiniSectorSize;
    std::size_t miniFatSectorsNeeded = (miniSectorCount * 4 + sectorSize_ - 1) / sectorSize_;
    auto miniFatChain = followChain(firstMiniFatSector_, fat_, sectorCount_, miniFatSectorsNeeded);
    if (!miniFatChain) {
        miniStreamFailure_ = miniFatChain.failure();
        return Done{};
    }
    if (miniSectorCount > kMaxFatEntries)
        return fail(FailureKind::TooLarge, "compound file mini allocation table past its cap");
    for (std::uint32_t sector : miniFatChain.value()) {
        auto read = sectorBytes(sector);
        if (!read) return read.failure();
        const std::vector<std::uint8_t>& bytes = read.value();
        for (std::size_t i = 0; i + 4 <= bytes.size() && miniFat_.size() < miniSectorCount; i += 4)
            miniFat_.push_back(readU32(bytes.data() + i));
    }
    return Done{};
}

void CompoundFile::markRootChildren() {
    // Walks the root's red-black tree of children (siblings only, not into sub-storages),
    // with visited marks so a looping tree ends.
    std::vector<bool> visited(entries_.size(), false);
    std::vector<std::uint32_t> pending{children_[0]};
    while (!pending.empty()) {
        std::uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoStream || index >= entries_.size() || visited[index]) continue;
        visited[index] = true;
        entries_[index].inRootStorage = true;
        pending.push_back(siblingsLeft_[index]);
        pending.push_back(siblingsRight_[index]);
    }
}

const CompoundFile::Entry* CompoundFile::findStream(std::string_view name) const {
    const Entry* anywhere = nullptr;
    for (const Entry& entry : entries_) {
        if (entry.type != EntryType::Stream || !equalsIgnoringAsciiCase(entry.name, name)) continue;
        if (entry.inRootStorage) return &entry;
        if (!anywhere) anywhere = &entry;
    }
    // A broken directory tree may hide the root's children: fall back to a flat match.
    return anywhere;
}

Outcome<std::shared_ptr<const FileData>> CompoundFile::openStream(const Entry& entry) const {
    std::uint64_t size = std::min<std::uint64_t>(entry.size, fileSize_);
    bool inMiniStream = size > 0 && entry.type != EntryType::Root && entry.size < miniStreamCutoff_;
    if (inMiniStream && miniStreamFailure_) return *miniStreamFailure_;
    unsigned unitShift = inMiniStream ? 6 : sectorShift_;
    std::uint64_t unitSize = std::uint64_t{1} << unitShift;
    std::vector<std::uint32_t> units;
    if (size > 0) {
        auto chain = inMiniStream ? followChain(entry.startSector, miniFat_,
                                                miniStreamSize_ / kMiniSectorSize,
                                                (size + unitSize - 1) / unitSize)
                                  : followChain(entry.startSector, fat_, sectorCount_,
                                                (size + unitSize - 1) / unitSize);
        if (!chain) return chain.failure();
        units = chain.take();
    }
    size = std::min<std::uint64_t>(size, units.size() * unitSize);
    auto stream = std::make_shared<SectorChainData>(file_, std::move(units), unitShift,
                                                    inMiniStream ? miniStreamSectors_ : nullptr,
                                                    sectorShift_, size);
    for (std::uint64_t at = 0; at < size; at += unitSize) {
        std::uint64_t offset = stream->unitOffset(static_cast<std::size_t>(at >> unitShift));
        std::uint64_t needed = std::min<std::uint64_t>(unitSize, size - at);
        if (offset > fileSize_ || fileSize_ - offset < needed)
            return fail(FailureKind::Truncated, "stream \"" + entry.name + "\" cut short");
    }
    return std::shared_ptr<const FileData>(std::move(stream));
}

Outcome<std::vector<std::uint8_t>> CompoundFile::readStream(const Entry& entry) const {
    if (std::min<std::uint64_t>(entry.size, fileSize_) > kMaxStreamBytes)
        return fail(FailureKind::TooLarge, "stream \"" + entry.name + "\" past its cap");
    auto stream = openStream(entry);
    if (!stream) return stream.failure();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stream.value()->size()));
    if (Status read = stream.value()->readExactly(0, out.data(), out.size()); !read)
        return read.failure();
    return out;
}

}  // namespace quillmark::engine
