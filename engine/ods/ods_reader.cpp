// OpenDocument spreadsheets in a zip package (.ods, .ots): the cells live in content.xml.
// An encrypted package still has a plain manifest that says so (OpenDocument 1.2 Part 3,
// 4.8 manifest:encryption-data), which gives a clearer answer than the garbled content.
#include "engine/ods/ods_document.h"
#include "engine/readers.h"

namespace quillmark::engine {

ReaderOutcome openOds(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip) {
    if (zip->contains("META-INF/manifest.xml")) {
        auto manifest = zip->readPart("META-INF/manifest.xml", 4u << 20);
        if (manifest && manifest.value().find("encryption-data") != std::string::npos)
            return fail(FailureKind::Encrypted, "the OpenDocument package is encrypted");
    }
    if (!zip->contains("content.xml"))
        return fail(FailureKind::Corrupt, "the OpenDocument package has no content.xml");
    const ZipArchive* archive = zip.get();
    auto open = [archive]() -> Outcome<XmlPullTokenizer::Source> {
        auto opened = archive->openPart("content.xml");
        if (!opened) return opened.failure();
        std::shared_ptr<ZipStream> stream = std::move(opened.value());
        return XmlPullTokenizer::Source([stream](char* buffer, std::size_t capacity) {
            return stream->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
        });
    };
    return openOdsContent(std::move(data), std::move(zip), open, "content.xml");
}

}  // namespace quillmark::engine
