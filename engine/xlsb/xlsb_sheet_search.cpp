// The .xlsb sheet search. Cells arrive as BrtRowHdr (the row) followed by one record per cell
// (the column in its first field); formula cells keep their tokens (CellParsedFormula), which
// the formula decompiler turns into text. Members of shared and array formulas hold only a
// PtgExp naming the anchor cell, whose record is followed by BrtShrFmla or BrtArrFmla with
// the tokens every member shares.
#include "engine/xlsb/xlsb_sheet_search.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "engine/cell/cell_text.h"
#include "engine/cell/error_codes.h"
#include "engine/container/zip_archive.h"
#include "engine/formula/formula_text.h"
#include "engine/formula/plain_formula_keyword.h"
#include "engine/xlsb/xlsb_records.h"

namespace quillmark::engine::xlsb {
namespace {

// Shared formula bodies kept for one sheet; past this, later groups go unresolved rather than
// memory growing with a hostile file.
constexpr std::size_t kMaxSharedFormulaBytes = std::size_t{64} << 20;

constexpr std::uint8_t kPtgExp = 0x01;

// BrtShortBlank ... BrtShortIsst read as the full records with the same values.
constexpr std::uint32_t kShortToFull[] = {kCellBlank, kCellRk, kCellError, kCellBool,
                                          kCellReal,  kCellSt, kCellIsst};

std::uint64_t cellKey(std::uint32_t row, std::uint32_t column) {
    return (static_cast<std::uint64_t>(row) << 32) | column;
}

std::uint32_t readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A formula's tokens as CellParsedFormula, SharedParsedFormula and ArrayParsedFormula store
// them: cce, rgce, cb, rgcb. A missing rgcb reads as empty.
bool readParsedFormula(FieldReader& fields, FormulaTokens& tokens) {
    std::uint32_t tokenBytes = 0;
    if (!fields.u32(tokenBytes) || !fields.bytes(tokenBytes, tokens.rgce)) return false;
    std::uint32_t extraBytes = 0;
    tokens.extra = Bytes();
    if (fields.u32(extraBytes) && !fields.bytes(extraBytes, tokens.extra)) tokens.extra = Bytes();
    return true;
}

struct SharedBody {
    std::vector<std::uint8_t> rgce;
    std::vector<std::uint8_t> extra;
};

class SheetSearch {
  public:
    SheetSearch(const SheetTables& tables, const Matcher& matcher, HitSink& sink);
    Status run(RecordStream& records);

  private:
    // `fields` stand after the cell's column, style and flags.
    bool cellMatches(std::uint32_t type, FieldReader& fields, std::uint32_t column, bool isDate);
    bool formulaCellMatches(std::uint32_t type, FieldReader& fields, std::uint32_t column,
                            bool isDate);
    bool valueMatches(std::uint32_t type, FieldReader& fields, bool isDate);
    bool formulaMatches(const FormulaTokens& tokens, std::uint32_t row, std::uint32_t column);
    // BrtShrFmla / BrtArrFmla: keeps the body; true when the anchor waiting for it matches.
    bool sharedFormulaMatches(const Record& record, CellPosition& anchor);

