// OpenDocument spreadsheets in a zip package (.ods, .ots): the cells live in content.xml.
// An encrypted package still has a plain manifest that says so (OpenDocument 1.2 Part 3,
// 4.8 manifest:encryption-data), which gives a clearer answer than the garbled content.
#include "ods_document.h"
#include "readers.h"
#include "xml_parser.h"

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
    auto parse = [archive](XmlHandler& handler) -> Status {
        auto stream = archive->openPart("content.xml");
        if (!stream) return stream.failure();
        XmlParser parser(handler);
        Status parsed = parser.parse(*stream.value());
        if (!parsed)
            return Failure{parsed.failure().kind, "content.xml: " + parsed.failure().reason};
        return Done{};
    };
    return openOdsContent(std::move(data), std::move(zip), parse);
}

}  // namespace quillmark::engine
