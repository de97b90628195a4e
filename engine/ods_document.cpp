// The two passes over the content document: the table names (and which table styles hide a
// table), and the first match of each table.
// Repeated rows and cells (number-rows-repeated, number-columns-repeated) only move the
// position: a cell repeated a billion times is tested once.
#include "ods_document.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "matcher.h"
#include "ods_formula.h"
#include "xml_parser.h"

namespace quillmark::engine {
namespace {

constexpr std::uint64_t kLastPosition = 0xFFFFFFFFu;

std::uint64_t parseCount(const char* text) {
    if (text == nullptr) return 1;
    std::uint64_t value = 0;
    std::string_view view(text);
    auto result = std::from_chars(view.data(), view.data() + view.size(), value);
    if (result.ec == std::errc::result_out_of_range) return kLastPosition;
    return (result.ec != std::errc() || value == 0) ? 1 : std::min(value, kLastPosition);
}

// Drawing shapes, comments and similar objects may sit inside a cell with paragraphs of
// their own; their text is not the cell's.
bool isForeignObject(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "annotation", "frame",    "custom-shape", "rect",      "line",    "ellipse", "circle",
        "polygon",    "polyline", "path",         "connector", "caption", "measure", "control",
        "g",          "note",     "ruby-text",    "table"};  // a table inside a cell is part of
                                                             // that cell, not a sheet
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

class SheetListHandler : public XmlHandler {
  public:
    explicit SheetListHandler(std::vector<SheetInfo>& sheets) : sheets_(sheets) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "style") {
            const char* styleName = attributes.find("name");
            const char* family = attributes.find("family");
            tableStyle_ =
                (family != nullptr && std::string_view(family) == "table" && styleName != nullptr)
                    ? styleName
                    : "";
        } else if (name == "table-properties" && !tableStyle_.empty()) {
            const char* display = attributes.find("display");
            if (display != nullptr && std::string_view(display) == "false")
                hiddenStyles_.insert(tableStyle_);
        } else if (name == "table-cell" || name == "covered-table-cell") {
            ++cellDepth_;
        } else if (name == "table" && cellDepth_ == 0) {
            const char* tableName = attributes.find("name");
            const char* style = attributes.find("style-name");
            SheetInfo sheet{tableName != nullptr ? tableName : "", SheetKind::Worksheet, false};
            sheet.hidden = style != nullptr && hiddenStyles_.count(style) > 0;
            sheets_.push_back(std::move(sheet));
        }
    }
    void endElement(std::string_view name) override {
        if (name == "style") tableStyle_.clear();
        if ((name == "table-cell" || name == "covered-table-cell") && cellDepth_ > 0) --cellDepth_;
    }
    void characters(std::string_view) override {}

  private:
    std::vector<SheetInfo>& sheets_;
    std::set<std::string, std::less<>> hiddenStyles_;
    std::string tableStyle_;
    int cellDepth_ = 0;
};

class SearchHandler : public SheetSearchHandler {
  public:
    SearchHandler(const Matcher& matcher, std::vector<std::optional<CellPosition>>& found)
        : matcher_(matcher),
          found_(found),
          spaceCap_(std::max<std::size_t>(matcher.keyword().size() + 1, 8)) {}

