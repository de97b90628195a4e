// Automation objects over the embedded engine. Each application object owns the workbooks it
// opened; sheets and ranges keep their workbook alive through shared references, so an
// object handed out stays valid however the caller orders its releases.
#include "platform/engine_automation.h"

#include <QString>

#include "engine/cell/kept_hits.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"

namespace quillmark::automation {
namespace {

using engine::WorkbookReader;

struct OpenWorkbook {
    std::unique_ptr<WorkbookReader> reader;
    std::string fileName;
};
using WorkbookRef = std::shared_ptr<OpenWorkbook>;

struct ApplicationState {
    std::vector<WorkbookRef> workbooks;  // the last opened is the active one
    bool quit = false;
};
using StateRef = std::shared_ptr<ApplicationState>;

CallResult<Object> applicationObject(StateRef state);

// A grid position as a spreadsheet writes it: column letters then the 1-based row.
std::string cellAddress(std::uint32_t row, std::uint32_t column) {
    std::string letters;
    for (std::uint64_t n = std::uint64_t{column} + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return "$" + letters + "$" + std::to_string(std::uint64_t{row} + 1);
}

bool sameSheetName(const std::string& a, const std::string& b) {
    // Sheet names are unique without regard to letter case, in any script.
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// FindAll's collection: how many cells of the sheet match, and the first `limit` of them.
class HitCollector final : public engine::HitSink {
  public:
    explicit HitCollector(std::size_t limit) : limit_(limit) {}
    bool take(const engine::CellHit& hit) override { return takeRun(hit, 1); }
    // A run of repeated cells is counted at once; only the cells within the limit are kept.
    bool takeRun(const engine::CellHit& hit, std::uint32_t count) override {
        for (std::uint32_t i = 0; i < count && hits.size() < limit_; ++i)
            hits.push_back(engine::KeptHit{
                {hit.cell.row, hit.cell.column + i}, std::string(hit.text), hit.viaFormula});
        total += count;
        return true;
    }

    std::vector<engine::KeptHit> hits;
    std::int64_t total = 0;

  private:
    std::size_t limit_;
};

class HitsObject;

class RangeObject final : public Dispatch {
  public:
    RangeObject(StateRef state, WorkbookRef workbook, std::size_t sheet,
                std::optional<engine::CellPosition> cell, std::optional<std::string> text = {})
        : state_(std::move(state)),
          workbook_(std::move(workbook)),
          sheet_(sheet),
          cell_(cell),
          text_(std::move(text)) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        if (sameMember(member, "Cells") && arguments.empty())
            return Variant(DispatchRef(
                std::make_shared<RangeObject>(state_, workbook_, sheet_, std::nullopt)));
        if (sameMember(member, "Find")) return find(arguments);
        if (!cell_ && sameMember(member, "FindAll")) return findAll(arguments);
        if (sameMember(member, "Application")) return applicationVariant();
        if (cell_ && sameMember(member, "Row")) return Variant(std::int64_t{cell_->row} + 1);
        if (cell_ && sameMember(member, "Column")) return Variant(std::int64_t{cell_->column} + 1);
        if (cell_ && sameMember(member, "Address"))
            return Variant(cellAddress(cell_->row, cell_->column));
        if (text_ && sameMember(member, "Text")) return Variant(*text_);
        return noSuchMember(member);
    }

  private:
    CallOutcome find(const Arguments& arguments) {
        if (arguments.empty()) return badArgument("Find", "What is required");
        auto what = toText(arguments[0]);
        if (!what) return what.failure();
        engine::Matcher matcher(what.value());
        std::optional<engine::KeptHit> first;
        engine::FirstHitKeeper keeper(first);
        Status searched = workbook_->reader->findCells(sheet_, matcher, keeper);
        // A failure after the first hit does not take it back: the cell was read whole.
        if (!first && !searched) return engineFailure(searched.failure());
        if (!first) return Variant();  // nothing: the keyword is not on this sheet
        return Variant(DispatchRef(
            std::make_shared<RangeObject>(state_, workbook_, sheet_, first->cell, first->text)));
    }

    CallOutcome findAll(const Arguments& arguments);

    CallOutcome applicationVariant() {
        auto application = applicationObject(state_);
        return Variant(application.value().dispatch());
    }

    StateRef state_;
    WorkbookRef workbook_;
    std::size_t sheet_;
    std::optional<engine::CellPosition> cell_;  // nothing: the whole sheet's cells
    std::optional<std::string> text_;           // a FindAll hit's matched text
};

class HitsObject final : public Dispatch {
  public:
    HitsObject(StateRef state, WorkbookRef workbook, std::size_t sheet,
               std::vector<engine::KeptHit> hits, std::int64_t total)
        : state_(std::move(state)),
          workbook_(std::move(workbook)),
          sheet_(sheet),
          hits_(std::move(hits)),
          total_(total) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        if (sameMember(member, "Count")) return Variant(total_);
        if (sameMember(member, "Item") && !arguments.empty()) return item(arguments[0]);
        return noSuchMember(member);
    }

  private:
    CallOutcome item(const Variant& key) {
        auto position = toInteger(key);
        if (!position) return position.failure();
        if (position.value() < 1 || static_cast<std::uint64_t>(position.value()) > hits_.size())
            return badArgument("Item", "subscript out of range");
        const engine::KeptHit& hit = hits_[static_cast<std::size_t>(position.value() - 1)];
        return Variant(DispatchRef(
            std::make_shared<RangeObject>(state_, workbook_, sheet_, hit.cell, hit.text)));
    }

    StateRef state_;
    WorkbookRef workbook_;
    std::size_t sheet_;
    std::vector<engine::KeptHit> hits_;
    std::int64_t total_;
};

// Reads the whole sheet: Count is every matching cell; Item(i) for i up to Limit (100
// when not given) is one of them in row-major order, with the text the keyword matched.
CallOutcome RangeObject::findAll(const Arguments& arguments) {
    if (arguments.empty()) return badArgument("FindAll", "What is required");
    auto what = toText(arguments[0]);
    if (!what) return what.failure();
    std::int64_t limit = 100;
    if (arguments.size() > 1) {
        auto given = toInteger(arguments[1]);
        if (!given) return given.failure();
        if (given.value() < 0) return badArgument("FindAll", "Limit must not be negative");
        limit = given.value();
    }
    HitCollector collector(static_cast<std::size_t>(limit));
    engine::Matcher matcher(what.value());
    Status searched = workbook_->reader->findCells(sheet_, matcher, collector);
    if (!searched) return engineFailure(searched.failure());
    return Variant(DispatchRef(std::make_shared<HitsObject>(
        state_, workbook_, sheet_, std::move(collector.hits), collector.total)));
}

class SheetObject final : public Dispatch {
  public:
    SheetObject(StateRef state, WorkbookRef workbook, std::size_t sheet)
        : state_(std::move(state)), workbook_(std::move(workbook)), sheet_(sheet) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments&) override {
        const engine::SheetInfo& info = workbook_->reader->sheets()[sheet_];
        if (sameMember(member, "Name")) return Variant(info.name);
        if (sameMember(member, "Visible")) return Variant(!info.hidden);
        if (sameMember(member, "Application"))
            return Variant(applicationObject(state_).value().dispatch());
        if (sameMember(member, "Cells") && engine::isGridSheet(info.kind))
            return Variant(DispatchRef(
                std::make_shared<RangeObject>(state_, workbook_, sheet_, std::nullopt)));
        return noSuchMember(member);
    }

