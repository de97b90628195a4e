// Reads <workbookPr date1904> and <sheets><sheet name state r:id/></sheets>; everything else
// in the workbook part (defined names, views, pivot caches) is of no use to a search.
#include "engine/xlsx/xlsx_workbook_part.h"

#include "engine/container/zip_archive.h"
#include "engine/xml/xml_parser.h"

namespace quillmark::engine {
namespace {

constexpr std::size_t kMaxWorkbookPartBytes = 64u << 20;

bool isTrue(const char* value) {
    std::string_view text(value);
    return text == "1" || text == "true" || text == "on";
}

class WorkbookHandler : public XmlHandler {
  public:
    explicit WorkbookHandler(WorkbookPart& out) : out_(out) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "workbookPr") {
            const char* date1904 = attributes.find("date1904");
            out_.date1904 = date1904 != nullptr && isTrue(date1904);
        } else if (name == "sheet") {
            WorkbookSheetEntry sheet;
            const char* sheetName = attributes.find("name");
            const char* state = attributes.find("state");
            const char* id = attributes.find("id");  // r:id in either namespace
            sheet.name = sheetName != nullptr ? sheetName : "";
            sheet.relationshipId = id != nullptr ? id : "";
            std::string_view stateText = state != nullptr ? state : "";
            sheet.hidden = stateText == "hidden" || stateText == "veryHidden";
            out_.sheets.push_back(std::move(sheet));
        } else if (name == "externalReference") {
            const char* id = attributes.find("id");
            out_.externalReferenceIds.push_back(id != nullptr ? id : "");
        }
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}

  private:
    WorkbookPart& out_;
};

}  // namespace

Outcome<WorkbookPart> readWorkbookPart(const ZipArchive& zip, const std::string& partName) {
    auto text = zip.readPart(partName, kMaxWorkbookPartBytes);
    if (!text) return text.failure();
    WorkbookPart part;
    WorkbookHandler handler(part);
    XmlParser parser(handler);
    const std::string& bytes = text.value();
    Status parsed =
        parser.parse(Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!parsed) return Failure{parsed.failure().kind, partName + ": " + parsed.failure().reason};
    return part;
}

}  // namespace quillmark::engine
