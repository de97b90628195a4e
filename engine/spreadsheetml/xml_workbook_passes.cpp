// The two-pass reader. Answers are cached for the last keyword, so searching each sheet of
// the workbook in turn costs one parse.
#include "engine/spreadsheetml/xml_workbook_passes.h"

#include "engine/core/matcher.h"

namespace quillmark::engine {
namespace {

class XmlWorkbookReader : public WorkbookReader {
  public:
    XmlWorkbookReader(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                      XmlWorkbookFormat format)
        : data_(std::move(data)), zip_(std::move(zip)), format_(std::move(format)) {}

    Status load() {
        auto handler = format_.makeSheetList(sheets_);
        return format_.parse(*handler);
    }

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

    Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex,
                                                   const Matcher& matcher) override {
        if (sheetIndex >= sheets_.size())
            return fail(FailureKind::NoSuchSheet, "no sheet at that position");
        if (matcher.matchesNothing()) return std::optional<CellPosition>();
        if (!searched_ || searchedKeyword_ != matcher.keyword()) search(matcher);
        if (sheetIndex < found_.size() && sheetIndex < sheetsCompleted_) return found_[sheetIndex];
        if (searchFailure_) return *searchFailure_;
        return fail(FailureKind::Corrupt, "the sheet went missing between two reads");
    }

  private:
    void search(const Matcher& matcher) {
        found_.clear();
        searchFailure_.reset();
        auto handler = format_.makeSearch(matcher, found_);
        Status parsed = format_.parse(*handler);
        if (!parsed) searchFailure_ = parsed.failure();
        sheetsCompleted_ = handler->sheetsCompleted();
        searched_ = true;
        searchedKeyword_ = matcher.keyword();
    }

    std::shared_ptr<const FileData> data_;
    std::unique_ptr<ZipArchive> zip_;
    XmlWorkbookFormat format_;
    std::vector<SheetInfo> sheets_;
    bool searched_ = false;
    std::string searchedKeyword_;
    std::vector<std::optional<CellPosition>> found_;
    std::size_t sheetsCompleted_ = 0;
    std::optional<Failure> searchFailure_;
};

}  // namespace

ReaderOutcome openXmlWorkbook(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                              XmlWorkbookFormat format) {
    auto reader =
        std::make_unique<XmlWorkbookReader>(std::move(data), std::move(zip), std::move(format));
    Status loaded = reader->load();
    if (!loaded) return loaded.failure();
    return std::unique_ptr<WorkbookReader>(std::move(reader));
}

}  // namespace quillmark::engine
