// SpreadsheetML 2003 (the XML Spreadsheet format, namespace
// urn:schemas-microsoft-com:office:spreadsheet, often saved as .xls or .xml): Worksheet
// ss:Name, Table/Row/Cell with optional ss:Index, Cell ss:Formula in R1C1 form, and Data
// (ss:Data may hold HTML-like rich text whose text runs are joined).
#include <algorithm>
#include <charconv>

#include "matcher.h"
#include "readers.h"
#include "xml_workbook_passes.h"

namespace quillmark::engine {
namespace {

constexpr std::uint64_t kLastPosition = 0xFFFFFFFFu;

// A 1-based ss:Index or a count such as ss:Span; nothing when absent or unreadable.
std::optional<std::uint64_t> parseNumber(const char* text) {
    if (text == nullptr) return std::nullopt;
    std::uint64_t value = 0;
    std::string_view view(text);
    auto result = std::from_chars(view.data(), view.data() + view.size(), value);
    if (result.ec == std::errc::result_out_of_range) return kLastPosition;
    if (result.ec != std::errc()) return std::nullopt;
    return std::min(value, kLastPosition);
}

// WorksheetOptions/Visible (in the x: namespace) hides a sheet; it comes after the Table.
class SheetListHandler : public XmlHandler {
  public:
    explicit SheetListHandler(std::vector<SheetInfo>& sheets) : sheets_(sheets) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "Worksheet") {
            const char* sheetName = attributes.find("Name");
            sheets_.push_back(
                SheetInfo{sheetName != nullptr ? sheetName : "", SheetKind::Worksheet, false});
        } else if (name == "Visible" && !sheets_.empty()) {
            inVisible_ = true;
            visible_.clear();
        }
    }
    void endElement(std::string_view name) override {
        if (name == "Visible" && inVisible_) {
            inVisible_ = false;
            sheets_.back().hidden = visible_ == "SheetHidden" || visible_ == "SheetVeryHidden";
        }
    }
    void characters(std::string_view text) override {
        if (inVisible_ && visible_.size() < 64) visible_.append(text);
    }

  private:
    std::vector<SheetInfo>& sheets_;
    bool inVisible_ = false;
    std::string visible_;
};

class SearchHandler : public SheetSearchHandler {
  public:
    SearchHandler(const Matcher& matcher, std::vector<std::optional<CellPosition>>& found)
        : matcher_(matcher), found_(found) {}

    std::size_t sheetsCompleted() const override { return completed_; }

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (skipDepth_ > 0 || (inCell_ && name == "Comment")) {
            ++skipDepth_;
        } else if (name == "Worksheet") {
            found_.emplace_back();
            inWorksheet_ = true;
            nextRow_ = 0;
        } else if (!inWorksheet_ || sheetDone()) {
            return;
        } else if (name == "Row") {
            auto index = parseNumber(attributes.find("Index"));
            row_ = (index && *index >= 1) ? *index - 1 : nextRow_;
            nextRow_ = std::min(row_ + 1 + parseNumber(attributes.find("Span")).value_or(0),
                                kLastPosition);
            nextColumn_ = 0;
        } else if (name == "Cell") {
            startCell(attributes);
        } else if (name == "Data" && inCell_) {
            ++dataDepth_;
            const char* type = attributes.find("Type");
            boolean_ = type != nullptr && std::string_view(type) == "Boolean";
        } else if (dataDepth_ > 0) {
            ++dataDepth_;  // rich text markup inside ss:Data
        }
    }

    void endElement(std::string_view name) override {
        if (skipDepth_ > 0) {
            --skipDepth_;
        } else if (name == "Worksheet" && inWorksheet_) {
            inWorksheet_ = false;
            ++completed_;
        } else if (dataDepth_ > 0) {
            --dataDepth_;
        } else if (name == "Cell" && inCell_) {
            endCell();
        }
    }

    void characters(std::string_view text) override {
        if (dataDepth_ > 0 && skipDepth_ == 0) text_.append(text);
    }

  private:
    bool sheetDone() const { return found_.back().has_value(); }

    // A cell without ss:Index follows the previous one, past any cells it spans.
    void startCell(const XmlAttributes& attributes) {
        auto index = parseNumber(attributes.find("Index"));
        column_ = (index && *index >= 1) ? *index - 1 : nextColumn_;
        nextColumn_ = std::min(
            column_ + 1 + parseNumber(attributes.find("MergeAcross")).value_or(0), kLastPosition);
        inCell_ = true;
        text_.clear();
        formula_.clear();
        boolean_ = false;
        if (const char* formula = attributes.find("Formula")) {
            if (formula[0] != '=') formula_ = "=";
            formula_ += formula;
        }
    }

    void endCell() {
        inCell_ = false;
        if (boolean_ && (text_ == "1" || text_ == "0")) text_ = text_ == "1" ? "TRUE" : "FALSE";
        if ((!formula_.empty() && matcher_.matches(formula_)) || matcher_.matches(text_))
            found_.back() =
                CellPosition{static_cast<std::uint32_t>(row_), static_cast<std::uint32_t>(column_)};
    }

    const Matcher& matcher_;
    std::vector<std::optional<CellPosition>>& found_;
    std::size_t completed_ = 0;
    bool inWorksheet_ = false;
    std::uint64_t row_ = 0, nextRow_ = 0, column_ = 0, nextColumn_ = 0;
    bool inCell_ = false;
    bool boolean_ = false;
    int dataDepth_ = 0;
    int skipDepth_ = 0;
    std::string text_;
    std::string formula_;
};

}  // namespace

ReaderOutcome openSpreadsheetMl(std::shared_ptr<const FileData> data) {
    const FileData* bytes = data.get();
    XmlWorkbookFormat format;
    format.parse = [bytes](XmlHandler& handler) -> Status {
        XmlParser parser(handler);
        return parser.parse(bytes->bytes());
    };
    format.makeSheetList = [](std::vector<SheetInfo>& sheets) {
        return std::make_unique<SheetListHandler>(sheets);
    };
    format.makeSearch = [](const Matcher& matcher,
                           std::vector<std::optional<CellPosition>>& found) {
        return std::make_unique<SearchHandler>(matcher, found);
    };
    return openXmlWorkbook(std::move(data), nullptr, std::move(format));
}

}  // namespace quillmark::engine
