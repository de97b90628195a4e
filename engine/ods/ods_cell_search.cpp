// The cell search over the content document. Repeated rows and cells
// (number-rows-repeated, number-columns-repeated) only move the position: a cell repeated a
// billion times is tested once, and its hits go out as one run per row, as far as the sink
// wants them. Whatever cannot hold a sheet's cell text (styles, settings,
// shapes, a chart's own table, the rest of a sheet already decided) is skipped unread.
#include "engine/ods/ods_cell_search.h"

#include <algorithm>
#include <charconv>

#include "engine/core/matcher.h"
#include "engine/ods/ods_formula.h"
#include "engine/ods/ods_layout.h"

namespace quillmark::engine {
namespace {

constexpr std::uint64_t kLastPosition = 0xFFFFFFFFu;
// Rows a repeated row's hits are offered again for: the most rows a spreadsheet program
// gives a sheet. A hostile row repeated four billion times costs no more than this.
constexpr std::uint64_t kLastRepeatedHitRow = (std::uint64_t{1} << 24) - 1;

std::uint64_t parseCount(std::string_view text) {
    std::uint64_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) return kLastPosition;
    return (result.ec != std::errc() || value == 0) ? 1 : std::min(value, kLastPosition);
}

bool isCell(std::string_view name) {
    return name == "table-cell" || name == "covered-table-cell";
}

// Elements between a table and its rows (OpenDocument 9.1.2 to 9.1.9).
bool isRowContainer(std::string_view name) {
    return name == "table-row-group" || name == "table-header-rows" || name == "table-rows";
}

// Drawing shapes, comments and similar objects may sit inside a cell with paragraphs of
// their own; their text is not the cell's. A table inside a cell is part of that cell, not
// a sheet, and its text is not offered either.
bool isForeignObject(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "annotation", "frame",    "custom-shape", "rect",      "line",    "ellipse", "circle",
        "polygon",    "polyline", "path",         "connector", "caption", "measure", "control",
        "g",          "note",     "ruby-text",    "table"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

}  // namespace

OdsCellSearch::OdsCellSearch(XmlPullTokenizer tokens, std::string keyword)
    : tokens_(std::move(tokens)),
      keyword_(std::move(keyword)),
      spaceCap_(std::max<std::size_t>(keyword_.size() + 1, 8)) {}

OdsCellSearch::OdsCellSearch(XmlPullTokenizer tokens, std::string keyword,
                             std::vector<std::optional<KeptHit>> earlierSheets)
    : OdsCellSearch(std::move(tokens), std::move(keyword)) {
    kept_ = std::move(earlierSheets);
    decided_ = kept_.size();
    depth_ = kOdsSpreadsheetDepth;
}

Outcome<bool> OdsCellSearch::findCells(std::size_t sheetIndex, const Matcher& matcher,
                                       HitSink& sink) {
    if (sheetIndex < decided_) {
        const std::optional<KeptHit>& first = kept_[sheetIndex];
        return !first || !sink.take(first->view());
    }
    cells_.emplace(matcher, router_);
    while (decided_ <= sheetIndex && !ended_ && !failure_) {
        live_ = kept_.size() == sheetIndex + 1 ? &sink : nullptr;
        Status stepped = (inSheet_ && decided_ == kept_.size()) ? leaveDecidedSheet() : step();
        if (!stepped) failure_ = stepped.failure();
    }
    live_ = nullptr;
    cells_.reset();
    if (sheetIndex < decided_) return true;
    if (failure_) return *failure_;
    return fail(FailureKind::Corrupt, "the sheet went missing between two reads");
}

bool OdsCellSearch::Router::keep(const CellHit& hit) {
    std::optional<KeptHit>& first = search_.kept_.back();
    if (!first) FirstHitKeeper(first).take(hit);
    return search_.live_ != nullptr;
}

bool OdsCellSearch::Router::take(const CellHit& hit) {
    if (keep(hit) && search_.live_->take(hit)) return true;
    search_.sheetDecided();
    return false;
}

bool OdsCellSearch::Router::takeRun(const CellHit& hit, std::uint32_t count) {
    if (keep(hit) && search_.live_->takeRun(hit, count)) return true;
    search_.sheetDecided();
    return false;
}

// The rest of a sheet whose sink wants no more is not read.
Status OdsCellSearch::leaveDecidedSheet() {
    if (!tokens_.skipUntilOpenElements(kOdsSheetDepth - 1)) return tokens_.failure();
    depth_ = kOdsSheetDepth - 1;
    inSheet_ = false;
    rowDepth_ = cellDepth_ = 0;
    repeatedHits_.clear();
    return Done{};
}

Status OdsCellSearch::step() {
    switch (tokens_.next()) {
        case XmlToken::StartElement:
            ++depth_;
            startElement();
            break;
        case XmlToken::EndElement:
            endElement();
            --depth_;
            break;
        case XmlToken::Text:
            if (cellDepth_ != 0 && paragraphDepth_ > 0) text_.append(tokens_.text());
            break;
        case XmlToken::EndOfDocument:
            ended_ = true;
            break;
        case XmlToken::Error:
            return tokens_.failure();
    }
    return Done{};
}

void OdsCellSearch::skipElement() {
    if (tokens_.skipUntilOpenElements(depth_ - 1)) --depth_;  // else next() reports why
}

void OdsCellSearch::startElement() {
    std::string_view name = tokens_.name();
    if (inSheet_) {
        startSheetContent();
    } else if (depth_ == kOdsSheetDepth && name == "table") {
        kept_.emplace_back();
        inSheet_ = true;
        nextRow_ = 0;
        arrays_ = OpenArrayFormulas{};
    } else if (!isOnPathToOdsSheets(depth_, name)) {
        skipElement();
    }
}

void OdsCellSearch::startSheetContent() {
    std::string_view name = tokens_.name();
    if (cellDepth_ != 0) {
        if (isForeignObject(name)) {
            skipElement();
        } else {
            cellContent();
        }
    } else if (name == "table-row") {
        rowDepth_ = depth_;
        row_ = nextRow_;
        auto repeat = tokens_.attribute("number-rows-repeated", attributeStorage_);
        rowRepeat_ = repeat ? parseCount(*repeat) : 1;
        nextColumn_ = 0;
        repeatedHits_.clear();
        arrays_.closeAbove(row_);
    } else if (rowDepth_ != 0 && isCell(name)) {
        cellDepth_ = depth_;
        startCell();
    } else if (rowDepth_ != 0 || !isRowContainer(name)) {
        skipElement();  // columns, shapes, named ranges, and anything else that is not a cell
    }
}

void OdsCellSearch::endElement() {
    if (!inSheet_) {
        if (depth_ == kOdsSpreadsheetDepth) ended_ = true;  // no sheets after this
        return;
    }
    if (depth_ == cellDepth_) {
        endCell();
    } else if (cellDepth_ != 0) {
        std::string_view name = tokens_.name();
        if ((name == "p" || name == "h") && paragraphDepth_ > 0) --paragraphDepth_;
    } else if (depth_ == rowDepth_) {
        endRow();
    } else if (depth_ == kOdsSheetDepth) {
        inSheet_ = false;
        sheetDecided();
    }
}

void OdsCellSearch::startCell() {
    column_ = nextColumn_;
    paragraphs_ = 0;
    paragraphDepth_ = 0;
    text_.clear();
    extraValues_.clear();
    formula_.clear();
    std::uint64_t repeat = 1, matrixColumns = 0, matrixRows = 0;
    for (std::size_t i = 0; i < tokens_.attributeCount(); ++i) {
        std::string_view name = tokens_.attributeName(i);
        if (name == "number-columns-repeated") {
            repeat = parseCount(tokens_.attributeValue(i, attributeStorage_));
        } else if (name == "number-matrix-columns-spanned") {
            matrixColumns = parseCount(tokens_.attributeValue(i, attributeStorage_));
        } else if (name == "number-matrix-rows-spanned") {
            matrixRows = parseCount(tokens_.attributeValue(i, attributeStorage_));
        } else if (name == "formula") {
            appendOdsFormulaAsDisplayed(tokens_.attributeValue(i, attributeStorage_), formula_);
        } else if (name == "value" || name == "date-value" || name == "time-value" ||
                   name == "string-value") {
            extraValues_.append(tokens_.attributeValue(i, attributeStorage_));
            extraValues_ += '\0';
        } else if (name == "boolean-value") {
            bool isTrue = tokens_.attributeValue(i, attributeStorage_) == "true";
            extraValues_.append(isTrue ? "TRUE" : "FALSE");
            extraValues_ += '\0';
        }
    }
    nextColumn_ = std::min(column_ + repeat, kLastPosition);
    matrixFormula(matrixColumns, matrixRows);
}

// A matrix formula (OpenDocument 9.1.4 table:number-matrix-columns-spanned) is stored in the
// first cell of its range; the range's other cells show it too.
void OdsCellSearch::matrixFormula(std::uint64_t columns, std::uint64_t rows) {
    auto at = [](std::uint64_t position) {
        return static_cast<std::uint32_t>(std::min(position, kLastPosition));
    };
    if (!formula_.empty()) {
        if (columns > 0 && rows > 0)
            arrays_.open(CellPosition{at(row_), at(column_)},
                         CellPosition{at(row_ + rows - 1), at(column_ + columns - 1)}, formula_);
    } else if (!arrays_.empty()) {
        if (const std::string* shown = arrays_.covering(CellPosition{at(row_), at(column_)}))
            formula_ = *shown;
    }
}

// Paragraph content (OpenDocument 6.1): text:s is a run of spaces, text:tab and
// text:line-break stand for their characters, spans and links only wrap text.
void OdsCellSearch::cellContent() {
    std::string_view name = tokens_.name();
    if (name == "p" || name == "h") {
        if (paragraphDepth_ == 0 && paragraphs_++ > 0) text_ += '\n';
        ++paragraphDepth_;
    } else if (paragraphDepth_ == 0) {
        return;
    } else if (name == "s") {
        auto count = tokens_.attribute("c", attributeStorage_);
        text_.append(std::min<std::uint64_t>(count ? parseCount(*count) : 1, spaceCap_), ' ');
    } else if (name == "tab") {
        text_ += '\t';
    } else if (name == "line-break") {
        text_ += '\n';
    }
}

void OdsCellSearch::endCell() {
    cellDepth_ = 0;
    if (decided_ == kept_.size() || !cellMatches()) return;
    auto column = static_cast<std::uint32_t>(column_);
    auto count = static_cast<std::uint32_t>(nextColumn_ - column_);
    if (!cells_->reportRun(CellPosition{static_cast<std::uint32_t>(row_), column}, count)) return;
    if (rowRepeat_ > 1) {
        KeptHit hit{CellPosition{}, std::string(cells_->acceptedText()),
                    cells_->acceptedViaFormula()};
        repeatedHits_.push_back(RepeatedHit{column, count, std::move(hit)});
    }
}

// Row-major order: the row's own hits went out as its cells were read; the rows it repeats
// into offer the same cells again.
void OdsCellSearch::endRow() {
    rowDepth_ = 0;
    nextRow_ = std::min(row_ + rowRepeat_, kLastPosition);
    std::uint64_t lastRow = std::min(nextRow_ - 1, kLastRepeatedHitRow);
    for (std::uint64_t row = row_ + 1; row <= lastRow && !repeatedHits_.empty(); ++row) {
        for (RepeatedHit& repeated : repeatedHits_) {
            repeated.hit.cell = CellPosition{static_cast<std::uint32_t>(row), repeated.column};
            if (!router_.takeRun(repeated.hit.view(), repeated.count)) {
                repeatedHits_.clear();
                return;
            }
        }
    }
    repeatedHits_.clear();
}

// The displayed text first, then the stored values (office:value and friends), then the
// formula: a hit shows the first of them that matched.
bool OdsCellSearch::cellMatches() {
    if (cells_->text(text_)) return true;
    std::string_view values(extraValues_);
    while (!values.empty()) {
        std::size_t end = values.find('\0');
        if (cells_->text(values.substr(0, end))) return true;
        values.remove_prefix(end + 1);
    }
    return !formula_.empty() && cells_->formula(formula_);
}

}  // namespace quillmark::engine