    std::size_t sheetsCompleted() const override { return tablesCompleted_; }

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (skipDepth_ > 0 || (inCell_ && isForeignObject(name))) {
            ++skipDepth_;
            return;
        }
        if (inCell_) {
            cellContent(name, attributes);
        } else if (name == "table-cell" || name == "covered-table-cell") {
            startCell(attributes);
        } else if (name == "table-row") {
            row_ = nextRow_;
            rowRepeat_ = parseCount(attributes.find("number-rows-repeated"));
            nextColumn_ = 0;
        } else if (name == "table") {
            found_.emplace_back();
            nextRow_ = 0;
            inTable_ = true;
        }
    }

    void endElement(std::string_view name) override {
        if (skipDepth_ > 0) {
            --skipDepth_;
            return;
        }
        if (inCell_) {
            if (name == "p" || name == "h") {
                if (paragraphDepth_ > 0) --paragraphDepth_;
            } else if (name == "table-cell" || name == "covered-table-cell") {
                endCell();
            }
        } else if (name == "table-row") {
            nextRow_ = std::min(row_ + rowRepeat_, kLastPosition);
        } else if (name == "table" && inTable_) {
            inTable_ = false;
            ++tablesCompleted_;
        }
    }

    void characters(std::string_view text) override {
        if (inCell_ && paragraphDepth_ > 0 && skipDepth_ == 0 && !tableDone()) text_.append(text);
    }

  private:
    bool tableDone() const { return found_.empty() || found_.back().has_value(); }

    void startCell(const XmlAttributes& attributes) {
        column_ = nextColumn_;
        nextColumn_ = std::min(column_ + parseCount(attributes.find("number-columns-repeated")),
                               kLastPosition);
        inCell_ = true;
        paragraphs_ = 0;
        paragraphDepth_ = 0;
        text_.clear();
        extraValues_.clear();
        formula_.clear();
        if (tableDone()) return;
        if (const char* formula = attributes.find("formula"))
            appendOdsFormulaAsDisplayed(formula, formula_);
        for (const char* valueName : {"value", "date-value", "time-value", "string-value"}) {
            if (const char* value = attributes.find(valueName)) {
                extraValues_.append(value);
                extraValues_ += '\0';
            }
        }
        if (const char* boolean = attributes.find("boolean-value")) {
            extraValues_.append(std::string_view(boolean) == "true" ? "TRUE" : "FALSE");
            extraValues_ += '\0';
        }
    }

    // Paragraph content (OpenDocument 6.1): text:s is a run of spaces, text:tab and
    // text:line-break stand for their characters, spans and links only wrap text.
    void cellContent(std::string_view name, const XmlAttributes& attributes) {
        if (tableDone()) return;
        if (name == "p" || name == "h") {
            if (paragraphDepth_ == 0 && paragraphs_++ > 0) text_ += '\n';
            ++paragraphDepth_;
        } else if (paragraphDepth_ == 0) {
            return;
        } else if (name == "s") {
            text_.append(std::min<std::uint64_t>(parseCount(attributes.find("c")), spaceCap_), ' ');
        } else if (name == "tab") {
            text_ += '\t';
        } else if (name == "line-break") {
            text_ += '\n';
        }
    }

    void endCell() {
        inCell_ = false;
        if (tableDone() || !cellMatches()) return;
        found_.back() = CellPosition{static_cast<std::uint32_t>(std::min(row_, kLastPosition)),
                                     static_cast<std::uint32_t>(column_)};
    }

    bool cellMatches() const {
        if (!formula_.empty() && matcher_.matches(formula_)) return true;
        if (matcher_.matches(text_)) return true;
        std::string_view values(extraValues_);
        while (!values.empty()) {
            std::size_t end = values.find('\0');
            if (matcher_.matches(values.substr(0, end))) return true;
            values.remove_prefix(end + 1);
        }
        return false;
    }

    const Matcher& matcher_;
    std::vector<std::optional<CellPosition>>& found_;
    const std::size_t spaceCap_;  // a longer run of spaces matches no differently
    std::size_t tablesCompleted_ = 0;
    bool inTable_ = false;
    std::uint64_t row_ = 0, rowRepeat_ = 1, nextRow_ = 0;
    std::uint64_t column_ = 0, nextColumn_ = 0;
    bool inCell_ = false;
    int skipDepth_ = 0;
    int paragraphDepth_ = 0;
    int paragraphs_ = 0;
    std::string text_;
    std::string formula_;
    std::string extraValues_;  // office:value and friends, each ended by a NUL
};

}  // namespace

ReaderOutcome openOdsContent(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                             DocumentParse parse) {
    XmlWorkbookFormat format;
    format.parse = std::move(parse);
    format.makeSheetList = [](std::vector<SheetInfo>& sheets) {
        return std::make_unique<SheetListHandler>(sheets);
    };
    format.makeSearch = [](const Matcher& matcher,
                           std::vector<std::optional<CellPosition>>& found) {
        return std::make_unique<SearchHandler>(matcher, found);
    };
    return openXmlWorkbook(std::move(data), std::move(zip), std::move(format));
}

}  // namespace quillmark::engine
