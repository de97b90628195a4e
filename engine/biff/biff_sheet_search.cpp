// Streams the cell records of one sheet substream and reports the cells that match, until the
// sink wants no more. Nothing is kept per cell: one text buffer and one formula buffer are
// reused throughout.
#include "engine/biff/biff_sheet_search.h"

#include "engine/biff/biff_formula_context.h"
#include "engine/cell/cell_text.h"
#include "engine/core/byte_order.h"
#include "engine/formula/plain_formula_keyword.h"

namespace quillmark::engine::biff {
namespace {

// Where a FORMULA record keeps its fields, by BIFF version.
struct FormulaLayout {
    std::size_t valueOffset;   // the 8-byte cached result
    std::size_t lengthOffset;  // cce, the token byte count
    std::size_t lengthBytes;
    std::size_t tokensOffset;  // rgce
};

constexpr FormulaLayout kBiff2Formula{7, 16, 1, 17};
constexpr FormulaLayout kBiff3Formula{6, 16, 2, 18};
constexpr FormulaLayout kBiff5Formula{6, 20, 2, 22};

class SheetSearch {
  public:
    SheetSearch(const SheetSearchInput& input, const Matcher& matcher, HitSink& sink);
    Status run();

  private:
    // What a record's search says: true when the sink wants no more of this sheet.
    using Stop = bool;

    bool biff8() const { return input_.version == Version::Biff8; }
    bool biff2() const { return input_.version == Version::Biff2; }
    bool formulaTextAvailable() const {
        return input_.version == Version::Biff5 || input_.version == Version::Biff8;
    }
    const DateStyles& styles() const { return input_.globals ? input_.globals->styles : styles_; }
    const CodePageDecoder& decoder() const {
        return input_.globals ? *input_.globals->decoder : *decoder_;
    }

    Stop onRecord(const Record& record, RecordCursor& cursor);
    Stop onBiff2Record(const Record& record, RecordCursor& cursor);
    void onSheetFormatRecord(const Record& record);
    void onSharedFormula(const Record& record);

    Stop matchLabel(Bytes data);
    Stop matchNumberCell(Bytes data, double value, bool isDate);
    Stop matchBoolErr(std::uint32_t row, std::uint32_t column, std::uint8_t value, bool isError);
    Stop matchMulRk(Bytes data);
    Stop matchFormula(const Record& record, RecordCursor& cursor, const FormulaLayout& layout,
                      bool isDate);
    bool readFormulaString(const Record& record, RecordCursor& cursor, std::string& out);
    bool numberMatches(double value, bool isDate);
    DateEpoch epoch() const {
        return styles().date1904 ? DateEpoch::Excel1904 : DateEpoch::Excel1900;
    }
    bool formulaTextMatches(Bytes data, const FormulaLayout& layout, std::uint32_t row,
                            std::uint32_t column);
    FormulaDialect formulaDialect() const {
        return biff8() ? FormulaDialect::Biff8 : FormulaDialect::Biff5;
    }

    static CellPosition at(Bytes data) { return {readU16(data.data()), readU16(data.data() + 2)}; }

