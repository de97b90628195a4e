// An XmlHandler driven by the pull tokenizer instead of expat, several times faster, for the
// documents where both are sure to hand the handler the same elements, attributes and text.
// Every other document (another encoding, a DOCTYPE, comments or CDATA, anything expat may
// judge differently) is declined, and the caller parses it with expat as before.
#pragma once

#include <optional>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"
#include "engine/xml/xml_parser.h"

namespace quillmark::engine {

// The parse's outcome as expat's would be: done, or the failure reading the file. Nothing
// when the document is declined; the handler may then have seen part of it.
std::optional<Status> parseWithPullTokenizer(const FileData& file, XmlHandler& handler);

}  // namespace quillmark::engine