  private:
    StateRef state_;
    WorkbookRef workbook_;
    std::size_t sheet_;
};

// Sheets (every sheet) or Worksheets (grid sheets only) of one workbook.
class SheetsObject final : public Dispatch {
  public:
    SheetsObject(StateRef state, WorkbookRef workbook, bool gridOnly)
        : state_(std::move(state)), workbook_(std::move(workbook)) {
        const auto& sheets = workbook_->reader->sheets();
        for (std::size_t i = 0; i < sheets.size(); ++i)
            if (!gridOnly || engine::isGridSheet(sheets[i].kind)) members_.push_back(i);
    }

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        if (sameMember(member, "Count")) return Variant(static_cast<std::int64_t>(members_.size()));
        if (sameMember(member, "Item") && !arguments.empty()) return item(arguments[0]);
        return noSuchMember(member);
    }

    // Position (1-based) or name, as the collection's default member takes them.
    CallOutcome item(const Variant& key) {
        if (const auto* name = std::get_if<std::string>(&key)) {
            for (std::size_t index : members_)
                if (sameSheetName(workbook_->reader->sheets()[index].name, *name))
                    return sheet(index);
            return badArgument("Item", "no sheet named " + *name);
        }
        auto position = toInteger(key);
        if (!position) return position.failure();
        if (position.value() < 1 || static_cast<std::uint64_t>(position.value()) > members_.size())
            return badArgument("Item", "subscript out of range");
        return sheet(members_[static_cast<std::size_t>(position.value() - 1)]);
    }

