// [MS-CFB] compound file reader: header, DIFAT, FAT, mini FAT, directory and stream chains,
// all read from the file's bytes in memory with every index checked against the real size.
#include "engine/container/compound_file.h"

#include <algorithm>

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

Outcome<CompoundFile> CompoundFile::open(Bytes file) {
    if (file.size() < kHeaderBytes)
        return fail(FailureKind::Truncated, "compound file header cut short");
    const std::uint8_t* header = file.data();
    if (!std::equal(std::begin(kSignature), std::end(kSignature), header))
        return fail(FailureKind::NotAWorkbook, "no compound file signature");

    CompoundFile compound;
    compound.file_ = file;
    std::uint16_t majorVersion = readU16(header + 26);
    compound.sectorShift_ = readU16(header + 30);
    if (compound.sectorShift_ != 9 && compound.sectorShift_ != 12)
        return fail(FailureKind::Corrupt, "compound file sector size is neither 512 nor 4096");
    if (readU16(header + 32) != 6)
        return fail(FailureKind::Corrupt, "compound file mini sector size is not 64");
    compound.version3_ = majorVersion != 4;
    compound.sectorSize_ = std::size_t{1} << compound.sectorShift_;
    if (file.size() <= compound.sectorSize_)
        return fail(FailureKind::Truncated, "compound file holds no sectors");
    // Sector n starts at (n + 1) * sector size: the header occupies the first sector's room.
    compound.sectorCount_ =
        (file.size() - compound.sectorSize_ + compound.sectorSize_ - 1) / compound.sectorSize_;
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

Bytes CompoundFile::sectorBytes(std::uint32_t sector) const {
    // A truncated last sector yields the bytes that are there.
    std::size_t offset = (static_cast<std::size_t>(sector) + 1) << sectorShift_;
    if (offset >= file_.size()) return {};
    return file_.subspan(offset, std::min(sectorSize_, file_.size() - offset));
}

Status CompoundFile::loadAllocationTable() {
    // The FAT's own sectors are listed by the DIFAT: 109 entries in the header, then a chain
    // of DIFAT sectors whose last entry points to the next one.
    std::size_t wanted = std::min<std::size_t>(fatSectorClaim_, sectorCount_);
    std::vector<std::uint32_t> fatSectors;
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < wanted; ++i)
        fatSectors.push_back(readU32(file_.data() + 76 + 4 * i));

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
        Bytes bytes = sectorBytes(difatSector);
        if (bytes.size() < sectorSize_)
            return fail(FailureKind::Truncated, "DIFAT sector cut short");
        for (std::size_t i = 0; i + 1 < entriesPerSector && fatSectors.size() < wanted; ++i)
            fatSectors.push_back(readU32(bytes.data() + 4 * i));
        difatSector = readU32(bytes.data() + 4 * (entriesPerSector - 1));
    }

    // Only the entries for sectors the file really holds are kept.
    fat_.assign(std::min(fatSectors.size() * entriesPerSector, sectorCount_), kFreeSector);
    for (std::size_t k = 0; k < fatSectors.size(); ++k) {
        std::uint32_t sector = fatSectors[k];
        if (sector > kMaxRegularSector) continue;  // an unused DIFAT slot
        if (sector >= sectorCount_)
            return fail(FailureKind::Truncated,
                        "allocation table sector lies past the end of the file");
        Bytes bytes = sectorBytes(sector);
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
    for (std::uint32_t sector : chain.value()) {
        Bytes bytes = sectorBytes(sector);
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
    miniStreamSize_ = std::min<std::uint64_t>(root.size, file_.size());
    if (miniStreamSize_ == 0) return Done{};
    std::size_t sectorsNeeded = (miniStreamSize_ + sectorSize_ - 1) / sectorSize_;
    auto chain = followChain(root.startSector, fat_, sectorCount_, sectorsNeeded);
    if (!chain) {
        miniStreamFailure_ = chain.failure();
        miniStreamSize_ = 0;
        return Done{};
    }
    miniStreamSectors_ = chain.take();
    miniStreamSize_ =
        std::min<std::uint64_t>(miniStreamSize_, miniStreamSectors_.size() * sectorSize_);

    std::size_t miniSectorCount = miniStreamSize_ / kMiniSectorSize;
    std::size_t miniFatSectorsNeeded = (miniSectorCount * 4 + sectorSize_ - 1) / sectorSize_;
    auto miniFatChain = followChain(firstMiniFatSector_, fat_, sectorCount_, miniFatSectorsNeeded);
    if (!miniFatChain) {
        miniStreamFailure_ = miniFatChain.failure();
        return Done{};
    }
    for (std::uint32_t sector : miniFatChain.value()) {
        Bytes bytes = sectorBytes(sector);
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

std::optional<Bytes> CompoundFile::contiguousStream(const Entry& entry) const {
    std::uint64_t size = entry.size;
    if (size == 0 || size > file_.size() || entry.size < miniStreamCutoff_) return std::nullopt;
    std::size_t sectors = (size + sectorSize_ - 1) / sectorSize_;
    auto chain = followChain(entry.startSector, fat_, sectorCount_, sectors);
    if (!chain || chain.value().size() != sectors) return std::nullopt;
    for (std::size_t i = 1; i < sectors; ++i)
        if (chain.value()[i] != chain.value()[i - 1] + 1) return std::nullopt;
    std::size_t offset = (static_cast<std::size_t>(chain.value()[0]) + 1) << sectorShift_;
    if (offset > file_.size() || file_.size() - offset < size) return std::nullopt;
    return file_.subspan(offset, size);
}

Outcome<std::vector<std::uint8_t>> CompoundFile::readStream(const Entry& entry) const {
    std::uint64_t size = std::min<std::uint64_t>(entry.size, file_.size());
    std::vector<std::uint8_t> out;
    if (size == 0) return out;
    bool inMiniStream = entry.type != EntryType::Root && entry.size < miniStreamCutoff_;
    if (!inMiniStream) {
        auto chain = followChain(entry.startSector, fat_, sectorCount_,
                                 (size + sectorSize_ - 1) / sectorSize_);
        if (!chain) return chain.failure();
        out.reserve(std::min<std::uint64_t>(size, chain.value().size() * sectorSize_));
        for (std::uint32_t sector : chain.value()) {
            Bytes bytes = sectorBytes(sector);
            std::size_t take = std::min<std::uint64_t>(bytes.size(), size - out.size());
            if (take < std::min<std::uint64_t>(sectorSize_, size - out.size()))
                return fail(FailureKind::Truncated, "stream \"" + entry.name + "\" cut short");
            out.insert(out.end(), bytes.begin(), bytes.begin() + take);
        }
        return out;
    }

    if (miniStreamFailure_) return *miniStreamFailure_;
    std::size_t miniSectorCount = miniStreamSize_ / kMiniSectorSize;
    auto chain = followChain(entry.startSector, miniFat_, miniSectorCount,
                             (size + kMiniSectorSize - 1) / kMiniSectorSize);
    if (!chain) return chain.failure();
    out.reserve(std::min<std::uint64_t>(size, chain.value().size() * kMiniSectorSize));
    for (std::uint32_t miniSector : chain.value()) {
        std::size_t offset = miniSector * kMiniSectorSize;
        Bytes bytes = sectorBytes(miniStreamSectors_[offset >> sectorShift_]);
        std::size_t within = offset & (sectorSize_ - 1);
        std::size_t take = std::min<std::uint64_t>(kMiniSectorSize, size - out.size());
        if (within + take > bytes.size())
            return fail(FailureKind::Truncated, "stream \"" + entry.name + "\" cut short");
        out.insert(out.end(), bytes.begin() + within, bytes.begin() + within + take);
    }
    return out;
}

}  // namespace quillmark::engine
