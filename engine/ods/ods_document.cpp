// Opening lists the sheets (and which table styles hide one) in a quick pass that reads the
// styles and skips every sheet's content unread; a search then reads the content with one
// cursor per keyword, which stops as soon as the sheet asked for is decided. In memory, a
// sheet whose raw bytes prove that no cell can match is not read at all; content that streams
// is looked at whole once per keyword, and not read when no cell of it can match.
#include "engine/ods/ods_document.h"

#include <algorithm>
#include <set>

#include "engine/core/cancel.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/ods/ods_cell_search.h"
#include "engine/ods/ods_layout.h"
#include "engine/ods/ods_sheet_skip.h"

namespace quillmark::engine {
namespace {

// The sheet list: table:table names in document order, hidden when their style's
// style:table-properties say table:display="false" (OpenDocument 17.15 and 19.627).
class SheetList {
  public:
    explicit SheetList(XmlPullTokenizer tokens) : tokens_(std::move(tokens)) {}

    // Where each sheet's start tag is, when the content is in memory.
    std::vector<std::optional<XmlPullTokenizer::Mark>> takeMarks() { return std::move(marks_); }

    Outcome<std::vector<SheetInfo>> read() {
        for (;;) {
            switch (tokens_.next()) {
                case XmlToken::StartElement:
                    ++depth_;
                    startElement();
                    break;
                case XmlToken::EndElement:
                    if (depth_ == 2) inStyles_ = false;
                    if (depth_ == 3) tableStyle_.clear();
                    if (depth_ == kOdsSpreadsheetDepth && !inStyles_) return std::move(sheets_);
                    --depth_;
                    break;
                case XmlToken::Text:
                    break;
                case XmlToken::EndOfDocument:
                    return std::move(sheets_);
                case XmlToken::Error:
                    return tokens_.failure();
            }
        }
    }

  private:
    void startElement() {
        std::string_view name = tokens_.name();
        if (depth_ == 2 && (name == "automatic-styles" || name == "styles")) {
            inStyles_ = true;
        } else if (inStyles_ && depth_ == 3 && name == "style") {
            auto family = tokens_.attribute("family", storage_);
            bool isTable = family && *family == "table";
            auto styleName = tokens_.attribute("name", storage_);
            tableStyle_ = isTable && styleName ? std::string(*styleName) : std::string();
            if (tableStyle_.empty()) skipElement();
        } else if (inStyles_ && depth_ == 4 && name == "table-properties") {
            auto display = tokens_.attribute("display", storage_);
            if (display && *display == "false") hiddenStyles_.insert(tableStyle_);
            skipElement();
        } else if (!inStyles_ && depth_ == kOdsSheetDepth && name == "table") {
            auto sheetName = tokens_.attribute("name", storage_);
            SheetInfo sheet{sheetName ? std::string(*sheetName) : "", SheetKind::Worksheet, false};
            auto style = tokens_.attribute("style-name", storage_);
            sheet.hidden = style && hiddenStyles_.count(*style) > 0;
            sheets_.push_back(std::move(sheet));
            marks_.push_back(tokens_.markBeforeStartTag());
            skipElement();
        } else if (inStyles_ || !isOnPathToOdsSheets(depth_, name)) {
            skipElement();
        }
    }

    void skipElement() {
        if (tokens_.skipUntilOpenElements(depth_ - 1)) --depth_;  // else next() reports why
    }

    XmlPullTokenizer tokens_;
    std::vector<SheetInfo> sheets_;
    std::vector<std::optional<XmlPullTokenizer::Mark>> marks_;
    std::set<std::string, std::less<>> hiddenStyles_;
    std::string tableStyle_;
    std::string storage_;
    std::size_t depth_ = 0;
    bool inStyles_ = false;
};

class OdsReader : public WorkbookReader {
  public:
    OdsReader(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
              OpenOdsContent open, std::string partName, OpenOdsBytes bytes)
        : data_(std::move(data)),
          zip_(std::move(zip)),
          open_(std::move(open)),
          bytes_(std::move(bytes)),
          partName_(std::move(partName)) {}

