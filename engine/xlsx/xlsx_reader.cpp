// The xlsx reader (.xlsx .xlsm .xltx .xltm .xlam, transitional and strict): the package
// relationships lead to the workbook part, its relationships to the sheets, the shared
// string table and the styles. Sheets are streamed on demand, one search at a time.
#include "engine/core/ascii.h"
#include "engine/core/cancel.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/core/string_table_matches.h"
#include "engine/readers.h"
#include "engine/xlsx/opc_relationships.h"
#include "engine/xlsx/xlsx_shared_strings.h"
#include "engine/xlsx/xlsx_sheet_look.h"
#include "engine/xlsx/xlsx_sheet_skip.h"
#include "engine/xlsx/xlsx_styles.h"
#include "engine/xlsx/xlsx_workbook_part.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"

namespace quillmark::engine {
namespace {

// Sheet kinds follow the relationship that names the sheet's part. Excel 4 macro sheets
// come as "xlMacrosheet" (or "xlIntlMacrosheet") relationships to parts in xl/macrosheets/.
SheetKind sheetKindOf(const Relationship& relationship) {
    const std::string& kind = relationship.kind;
    if (equalsIgnoringAsciiCase(kind, "chartsheet")) return SheetKind::Chart;
    if (equalsIgnoringAsciiCase(kind, "dialogsheet")) return SheetKind::Dialog;
    if (equalsIgnoringAsciiCase(kind, "xlMacrosheet") ||
        equalsIgnoringAsciiCase(kind, "xlIntlMacrosheet") ||
        equalsIgnoringAsciiCase(kind, "macrosheet"))
        return SheetKind::MacroSheet;
    if (relationship.partName.find("macrosheets/") != std::string::npos)
        return SheetKind::MacroSheet;
    return SheetKind::Worksheet;
}

class XlsxReader : public WorkbookReader {
  public:
    XlsxReader(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip)
        : data_(std::move(data)), zip_(std::move(zip)) {}

    Status load();

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  protected:
    Status searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) override;

  private:
    Status prepareSharedStrings(const Matcher& matcher);
    void readExternalBooks(const std::vector<std::string>& ids,
                           const std::vector<Relationship>& list);
    const std::vector<bool>* dateStyles();

    std::shared_ptr<const FileData> data_;
    std::unique_ptr<ZipArchive> zip_;
    std::vector<SheetInfo> sheets_;
    std::vector<std::string> sheetParts_;  // parallel to sheets_; empty when unresolved
    std::string sharedStringsPart_;
    std::string stylesPart_;
    DateEpoch epoch_ = DateEpoch::Excel1900;
    StringTableMatches stringMatches_;
    std::vector<bool> dateStyles_;
    bool stylesLoaded_ = false;
    std::vector<std::string> externalBooks_;
};

Status XlsxReader::load() {
    if (!zip_->contains("[Content_Types].xml"))
        return fail(FailureKind::NotAWorkbook, "the package has no [Content_Types].xml");
    auto packageRelationships = readRelationships(*zip_, "");
    if (!packageRelationships) return packageRelationships.failure();
    const Relationship* office =
        findRelationshipByKind(packageRelationships.value(), "officeDocument");
    std::string workbookPart = office != nullptr ? office->partName : "xl/workbook.xml";
    std::string storedWorkbook = storedPartName(*zip_, workbookPart);
    if (!zip_->contains(storedWorkbook))
        return fail(FailureKind::Corrupt,
                    "the package has no workbook part (" + workbookPart + ")");

    auto workbook = readWorkbookPart(*zip_, storedWorkbook);
    if (!workbook) return workbook.failure();
    auto relationships = readRelationships(*zip_, workbookPart);
    if (!relationships) return relationships.failure();
    const std::vector<Relationship>& list = relationships.value();

    epoch_ = workbook.value().date1904 ? DateEpoch::Excel1904 : DateEpoch::Excel1900;
    for (const WorkbookSheetEntry& entry : workbook.value().sheets) {
        SheetInfo info{entry.name, SheetKind::Worksheet, entry.hidden};
        const Relationship* target = findRelationshipById(list, entry.relationshipId);
        if (target != nullptr && !target->external) info.kind = sheetKindOf(*target);
        sheets_.push_back(std::move(info));
        sheetParts_.push_back(target != nullptr && !target->external
                                  ? storedPartName(*zip_, target->partName)
                                  : std::string());
    }
    readExternalBooks(workbook.value().externalReferenceIds, list);
    if (const Relationship* strings = findRelationshipByKind(list, "sharedStrings"))
        sharedStringsPart_ = storedPartName(*zip_, strings->partName);
    if (const Relationship* styles = findRelationshipByKind(list, "styles"))
        stylesPart_ = storedPartName(*zip_, styles->partName);
    return Done{};
}

// Each external link part (18.14 externalLink) points at its book through an external
// relationship; a book that cannot be resolved keeps its number.
void XlsxReader::readExternalBooks(const std::vector<std::string>& ids,
                                   const std::vector<Relationship>& list) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::string book = std::to_string(i + 1);
        const Relationship* link = findRelationshipById(list, ids[i]);
        if (link != nullptr && !link->external) {
            auto linkRelationships = readRelationships(*zip_, link->partName);
            if (linkRelationships) {
                for (const Relationship& target : linkRelationships.value())
                    if (target.external) book = target.partName;
            }
        }
        externalBooks_.push_back(std::move(book));
    }
}

