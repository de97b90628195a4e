// Flat OpenDocument spreadsheets (.fods): the whole document is one XML file whose
// office:body holds the same tables as content.xml in a package.
#include <algorithm>
#include <cstring>

#include "engine/ods/ods_document.h"
#include "engine/readers.h"

namespace quillmark::engine {

ReaderOutcome openFlatOds(std::shared_ptr<const FileData> data) {
    const FileData* file = data.get();
    auto open = [file]() -> Outcome<XmlPullTokenizer::Source> {
        std::size_t offset = 0;
        return XmlPullTokenizer::Source(
            [file, offset](char* buffer, std::size_t capacity) mutable -> Outcome<std::size_t> {
                // An empty file has no bytes to point at: copy nothing rather than from null.
                Bytes bytes = file->bytes();
                std::size_t count = std::min(capacity, bytes.size() - offset);
                if (count > 0) std::memcpy(buffer, bytes.data() + offset, count);
                offset += count;
                return count;
            });
    };
    return openOdsContent(std::move(data), nullptr, open, "");
}

}  // namespace quillmark::engine