    Status load() {
        auto source = open_();
        if (!source) return named(source.failure());
        SheetList list(std::move(source.value()));
        auto sheets = list.read();
        if (!sheets) return named(sheets.failure());
        sheets_ = std::move(sheets.value());
        marks_ = list.takeMarks();
        inMemory_ =
            !marks_.empty() && std::all_of(marks_.begin(), marks_.end(),
                                           [](const auto& mark) { return mark.has_value(); });
        return Done{};
    }

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  protected:
    // Sheets searched in turn share one cursor. A sheet passed before gives its kept first
    // hit; the rest of its hits need a fresh cursor, which then serves later sheets too. In
    // memory that cursor starts at the sheet's own start tag and takes over what the old one
    // decided about the sheets before it; a stream is read again from its start.
    // A sheet that cannot match gives no hits; the sheets before it are passed first, as the
    // cursor would pass them on its way, so that a failure there is reported as before.
    Status searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) override {
        if (streamedCannotMatch(matcher)) {
            // As the cursor would, a search asks the cancel token before it reads a sheet.
            if (cancelRequested())
                return named(Failure{FailureKind::Cancelled, "search cancelled"});
            return Done{};
        }
        if (skipsFor(matcher)) {
            Status passed = passSheetsBefore(sheetIndex, matcher);
            if (!passed) return passed;
            if (cannotMatch(sheetIndex)) {
                // The cursor would have asked the cancel token as it began the sheet.
                if (search_->sheetsDecided() == sheetIndex && cancelRequested())
                    return named(Failure{FailureKind::Cancelled, "search cancelled"});
                return Done{};
            }
        } else if (!search_ || search_->keyword() != matcher.keyword()) {
            Status fresh = restart(matcher, 0);
            if (!fresh) return fresh;
        }
        auto complete = search_->findCells(sheetIndex, matcher, sink);
        if (!complete) return named(complete.failure());
        if (complete.value()) return Done{};
        Status fresh = restart(matcher, sheetIndex);
        if (!fresh) return fresh;
        AfterFirstHit rest(sink);
        auto again = search_->findCells(sheetIndex, matcher, rest);
        if (!again) return named(again.failure());
        return Done{};
    }

  private:
    // Content that streams: whether the whole document's raw bytes rule out every cell for
    // this keyword, decided by one look the first time the keyword is searched.
    bool streamedCannotMatch(const Matcher& matcher) {
        if (inMemory_ || !bytes_) return false;
        if (streamedKeyword_ != matcher.keyword() || !streamedDecided_) {
            streamedKeyword_ = matcher.keyword();
            streamedDecided_ = true;
            const std::string anchor = rawAnchorOf(streamedKeyword_);
            streamedCannotMatch_ = false;
            if (odsSheetSkipMayApply(anchor)) {
                auto source = bytes_();
                streamedCannotMatch_ = source && odsDocumentCannotMatch(source.value(), anchor);
            }
        }
        return streamedCannotMatch_;
    }

    // Whether sheets may be skipped for this keyword; the first call for a keyword sets its
    // anchor and forgets the decisions made for the one before.
    bool skipsFor(const Matcher& matcher) {
        if (!inMemory_) return false;
        if (skipKeyword_ != matcher.keyword() || cannotMatch_.empty()) {
            skipKeyword_ = matcher.keyword();
            anchor_ = rawAnchorOf(skipKeyword_);
            skipMayApply_ = odsSheetSkipMayApply(anchor_);
            cannotMatch_.assign(sheets_.size(), Unknown);
        }
        return skipMayApply_;
    }

    // The raw test over a sheet's bytes, from its start tag to the next sheet's, decided once.
    bool cannotMatch(std::size_t sheetIndex) {
        if (cannotMatch_[sheetIndex] == Unknown) {
            const XmlPullTokenizer::Mark& mark = *marks_[sheetIndex];
            const std::size_t end = sheetIndex + 1 < marks_.size() ? marks_[sheetIndex + 1]->offset
                                                                   : mark.whole->size();
            const std::string_view bytes(reinterpret_cast<const char*>(mark.whole->data()),
                                         mark.whole->size());
            const bool skip =
                odsSheetCannotMatch(bytes.substr(mark.offset, end - mark.offset), anchor_);
            cannotMatch_[sheetIndex] = skip ? Yes : No;
        }
        return cannotMatch_[sheetIndex] == Yes;
    }

