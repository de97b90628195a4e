// SpreadsheetML 2003 (the XML Spreadsheet format, namespace
// urn:schemas-microsoft-com:office:spreadsheet, often saved as .xls or .xml): Worksheet
// ss:Name, Table/Row/Cell with optional ss:Index, Cell ss:Formula in R1C1 form, and Data
// (ss:Data may hold HTML-like rich text whose text runs are joined). Styles/Style
// NumberFormat ss:Format says which cells show their number as a date.
#include <algorithm>
#include <charconv>
#include <set>

#include "engine/cell/cell_text.h"
#include "engine/cell/number_format.h"
#include "engine/readers.h"
#include "engine/spreadsheetml/r1c1_formula.h"
#include "engine/spreadsheetml/xml_workbook_passes.h"
#include "engine/xml/pull_parse.h"

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

// The named formats that show dates or times; any other is a format code.
bool isDateFormat(std::string_view format) {
    static constexpr std::string_view kNamedDates[] = {"General Date", "Long Date", "Medium Date",
                                                       "Short Date",   "Long Time", "Medium Time",
                                                       "Short Time"};
    for (std::string_view named : kNamedDates)
        if (format == named) return true;
    static constexpr std::string_view kNamedNumbers[] = {
        "General", "General Number", "Currency", "Euro Currency", "Fixed", "Standard",
        "Percent", "Scientific",     "Yes/No",   "True/False",    "On/Off"};
    for (std::string_view named : kNamedNumbers)
        if (format == named) return false;
    return isDateFormatCode(format);
}

