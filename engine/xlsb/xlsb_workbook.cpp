// Reads xl/workbook.bin and its relationships into the workbook's sheet list and the tables
// formulas refer to.
#include "engine/xlsb/xlsb_workbook.h"

#include <algorithm>
#include <cstdint>

#include "engine/container/zip_archive.h"
#include "engine/xlsb/xlsb_records.h"
#include "engine/xlsx/opc_relationships.h"

namespace quillmark::engine::xlsb {
namespace {

constexpr const char* kWorkbookPart = "xl/workbook.bin";

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text = text.substr(text.size() - suffix.size());
    return std::equal(text.begin(), text.end(), suffix.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
}

// By the last segment of the relationship type: worksheet, chartsheet, dialogsheet, and
// macrosheet (xlMacrosheet, xlIntlMacrosheet).
SheetKind sheetKindOf(std::string_view relationshipKind) {
    if (endsWithIgnoringCase(relationshipKind, "chartsheet")) return SheetKind::Chart;
    if (endsWithIgnoringCase(relationshipKind, "dialogsheet")) return SheetKind::Dialog;
    if (endsWithIgnoringCase(relationshipKind, "macrosheet")) return SheetKind::MacroSheet;
    return SheetKind::Worksheet;
}

// A book that extern-sheet entries point into: this workbook, another one, or neither.
struct Book {
    enum class Kind { Self, External, Other } kind = Kind::Other;
    int number = 0;                       // external books count from 1, as "[1]" shows them
    std::vector<std::string> sheetNames;  // an external book's sheets (BrtSupTabs)
};

struct Xti {
    std::uint32_t book = 0;
    std::int32_t firstSheet = -1;
    std::int32_t lastSheet = -1;
};

class WorkbookRecords {
  public:
    WorkbookRecords(const ZipArchive& zip, WorkbookPart& part) : zip_(zip), part_(part) {}

    Status read();

  private:
    Status sheet(Bytes data);
    void name(Bytes data);
    void sheetTabs(Bytes data);
    void externSheets(Bytes data);
    std::string externSheetText(const Xti& xti) const;