    // Leaves a cursor for the keyword that has decided every sheet before `sheetIndex`: a sheet
    // that may match is passed as the cursor passes one it was not asked for (its first hit
    // kept), and a run of sheets that cannot is stepped over by a cursor from the next sheet's
    // mark, which takes no hits for them. A failure on the way is the search's failure.
    Status passSheetsBefore(std::size_t sheetIndex, const Matcher& matcher) {
        if (!search_ || search_->keyword() != matcher.keyword()) {
            Status fresh = restart(matcher, 0);
            if (!fresh) return fresh;
        }
        for (;;) {
            const std::size_t decided = search_->sheetsDecided();
            if (decided >= sheetIndex) return Done{};
            if (!cannotMatch(decided)) {
                std::optional<KeptHit> unused;
                FirstHitKeeper first(unused);
                auto passed = search_->findCells(decided, matcher, first);
                if (!passed) return named(passed.failure());
                continue;
            }
            std::size_t next = decided + 1;
            while (next < sheetIndex && cannotMatch(next)) ++next;
            std::vector<std::optional<KeptHit>> earlier = search_->keptBefore(decided);
            earlier.resize(next);
            search_ =
                std::make_unique<OdsCellSearch>(XmlPullTokenizer(*marks_[next]),
                                                std::string(matcher.keyword()), std::move(earlier));
        }
    }

    Status restart(const Matcher& matcher, std::size_t sheetIndex) {
        if (sheetIndex < marks_.size() && marks_[sheetIndex]) {
            std::vector<std::optional<KeptHit>> earlier;
            if (search_ && search_->keyword() == matcher.keyword() &&
                search_->sheetsDecided() > sheetIndex)
                earlier = search_->keptBefore(sheetIndex);
            if (earlier.size() == sheetIndex) {
                search_ = std::make_unique<OdsCellSearch>(XmlPullTokenizer(*marks_[sheetIndex]),
                                                          std::string(matcher.keyword()),
                                                          std::move(earlier));
                return Done{};
            }
        }
        search_.reset();
        auto source = open_();
        if (!source) return named(source.failure());
        search_ = std::make_unique<OdsCellSearch>(std::move(source.value()),
                                                  std::string(matcher.keyword()));
        return Done{};
    }

    Failure named(const Failure& failure) const {
        if (partName_.empty()) return failure;
        return Failure{failure.kind, partName_ + ": " + failure.reason};
    }

    std::shared_ptr<const FileData> data_;
    std::unique_ptr<ZipArchive> zip_;
    OpenOdsContent open_;
    OpenOdsBytes bytes_;  // content that streams only
    std::string partName_;
    std::string streamedKeyword_;
    bool streamedDecided_ = false, streamedCannotMatch_ = false;
    std::vector<SheetInfo> sheets_;
    std::vector<std::optional<XmlPullTokenizer::Mark>> marks_;  // per sheet, in memory only
    bool inMemory_ = false;                                     // every sheet has its mark
    std::unique_ptr<OdsCellSearch> search_;                     // for the last keyword searched
    // The skip for the keyword last asked with the content in memory.
    enum Decision : signed char { Unknown, Yes, No };
    std::string skipKeyword_;
    std::string anchor_;
    bool skipMayApply_ = false;
    std::vector<Decision> cannotMatch_;  // per sheet
};

}  // namespace

ReaderOutcome openOdsContent(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip,
                             OpenOdsContent open, std::string partName, OpenOdsBytes bytes) {
    auto reader = std::make_unique<OdsReader>(std::move(data), std::move(zip), std::move(open),
                                              std::move(partName), std::move(bytes));
    Status loaded = reader->load();
    if (!loaded) return loaded.failure();
    return std::unique_ptr<WorkbookReader>(std::move(reader));
}

}  // namespace quillmark::engine
