// Writes a zip archive in memory, every entry stored (not compressed) or given already in its
// stored form: enough to build large test packages (a thousand sheets, tens of thousands of
// entries) and damaged ones at run time instead of committing them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
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
        Entry entry{
            std::string(name),           crc, std::uint32_t(stored.size()), size, method, flags,
            std::uint32_t(bytes_.size())};
        put32(0x04034b50);  // local file header
        put16(20);          // version needed: 2.0
        put16(flags);       // 0x0800: names are UTF-8
        put16(method);
        put16(0);       // time
        put16(0x3C6F);  // date: 2010-03-15
        put32(entry.crc);
        put32(entry.storedSize);
        put32(entry.size);
        put16(std::uint16_t(name.size()));
        put16(0);
        bytes_.append(name);
        bytes_.append(stored);
        entries_.push_back(std::move(entry));
    }

    // The archive's bytes: the entries, then the central directory and its end record.
    std::string finish() const {
        std::string out = bytes_;
        std::uint32_t directoryStart = std::uint32_t(out.size());
        for (const Entry& entry : entries_) {
            putTo(out, 0x02014b50, 4);  // central directory header
            putTo(out, 20, 2);          // version made by
            putTo(out, 20, 2);          // version needed
            putTo(out, entry.flags, 2);
            putTo(out, entry.method, 2);
            putTo(out, 0, 2);
            putTo(out, 0x3C6F, 2);
            putTo(out, entry.crc, 4);
            putTo(out, entry.storedSize, 4);
            putTo(out, entry.size, 4);
            putTo(out, entry.name.size(), 2);
            putTo(out, 0, 2);  // extra field length
            putTo(out, 0, 2);  // comment length
            putTo(out, 0, 2);  // disk number
            putTo(out, 0, 2);  // internal attributes
            putTo(out, 0, 4);  // external attributes
            putTo(out, entry.offset, 4);
            out.append(entry.name);
        }
        std::uint32_t directorySize = std::uint32_t(out.size()) - directoryStart;
        // Past 65,535 entries the counts would need the zip64 records; stay below.
        std::uint16_t count = std::uint16_t(entries_.size());
        putTo(out, 0x06054b50, 4);  // end of central directory
        putTo(out, 0, 2);
        putTo(out, 0, 2);
        putTo(out, count, 2);
        putTo(out, count, 2);
        putTo(out, directorySize, 4);
        putTo(out, directoryStart, 4);
        putTo(out, 0, 2);
        return out;
    }

    std::size_t entryCount() const { return entries_.size(); }

  private:
    struct Entry {
        std::string name;
        std::uint32_t crc;
        std::uint32_t storedSize;
        std::uint32_t size;
        std::uint16_t method;
        std::uint16_t flags;
        std::uint32_t offset;
    };

  public:
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
    static void putTo(std::string& out, std::uint64_t value, int width) {
        for (int index = 0; index < width; ++index)
            out.push_back(char((value >> (8 * index)) & 0xFF));
    }
    void put16(std::uint16_t value) { putTo(bytes_, value, 2); }
    void put32(std::uint32_t value) { putTo(bytes_, value, 4); }

    std::string bytes_;
    std::vector<Entry> entries_;
};

}  // namespace quillmark::testing
