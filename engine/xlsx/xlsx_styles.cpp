// The styles part: numFmts first (custom codes by id), then cellXfs (a numFmtId per format).
// cellStyleXfs are master formats that cells do not index, so they are skipped.
#include "engine/xlsx/xlsx_styles.h"

#include <charconv>
#include <unordered_map>

#include "engine/cell/number_format.h"
#include "engine/container/zip_archive.h"
#include "engine/xml/xml_parser.h"

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
