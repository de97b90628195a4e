// The floor for the engine benchmark: the least work any search of a folder must do. Every
// workbook file is read once; every member of a zip package is inflated with libzip into one
// reused buffer and thrown away. A search that parses cells cannot beat this.
//
// Usage: bench_inflate_floor FOLDER
// Takes the same files as the folder scan: names containing "xls" in any letter case.
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
    if (argc != 2) {
        std::cerr << "usage: bench_inflate_floor FOLDER\n";
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();

    Totals totals;
    std::vector<std::uint8_t> bytes;
    std::vector<char> buffer(256 * 1024);
    std::error_code error;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator(argv[1], options, error);
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
        if (!inflateMembers(bytes, buffer, totals)) ++totals.failures;
    }
    if (error) {
        std::cerr << "bench_inflate_floor: " << argv[1] << ": " << error.message() << "\n";
        return 2;
    }

    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = cpuSeconds() - cpuStart;
    std::printf(
        "files %llu (zip %llu, members %llu, failures %llu)  bytes in %llu  bytes inflated "
        "%llu  wall %.3f s  cpu %.3f s\n",
        static_cast<unsigned long long>(totals.files),
        static_cast<unsigned long long>(totals.zipFiles),
        static_cast<unsigned long long>(totals.members),
        static_cast<unsigned long long>(totals.failures),
        static_cast<unsigned long long>(totals.bytesIn),
        static_cast<unsigned long long>(totals.bytesInflated), wall, cpu);
    return totals.failures == 0 ? 0 : 1;
}
