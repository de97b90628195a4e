// The styles part: numFmts first (custom codes by id), then cellXfs (a numFmtId per format).
// cellStyleXfs are master formats that cells do not index, so they are skipped.
#include "xlsx_styles.h"

#include <charconv>
#include <unordered_map>

#include "xml_parser.h"
#include "zip_archive.h"

namespace quillmark::engine {
namespace {

int parseId(const char* text) {
    if (text == nullptr) return 0;
    int value = 0;
    std::string_view view(text);
    auto result = std::from_chars(view.data(), view.data() + view.size(), value);
    return result.ec == std::errc() ? value : -1;
}

class StylesHandler : public XmlHandler {
  public:
    explicit StylesHandler(std::vector<bool>& out) : out_(out) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "numFmt") {
            const char* code = attributes.find("formatCode");
            customDate_[parseId(attributes.find("numFmtId"))] =
                code != nullptr && isDateFormatCode(code);
        } else if (name == "cellXfs") {
            inCellFormats_ = true;
        } else if (name == "xf" && inCellFormats_) {
            int id = parseId(attributes.find("numFmtId"));
            auto custom = customDate_.find(id);
            out_.push_back(custom != customDate_.end() ? custom->second : isBuiltinDateFormat(id));
        }
    }
    void endElement(std::string_view name) override {
        if (name == "cellXfs") inCellFormats_ = false;
    }
    void characters(std::string_view) override {}

  private:
    std::vector<bool>& out_;
    std::unordered_map<int, bool> customDate_;
    bool inCellFormats_ = false;
};

}  // namespace

bool isBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool isDateFormatCode(std::string_view code) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (c == '"') {
            std::size_t close = code.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
        } else if (c == '[') {
            std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos) return false;
            // Elapsed-time sections ([h], [mm], [ss]) are times all the same.
            std::string_view inside = code.substr(i + 1, close - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos)
                return true;
            i = close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // the next character is shown as written, or is padding
        } else {
            char lower = static_cast<char>(c | 0x20);
            if (lower == 'd' || lower == 'm' || lower == 'y' || lower == 'h' || lower == 's')
                return true;
        }
    }
    return false;
}

Outcome<std::vector<bool>> readDateStyles(const ZipArchive& zip, const std::string& partName) {
    auto stream = zip.openPart(partName);
    if (!stream) return stream.failure();
    std::vector<bool> dateStyles;
    StylesHandler handler(dateStyles);
    XmlParser parser(handler);
    Status parsed = parser.parse(*stream.value());
    if (!parsed) return Failure{parsed.failure().kind, partName + ": " + parsed.failure().reason};
    return dateStyles;
}

}  // namespace quillmark::engine