    const ZipArchive& zip_;
    WorkbookPart& part_;
    std::vector<Relationship> relationships_;
    std::vector<Book> books_;
    std::vector<Xti> xtis_;
    int externalBooks_ = 0;
};

Status WorkbookRecords::read() {
    auto relationships = readRelationships(zip_, kWorkbookPart);
    if (!relationships) return relationships.failure();
    relationships_ = relationships.take();
    if (const Relationship* strings = findRelationshipByKind(relationships_, "sharedStrings"))
        part_.sharedStringsPart = strings->partName;
    if (const Relationship* styles = findRelationshipByKind(relationships_, "styles"))
        part_.stylesPart = styles->partName;

    auto stream = zip_.openPart(kWorkbookPart);
    if (!stream) return stream.failure();
    RecordStream records(stream.take());
    Record record;
    for (;;) {
        auto more = records.next(record);
        if (!more) return more.failure();
        if (!more.value()) break;
        switch (record.type) {
            case kBundleSh: {
                Status status = sheet(record.data);
                if (!status) return status;
                break;
            }
            case kWbProp: {
                std::uint32_t flags = 0;
                if (FieldReader(record.data).u32(flags)) part_.date1904 = (flags & 0x01) != 0;
                break;
            }
            case kName:
                name(record.data);
                break;
            case kSupSelf:
                books_.push_back({Book::Kind::Self, 0, {}});
                break;
            case kBeginSupBook:
                books_.push_back({Book::Kind::External, ++externalBooks_, {}});
                break;
            case kSupSame:
            case kSupAddin:
                books_.push_back({});
                break;
            case kSupTabs:
                sheetTabs(record.data);
                break;
            case kExternSheet:
                externSheets(record.data);
                break;
            default:
                break;
        }
    }
    part_.externSheets.reserve(xtis_.size());
    for (const Xti& xti : xtis_) part_.externSheets.push_back(externSheetText(xti));
    return Done{};
}

// BrtBundleSh: hsState, iTabID, strRelID, strName. Some writers put four more bytes before
// strRelID; the layout that reads the record exactly wins, else the first that reads at all.
bool readSheetEntry(Bytes data, std::size_t extraBytes, bool exact, std::uint32_t& state,
                    std::string& relationshipId, std::string& name) {
    FieldReader fields(data);
    return fields.u32(state) && fields.skip(4 + extraBytes) &&
           fields.nullableWideString(relationshipId) && fields.wideString(name) &&
           (!exact || fields.remaining() == 0);
}

Status WorkbookRecords::sheet(Bytes data) {
    std::uint32_t state = 0;
    std::string relationshipId;
    SheetInfo info;
    bool readable = false;
    for (bool exact : {true, false}) {
        for (std::size_t extraBytes : {0, 4}) {
            if (readable) break;
            readable = readSheetEntry(data, extraBytes, exact, state, relationshipId, info.name);
        }
    }
    if (!readable) return fail(FailureKind::Corrupt, "unreadable sheet entry in the workbook part");
    info.hidden = state != 0;  // 1 hidden, 2 very hidden
    std::string partName;
    if (const Relationship* target = findRelationshipById(relationships_, relationshipId)) {
        info.kind = sheetKindOf(target->kind);
        if (!target->external) partName = target->partName;
    }
    part_.sheets.push_back(std::move(info));
    part_.sheetParts.push_back(std::move(partName));
    return Done{};
}

// BrtName: flags, chKey, itab, then the name. An unreadable one keeps its place in the order.
void WorkbookRecords::name(Bytes data) {
    FieldReader fields(data);
    std::string text;
    if (!fields.skip(4 + 1 + 4) || !fields.wideString(text)) text.clear();
    part_.definedNames.push_back(std::move(text));
}

// BrtSupTabs: the sheet names of the external book just begun.
void WorkbookRecords::sheetTabs(Bytes data) {
    if (books_.empty()) return;
    FieldReader fields(data);
    std::uint32_t count = 0;
    if (!fields.u32(count)) return;
    std::string text;
    for (std::uint32_t i = 0; i < count && fields.wideString(text); ++i)
        books_.back().sheetNames.push_back(text);
}

// BrtExternSheet: cXti, then (iSupBook, itabFirst, itabLast) for each.
void WorkbookRecords::externSheets(Bytes data) {
    FieldReader fields(data);
    std::uint32_t count = 0;
    if (!fields.u32(count)) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        Xti xti;
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        if (!fields.u32(xti.book) || !fields.u32(first) || !fields.u32(last)) return;
        xti.firstSheet = static_cast<std::int32_t>(first);
        xti.lastSheet = static_cast<std::int32_t>(last);
        xtis_.push_back(xti);
    }
}

std::string WorkbookRecords::externSheetText(const Xti& xti) const {
    if (xti.book >= books_.size() || xti.firstSheet < 0) return {};
    const Book& book = books_[xti.book];
    auto sheetName = [&](std::int32_t index) -> std::string {
        auto position = static_cast<std::size_t>(index);
        if (book.kind == Book::Kind::Self)
            return position < part_.sheets.size() ? part_.sheets[position].name : std::string();
        return position < book.sheetNames.size() ? book.sheetNames[position] : std::string();
    };
    if (book.kind == Book::Kind::Other) return {};
    std::string text = sheetName(xti.firstSheet);
    if (text.empty()) return {};
    if (xti.lastSheet > xti.firstSheet) {
        std::string last = sheetName(xti.lastSheet);
        if (!last.empty()) text += ':' + last;
    }
    if (book.kind == Book::Kind::External) text = '[' + std::to_string(book.number) + ']' + text;
    return text;
}

}  // namespace

Outcome<WorkbookPart> readWorkbookPart(const ZipArchive& zip) {
    WorkbookPart part;
    Status status = WorkbookRecords(zip, part).read();
    if (!status) return status.failure();
    return part;
}

}  // namespace quillmark::engine::xlsb
