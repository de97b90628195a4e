// The search of an OpenDocument content document for one keyword, as a cursor: it reads only
// as far as the sheet asked for is decided (its first match, or its end), keeps the answers
// for the sheets it has passed, and resumes from there for a later sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/workbook.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {

class Matcher;

class OdsCellSearch {
  public:
    OdsCellSearch(XmlPullTokenizer::Source source, std::string keyword);

    const std::string& keyword() const { return keyword_; }
    // The first match in the table:table at `sheetIndex` (counting sheets only); `matcher`
    // must be for keyword().
    Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex, const Matcher& matcher);

  private:
    Status step();
    void startElement();
    void endElement();
    void startSheetContent();
    void startCell();
    void cellContent();
    void endCell();
    bool cellMatches() const;
    void skipElement();
    Status leaveDecidedSheet();

    XmlPullTokenizer tokens_;
    std::string keyword_;
    const Matcher* matcher_ = nullptr;
    const std::size_t spaceCap_;  // a longer run of spaces matches no differently
    std::vector<std::optional<CellPosition>> found_;
    std::size_t decided_ = 0;  // leading entries of found_ that are final
    bool ended_ = false;       // the spreadsheet element is over
    std::optional<Failure> failure_;

    std::size_t depth_ = 0;  // open elements, the root being 1
    bool inSheet_ = false;
    std::size_t rowDepth_ = 0, cellDepth_ = 0;  // 0 when outside a row or cell
    std::uint64_t row_ = 0, rowRepeat_ = 1, nextRow_ = 0;
    std::uint64_t column_ = 0, nextColumn_ = 0;
    int paragraphDepth_ = 0;
    int paragraphs_ = 0;
    std::string text_;
    std::string formula_;
    std::string extraValues_;  // office:value and friends, each ended by a NUL
    std::string attributeStorage_;
};

}  // namespace quillmark::engine