  private:
    CallOutcome sheet(std::size_t index) {
        return Variant(DispatchRef(std::make_shared<SheetObject>(state_, workbook_, index)));
    }

    StateRef state_;
    WorkbookRef workbook_;
    std::vector<std::size_t> members_;
};

class WorkbookObject final : public Dispatch {
  public:
    WorkbookObject(StateRef state, WorkbookRef workbook)
        : state_(std::move(state)), workbook_(std::move(workbook)) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        if (sameMember(member, "FullName")) return Variant(workbook_->fileName);
        bool grid = sameMember(member, "Worksheets");
        if (grid || sameMember(member, "Sheets")) {
            auto sheets = std::make_shared<SheetsObject>(state_, workbook_, grid);
            if (arguments.empty()) return Variant(DispatchRef(sheets));
            return sheets->item(arguments[0]);
        }
        return noSuchMember(member);
    }

  private:
    StateRef state_;
    WorkbookRef workbook_;
};

class WorkbooksObject final : public Dispatch {
  public:
    explicit WorkbooksObject(StateRef state) : state_(std::move(state)) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        if (sameMember(member, "Count"))
            return Variant(static_cast<std::int64_t>(state_->workbooks.size()));
        if (sameMember(member, "Open")) return open(arguments);
        return noSuchMember(member);
    }

  private:
    CallOutcome open(const Arguments& arguments) {
        if (arguments.empty()) return badArgument("Open", "FileName is required");
        auto fileName = toText(arguments[0]);
        if (!fileName) return fileName.failure();
        auto reader = engine::openWorkbook(fileName.value());
        if (!reader) return engineFailure(reader.failure());
        auto workbook =
            std::make_shared<OpenWorkbook>(OpenWorkbook{reader.take(), fileName.value()});
        state_->workbooks.push_back(workbook);
        return Variant(DispatchRef(std::make_shared<WorkbookObject>(state_, workbook)));
    }

    StateRef state_;
};

class ApplicationObject final : public Dispatch {
  public:
    explicit ApplicationObject(StateRef state) : state_(std::move(state)) {}

    CallOutcome invoke(std::string_view member, Invoke how, const Arguments& arguments) override {
        if (sameMember(member, "Quit")) {
            // Quitting closes every workbook without saving; asking twice is harmless.
            state_->quit = true;
            state_->workbooks.clear();
            return Variant();
        }
        if (state_->quit) return notAvailable("the application has quit");
        if (sameMember(member, "Workbooks"))
            return Variant(DispatchRef(std::make_shared<WorkbooksObject>(state_)));
        if (sameMember(member, "Application")) return Variant(DispatchRef(shared()));
        if (sameMember(member, "Worksheets") || sameMember(member, "Sheets")) {
            if (state_->workbooks.empty()) return badArgument(member, "no workbook is open");
            WorkbookObject active(state_, state_->workbooks.back());
            return active.invoke(member, how, arguments);
        }
        return noSuchMember(member);
    }

  private:
    DispatchRef shared() { return std::make_shared<ApplicationObject>(state_); }
    StateRef state_;
};

CallResult<Object> applicationObject(StateRef state) {
    return Object(std::make_shared<ApplicationObject>(std::move(state)));
}

}  // namespace

CallResult<Object> createEngineApplication() {
    return applicationObject(std::make_shared<ApplicationState>());
}

}  // namespace quillmark::automation
