// The floor for the engine benchmark: the least work any search of a folder must do. Every
// workbook file is read once; every member of a zip package is inflated and thrown away. A
// search that parses cells cannot beat this.
//
// Usage: bench_inflate_floor [--libdeflate KEYWORD] FOLDER
// Takes the same files as the folder scan: names containing "xls" in any letter case. By
// default members are inflated with libzip (which also checks their CRC). With --libdeflate
// each member is inflated whole with libdeflate and scanned for KEYWORD ignoring ASCII case,
// the fastest a reader that finds text in the inflated bytes could go.
#include <emmintrin.h>
#include <libdeflate.h>
#include <sys/resource.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace quillmark::bench {
namespace {

struct Totals {
    std::uint64_t files = 0;
    std::uint64_t zipFiles = 0;
    std::uint64_t members = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesInflated = 0;
    std::uint64_t failures = 0;
    std::uint64_t keywordHits = 0;
};

bool nameHasXls(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.find("xls") != std::string::npos;
}

bool readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return false;
    stream.seekg(0, std::ios::end);
    std::streamoff size = stream.tellg();
    if (size < 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    stream.seekg(0);
    stream.read(reinterpret_cast<char*>(bytes.data()), size);
    return static_cast<std::streamoff>(stream.gcount()) == size;
}

bool looksLikeZip(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 &&
           bytes[3] == 4;
}

// Inflates every member of the package in `bytes`; false when libzip cannot open it.
bool inflateMembers(const std::vector<std::uint8_t>& bytes, std::vector<char>& buffer,
                    Totals& totals) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source == nullptr) return false;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) {
        zip_source_free(source);
        zip_error_fini(&error);
        return false;
    }
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_file_t* member = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
        if (member == nullptr) {
            ++totals.failures;
            continue;
        }
        zip_int64_t got = 0;
        while ((got = zip_fread(member, buffer.data(), buffer.size())) > 0)
            totals.bytesInflated += static_cast<std::uint64_t>(got);
        if (got < 0) ++totals.failures;
        zip_fclose(member);
        ++totals.members;
    }
    zip_close(archive);  // read only: frees the archive and its source
    return true;
}

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Positions in `text` where `keyword` (lower-case ASCII) occurs ignoring ASCII case, found
// sixteen bytes at a time on the first two bytes, then checked byte by byte.
std::uint64_t countIgnoringCase(const std::uint8_t* text, std::size_t size,
                                const std::string& keyword) {
    std::size_t length = keyword.size();
    if (length < 2 || size < length) return 0;
    const __m128i lowerBit = _mm_set1_epi8(0x20);
    const __m128i first = _mm_set1_epi8(keyword[0]);
    const __m128i second = _mm_set1_epi8(keyword[1]);
    auto equalAt = [&](std::size_t at) {
        for (std::size_t i = 0; i < length; ++i)
            if ((text[at + i] | 0x20) != static_cast<std::uint8_t>(keyword[i])) return false;
        return true;
    };
    std::uint64_t hits = 0;
    std::size_t at = 0;
    for (; at + 17 + length <= size; at += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + 1));
        __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, lowerBit), first),
                                     _mm_cmpeq_epi8(_mm_or_si128(b, lowerBit), second));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(both));
        while (mask != 0) {
            hits += equalAt(at + static_cast<std::size_t>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
    for (; at + length <= size; ++at) hits += equalAt(at);
    return hits;
}

// Inflates every member of the package whole with libdeflate (stored ones are taken as they
// are) and scans it for the keyword; false when the central directory cannot be found.
bool inflateMembersWhole(const std::vector<std::uint8_t>& bytes, const std::string& keyword,
                         libdeflate_decompressor* decompressor, std::vector<std::uint8_t>& out,
                         Totals& totals) {
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    std::size_t end = size >= 22 ? size - 22 : 0;
    std::size_t stop = end > 65557 ? end - 65557 : 0;
    std::size_t eocd = SIZE_MAX;
    for (std::size_t at = end + 1; at-- > stop && size >= 22;)
        if (le32(data + at) == 0x06054b50) {
            eocd = at;
            break;
        }
    if (eocd == SIZE_MAX) return false;
    std::size_t entries = le16(data + eocd + 10);
    std::size_t at = le32(data + eocd + 16);
    for (std::size_t n = 0; n < entries; ++n) {
        if (at + 46 > size || le32(data + at) != 0x02014b50) return false;
        unsigned method = le16(data + at + 10);
        std::size_t packed = le32(data + at + 20), unpacked = le32(data + at + 24);
        std::size_t local = le32(data + at + 42);
        at += 46 + le16(data + at + 28) + le16(data + at + 30) + le16(data + at + 32);
        if (local + 30 > size) return false;
        std::size_t start = local + 30 + le16(data + local + 26) + le16(data + local + 28);
        if (start + packed > size) return false;
        ++totals.members;
        totals.bytesInflated += unpacked;
        if (method == 0) {
            totals.keywordHits += countIgnoringCase(data + start, packed, keyword);
            continue;
        }
        out.resize(unpacked);
        if (method != 8 ||
            libdeflate_deflate_decompress(decompressor, data + start, packed, out.data(), unpacked,
                                          nullptr) != LIBDEFLATE_SUCCESS) {
            ++totals.failures;
            continue;
        }
        totals.keywordHits += countIgnoringCase(out.data(), unpacked, keyword);
    }
    return true;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& value) { return value.tv_sec + value.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace
}  // namespace quillmark::bench

int main(int argc, char** argv) {
    using namespace quillmark::bench;
    std::string keyword;
    if (argc == 4 && std::string(argv[1]) == "--libdeflate") {
        keyword = argv[2];
        std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    } else if (argc != 2) {
        std::cerr << "usage: bench_inflate_floor [--libdeflate KEYWORD] FOLDER\n";
        return 2;
    }
    const char* folder = argv[argc - 1];
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::vector<std::uint8_t> inflated;
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();

    Totals totals;
    std::vector<std::uint8_t> bytes;
    std::vector<char> buffer(256 * 1024);
    std::error_code error;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, options, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error) || !nameHasXls(it->path())) continue;
        ++totals.files;
        if (!readWholeFile(it->path(), bytes)) {
            ++totals.failures;
            continue;
        }
        totals.bytesIn += bytes.size();
        if (!looksLikeZip(bytes)) continue;  // read once is all a non-zip file costs here
        ++totals.zipFiles;
        bool opened = keyword.empty()
                          ? inflateMembers(bytes, buffer, totals)
                          : inflateMembersWhole(bytes, keyword, decompressor, inflated, totals);
        if (!opened) ++totals.failures;
    }
    if (error) {
        std::cerr << "bench_inflate_floor: " << folder << ": " << error.message() << "\n";
        return 2;
    }

    libdeflate_free_decompressor(decompressor);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = cpuSeconds() - cpuStart;
    std::printf(
        "files %llu (zip %llu, members %llu, failures %llu)  bytes in %llu  bytes inflated "
        "%llu  keyword hits %llu  wall %.3f s  cpu %.3f s\n",
        static_cast<unsigned long long>(totals.files),
        static_cast<unsigned long long>(totals.zipFiles),
        static_cast<unsigned long long>(totals.members),
        static_cast<unsigned long long>(totals.failures),
        static_cast<unsigned long long>(totals.bytesIn),
        static_cast<unsigned long long>(totals.bytesInflated),
        static_cast<unsigned long long>(totals.keywordHits), wall, cpu);
    return totals.failures == 0 ? 0 : 1;
}
