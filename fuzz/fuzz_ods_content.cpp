// The bytes as content.xml of a small fixed OpenDocument spreadsheet package.
#include "fuzz_support.h"

namespace {

constexpr std::string_view kMimeType = "application/vnd.oasis.opendocument.spreadsheet";

constexpr std::string_view kManifest =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">)"
    R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>)"
    R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>)"
    R"(</manifest:manifest>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::fuzz;
    std::vector<std::uint8_t> package = buildZip({
        {"mimetype", kMimeType},
        {"META-INF/manifest.xml", kManifest},
        {"content.xml", asText(data, size)},
    });
    openAndSearch(std::move(package), "book.ods");
    return 0;
}
