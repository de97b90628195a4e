// The per-cell work of an xlsx search. Everything here runs once per cell of a sheet that may
// hold millions, so buffers are reused, attributes are looked up only on <row>, <c> and <f>,
// and number cells are matched only when the keyword could match a number at all.
#include "engine/xlsx/xlsx_worksheet_scanner.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <unordered_map>
#include <utility>

#include "engine/cell/a1_reference.h"
#include "engine/cell/array_formulas.h"
#include "engine/cell/cell_text.h"
#include "engine/core/matcher.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/ooxml_text.h"
#include "engine/xlsx/shared_formula.h"

namespace quillmark::engine {
namespace {

// The cell types of 18.18.11 ST_CellType.
enum class CellType { Number, SharedString, Boolean, Error, FormulaString, InlineString, IsoDate };

CellType cellTypeOf(std::optional<std::string_view> type) {
    if (!type) return CellType::Number;
    if (*type == "s") return CellType::SharedString;
    if (*type == "b") return CellType::Boolean;
    if (*type == "e") return CellType::Error;
    if (*type == "str") return CellType::FormulaString;
    if (*type == "inlineStr") return CellType::InlineString;
    if (*type == "d") return CellType::IsoDate;
    return CellType::Number;
}

template <class Integer>
std::optional<Integer> parseInteger(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    Integer value{};
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

struct SharedFormulaMaster {
    CellPosition position;
    std::string text;
};

// "C10:C14" or "C10" to its corners; nothing when either corner is not a cell of the grid.
std::optional<std::pair<CellPosition, CellPosition>> parseRange(std::string_view range) {
    std::size_t colon = range.find(':');
    auto first = parseA1(range.substr(0, colon));
    auto last = colon == std::string_view::npos ? first : parseA1(range.substr(colon + 1));
    if (!first || !last) return std::nullopt;
    return std::pair{*first, *last};
}

class WorksheetScanner {
  public:
    WorksheetScanner(XmlPullTokenizer::Source source, const WorksheetContext& context,
                     HitSink& sink)
        : tokens_(std::move(source)),
          context_(context),
          cells_(context.matcher, sink),
          numbersCanMatch_(cells_.numbersCanMatch()),
          datesCanMatch_(context.dateStyles != nullptr && cells_.datesCanMatch()) {}

    Status run() {
        for (;;) {
            switch (tokens_.next()) {
                case XmlToken::StartElement:
                    startElement(tokens_.name());
                    break;
                case XmlToken::EndElement:
                    if (endElement(tokens_.name())) return Done{};
                    break;
                case XmlToken::Text:
                    if (collecting_ != nullptr) collecting_->append(tokens_.text());
                    break;
                case XmlToken::EndOfDocument:
                    return Done{};
                case XmlToken::Error:
                    return tokens_.failure();
            }
        }
    }

  private:
    void startElement(std::string_view name) {
        if (name == "c") {
            startCell();
        } else if (!inCell_) {
            if (name == "row") startRow();
        } else if (name == "v") {
            // Most cells of a large sheet are numbers no keyword of letters can match.
            if (valueNeeded())
                collecting_ = &value_;
            else
                tokens_.skipTextContent();
        } else if (name == "f") {
            startFormula();
        } else if (name == "is") {
            inInlineString_ = true;
        } else if (name == "t") {
            if (inInlineString_ && phoneticDepth_ == 0) collecting_ = &inlineText_;
        } else if (name == "rPh") {
            ++phoneticDepth_;
        }
    }

    // True when the search is over: the sink wants no more, or the cell table ended.
    bool endElement(std::string_view name) {
        if (name == "c") {
            if (inCell_ && cellMatches() && !cells_.report(position())) return true;
            inCell_ = false;
            collecting_ = nullptr;
            return false;
        }
        if (!inCell_) return name == "sheetData";
        if (name == "f") {
            endFormula();
        } else if (name == "v" || name == "t") {
            collecting_ = nullptr;
        } else if (name == "is") {
            inInlineString_ = false;
        } else if (name == "rPh" && phoneticDepth_ > 0) {
            --phoneticDepth_;
        }
        return false;
    }

    // Rows and cells may leave out r (18.3.1.73, 18.3.1.4): they then follow the previous one.
    void startRow() {
        auto row = tokens_.attribute("r", scratch_);
        auto number = row ? parseInteger<std::uint32_t>(*row) : std::nullopt;
        currentRow_ = (number && *number >= 1 && *number <= kMaxRows) ? *number - 1 : nextRow_;
        nextRow_ = currentRow_ + 1;
        previousCellInRow_ = false;
        arrays_.closeAbove(currentRow_);
    }

    void startCell() {
        // One pass over the attributes: r, t and s are all a cell has.
        std::optional<std::string_view> reference, type, style;
        for (std::size_t i = 0; i < tokens_.attributeCount(); ++i) {
            std::string_view name = tokens_.attributeName(i);
            if (name.size() != 1) continue;
            std::string& storage = name[0] == 'r'   ? referenceStorage_
                                   : name[0] == 't' ? typeStorage_
                                                    : scratch_;
            if (name[0] == 'r')
                reference = tokens_.attributeValue(i, storage);
            else if (name[0] == 't')
                type = tokens_.attributeValue(i, storage);
            else if (name[0] == 's')
                style = tokens_.attributeValue(i, storage);
        }
        type_ = cellTypeOf(type);
        style_ = style ? parseInteger<std::size_t>(*style).value_or(0) : 0;
        // The column after the previous cell is needed only when this one has no r.
        if (reference && reference->size() <= sizeof reference_) {
            std::copy(reference->begin(), reference->end(), reference_);
            referenceLength_ = reference->size();
            positionKnown_ = false;
        } else {
            std::uint32_t column = previousCellInRow_ ? position().column + 1 : 0;
            cell_ = CellPosition{currentRow_, std::min(column, kMaxColumns - 1)};
            positionKnown_ = true;
        }
        previousCellInRow_ = true;
        inCell_ = true;
        inInlineString_ = false;
        phoneticDepth_ = 0;
        collecting_ = nullptr;
        value_.clear();
        inlineText_.clear();
        formula_.clear();
        hasFormula_ = false;
        sharedIndex_.reset();
        arrayRange_.reset();
    }

    // A number is matched only when the keyword could match its text or its date text.
    bool valueNeeded() const {
        if (type_ != CellType::Number || numbersCanMatch_) return true;
        return datesCanMatch_ && style_ < context_.dateStyles->size() &&
               (*context_.dateStyles)[style_];
    }

    // The current cell's position, its r parsed on first need: most cells never need it.
    CellPosition position() {
        if (!positionKnown_) {
            auto parsed = parseA1(std::string_view(reference_, referenceLength_));
            cell_ = parsed ? *parsed : CellPosition{currentRow_, 0};
            positionKnown_ = true;
        }
        return cell_;
    }

    void startFormula() {
        hasFormula_ = true;
        collecting_ = &formula_;
        auto type = tokens_.attribute("t", scratch_);
        if (type && *type == "array") {
            auto range = tokens_.attribute("ref", scratch_);
            if (range) arrayRange_ = parseRange(*range);
            return;
        }
        if (!type || *type != "shared") return;
        auto index = tokens_.attribute("si", scratch_);
        if (index) sharedIndex_ = parseInteger<std::uint32_t>(*index);
    }

    // The first cell of a shared group carries the text; the others borrow it (18.3.1.40).
    void endFormula() {
        collecting_ = nullptr;
        if (arrayRange_) arrays_.open(arrayRange_->first, arrayRange_->second, formula_);
        if (!sharedIndex_) return;
        if (!formula_.empty()) {
            sharedMasters_[*sharedIndex_] = SharedFormulaMaster{position(), formula_};
            return;
        }
        auto master = sharedMasters_.find(*sharedIndex_);
        if (master == sharedMasters_.end()) return;
        CellPosition here = position();
        appendShiftedFormula(master->second.text,
                             std::int64_t{here.row} - master->second.position.row,
                             std::int64_t{here.column} - master->second.position.column, formula_);
    }

    // Inline and formula strings may hold _xHHHH_ escapes (22.9.2.19 ST_Xstring).
    bool textMatches(std::string_view text) {
        if (!mayHoldOoxmlEscape(text)) return cells_.text(text);
        scratch_.clear();
        appendOoxmlUnescaped(text, scratch_);
        return cells_.text(scratch_);
    }

    bool valueMatches() {
        switch (type_) {
            case CellType::SharedString: {
                auto index = parseInteger<std::size_t>(value_);
                return index && cells_.sharedString(context_.sharedStrings, *index);
            }
            case CellType::InlineString:
                return textMatches(inlineText_);
            case CellType::Boolean:
                if (value_ == "1" || value_ == "0") return cells_.boolean(value_ == "1");
                return cells_.text(value_);
            case CellType::FormulaString:
                return textMatches(value_);
            case CellType::Error:
            case CellType::IsoDate:
                return cells_.text(value_);
            case CellType::Number:
                return cells_.writtenNumber(value_, shownAsDate(), context_.epoch);
        }
        return false;
    }

    bool shownAsDate() const {
        return context_.dateStyles != nullptr && style_ < context_.dateStyles->size() &&
               (*context_.dateStyles)[style_];
    }

    // A cell with no formula of its own inside an array formula's range shows that formula.
    void borrowArrayFormula() {
        if (arrays_.empty() || (hasFormula_ && !formula_.empty())) return;
        if (const std::string* shown = arrays_.covering(position())) {
            formula_ = *shown;
            hasFormula_ = true;
        }
    }

    // The value first: a hit shows the value text when both match.
    bool cellMatches() {
        if (valueMatches()) return true;
        borrowArrayFormula();
        if (!hasFormula_ || formula_.empty()) return false;
        display_.clear();
        display_.push_back('=');
        if (context_.externalBooks != nullptr && formula_.find('[') != std::string::npos) {
            scratch_.clear();
            appendWithExternalBooks(formula_, *context_.externalBooks, scratch_);
            appendFormulaWithoutFuturePrefixes(scratch_, display_);
        } else {
            appendFormulaWithoutFuturePrefixes(formula_, display_);
        }
        return cells_.formula(display_);
    }

    XmlPullTokenizer tokens_;
    const WorksheetContext& context_;
    CellText cells_;
    const bool numbersCanMatch_;
    const bool datesCanMatch_;

    std::uint32_t currentRow_ = 0;
    std::uint32_t nextRow_ = 0;
    bool previousCellInRow_ = false;

    bool inCell_ = false;
    CellPosition cell_;  // valid when positionKnown_, else reference_ holds the cell's r
    bool positionKnown_ = true;
    char reference_[16] = {};
    std::size_t referenceLength_ = 0;
    CellType type_ = CellType::Number;
    std::size_t style_ = 0;
    bool hasFormula_ = false;
    std::optional<std::uint32_t> sharedIndex_;
    std::optional<std::pair<CellPosition, CellPosition>> arrayRange_;
    bool inInlineString_ = false;
    int phoneticDepth_ = 0;
    std::string* collecting_ = nullptr;
    std::string value_;
    std::string inlineText_;
    std::string formula_;
    std::string display_;
    std::string scratch_;
    std::string referenceStorage_;
    std::string typeStorage_;
    std::unordered_map<std::uint32_t, SharedFormulaMaster> sharedMasters_;
    OpenArrayFormulas arrays_;  // those whose range reaches this row or later
};

}  // namespace

Status searchWorksheet(XmlPullTokenizer::Source source, const WorksheetContext& context,
                       HitSink& sink) {
    return WorksheetScanner(std::move(source), context, sink).run();
}

}  // namespace quillmark::engine
