// A reader for workbook formats that are one XML document holding every sheet, read with
// expat: SpreadsheetML 2003 (which may come in any encoding expat knows). Opening makes one
// pass for the sheet list; a search makes one pass per keyword that records each sheet's
// first match, because a sheet cannot be reached without parsing the sheets before it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/container/zip_archive.h"
#include "engine/workbook.h"
#include "engine/xml/xml_parser.h"

namespace quillmark::engine {

class Matcher;

// Runs one streaming parse of the document through `handler`.
using DocumentParse = std::function<Status(XmlHandler& handler)>;

// Fills one entry per sheet, in document order, with its first match (or nothing).
class SheetSearchHandler : public XmlHandler {
  public:
    // Sheets whose end has been seen: only their entries are final.
    virtual std::size_t sheetsCompleted() const = 0;
};

struct XmlWorkbookFormat {
    DocumentParse parse;
    std::function<std::unique_ptr<XmlHandler>(std::vector<SheetInfo>& sheets)> makeSheetList;
    std::function<std::unique_ptr<SheetSearchHandler>(
        const Matcher& matcher, std::vector<std::optional<CellPosition>>& found)>
        makeSearch;
};

// `data` and `zip` (may be null) are kept alive for the parses.
ReaderOutcome openXmlWorkbook(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                              XmlWorkbookFormat format);

}  // namespace quillmark::engine
