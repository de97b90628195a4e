// The search of an OpenDocument content document for one keyword, as a cursor: it reads only
// as far as the sheet asked for is decided (its sink wants no more, or its end), keeps the
// first hit of every sheet it has passed, and resumes from there for a later sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/cell/array_formulas.h"
#include "engine/cell/cell_text.h"
#include "engine/cell/kept_hits.h"
#include "engine/workbook.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {

class Matcher;

class OdsCellSearch {
  public:
    OdsCellSearch(XmlPullTokenizer tokens, std::string keyword);
    // A cursor at a sheet's start tag (office:spreadsheet open) that takes over the first hits
    // of the sheets before it, decided by an earlier cursor for the same keyword.
    OdsCellSearch(XmlPullTokenizer tokens, std::string keyword,
                  std::vector<std::optional<KeptHit>> earlierSheets);

    const std::string& keyword() const { return keyword_; }
    // The first hits of the sheets before `sheetIndex`, which this cursor has decided.
    std::vector<std::optional<KeptHit>> keptBefore(std::size_t sheetIndex) const {
        return {kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(sheetIndex)};
    }
    std::size_t sheetsDecided() const { return decided_; }
    // Hands the hits of the table:table at `sheetIndex` (counting sheets only) to `sink`;
    // `matcher` must be for keyword(). False when that sheet was passed before and the sink
    // wants more than its kept first hit: only a fresh cursor can give them.
    [[nodiscard]] Outcome<bool> findCells(std::size_t sheetIndex, const Matcher& matcher,
                                          HitSink& sink);

  private:
    // Where the current sheet's hits go: the caller's sink when it is the sheet asked for,
    // and always the keeper of its first hit.
    class Router final : public HitSink {
      public:
        explicit Router(OdsCellSearch& search) : search_(search) {}
        bool take(const CellHit& hit) override;
        bool takeRun(const CellHit& hit, std::uint32_t count) override;

      private:
        bool keep(const CellHit& hit);
        OdsCellSearch& search_;
    };
    // A matching cell of a repeated row, offered again for each row it repeats in.
    struct RepeatedHit {
        std::uint32_t column, count;
        KeptHit hit;
    };

    Status step();
    void startElement();
    void endElement();
    void startSheetContent();
    void startCell();
    void cellContent();
    void endCell();
    bool cellMatches();
    void endRow();
    void sheetDecided() { decided_ = kept_.size(); }
    void skipElement();
    void matrixFormula(std::uint64_t columns, std::uint64_t rows);
    Status leaveDecidedSheet();

    XmlPullTokenizer tokens_;
    std::string keyword_;
    const std::size_t spaceCap_;  // a longer run of spaces matches no differently
    Router router_{*this};
    std::optional<CellText> cells_;  // during a findCells call
    HitSink* live_ = nullptr;        // the caller's sink while the sheet it asked for is read
    std::vector<std::optional<KeptHit>> kept_;
    std::size_t decided_ = 0;  // leading entries of kept_ that are final
    std::vector<RepeatedHit> repeatedHits_;
    bool ended_ = false;  // the spreadsheet element is over
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
    std::string extraValues_;   // office:value and friends, each ended by a NUL
    OpenArrayFormulas arrays_;  // matrix formulas whose range reaches this row or later
    std::string attributeStorage_;
};

}  // namespace quillmark::engine
