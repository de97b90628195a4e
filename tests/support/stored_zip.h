// Writes a zip archive in memory, every entry stored (not compressed) or given already in its
// stored form (raw deflate made here, or damaged): enough to build large test packages (a
// thousand sheets, tens of thousands of entries) and broken ones at run time instead of
// committing them.
#pragma once

#include <zlib.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmark::testing {

class StoredZip {
  public:
    void add(std::string_view name, std::string_view data) {
        addRaw(name, data, crc32(data), std::uint32_t(data.size()));
    }

    // An entry whose bytes are already in the form `method` (8: deflate) gives, described by
    // the headers as they are: for tests of damaged or hostile entries.
    void addRaw(std::string_view name, std::string_view stored, std::uint32_t crc,
                std::uint32_t size, std::uint16_t method = 0, std::uint16_t flags = 0x0800) {
        entries_.push_back({std::string(name), crc, std::uint32_t(stored.size()), size, method,
                            flags, std::uint32_t(bytes_.size())});
        header(bytes_, entries_.back(), false);
        bytes_.append(stored);
    }

    // The archive's bytes: the entries, then the central directory and its end record.
    std::string finish() const {
        std::string out = bytes_;
        const std::uint32_t directoryStart = std::uint32_t(out.size());
        for (const Entry& entry : entries_) header(out, entry, true);
        // Past 65,535 entries the counts would need the zip64 records; stay below.
        const std::uint16_t count = std::uint16_t(entries_.size());
        // clang-format off
        put(out, {{0x06054b50, 4}, {0, 2}, {0, 2}, {count, 2}, {count, 2},
                  {std::uint32_t(out.size()) - directoryStart, 4}, {directoryStart, 4}, {0, 2}});
        // clang-format on
        return out;
    }

    static std::uint32_t crc32(std::string_view data) {
        static const std::array<std::uint32_t, 256> table = [] {
            std::array<std::uint32_t, 256> result{};
            for (std::uint32_t n = 0; n < 256; ++n) {
                std::uint32_t c = n;
                for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                result[n] = c;
            }
            return result;
        }();
        std::uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
        return crc ^ 0xFFFFFFFFu;
    }

  private:
    struct Entry {
        std::string name;
        std::uint32_t crc, storedSize, size;
        std::uint16_t method, flags;
        std::uint32_t offset;
    };

    // Little-endian fields: (value, width in bytes).
    static void put(std::string& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
        for (const auto& [value, width] : fields)
            for (int index = 0; index < width; ++index)
                out.push_back(char((value >> (8 * index)) & 0xFF));
    }

    // A local header, or a central directory one (with its version made by, comment, disk,
    // attributes and the local header's offset). Flags 0x0800: names are UTF-8; the date is
    // 2010-03-15.
    static void header(std::string& out, const Entry& entry, bool central) {
        put(out, {{central ? 0x02014b50 : 0x04034b50, 4}});
        if (central) put(out, {{20, 2}});
        // clang-format off
        put(out, {{20, 2}, {entry.flags, 2}, {entry.method, 2}, {0, 2}, {0x3C6F, 2}, {entry.crc, 4},
                  {entry.storedSize, 4}, {entry.size, 4}, {entry.name.size(), 2}, {0, 2}});
        // clang-format on
        if (central) put(out, {{0, 2}, {0, 2}, {0, 2}, {0, 4}, {entry.offset, 4}});
        out.append(entry.name);
    }

    std::string bytes_;
    std::vector<Entry> entries_;
};

// Raw deflate, as zip entries hold it: zlib's stream without its 2-byte header and checksum.
// Level 0 makes stored blocks only.
inline std::string rawDeflate(const std::string& text, int level = 9) {
    uLongf size = compressBound(uLong(text.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(text.data()), uLong(text.size()), level);
    return out.substr(2, size - 6);
}

// Named parts, every one stored, as the bytes of one archive.
inline std::string storedPackage(const std::vector<std::pair<std::string, std::string>>& parts) {
    StoredZip zip;
    for (const auto& [name, data] : parts) zip.add(name, data);
    return zip.finish();
}

}  // namespace quillmark::testing