Status XlsxReader::prepareSharedStrings(const Matcher& matcher) {
    if (sharedStringsPart_.empty() || stringMatches_.isFor(matcher.keyword())) return Done{};
    if (!zip_->contains(sharedStringsPart_)) {
        sharedStringsPart_.clear();  // a dangling relationship: no table
        return Done{};
    }
    return matchSharedStrings(*zip_, sharedStringsPart_, matcher, stringMatches_);
}

// Date flags are a convenience: a styles part we cannot read only costs the date texts.
const std::vector<bool>* XlsxReader::dateStyles() {
    if (!stylesLoaded_) {
        stylesLoaded_ = true;
        if (!stylesPart_.empty() && zip_->contains(stylesPart_)) {
            auto styles = readDateStyles(*zip_, stylesPart_);
            if (styles) dateStyles_ = styles.take();
        }
    }
    return dateStyles_.empty() ? nullptr : &dateStyles_;
}

// Counts the hits that pass through, so that a resumed read that failed can be redone in full
// only when nothing was handed on.
class CountingSink final : public HitSink {
  public:
    explicit CountingSink(HitSink& sink) : sink_(sink) {}
    bool take(const CellHit& hit) override {
        ++count_;
        return sink_.take(hit);
    }
    bool takeRun(const CellHit& hit, std::uint32_t count) override {
        ++count_;
        return sink_.takeRun(hit, count);
    }
    std::size_t count() const { return count_; }

  private:
    HitSink& sink_;
    std::size_t count_ = 0;
};

// A part whose raw bytes show that no cell can match is inflated but not tokenized; one that
// may match is tokenized from the row where the look stopped proving, when it can be.
Status XlsxReader::searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) {
    const std::string& part = sheetParts_[sheetIndex];
    if (part.empty() || !zip_->contains(part))
        return fail(FailureKind::Corrupt, "the sheet's part is missing from the package");
    Status strings = prepareSharedStrings(matcher);
    if (!strings) return strings.failure();
    auto named = [&part](const Failure& failure) {
        return Failure{failure.kind, part + ": " + failure.reason};
    };
    auto stream = zip_->openPart(part);
    if (!stream) return stream.failure();
    WorksheetContext context{matcher, sharedStringsPart_.empty() ? nullptr : &stringMatches_,
                             dateStyles(), epoch_,
                             externalBooks_.empty() ? nullptr : &externalBooks_};
    const std::string anchor = rawAnchorOf(matcher.keyword());
    if (!xlsxSheetSkipMayApply(anchor, context)) {
        Status searched = searchWorksheet(streamSource(stream.take()), context, sink);
        return searched ? searched : named(searched.failure());
    }
    const ZipArchive* zip = zip_.get();
    auto look = SheetLook::take(
        stream.take(), [zip, &part] { return zip->openPart(part); }, anchor, context);
    if (!look) return named(look.failure());
    if (look.value().cannotMatch()) return Done{};
    CountingSink counted(sink);
    Status searched = searchWorksheet(look.value().source(), context, counted);
    if (!searched && look.value().resumed() && counted.count() == 0 &&
        searched.failure().kind != FailureKind::Cancelled) {
        auto again = look.value().fromStart();
        if (!again) return named(again.failure());
        searched = searchWorksheet(again.take(), context, sink);
    }
    return searched ? searched : named(searched.failure());
}

}  // namespace

ReaderOutcome openXlsx(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip) {
    auto reader = std::make_unique<XlsxReader>(std::move(data), std::move(zip));
    Status loaded = reader->load();
    if (!loaded) return loaded.failure();
    return std::unique_ptr<WorkbookReader>(std::move(reader));
}

}  // namespace quillmark::engine
