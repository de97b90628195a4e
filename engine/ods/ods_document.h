// The spreadsheet content of an OpenDocument file (OpenDocument 1.2 Part 1, 9.1 table:table),
// shared by the zipped (.ods, .ots: content.xml) and flat (.fods) forms.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/container/zip_archive.h"
#include "engine/workbook.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {

// A fresh tokenizer over the content document, from its first byte.
using OpenOdsContent = std::function<Outcome<XmlPullTokenizer>()>;
// The content document's raw bytes, from its first, for a look before tokenizing.
using OpenOdsBytes = std::function<Outcome<XmlPullTokenizer::Source>()>;

// The reader over either form. `data` and `zip` (may be null) are kept alive for the reads;
// `partName` ("content.xml", or empty) prefixes the reason of a failure. `bytes`, for content
// that streams, lets a search look at the whole document before tokenizing it.
ReaderOutcome openOdsContent(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                             OpenOdsContent open, std::string partName,
                             OpenOdsBytes bytes = nullptr);

}  // namespace quillmark::engine
