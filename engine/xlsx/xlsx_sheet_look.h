// The raw look at a worksheet part before it is tokenized (xlsx_sheet_skip.h says when it may
// be used). It answers either that no cell can match, or which bytes the worksheet scanner is
// to read: from the row where the look stopped proving, when that is sound, else from the
// part's start, taking the bytes already inflated rather than inflating the part again.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "engine/container/zip_archive.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {

using ReopenPart = std::function<Outcome<std::unique_ptr<ZipStream>>()>;

// The part's bytes as its stream gives them, for a search that does not look first.
XmlPullTokenizer::Source streamSource(std::unique_ptr<ZipStream> stream);

class SheetLook {
  public:
    // Looks at the part `stream` reads (before its first read); `reopen` gives it afresh.
    static Outcome<SheetLook> take(std::unique_ptr<ZipStream> stream, ReopenPart reopen,
                                   std::string_view lowerAnchor, const WorksheetContext& context);

    bool cannotMatch() const { return cannotMatch_; }
    // The bytes to tokenize when a cell may match, and whether they leave out proven rows.
    XmlPullTokenizer::Source source() const { return source_; }
    bool resumed() const { return resumed_; }
    // The whole part from its start: for a resumed read that failed, whose failure may come
    // from the rows it left out (an element they left open), so that the answer is the one a
    // full read gives.
    Outcome<XmlPullTokenizer::Source> fromStart() const;

  private:
    static Outcome<SheetLook> lookInMemory(ByteBuffer bytes, std::string_view lowerAnchor,
                                           const WorksheetContext& context);
    Status lookStreamed(std::unique_ptr<ZipStream> stream, std::string_view lowerAnchor,
                        const WorksheetContext& context);

    bool cannotMatch_ = false;
    bool resumed_ = false;
    XmlPullTokenizer::Source source_;
    std::shared_ptr<const ByteBuffer> whole_;  // a part inflated whole
    ReopenPart reopen_;
};

}  // namespace quillmark::engine
