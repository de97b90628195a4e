// OpenDocument spreadsheets in a zip package (.ods, .ots): the cells live in content.xml.
// An encrypted package still has a plain manifest that says so (OpenDocument 1.2 Part 3,
// 4.8 manifest:encryption-data), which gives a clearer answer than the garbled content.
#include "engine/ods/ods_document.h"
#include "engine/readers.h"

namespace quillmark::engine {
namespace {

// Content that inflates whole is inflated once and tokenized where it lies by the sheet list
// and every search after it; it is never larger than a part that streams would hold at once.
OpenOdsContent memoryContent(ByteBuffer bytes) {
    auto whole = std::make_shared<const ByteBuffer>(std::move(bytes));
    return [whole]() -> Outcome<XmlPullTokenizer> { return XmlPullTokenizer(whole); };
}

// Larger content streams through a fresh inflate for each pass.
OpenOdsBytes streamedBytes(const ZipArchive& zip) {
    const ZipArchive* archive = &zip;
    return [archive]() -> Outcome<XmlPullTokenizer::Source> {
        auto opened = archive->openPart("content.xml");
        if (!opened) return opened.failure();
        std::shared_ptr<ZipStream> stream = std::move(opened.value());
        return XmlPullTokenizer::Source([stream](char* buffer, std::size_t capacity) {
            return stream->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
        });
    };
}

OpenOdsContent streamedContent(OpenOdsBytes bytes) {
    return [bytes = std::move(bytes)]() -> Outcome<XmlPullTokenizer> {
        auto source = bytes();
        if (!source) return source.failure();
        return XmlPullTokenizer(std::move(source.value()));
    };
}

}  // namespace

ReaderOutcome openOds(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip) {
    if (zip->contains("META-INF/manifest.xml")) {
        auto manifest = zip->readPart("META-INF/manifest.xml", 4u << 20);
        if (manifest && manifest.value().find("encryption-data") != std::string::npos)
            return fail(FailureKind::Encrypted, "the OpenDocument package is encrypted");
    }
    if (!zip->contains("content.xml"))
        return fail(FailureKind::Corrupt, "the OpenDocument package has no content.xml");
    auto opened = zip->openPart("content.xml");
    if (!opened) return Failure{opened.failure().kind, "content.xml: " + opened.failure().reason};
    auto whole = opened.value()->takeWhole();
    if (!whole) return Failure{whole.failure().kind, "content.xml: " + whole.failure().reason};
    if (whole.value())
        return openOdsContent(std::move(data), std::move(zip),
                              memoryContent(std::move(*whole.value())), "content.xml");
    OpenOdsBytes bytes = streamedBytes(*zip);
    OpenOdsContent content = streamedContent(bytes);
    return openOdsContent(std::move(data), std::move(zip), std::move(content), "content.xml",
                          std::move(bytes));
}

}  // namespace quillmark::engine