    const SheetSearchInput& input_;
    CellText cells_;
    DateStyles styles_;                         // a single-sheet stream's own formats
    std::unique_ptr<CodePageDecoder> decoder_;  // and its own code page
    SharedFormulaTable sharedFormulas_;
    FormulaContext formulaContext_;
    std::string text_;
    std::string formulaText_;
    std::optional<bool> plainFormulaTextCanMatch_;  // decided at the sheet's first formula
    std::vector<std::uint8_t>
        formulaRecord_;  // a FORMULA's data while the records after it are read
};

SheetSearch::SheetSearch(const SheetSearchInput& input, const Matcher& matcher, HitSink& sink)
    : input_(input),
      cells_(matcher, sink),
      decoder_(input.globals ? nullptr : std::make_unique<CodePageDecoder>(1252)),
      formulaContext_(makeFormulaContext(input.globals, sharedFormulas_)) {
    formulaContext_.appendCodePageText = [this](Bytes text, std::string& out) {
        decoder().append(text.data(), text.size(), out);
    };
}

Status SheetSearch::run() {
    if (input_.bofOffset >= input_.stream->size())
        return fail(FailureKind::Corrupt,
                    "sheet's recorded position lies outside the workbook stream");
    RecordCursor cursor(*input_.stream, input_.bofOffset, input_.decrypter);
    auto bof = cursor.next();
    if (!bof || !isBof(bof->type)) {
        if (Status read = readStatus(cursor); !read) return read;
        return fail(FailureKind::Corrupt, "sheet's recorded position holds no BOF record");
    }
    // Embedded charts nest their own BOF...EOF inside a worksheet; their cached series values
    // are no cells of the sheet.
    int depth = 1;
    while (auto record = cursor.next()) {
        if (isBof(record->type)) {
            ++depth;
            continue;
        }
        if (record->type == record::Eof) {
            if (--depth == 0) return Done{};
            continue;
        }
        if (depth > 1) continue;
        if (onRecord(*record, cursor)) return Done{};
    }
    if (Status read = readStatus(cursor); !read) return read;
    return fail(FailureKind::Truncated, "sheet ends before its EOF record");
}

SheetSearch::Stop SheetSearch::onBiff2Record(const Record& record, RecordCursor& cursor) {
    // BIFF2 cells: row, column, three attribute bytes (the second holds the number format
    // index), then the value.
    Bytes data = record.data;
    bool isCell = record.type == record::Integer2 || record.type == record::Number2 ||
                  record.type == record::Label2 || record.type == record::BoolErr2 ||
                  record.type == record::Formula2;
    if (!isCell) {
        onSheetFormatRecord(record);
        return false;
    }
    if (data.size() < 7) return false;
    bool isDate = styles().formatIsDate(data[5] & 0x3F);
    switch (record.type) {
        case record::Integer2:
            if (data.size() < 9) return false;
            return matchNumberCell(data, readU16(data.data() + 7), isDate);
        case record::Number2:
            if (data.size() < 15) return false;
            return matchNumberCell(data, readF64(data.data() + 7), isDate);
        case record::Label2: {
            text_.clear();
            std::size_t offset = 7;
            readByteString(data, offset, 1, decoder(), text_);
            return cells_.text(text_) && !cells_.report(at(data));
        }
        case record::BoolErr2:
            if (data.size() < 9) return false;
            return matchBoolErr(readU16(data.data()), readU16(data.data() + 2), data[7],
                                data[8] != 0);
        default:
            return matchFormula(record, cursor, kBiff2Formula, isDate);
    }
}

SheetSearch::Stop SheetSearch::onRecord(const Record& record, RecordCursor& cursor) {
    if (biff2()) return onBiff2Record(record, cursor);
    Bytes data = record.data;
    switch (record.type) {
        case record::LabelSst:
            if (!biff8() || data.size() < 10 || !input_.sharedStrings) return false;
            return cells_.sharedString(input_.sharedStrings, readU32(data.data() + 6)) &&
                   !cells_.report(at(data));
        case record::Label:
        case record::RString:
            return matchLabel(data);
        case record::Number:
            if (data.size() < 14) return false;
            return matchNumberCell(data, readF64(data.data() + 6),
                                   styles().cellFormatIsDate(readU16(data.data() + 4)));
        case record::Rk:
            if (data.size() < 10) return false;
            return matchNumberCell(data, decodeRk(readU32(data.data() + 6)),
                                   styles().cellFormatIsDate(readU16(data.data() + 4)));
        case record::MulRk:
            return matchMulRk(data);
        case record::BoolErr:
            if (data.size() < 8) return false;
            return matchBoolErr(readU16(data.data()), readU16(data.data() + 2), data[6],
                                data[7] != 0);
        case record::Formula2:  // 0x0006: BIFF5 and BIFF8 FORMULA
        case record::Formula3:
        case record::Formula4: {
            if (data.size() < 6) return false;
            bool isDate = styles().cellFormatIsDate(readU16(data.data() + 4));
            bool biff5Layout = record.type == record::Formula2;
            return matchFormula(record, cursor, biff5Layout ? kBiff5Formula : kBiff3Formula,
                                isDate);
        }
        case record::SharedFormula:
        case record::SharedFormula5:
        case record::Array:
            onSharedFormula(record);
            return false;
        default:
            onSheetFormatRecord(record);
            return false;
    }
}

// A single-sheet stream (BIFF2-BIFF4, or a bare BIFF5/8 worksheet) holds the workbook-level
// records itself, ahead of its cells.
void SheetSearch::onSheetFormatRecord(const Record& record) {
    if (input_.globals) return;
    Bytes data = record.data;
    switch (record.type) {
        case record::CodePage:
            if (data.size() >= 2)
                decoder_ = std::make_unique<CodePageDecoder>(readU16(data.data()));
            break;
        case record::DateMode:
            styles_.date1904 = readU16At(data, 0) == 1;
            break;
        case record::Format2: {  // BIFF2-BIFF3: the code alone, numbered by position
            text_.clear();
            std::size_t offset = 0;
            readByteString(data, offset, 1, decoder(), text_);
            styles_.addNumberedFormat(text_);
            break;
        }
        case record::Format: {
            text_.clear();
            std::size_t offset = 2;
            if (input_.version == Version::Biff4) {  // two unused bytes, numbered by position
                readByteString(data, offset, 1, decoder(), text_);
                styles_.addNumberedFormat(text_);
            } else if (data.size() >= 2) {
                if (biff8())
                    readUnicodeString(data, offset, 2, text_);
                else
                    readByteString(data, offset, 1, decoder(), text_);
                styles_.addFormat(readU16(data.data()), text_);
            }
            break;
        }
        case record::Xf3:
        case record::Xf4:
            if (data.size() >= 2) styles_.addCellFormat(data[1]);
            break;
        case record::Xf:
            if (data.size() >= 4) styles_.addCellFormat(readU16(data.data() + 2));
            break;
        default:
            break;
    }
}

void SheetSearch::onSharedFormula(const Record& record) {
    // SHRFMLA: the range (rows, then columns as bytes), two bytes, cce, rgce, extra bytes.
    // ARRAY: the range, options, a reserved word, cce, rgce, extra bytes.
    if (!formulaTextAvailable()) return;
    Bytes data = record.data;
    bool shared = record.type != record::Array;
    std::size_t lengthOffset = shared ? 8 : 12;
    if (data.size() < lengthOffset + 2) return;
    std::size_t length = readU16(data.data() + lengthOffset);
    std::size_t tokensOffset = lengthOffset + 2;
    length = std::min(length, data.size() - tokensOffset);
    FormulaTokens tokens{data.subspan(tokensOffset, length), data.subspan(tokensOffset + length)};
    sharedFormulas_.add(readU16(data.data()), data[4], tokens);
}

SheetSearch::Stop SheetSearch::matchLabel(Bytes data) {
    // LABEL and RSTRING: row, column, XF, then the string (BIFF8 Unicode, else bytes).
    if (data.size() < 8) return false;
    text_.clear();
    std::size_t offset = 6;
    if (biff8())
        readUnicodeString(data, offset, 2, text_);
    else
        readByteString(data, offset, 2, decoder(), text_);
    return cells_.text(text_) && !cells_.report(at(data));
}

bool SheetSearch::numberMatches(double value, bool isDate) {
    return cells_.number(value, isDate, epoch());
}

SheetSearch::Stop SheetSearch::matchNumberCell(Bytes data, double value, bool isDate) {
    return numberMatches(value, isDate) && !cells_.report(at(data));
}

SheetSearch::Stop SheetSearch::matchBoolErr(std::uint32_t row, std::uint32_t column,
                                            std::uint8_t value, bool isError) {
    bool matched = isError ? cells_.text(errorText(value)) : cells_.boolean(value != 0);
    return matched && !cells_.report(CellPosition{row, column});
}

SheetSearch::Stop SheetSearch::matchMulRk(Bytes data) {
    // MULRK: row, first column, then (XF, RK) pairs of six bytes, then the last column.
    if (!cells_.numberMayMatch(true) || data.size() < 6) return false;
    std::uint16_t row = readU16(data.data());
    std::uint16_t firstColumn = readU16(data.data() + 2);
    std::size_t count = (data.size() - 6) / 6;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* cell = data.data() + 4 + 6 * i;
        if (numberMatches(decodeRk(readU32(cell + 2)), styles().cellFormatIsDate(readU16(cell))) &&
            !cells_.report(CellPosition{row, static_cast<std::uint32_t>(firstColumn + i)}))
            return true;
    }
    return false;
}

bool SheetSearch::readFormulaString(const Record& record, RecordCursor& cursor, std::string& out) {
    if (biff8()) {
        // STRING holds an XLUnicodeString, which a long result continues in CONTINUE records.
        ContinuedReader reader(cursor, record);
        std::uint16_t count;
        std::uint8_t flags;
        if (!reader.readU16(count) || !reader.readU8(flags)) return false;
        reader.readCharacters(count, flags & 0x01, out);
        return true;
    }
    std::size_t offset = 0;
    return readByteString(record.data, offset, biff2() ? 1 : 2, decoder(), out);
}

SheetSearch::Stop SheetSearch::matchFormula(const Record& record, RecordCursor& cursor,
                                            const FormulaLayout& layout, bool isDate) {
    if (record.data.size() < layout.valueOffset + 8) return false;
    // The cursor reads on past this record, which may move its bytes.
    formulaRecord_.assign(record.data.begin(), record.data.end());
    Bytes data = formulaRecord_;
    CellPosition position = at(data);
    const std::uint8_t* value = data.data() + layout.valueOffset;

    // The records that belong to this formula come right after it: the shared or array
    // formula it anchors, then its string result.
    while (auto next = cursor.peekType()) {
        if (*next != record::SharedFormula && *next != record::SharedFormula5 &&
            *next != record::Array && *next != record::Table)
            break;
        auto attached = cursor.next();
        if (!attached) break;
        if (attached->type != record::Table) onSharedFormula(*attached);
    }

    bool matched = false;
    if (readU16(value + 6) != 0xFFFF) {
        matched = numberMatches(readF64(value), isDate);
    } else {
        switch (value[0]) {
            case 0: {  // a string, in the STRING record that follows
                std::uint16_t stringRecord = biff2() ? record::String2 : record::String;
                if (cursor.peekType() == stringRecord) {
                    auto result = cursor.next();
                    text_.clear();
                    matched =
                        result && readFormulaString(*result, cursor, text_) && cells_.text(text_);
                }
                break;
            }
            case 1:
                matched = cells_.boolean(value[2] != 0);
                break;
            case 2:
                matched = cells_.text(errorText(value[2]));
                break;
            default:
                break;  // an empty string
        }
    }
    if (matched || formulaTextMatches(data, layout, position.row, position.column))
        return !cells_.report(position);
    return false;
}

bool SheetSearch::formulaTextMatches(Bytes data, const FormulaLayout& layout, std::uint32_t row,
                                     std::uint32_t column) {
    if (!formulaTextAvailable() || data.size() < layout.tokensOffset) return false;
    std::size_t length = layout.lengthBytes == 2 ? readU16(data.data() + layout.lengthOffset)
                                                 : data[layout.lengthOffset];
    length = std::min(length, data.size() - layout.tokensOffset);
    FormulaTokens tokens{data.subspan(layout.tokensOffset, length),
                         data.subspan(layout.tokensOffset + length)};
    if (!plainFormulaTextCanMatch_)
        plainFormulaTextCanMatch_ =
            keywordCanMatchPlainFormulaText(cells_.matcher(), formulaDialect());
    if (!*plainFormulaTextCanMatch_ && formulaTextIsPlain(tokens, formulaDialect())) return false;
    formulaContext_.row = row;
    formulaContext_.column = column;
    formulaText_.clear();
    // A formula the decompiler cannot finish still offers the text before the token it
    // stopped at: the whole formula contains that text too.
    appendFormulaText(tokens, formulaDialect(), formulaContext_, formulaText_);
    return cells_.formula(formulaText_);
}

}  // namespace

Status searchSheet(const SheetSearchInput& input, const Matcher& matcher, HitSink& sink) {
    return SheetSearch(input, matcher, sink).run();
}

}  // namespace quillmark::engine::biff
