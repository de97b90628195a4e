// The shared search and the in-memory zip writer of the fuzz targets. The writer uses libzip
// so the packages are exactly what the engine's zip reader expects, checksums included.
#include "fuzz_support.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "engine/core/matcher.h"

namespace quillmark::fuzz {
namespace {

// Enough sheets to reach every sheet-list path, few enough that one input stays fast.
constexpr std::size_t kMaxSheetsSearched = 16;

[[noreturn]] void fatal(const char* what) {
    std::fprintf(stderr, "fuzz support: %s\n", what);
    std::abort();
}

}  // namespace

void searchEverySheet(engine::WorkbookReader& reader) {
    static const engine::Matcher keywords[] = {
        engine::Matcher("q\xC3\xA9z~*x"),  // never in any seed: every cell is looked at
        engine::Matcher("e"),
        engine::Matcher("2008"),
    };
    const std::size_t sheetCount = std::min(reader.sheets().size(), kMaxSheetsSearched);
    for (const engine::Matcher& keyword : keywords) {
        for (std::size_t index = 0; index < sheetCount; ++index) {
            if (!engine::isGridSheet(reader.sheets()[index].kind)) continue;
            auto found = reader.findFirst(index, keyword);
            (void)found;
        }
    }
}

void openAndSearch(std::vector<std::uint8_t> bytes, std::string_view fileName) {
    // Reproducing a finding with QUILLMARK_FUZZ_SAVE=<file> keeps the whole workbook the
    // input was wrapped in, to become a test fixture.
    if (const char* savePath = std::getenv("QUILLMARK_FUZZ_SAVE")) {
        std::ofstream out(savePath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    auto reader = engine::openWorkbookData(engine::memoryData(std::move(bytes)), fileName);
    if (reader) searchEverySheet(*reader.value());
}

std::vector<std::uint8_t> buildZip(const std::vector<Part>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (buffer == nullptr) fatal("cannot create a zip buffer");
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (archive == nullptr) fatal("cannot open a zip for writing");
    for (const Part& part : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, part.second.data(), part.second.size(), 0);
        zip_int64_t index = zip_file_add(archive, part.first.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (source == nullptr || index < 0) fatal("cannot add a zip part");
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) fatal("cannot write the zip");

    std::vector<std::uint8_t> bytes;
    if (zip_source_open(buffer) != 0) fatal("cannot reopen the zip buffer");
    zip_source_seek(buffer, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(zip_source_tell(buffer)));
    zip_source_seek(buffer, 0, SEEK_SET);
    if (zip_source_read(buffer, bytes.data(), bytes.size()) !=
        static_cast<zip_int64_t>(bytes.size()))
        fatal("cannot read the zip back");
    zip_source_close(buffer);
    zip_source_free(buffer);
    zip_error_fini(&error);
    return bytes;
}

}  // namespace quillmark::fuzz