    const SheetTables& tables_;
    CellText cells_;
    DateEpoch epoch_;
    FormulaContext context_;
    std::string text_;  // reused for every cell's text
    std::uint32_t row_ = 0;
    std::uint32_t nextColumn_ = 0;  // where a short cell record goes
    std::unordered_map<std::uint64_t, SharedBody> bodies_;
    std::size_t bodyBytes_ = 0;
    std::optional<CellPosition> waitingAnchor_;  // an anchor whose body comes next
    const bool plainFormulaTextCanMatch_;
};

SheetSearch::SheetSearch(const SheetTables& tables, const Matcher& matcher, HitSink& sink)
    : tables_(tables),
      cells_(matcher, sink),
      epoch_(tables.workbook.date1904 ? DateEpoch::Excel1904 : DateEpoch::Excel1900),
      plainFormulaTextCanMatch_(keywordCanMatchPlainFormulaText(matcher, FormulaDialect::Biff12)) {
    const WorkbookPart& workbook = tables_.workbook;
    context_.sheetNameForExternIndex = [&workbook](std::uint32_t index) {
        return index < workbook.externSheets.size() ? workbook.externSheets[index] : std::string();
    };
    context_.definedName = [&workbook](std::uint32_t index) {
        return index >= 1 && index <= workbook.definedNames.size()
                   ? workbook.definedNames[index - 1]
                   : std::string();
    };
    context_.sharedFormula = [this](std::uint32_t row, std::uint32_t column) {
        auto found = bodies_.find(cellKey(row, column));
        if (found == bodies_.end()) return std::optional<FormulaTokens>();
        return std::optional<FormulaTokens>(
            FormulaTokens{Bytes(found->second.rgce), Bytes(found->second.extra)});
    };
}

Status SheetSearch::run(RecordStream& records) {
    Record record;
    for (;;) {
        auto more = records.next(record);
        if (!more) return more.failure();
        if (!more.value() || record.type == kEndSheetData) return Done{};
        if (record.type == kShrFmla || record.type == kArrFmla) {
            CellPosition anchor;
            if (sharedFormulaMatches(record, anchor) && !cells_.report(anchor)) return Done{};
            continue;
        }
        waitingAnchor_.reset();
        if (record.type == kRowHdr) {
            if (record.data.size() >= 4) row_ = readU32(record.data.data());
            nextColumn_ = 0;
            continue;
        }
        std::uint32_t column = 0;
        std::uint32_t style = 0;
        std::uint32_t type = record.type;
        FieldReader fields(record.data);
        if (type >= kShortBlank && type <= kShortIsst) {
            // Short cells: a style and flags field, no column.
            if (!fields.u32(style)) continue;
            column = nextColumn_;
            type = kShortToFull[type - kShortBlank];
        } else if (type <= kFmlaError || type == kCellRString) {
            // Cell: column, then a 24-bit style index and a flags byte.
            if (!fields.u32(column) || !fields.u32(style)) continue;
        } else {
            continue;
        }
        nextColumn_ = column + 1;
        if (type == kCellBlank) continue;
        if (cellMatches(type, fields, column, tables_.styles.cellFormatIsDate(style & 0xFFFFFF)) &&
            !cells_.report(CellPosition{row_, column}))
            return Done{};
    }
}

bool SheetSearch::cellMatches(std::uint32_t type, FieldReader& fields, std::uint32_t column,
                              bool isDate) {
    if (type >= kFmlaString && type <= kFmlaError)
        return formulaCellMatches(type, fields, column, isDate);
    return valueMatches(type, fields, isDate);
}

bool SheetSearch::valueMatches(std::uint32_t type, FieldReader& fields, bool isDate) {
    std::uint8_t byte = 0;
    std::uint32_t word = 0;
    double number = 0;
    switch (type) {
        case kCellRk:
            return fields.u32(word) && cells_.number(biff::decodeRk(word), isDate, epoch_);
        case kCellReal:
        case kFmlaNum:
            return fields.f64(number) && cells_.number(number, isDate, epoch_);
        case kCellBool:
        case kFmlaBool:
            return fields.u8(byte) && cells_.boolean(byte != 0);
        case kCellError:
        case kFmlaError: {
            const char* text = fields.u8(byte) ? errorCodeText(byte) : nullptr;
            return text != nullptr && cells_.text(text);
        }
        case kCellIsst:
            return fields.u32(word) && cells_.sharedString(&tables_.strings, word);
        case kCellRString:  // RichStr: flags, then the text; its runs are formatting only
            return fields.skip(1) && fields.wideString(text_) && cells_.text(text_);
        case kCellSt:
        case kFmlaString:
            return fields.wideString(text_) && cells_.text(text_);
        default:
            return false;
    }
}

// BrtFmlaString/Num/Bool/Error: cell, cached value, grbitFlags, CellParsedFormula.
bool SheetSearch::formulaCellMatches(std::uint32_t type, FieldReader& fields, std::uint32_t column,
                                     bool isDate) {
    // Reading the cached value moves past it, matched or not.
    if (valueMatches(type, fields, isDate)) return true;
    FormulaTokens tokens;
    if (!fields.skip(2) || !readParsedFormula(fields, tokens)) return false;
    // An anchor names itself; its body is in the record that follows.
    if (tokens.rgce.size() >= 5 && tokens.rgce[0] == kPtgExp && tokens.extra.size() >= 4 &&
        readU32(tokens.rgce.data() + 1) == row_ && readU32(tokens.extra.data()) == column &&
        bodies_.find(cellKey(row_, column)) == bodies_.end()) {
        waitingAnchor_ = CellPosition{row_, column};
        return false;
    }
    return formulaMatches(tokens, row_, column);
}

bool SheetSearch::formulaMatches(const FormulaTokens& tokens, std::uint32_t row,
                                 std::uint32_t column) {
    if (!plainFormulaTextCanMatch_ && formulaTextIsPlain(tokens, FormulaDialect::Biff12))
        return false;
    context_.row = row;
    context_.column = column;
    text_.clear();
    // Text of a formula that could not be read whole is not offered: a fragment could match
    // what the formula does not say.
    return appendFormulaText(tokens, FormulaDialect::Biff12, context_, text_) &&
           cells_.formula(text_);
}

// BrtShrFmla: the range (RfX) and SharedParsedFormula; BrtArrFmla: the range, a flags byte,
// and ArrayParsedFormula.
bool SheetSearch::sharedFormulaMatches(const Record& record, CellPosition& anchor) {
    std::optional<CellPosition> waiting = waitingAnchor_;
    waitingAnchor_.reset();
    FieldReader fields(record.data);
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
    std::uint32_t firstColumn = 0;
    std::uint32_t lastColumn = 0;
    FormulaTokens tokens;
    if (!fields.u32(firstRow) || !fields.u32(lastRow) || !fields.u32(firstColumn) ||
        !fields.u32(lastColumn) || (record.type == kArrFmla && !fields.skip(1)) ||
        !readParsedFormula(fields, tokens))
        return false;
    anchor = waiting.value_or(CellPosition{firstRow, firstColumn});
    std::size_t size = tokens.rgce.size() + tokens.extra.size();
    if (bodyBytes_ + size <= kMaxSharedFormulaBytes) {
        bodyBytes_ += size;
        SharedBody& body = bodies_[cellKey(anchor.row, anchor.column)];
        body.rgce.assign(tokens.rgce.begin(), tokens.rgce.end());
        body.extra.assign(tokens.extra.begin(), tokens.extra.end());
    }
    return waiting.has_value() && formulaMatches(tokens, anchor.row, anchor.column);
}

}  // namespace

Status searchSheet(std::unique_ptr<ZipStream> part, const SheetTables& tables,
                   const Matcher& matcher, HitSink& sink) {
    RecordStream records(std::move(part));
    SheetSearch search(tables, matcher, sink);
    return search.run(records);
}

}  // namespace quillmark::engine::xlsb
