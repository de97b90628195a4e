// The spreadsheet content of an OpenDocument file (OpenDocument 1.2 Part 1, 9.1 table:table),
// shared by the zipped (.ods, .ots: content.xml) and flat (.fods) forms.
#pragma once

#include <memory>

#include "workbook.h"
#include "xml_workbook_passes.h"
#include "zip_archive.h"

namespace quillmark::engine {

// The reader over either form; `parse` runs one pass over the content document.
ReaderOutcome openOdsContent(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                             DocumentParse parse);

}  // namespace quillmark::engine
