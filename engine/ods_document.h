// The spreadsheet content of an OpenDocument file (OpenDocument 1.2 Part 1, 9.1 table:table),
// shared by the zipped (.ods, .ots: content.xml) and flat (.fods) forms.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workbook.h"
#include "zip_archive.h"

namespace quillmark::engine {

class XmlHandler;

// Runs one streaming parse of the content document through `handler`.
using ContentParse = std::function<Status(XmlHandler& handler)>;

// The reader over either form. It keeps the file's bytes (and zip) alive for `parse`.
ReaderOutcome openOdsContent(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                             ContentParse parse);

}  // namespace quillmark::engine
