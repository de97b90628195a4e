// Flat OpenDocument spreadsheets (.fods): the whole document is one XML file whose
// office:body holds the same tables as content.xml in a package.
#include "engine/ods/ods_document.h"
#include "engine/readers.h"

namespace quillmark::engine {

ReaderOutcome openFlatOds(std::shared_ptr<const FileData> data) {
    const FileData* file = data.get();
    auto open = [file]() -> Outcome<XmlPullTokenizer> {
        auto cursor = std::make_shared<FileCursor>(*file);
        return XmlPullTokenizer(
            [cursor](char* buffer, std::size_t capacity) -> Outcome<std::size_t> {
                return cursor->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
            });
    };
    return openOdsContent(std::move(data), nullptr, open, "");
}

}  // namespace quillmark::engine