// Data ss:Type="DateTime" holds "yyyy-mm-ddThh:mm:ss.sss"; as a 1900-system serial.
std::optional<double> isoDateTimeSerial(std::string_view text) {
    auto number = [&](std::size_t at, std::size_t length) -> std::optional<int> {
        int value = 0;
        if (at + length > text.size()) return std::nullopt;
        auto result = std::from_chars(text.data() + at, text.data() + at + length, value);
        if (result.ec != std::errc() || result.ptr != text.data() + at + length)
            return std::nullopt;
        return value;
    };
    auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
    int seconds = 0;
    if (text.size() >= 19 && text[10] == 'T') {
        auto hours = number(11, 2), minutes = number(14, 2), rest = number(17, 2);
        if (!hours || !minutes || !rest) return std::nullopt;
        seconds = *hours * 3600 + *minutes * 60 + *rest;
    }
    // Days since 1 March of year 0 (proleptic Gregorian), then relative to 30 December 1899.
    int shiftedYear = *year - (*month <= 2 ? 1 : 0);
    int shiftedMonth = (*month + 9) % 12;
    long days = 365L * shiftedYear + shiftedYear / 4 - shiftedYear / 100 + shiftedYear / 400 +
                (153 * shiftedMonth + 2) / 5 + *day - 1;
    constexpr long kDaysTo30December1899 = 693899;
    double serial = static_cast<double>(days - kDaysTo30December1899);
    if (serial < 61) serial -= 1;  // before the 1900 system's 29 February
    return serial + seconds / 86400.0;
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
    SearchHandler(const Matcher& matcher, SheetHits& hits) : hits_(hits), cells_(matcher, hits) {}

    std::size_t sheetsCompleted() const override { return completed_; }

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (skipDepth_ > 0 || (inCell_ && name == "Comment")) {
            ++skipDepth_;
        } else if (name == "Style" && !inWorksheet_) {
            startStyle(attributes);
        } else if (name == "NumberFormat" && !inWorksheet_ && !styleId_.empty()) {
            const char* format = attributes.find("Format");
            bool isDate = format != nullptr && isDateFormat(format);
            if (isDate) dateStyles_.insert(styleId_);
            if (!isDate) dateStyles_.erase(styleId_);  // its own format, not its parent's
        } else if (name == "Worksheet") {
            hits_.startSheet();
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
            std::string_view typeName = type != nullptr ? type : "";
            boolean_ = typeName == "Boolean";
            number_ = typeName == "Number";
            dateTime_ = typeName == "DateTime";
        } else if (dataDepth_ > 0) {
            ++dataDepth_;  // rich text markup inside ss:Data
        }
    }

    void endElement(std::string_view name) override {
        if (skipDepth_ > 0) {
            --skipDepth_;
        } else if (name == "Style" && !inWorksheet_) {
            styleId_.clear();
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
    bool sheetDone() const { return !hits_.wantsMore(); }

    // A style without a NumberFormat of its own takes its ss:Parent's.
    void startStyle(const XmlAttributes& attributes) {
        const char* id = attributes.find("ID");
        styleId_ = id != nullptr ? id : "";
        const char* parent = attributes.find("Parent");
        if (!styleId_.empty() && parent != nullptr && dateStyles_.count(parent) > 0)
            dateStyles_.insert(styleId_);
    }

    // A cell without ss:Index follows the previous one, past any cells it spans.
    void startCell(const XmlAttributes& attributes) {
        auto index = parseNumber(attributes.find("Index"));
        column_ = (index && *index >= 1) ? *index - 1 : nextColumn_;
        nextColumn_ = std::min(
            column_ + 1 + parseNumber(attributes.find("MergeAcross")).value_or(0), kLastPosition);
        inCell_ = true;
        text_.clear();
        formula_.clear();
        boolean_ = number_ = dateTime_ = false;
        const char* style = attributes.find("StyleID");
        dateStyle_ = style != nullptr && !dateStyles_.empty() && dateStyles_.count(style) > 0;
        if (const char* formula = attributes.find("Formula")) {
            if (formula[0] != '=') formula_ = "=";
            appendR1C1FormulaAsA1(formula, static_cast<std::uint32_t>(row_),
                                  static_cast<std::uint32_t>(column_), formula_);
        }
    }

    void endCell() {
        inCell_ = false;
        if (boolean_ && (text_ == "1" || text_ == "0")) text_ = text_ == "1" ? "TRUE" : "FALSE";
        if (valueMatches() || (!formula_.empty() && cells_.formula(formula_)))
            cells_.report(CellPosition{static_cast<std::uint32_t>(row_),
                                       static_cast<std::uint32_t>(column_)});
    }

    // A date (DateTime data, or a number with a date style) is searched as the date a person
    // would type, not as its stored form; everything else as written.
    bool valueMatches() {
        std::optional<double> serial;
        if (dateTime_) {
            serial = isoDateTimeSerial(text_);
        } else if (number_ && dateStyle_) {
            double value = 0;
            auto result = std::from_chars(text_.data(), text_.data() + text_.size(), value);
            if (result.ec == std::errc()) serial = value;
        }
        return cells_.dateOrText(serial, DateEpoch::Excel1900, text_);
    }

    SheetHits& hits_;
    CellText cells_;
    std::size_t completed_ = 0;
    bool inWorksheet_ = false;
    std::uint64_t row_ = 0, nextRow_ = 0, column_ = 0, nextColumn_ = 0;
    bool inCell_ = false;
    bool boolean_ = false, number_ = false, dateTime_ = false, dateStyle_ = false;
    std::set<std::string, std::less<>> dateStyles_;  // ss:ID of the styles that show dates
    std::string styleId_;                            // of the Style being read
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
        return parser.parse(*bytes);
    };
    format.quickParse = [bytes](XmlHandler& handler) {
        return parseWithPullTokenizer(*bytes, handler);
    };
    format.makeSheetList = [](std::vector<SheetInfo>& sheets) {
        return std::make_unique<SheetListHandler>(sheets);
    };
    format.makeSearch = [](const Matcher& matcher, SheetHits& hits) {
        return std::make_unique<SearchHandler>(matcher, hits);
    };
    return openXmlWorkbook(std::move(data), nullptr, std::move(format));
}

}  // namespace quillmark::engine
