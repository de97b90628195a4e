// A reader for workbook formats that are one XML document holding every sheet, read with
// expat, or the pull tokenizer where that sees the same: SpreadsheetML 2003 (which may come in
// any encoding expat knows). Opening makes one pass for the sheet list; a search makes one
// pass per keyword that keeps each sheet's first hit, because a sheet cannot be reached
// without parsing the sheets before it. A search for more of a sheet's hits than the first
// makes a pass of its own.
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

// Where a search pass hands the hits of each sheet in document order.
class SheetHits : public HitSink {
  public:
    virtual void startSheet() = 0;
    // False: the rest of the current sheet's cells can go unread.
    virtual bool wantsMore() const = 0;
};

// Hands every sheet's hits to `hits`.
class SheetSearchHandler : public XmlHandler {
  public:
    // Sheets whose end has been seen: only their hits are complete.
    virtual std::size_t sheetsCompleted() const = 0;
};

// The same parse when it can be made faster without the handler seeing any difference;
// nothing when it cannot (the handler is then thrown away and `parse` runs on a fresh one).
using QuickDocumentParse = std::function<std::optional<Status>(XmlHandler& handler)>;

struct XmlWorkbookFormat {
    DocumentParse parse;
    QuickDocumentParse quickParse;  // may be empty
    std::function<std::unique_ptr<XmlHandler>(std::vector<SheetInfo>& sheets)> makeSheetList;
    std::function<std::unique_ptr<SheetSearchHandler>(const Matcher& matcher, SheetHits& hits)>
        makeSearch;
};

// `data` and `zip` (may be null) are kept alive for the parses.
ReaderOutcome openXmlWorkbook(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                              XmlWorkbookFormat format);

}  // namespace quillmark::engine
