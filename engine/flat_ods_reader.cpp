// Flat OpenDocument spreadsheets (.fods): the whole document is one XML file whose
// office:body holds the same tables as content.xml in a package.
#include "ods_document.h"
#include "readers.h"
#include "xml_parser.h"

namespace quillmark::engine {

ReaderOutcome openFlatOds(std::shared_ptr<const FileData> data) {
    const FileData* bytes = data.get();
    auto parse = [bytes](XmlHandler& handler) -> Status {
        XmlParser parser(handler);
        return parser.parse(bytes->bytes());
    };
    return openOdsContent(std::move(data), nullptr, parse);
}

}  // namespace quillmark::engine
