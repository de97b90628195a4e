// The two-pass reader. Answers are cached for the last keyword, so searching each sheet of
// the workbook in turn costs one parse.
#include "engine/spreadsheetml/xml_workbook_passes.h"

#include "engine/cell/kept_hits.h"
#include "engine/core/matcher.h"

namespace quillmark::engine {
namespace {

// The pass that keeps each sheet's first hit.
class FirstHits final : public SheetHits {
  public:
    explicit FirstHits(std::vector<std::optional<KeptHit>>& kept) : kept_(kept) {}
    void startSheet() override { kept_.emplace_back(); }
    bool wantsMore() const override { return !kept_.empty() && !kept_.back(); }
    bool take(const CellHit& hit) override {
        if (!wantsMore()) return false;
        return FirstHitKeeper(kept_.back()).take(hit);
    }

  private:
    std::vector<std::optional<KeptHit>>& kept_;
};

// The pass that hands one sheet's hits after its first to a caller's sink.
class OneSheetHits final : public SheetHits {
  public:
    OneSheetHits(std::size_t sheet, HitSink& sink) : sheet_(sheet), rest_(sink) {}
    void startSheet() override { ++started_; }
    bool wantsMore() const override { return started_ == sheet_ + 1 && !stopped_; }
    bool take(const CellHit& hit) override { return wantsMore() && !(stopped_ = !rest_.take(hit)); }
    bool takeRun(const CellHit& hit, std::uint32_t count) override {
        return wantsMore() && !(stopped_ = !rest_.takeRun(hit, count));
    }

  private:
    std::size_t sheet_;
    std::size_t started_ = 0;
    AfterFirstHit rest_;
    bool stopped_ = false;
};

class XmlWorkbookReader : public WorkbookReader {
  public:
    XmlWorkbookReader(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                      XmlWorkbookFormat format)
        : data_(std::move(data)), zip_(std::move(zip)), format_(std::move(format)) {}

    Status load() {
        auto handler = format_.makeSheetList(sheets_);
        if (quick_) {
            if (auto quick = format_.quickParse(*handler)) return *quick;
            quick_ = false;
            sheets_.clear();
            handler = format_.makeSheetList(sheets_);
        }
        return format_.parse(*handler);
    }

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  protected:
    Status searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) override {
        if (!searched_ || searchedKeyword_ != matcher.keyword()) search(matcher);
        if (sheetIndex >= kept_.size() || sheetIndex >= sheetsCompleted_) {
            if (searchFailure_) return *searchFailure_;
            return fail(FailureKind::Corrupt, "the sheet went missing between two reads");
        }
        const std::optional<KeptHit>& first = kept_[sheetIndex];
        if (!first || !sink.take(first->view())) return Done{};
        std::optional<OneSheetHits> rest;
        auto [handler, parsed] =
            searchPass(matcher, [&]() -> SheetHits& { return rest.emplace(sheetIndex, sink); });
        // Trouble after the sheet's end is another sheet's.
        if (!parsed && handler->sheetsCompleted() > sheetIndex) return Done{};
        return parsed;
    }

  private:
    // One search pass through a handler on fresh hits; quick when the document allows it.
    std::pair<std::unique_ptr<SheetSearchHandler>, Status> searchPass(
        const Matcher& matcher, const std::function<SheetHits&()>& freshHits) {
        if (quick_) {
            auto handler = format_.makeSearch(matcher, freshHits());
            if (auto quick = format_.quickParse(*handler)) return {std::move(handler), *quick};
            quick_ = false;
        }
        auto handler = format_.makeSearch(matcher, freshHits());
        Status parsed = format_.parse(*handler);
        return {std::move(handler), std::move(parsed)};
    }

    void search(const Matcher& matcher) {
        searchFailure_.reset();
        FirstHits hits(kept_);
        auto [handler, parsed] = searchPass(matcher, [&]() -> SheetHits& {
            kept_.clear();
            return hits;
        });
        if (!parsed) searchFailure_ = parsed.failure();
        sheetsCompleted_ = handler->sheetsCompleted();
        searched_ = true;
        searchedKeyword_ = matcher.keyword();
    }

    std::shared_ptr<const FileData> data_;
    std::unique_ptr<ZipArchive> zip_;
    XmlWorkbookFormat format_;
    bool quick_ = static_cast<bool>(format_.quickParse);  // until the document is declined
    std::vector<SheetInfo> sheets_;
    bool searched_ = false;
    std::string searchedKeyword_;
    std::vector<std::optional<KeptHit>> kept_;
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
