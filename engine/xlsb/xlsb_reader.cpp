// The .xlsb reader ([MS-XLSB]): a zip package of binary record parts. Opening reads the sheet
// list and the formula tables from xl/workbook.bin; the styles are read at the first search
// and the shared strings once per keyword; each search streams one sheet part.
#include <memory>

#include "engine/core/matcher.h"
#include "engine/readers.h"
#include "engine/xlsb/xlsb_sheet_search.h"
#include "engine/xlsb/xlsb_tables.h"
#include "engine/xlsb/xlsb_workbook.h"

namespace quillmark::engine {
namespace {

class XlsbReader : public WorkbookReader {
  public:
    XlsbReader(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
               xlsb::WorkbookPart workbook)
        : data_(std::move(data)), zip_(std::move(zip)), workbook_(std::move(workbook)) {}

    const std::vector<SheetInfo>& sheets() const override { return workbook_.sheets; }

    Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex,
                                                   const Matcher& matcher) override;

  private:
    Status prepare(const Matcher& matcher);

    std::shared_ptr<const FileData> data_;
    std::unique_ptr<ZipArchive> zip_;
    xlsb::WorkbookPart workbook_;
    std::optional<biff::DateStyles> styles_;
    StringTableMatches strings_;
};

// Styles once, shared strings once per keyword. A styles part that cannot be read costs only
// the date texts; shared strings that cannot be read fail the search.
Status XlsbReader::prepare(const Matcher& matcher) {
    if (!styles_) {
        styles_.emplace();
        if (!workbook_.stylesPart.empty()) {
            biff::DateStyles styles;
            if (xlsb::readDateStyles(*zip_, workbook_.stylesPart, styles)) *styles_ = styles;
        }
    }
    if (!strings_.isFor(matcher.keyword()))
        return xlsb::matchSharedStrings(*zip_, workbook_.sharedStringsPart, matcher, strings_);
    return Done{};
}

Outcome<std::optional<CellPosition>> XlsbReader::findFirst(std::size_t sheetIndex,
                                                           const Matcher& matcher) {
    if (sheetIndex >= workbook_.sheets.size())
        return fail(FailureKind::NoSuchSheet, "no sheet at that position");
    // Charts and dialog sheets hold no cells; an empty keyword matches nothing.
    if (matcher.matchesNothing() || !isGridSheet(workbook_.sheets[sheetIndex].kind))
        return std::optional<CellPosition>();
    const std::string& part = workbook_.sheetParts[sheetIndex];
    if (part.empty()) return fail(FailureKind::Corrupt, "sheet has no part in the package");
    Status ready = prepare(matcher);
    if (!ready) return ready.failure();
    auto stream = zip_->openPart(part);
    if (!stream) return stream.failure();
    xlsb::SheetTables tables{workbook_, *styles_, strings_};
    return xlsb::searchSheet(stream.take(), tables, matcher);
}

}  // namespace

ReaderOutcome openXlsb(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip) {
    auto workbook = xlsb::readWorkbookPart(*zip);
    if (!workbook) return workbook.failure();
    return std::unique_ptr<WorkbookReader>(
        new XlsbReader(std::move(data), std::move(zip), workbook.take()));
}

}  // namespace quillmark::engine
