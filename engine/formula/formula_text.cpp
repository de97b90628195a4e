// The formula decompiler: replays a postfix token stream ([MS-XLS] 2.5.198.104 Rgce,
// [MS-XLSB] 2.5.98.88 Rgce) on a stack of text pieces. The pieces lie back to back at the end
// of the output string, so combining operands is an insertion into that string and no piece
// is ever allocated on its own; the stack itself is a fixed array of start offsets.
#include "engine/formula/formula_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "engine/cell/error_codes.h"
#include "engine/cell/number_text.h"
#include "engine/core/utf8.h"
#include "engine/formula/formula_functions.h"
#include "engine/formula/formula_references.h"

namespace quillmark::engine {
namespace {

using formula::CellReference;
using formula::GridSize;

// Operands waiting for their operator; a function takes at most 255 arguments, and real
// formulas stay far below this.
constexpr std::size_t kMaxStackDepth = 1024;

// Token ids. Operand tokens carry a class in bits 5-6 (reference, value, array); these are
// the ids with that class folded onto 0x20.
enum Token : std::uint8_t {
    kExp = 0x01,
    kTbl = 0x02,
    kAdd = 0x03,
    kPercent = 0x14,
    kParen = 0x15,
    kMissArg = 0x16,
    kStr = 0x17,
    kExtended = 0x18,
    kAttr = 0x19,
    kErr = 0x1C,
    kBool = 0x1D,
    kInt = 0x1E,
    kNum = 0x1F,
    kArray = 0x20,
    kFunc = 0x21,
    kFuncVar = 0x22,
    kName = 0x23,
    kRef = 0x24,
    kArea = 0x25,
    kMemArea = 0x26,
    kMemErr = 0x27,
    kMemNoMem = 0x28,
    kMemFunc = 0x29,
    kRefErr = 0x2A,
    kAreaErr = 0x2B,
    kRefN = 0x2C,
    kAreaN = 0x2D,
    kMemAreaN = 0x2E,
    kMemNoMemN = 0x2F,
    kNameX = 0x39,
    kRef3d = 0x3A,
    kArea3d = 0x3B,
    kRefErr3d = 0x3C,
    kAreaErr3d = 0x3D,
};

// The operator text of ptgAdd (0x03) through ptgRange (0x11).
constexpr const char* kBinaryOperators[] = {
    "+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};

// The plain-text walk's length bound counts every operator this long.
constexpr std::size_t kLongestBinaryOperator = [] {
    std::size_t longest = 0;
    for (const char* text : kBinaryOperators)
        longest = std::max(longest, std::char_traits<char>::length(text));
    return longest;
}();

// ptgAttr flags ([MS-XLS] 2.5.198.33 and following).
constexpr std::uint8_t kAttrChoose = 0x04;
constexpr std::uint8_t kAttrSum = 0x10;

// The user-defined call: ptgFuncVar with this index takes its name from its first argument.
constexpr std::uint32_t kUserDefinedFunction = 0xFF;

// The bytes after the id of the tokens whose size is the same in every dialect. The decompiler
// and the plain-text walk read tokens by these.
constexpr std::size_t kErrBytes = 1;
constexpr std::size_t kBoolBytes = 1;
constexpr std::size_t kIntBytes = 2;
constexpr std::size_t kNumBytes = 8;
constexpr std::size_t kFuncBytes = 2;     // function index
constexpr std::size_t kFuncVarBytes = 3;  // argument count, function or command index
constexpr std::size_t kAttrBytes = 3;     // flags, data; tAttrChoose's jump table follows
constexpr std::size_t kMemBytes = 6;      // ptgMemArea, ptgMemErr, ptgMemNoMem
constexpr std::size_t kMemFuncBytes = 2;  // ptgMemFunc, and BIFF5/BIFF8 ptgMemAreaN, ptgMemNoMemN

// tAttrChoose's jump table after the attribute's own bytes: one offset an option, and one more.
std::size_t chooseTableBytes(std::uint16_t options) {
    return (static_cast<std::size_t>(options) + 1) * 2;
}

// The bits of a BIFF8 or BIFF12 column field that hold the column.
constexpr std::uint32_t kColumnBits = 0x3FFF;

// A cell address's size: BIFF5 row and flags 2, column 1; BIFF8 2 and 2; BIFF12 4 and 2.
std::size_t cellBytes(FormulaDialect dialect) {
    switch (dialect) {
        case FormulaDialect::Biff5:
            return 3;
        case FormulaDialect::Biff8:
            return 4;
        case FormulaDialect::Biff12:
            return 6;
    }
    return 6;
}

// Whether an id read from the stream is a mem token this dialect has.
bool memTokenKnown(std::uint8_t id, FormulaDialect dialect) {
    return (id != kMemAreaN && id != kMemNoMemN) || dialect != FormulaDialect::Biff12;
}

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

double f64(const std::uint8_t* p) {
    std::uint64_t bits =
        static_cast<std::uint64_t>(u32(p)) | (static_cast<std::uint64_t>(u32(p + 4)) << 32);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads forward through a byte span; take() hands out a run of bytes only when it is all
// there, so nothing can read past the span.
class ByteReader {
  public:
    explicit ByteReader(Bytes bytes) : bytes_(bytes) {}
    bool atEnd() const { return position_ >= bytes_.size(); }
    bool take(std::size_t count, const std::uint8_t*& data) {
        if (bytes_.size() - position_ < count) return false;
        data = bytes_.data() + position_;
        position_ += count;
        return true;
    }
    bool skip(std::size_t count) {
        const std::uint8_t* ignored;
        return take(count, ignored);
    }

  private:
    Bytes bytes_;
    std::size_t position_ = 0;
};

// A mem token's own bytes: it only tells how long the reference expression after it is, which
// comes as tokens of its own (ptgMemArea's range list is in the extra bytes, read apart).
bool skipMemToken(std::uint8_t id, ByteReader& reader, FormulaDialect dialect) {
    if (id == kMemArea || id == kMemErr || id == kMemNoMem) return reader.skip(kMemBytes);
    return memTokenKnown(id, dialect) && reader.skip(kMemFuncBytes);
}

// ptgFuncVar's fields.
struct FuncVarFields {
    std::size_t arguments;
    bool prompt;   // a macro command's dialog form: NAME?(...)
    bool command;  // a macro command rather than a worksheet function
    std::uint16_t index;
};

FuncVarFields funcVarFields(const std::uint8_t* p) {
    return {static_cast<std::size_t>(p[0] & 0x7F), (p[0] & 0x80) != 0, (u16(p + 1) & 0x8000) != 0,
            static_cast<std::uint16_t>(u16(p + 1) & 0x7FFF)};
}

// The name a ptgFuncVar calls, and nullptr for an unknown one; not for user-defined calls.
const char* funcVarName(const FuncVarFields& fields, FormulaDialect dialect) {
    return fields.command ? commandName(fields.index) : builtinFunction(fields.index, dialect).name;
}

bool isUserDefinedCall(const FuncVarFields& fields) {
    return !fields.command && fields.index == kUserDefinedFunction;
}

// Function names as a formula bar shows them: without the prefixes newer functions carry in
// files ("_xlfn.IFERROR", "_xlfn._xlws.SORT").
std::string_view withoutFunctionPrefixes(std::string_view name) {
    for (bool again = true; again;) {
        again = false;
        for (std::string_view prefix : {"_xlfn.", "_xlws.", "_xludf."}) {
            if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
                name.remove_prefix(prefix.size());
                again = true;
            }
        }
    }
    return name;
}

class Decompiler {
  public:
    Decompiler(FormulaDialect dialect, const FormulaContext& context, std::string& out)
        : dialect_(dialect), context_(context), out_(out), formulaStart_(out.size()) {}

    // `allowShared`: whether a ptgExp/ptgTbl may be followed into its shared formula (once).
    bool run(const FormulaTokens& tokens, bool allowShared);

  private:
    bool token(std::uint8_t id, ByteReader& reader, bool allowShared, bool& finished);
    bool sharedFormula(std::uint8_t id, ByteReader& reader);

    // Operands.
    bool reference(std::uint8_t id, ByteReader& reader);
    bool area(std::uint8_t id, ByteReader& reader);
    bool reference3d(std::uint8_t id, ByteReader& reader);
    bool stringConstant(ByteReader& reader);
    bool name(ByteReader& reader);
    bool externalName(ByteReader& reader);
    bool array(ByteReader& reader);
    bool arrayValue(ByteReader& extra);
    bool skipExtraMem();

    // Operators and functions.
    bool binary(const char* text);
    bool prefix(std::string_view text);
    bool suffix(std::string_view text);
    bool call(std::string_view name, std::size_t arguments);
    bool userDefinedCall(std::size_t arguments);
    bool function(ByteReader& reader);
    bool functionVar(ByteReader& reader);
    bool attribute(ByteReader& reader);

    // Reference pieces.
    std::size_t cellBytes() const { return engine::cellBytes(dialect_); }
    CellReference cell(const std::uint8_t* p, bool relativeToFormula) const;
    CellReference areaCorner(const std::uint8_t* p, bool last, bool relativeToFormula) const;
    std::string sheetPrefixText(const std::uint8_t* p, std::size_t& consumed) const;
    GridSize grid() const;

    bool push() {
        if (depth_ == kMaxStackDepth) return false;
        starts_[depth_++] = out_.size();
        return true;
    }
    bool pushText(std::string_view text) {
        if (!push()) return false;
        out_.append(text);
        return true;
    }
    bool withinBounds() const { return out_.size() - formulaStart_ <= kMaxFormulaTextBytes; }
    bool hasRoomFor(std::size_t bytes) const {
        return bytes <= kMaxFormulaTextBytes &&
               out_.size() - formulaStart_ + bytes <= kMaxFormulaTextBytes;
    }
    void appendQuoted(std::string_view text);

    FormulaDialect dialect_;
    const FormulaContext& context_;
    std::string& out_;
    std::size_t formulaStart_;
    std::array<std::size_t, kMaxStackDepth> starts_{};
    std::size_t depth_ = 0;
    ByteReader extra_{Bytes{}};
    bool extraLost_ = false;  // an extra structure could not be read; later ones are unknown
    std::string scratch_;
};

bool Decompiler::run(const FormulaTokens& tokens, bool allowShared) {
    extra_ = ByteReader(tokens.extra);
    extraLost_ = false;
    ByteReader reader(tokens.rgce);
    while (!reader.atEnd()) {
        const std::uint8_t* idByte;
        reader.take(1, idByte);
        std::uint8_t id =
            *idByte >= 0x20 ? static_cast<std::uint8_t>(0x20 | (*idByte & 0x1F)) : *idByte;
        bool finished = false;
        if (!token(id, reader, allowShared, finished) || !withinBounds()) return false;
        if (finished) return true;
    }
    return depth_ == 1;
}

bool Decompiler::token(std::uint8_t id, ByteReader& reader, bool allowShared, bool& finished) {
    if (id >= kAdd && id <= kAdd + 14) return binary(kBinaryOperators[id - kAdd]);
    switch (id) {
        case kExp:
        case kTbl:
            // A shared or array formula's member: the whole formula is the anchor's, moved
            // here. Only as the formula's single token, and not again inside that formula.
            if (!allowShared || depth_ != 0) return false;
            finished = true;
            return sharedFormula(id, reader);
        case 0x12:
            return prefix("+");
        case 0x13:
            return prefix("-");
        case kPercent:
            return suffix("%");
        case kParen:
            return prefix("(") && suffix(")");
        case kMissArg:
            return push();
        case kStr:
            return stringConstant(reader);
        case kAttr:
            return attribute(reader);
        case kErr: {
            const std::uint8_t* p;
            if (!reader.take(kErrBytes, p)) return false;
            const char* text = errorCodeText(*p);
            return text != nullptr && pushText(text);
        }
        case kBool: {
            const std::uint8_t* p;
            return reader.take(kBoolBytes, p) && pushText(*p != 0 ? "TRUE" : "FALSE");
        }
        case kInt: {
            const std::uint8_t* p;
            return reader.take(kIntBytes, p) && pushText(std::to_string(u16(p)));
        }
        case kNum: {
            const std::uint8_t* p;
            if (!reader.take(kNumBytes, p) || !push()) return false;
            appendNumberText(f64(p), out_);
            return true;
        }
        case kArray:
            return array(reader);
        case kFunc:
            return function(reader);
        case kFuncVar:
            return functionVar(reader);
        case kName:
            return name(reader);
        case kNameX:
            return externalName(reader);
        case kRef:
        case kRefN:
            return reference(id, reader);
        case kArea:
        case kAreaN:
            return area(id, reader);
        case kRef3d:
        case kArea3d:
        case kRefErr3d:
        case kAreaErr3d:
            return reference3d(id, reader);
        case kRefErr:
            return reader.skip(cellBytes()) && pushText("#REF!");
        case kAreaErr:
            return reader.skip(2 * cellBytes()) && pushText("#REF!");
        case kMemArea:
            return skipMemToken(id, reader, dialect_) && skipExtraMem();
        case kMemErr:
        case kMemNoMem:
        case kMemFunc:
        case kMemAreaN:
        case kMemNoMemN:
            return skipMemToken(id, reader, dialect_);
        default:
            // kExtended: natural-language references (BIFF8) and table references (BIFF12)
            // name things this decompiler does not know.
            return false;
    }
}

bool Decompiler::sharedFormula(std::uint8_t id, ByteReader& reader) {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    const std::uint8_t* p;
    if (dialect_ == FormulaDialect::Biff12) {
        // [MS-XLSB] 2.5.98.40: the row here, the column in the extra bytes (PtgExtraCol).
        const std::uint8_t* columnBytes;
        if (id != kExp || !reader.take(4, p) || !extra_.take(4, columnBytes)) return false;
        row = u32(p);
        column = u32(columnBytes);
    } else {
        if (!reader.take(4, p)) return false;
        row = u16(p);
        column = u16(p + 2);
    }
    if (!context_.sharedFormula) return false;
    std::optional<FormulaTokens> body = context_.sharedFormula(row, column);
    return body.has_value() && run(*body, false);
}

GridSize Decompiler::grid() const {
    switch (dialect_) {
        case FormulaDialect::Biff5:
            return {16384, 256};
        case FormulaDialect::Biff8:
            return {65536, 256};
        case FormulaDialect::Biff12:
            return {1048576, 16384};
    }
    return {1048576, 16384};
}

// A cell address at `p`: BIFF5 keeps the relative flags in the row field (14-bit rows,
// 8-bit columns), BIFF8 and BIFF12 in the column field ([MS-XLS] ColRelU, [MS-XLSB]
// ColRelShort). For ptgRefN/ptgAreaN a relative part is an offset from the formula's cell,
// wrapping around the grid as the application does.
CellReference Decompiler::cell(const std::uint8_t* p, bool relativeToFormula) const {
    CellReference cell;
    std::uint32_t rowField = 0;
    std::uint32_t columnField = 0;
    if (dialect_ == FormulaDialect::Biff5) {
        rowField = u16(p);
        cell.rowRelative = (rowField & 0x8000) != 0;
        cell.columnRelative = (rowField & 0x4000) != 0;
        cell.row = rowField & 0x3FFF;
        cell.column = p[2];
    } else {
        bool wide = dialect_ == FormulaDialect::Biff12;
        cell.row = wide ? u32(p) : u16(p);
        columnField = u16(p + (wide ? 4 : 2));
        cell.columnRelative = (columnField & 0x4000) != 0;
        cell.rowRelative = (columnField & 0x8000) != 0;
        cell.column = columnField & kColumnBits;
    }
    if (relativeToFormula) {
        GridSize size = grid();
        if (cell.rowRelative) cell.row = (context_.row + cell.row) & (size.rows - 1);
        if (cell.columnRelative) cell.column = (context_.column + cell.column) & (size.columns - 1);
    }
    return cell;
}

// One corner of an area at `p`: rows first (both), then columns (both).
CellReference Decompiler::areaCorner(const std::uint8_t* p, bool last,
                                     bool relativeToFormula) const {
    std::uint8_t packed[6];
    switch (dialect_) {
        case FormulaDialect::Biff5:  // rwFirst rwLast colFirst colLast: 2 2 1 1
            std::memcpy(packed, p + (last ? 2 : 0), 2);
            packed[2] = p[last ? 5 : 4];
            break;
        case FormulaDialect::Biff8:  // 2 2 2 2
            std::memcpy(packed, p + (last ? 2 : 0), 2);
            std::memcpy(packed + 2, p + (last ? 6 : 4), 2);
            break;
        case FormulaDialect::Biff12:  // 4 4 2 2
            std::memcpy(packed, p + (last ? 4 : 0), 4);
            std::memcpy(packed + 4, p + (last ? 10 : 8), 2);
            break;
    }
    return cell(packed, relativeToFormula);
}

bool Decompiler::reference(std::uint8_t id, ByteReader& reader) {
    const std::uint8_t* p;
    if (!reader.take(cellBytes(), p) || !push()) return false;
    formula::appendCell(cell(p, id == kRefN), out_);
    return true;
}

bool Decompiler::area(std::uint8_t id, ByteReader& reader) {
    const std::uint8_t* p;
    if (!reader.take(2 * cellBytes(), p) || !push()) return false;
    formula::appendArea(areaCorner(p, false, id == kAreaN), areaCorner(p, true, id == kAreaN),
                        grid(), out_);
    return true;
}

// The sheet part of a 3-D token at `p`; sets `consumed` to its size.
std::string Decompiler::sheetPrefixText(const std::uint8_t* p, std::size_t& consumed) const {
    if (dialect_ != FormulaDialect::Biff5) {
        consumed = 2;
        std::uint16_t externIndex = u16(p);
        return context_.sheetNameForExternIndex ? context_.sheetNameForExternIndex(externIndex)
                                                : std::string();
    }
    // BIFF5: an EXTERNSHEET index (negative within this workbook), 8 reserved bytes, then the
    // first and last sheet by position.
    consumed = 14;
    auto externSheet = static_cast<std::int16_t>(u16(p));
    std::uint16_t firstSheet = u16(p + 10);
    std::uint16_t lastSheet = u16(p + 12);
    std::string text;
    if (externSheet < 0 && context_.sheetNameForIndex && firstSheet != 0xFFFF) {
        text = context_.sheetNameForIndex(firstSheet);
        if (!text.empty() && lastSheet != firstSheet && lastSheet != 0xFFFF) {
            std::string last = context_.sheetNameForIndex(lastSheet);
            if (!last.empty()) text += ':' + last;
        }
    }
    if (text.empty() && externSheet != 0 && context_.sheetNameForExternIndex) {
        int index = externSheet < 0 ? -externSheet : externSheet;
        text = context_.sheetNameForExternIndex(static_cast<std::uint32_t>(index - 1));
    }
    return text;
}

bool Decompiler::reference3d(std::uint8_t id, ByteReader& reader) {
    std::size_t prefixBytes = dialect_ == FormulaDialect::Biff5 ? 14 : 2;
    std::size_t addressBytes = (id == kRef3d || id == kRefErr3d) ? cellBytes() : 2 * cellBytes();
    const std::uint8_t* p;
    if (!reader.take(prefixBytes + addressBytes, p)) return false;
    std::size_t consumed = 0;
    std::string sheets = sheetPrefixText(p, consumed);
    if (!hasRoomFor(sheets.size() * 2 + 3) || !push()) return false;
    formula::appendSheetPrefix(sheets, out_);
    const std::uint8_t* address = p + consumed;
    if (id == kRef3d) {
        formula::appendCell(cell(address, false), out_);
    } else if (id == kArea3d) {
        formula::appendArea(areaCorner(address, false, false), areaCorner(address, true, false),
                            grid(), out_);
    } else {
        out_ += "#REF!";
    }
    return true;
}

void Decompiler::appendQuoted(std::string_view text) {
    out_ += '"';
    for (char c : text) {
        if (c == '"') out_ += '"';
        out_ += c;
    }
    out_ += '"';
}

bool Decompiler::stringConstant(ByteReader& reader) {
    const std::uint8_t* p;
    scratch_.clear();
    if (dialect_ == FormulaDialect::Biff12) {
        // [MS-XLSB] 2.5.98.81 PtgStr: a 16-bit count of UTF-16 characters.
        if (!reader.take(2, p)) return false;
        std::size_t count = u16(p);
        if (!hasRoomFor(count * 3) || !reader.take(count * 2, p)) return false;
        appendUtf16LeAsUtf8(p, count, scratch_);
    } else if (dialect_ == FormulaDialect::Biff8) {
        // ShortXLUnicodeString: count, flags (bit 0: two bytes a character), characters.
        if (!reader.take(2, p)) return false;
        std::size_t count = p[0];
        bool wide = (p[1] & 0x01) != 0;
        if (!reader.take(count * (wide ? 2 : 1), p)) return false;
        if (wide)
            appendUtf16LeAsUtf8(p, count, scratch_);
        else
            appendLatin1AsUtf8(p, count, scratch_);
    } else {
        if (!reader.take(1, p)) return false;
        std::size_t count = p[0];
        if (!reader.take(count, p)) return false;
        if (context_.appendCodePageText)
            context_.appendCodePageText(Bytes(p, count), scratch_);
        else
            appendLatin1AsUtf8(p, count, scratch_);
    }
    if (!hasRoomFor(scratch_.size() * 2 + 2) || !push()) return false;
    appendQuoted(scratch_);
    return true;
}

bool Decompiler::name(ByteReader& reader) {
    const std::uint8_t* p;
    std::uint32_t index = 0;
    if (dialect_ == FormulaDialect::Biff5) {
        if (!reader.take(14, p)) return false;
        index = u16(p);
    } else {
        if (!reader.take(4, p)) return false;
        index = dialect_ == FormulaDialect::Biff8 ? u16(p) : u32(p);
    }
    std::string text = context_.definedName ? context_.definedName(index) : std::string();
    if (text.empty()) text = "#NAME?";
    return hasRoomFor(text.size()) && pushText(text);
}

bool Decompiler::externalName(ByteReader& reader) {
    const std::uint8_t* p;
    std::uint32_t externIndex = 0;
    std::uint32_t index = 0;
    switch (dialect_) {
        case FormulaDialect::Biff5:  // EXTERNSHEET index, 8 reserved, name index, 12 reserved
            if (!reader.take(24, p)) return false;
            externIndex = u16(p);
            index = u16(p + 10);
            break;
        case FormulaDialect::Biff8:  // XTI index, name index, 2 reserved
            if (!reader.take(6, p)) return false;
            externIndex = u16(p);
            index = u16(p + 2);
            break;
        case FormulaDialect::Biff12:  // XTI index, 32-bit name index
            if (!reader.take(6, p)) return false;
            externIndex = u16(p);
            index = u32(p + 2);
            break;
    }
    std::string text =
        context_.externalName ? context_.externalName(externIndex, index) : std::string();
    if (text.empty()) text = "#NAME?";
    return hasRoomFor(text.size()) && pushText(text);
}

// ptgArray: the values are in the extra bytes (PtgExtraArray), written {1,2;3,4}.
bool Decompiler::array(ByteReader& reader) {
    if (!reader.skip(dialect_ == FormulaDialect::Biff12 ? 14 : 7) || !push()) return false;
    std::size_t start = out_.size();
    std::uint64_t rows = 0;
    std::uint64_t columns = 0;
    const std::uint8_t* p;
    if (dialect_ == FormulaDialect::Biff12) {
        if (!extraLost_ && extra_.take(8, p)) {
            rows = u32(p);
            columns = u32(p + 4);
        }
    } else if (!extraLost_ && extra_.take(3, p)) {
        // BIFF8 stores one less than each count; BIFF5 the count itself, 0 columns being 256.
        columns = p[0];
        rows = u16(p + 1);
        if (dialect_ == FormulaDialect::Biff8) {
            ++columns;
            ++rows;
        } else if (columns == 0) {
            columns = 256;
        }
    }
    bool readable = rows > 0 && columns > 0;
    out_ += '{';
    for (std::uint64_t row = 0; readable && row < rows; ++row) {
        if (row > 0) out_ += ';';
        for (std::uint64_t column = 0; readable && column < columns; ++column) {
            if (column > 0) out_ += ',';
            readable = arrayValue(extra_) && withinBounds();
        }
    }
    if (!readable) {
        // Unreadable constants also leave later extra structures unplaced.
        extraLost_ = true;
        out_.resize(start);
        if (!hasRoomFor(5)) return false;
        out_ += "{...";
    }
    out_ += '}';
    return true;
}

// One SerAr value ([MS-XLS] 2.5.198.105, [MS-XLSB] 2.5.98.93).
bool Decompiler::arrayValue(ByteReader& extra) {
    const std::uint8_t* p;
    if (!extra.take(1, p)) return false;
    std::uint8_t type = *p;
    if (dialect_ == FormulaDialect::Biff12) {
        switch (type) {
            case 0x00:  // SerNum
                if (!extra.take(8, p)) return false;
                appendNumberText(f64(p), out_);
                return true;
            case 0x01: {  // SerStr: 16-bit count, UTF-16
                if (!extra.take(2, p)) return false;
                std::size_t count = u16(p);
                if (!hasRoomFor(count * 6) || !extra.take(count * 2, p)) return false;
                scratch_.clear();
                appendUtf16LeAsUtf8(p, count, scratch_);
                appendQuoted(scratch_);
                return true;
            }
            case 0x02:  // SerBool
                if (!extra.take(1, p)) return false;
                out_ += *p != 0 ? "TRUE" : "FALSE";
                return true;
            case 0x04: {  // SerErr: code and 3 reserved bytes
                if (!extra.take(4, p) || errorCodeText(*p) == nullptr) return false;
                out_ += errorCodeText(*p);
                return true;
            }
            default:
                return false;
        }
    }
    switch (type) {
        case 0x00:
            return extra.skip(8);  // SerNil: an empty element
        case 0x01:
            if (!extra.take(8, p)) return false;
            appendNumberText(f64(p), out_);
            return true;
        case 0x02: {
            scratch_.clear();
            if (dialect_ == FormulaDialect::Biff8) {  // XLUnicodeString
                if (!extra.take(3, p)) return false;
                std::size_t count = u16(p);
                bool wide = (p[2] & 0x01) != 0;
                if (!hasRoomFor(count * 6) || !extra.take(count * (wide ? 2 : 1), p)) return false;
                if (wide)
                    appendUtf16LeAsUtf8(p, count, scratch_);
                else
                    appendLatin1AsUtf8(p, count, scratch_);
            } else {  // BIFF5: 8-bit count, code-page text
                if (!extra.take(1, p)) return false;
                std::size_t count = *p;
                if (!extra.take(count, p)) return false;
                if (context_.appendCodePageText)
                    context_.appendCodePageText(Bytes(p, count), scratch_);
                else
                    appendLatin1AsUtf8(p, count, scratch_);
            }
            appendQuoted(scratch_);
            return true;
        }
        case 0x04:
            if (!extra.take(8, p)) return false;
            out_ += *p != 0 ? "TRUE" : "FALSE";
            return true;
        case 0x10:
            if (!extra.take(8, p) || errorCodeText(*p) == nullptr) return false;
            out_ += errorCodeText(*p);
            return true;
        default:
            return false;
    }
}

// PtgExtraMem: a count, then that many ranges (BIFF5 6 bytes each, BIFF8 8, BIFF12 16).
bool Decompiler::skipExtraMem() {
    if (extraLost_) return true;
    const std::uint8_t* p;
    std::uint64_t count = 0;
    std::size_t rangeBytes = 8;
    if (dialect_ == FormulaDialect::Biff12) {
        if (!extra_.take(4, p)) {
            extraLost_ = true;
            return true;
        }
        count = u32(p);
        rangeBytes = 16;
    } else {
        if (!extra_.take(2, p)) {
            extraLost_ = true;
            return true;
        }
        count = u16(p);
        rangeBytes = dialect_ == FormulaDialect::Biff5 ? 6 : 8;
    }
    if (count > (std::uint64_t{1} << 24) || !extra_.skip(count * rangeBytes)) extraLost_ = true;
    return true;
}

bool Decompiler::binary(const char* text) {
    if (depth_ < 2) return false;
    std::size_t right = starts_[--depth_];
    out_.insert(right, text);
    return true;
}

bool Decompiler::prefix(std::string_view text) {
    if (depth_ < 1) return false;
    out_.insert(starts_[depth_ - 1], text);
    return true;
}

bool Decompiler::suffix(std::string_view text) {
    if (depth_ < 1) return false;
    out_.append(text);
    return true;
}

// Replaces the top `arguments` pieces by name(arg1,arg2,...), moving each piece once.
bool Decompiler::call(std::string_view name, std::size_t arguments) {
    if (!hasRoomFor(name.size() + arguments + 2)) return false;
    if (arguments == 0) return pushText(name) && suffix("()");
    if (depth_ < arguments) return false;
    std::size_t first = depth_ - arguments;
    std::size_t oldEnd = out_.size();
    std::size_t growth = name.size() + 1 + (arguments - 1) + 1;
    out_.resize(oldEnd + growth);
    char* text = out_.data();
    std::size_t write = oldEnd + growth;
    text[--write] = ')';
    std::size_t pieceEnd = oldEnd;
    for (std::size_t piece = depth_; piece-- > first;) {
        std::size_t length = pieceEnd - starts_[piece];
        write -= length;
        std::memmove(text + write, text + starts_[piece], length);
        if (piece > first) text[--write] = ',';
        pieceEnd = starts_[piece];
    }
    std::memcpy(text + starts_[first], name.data(), name.size());
    text[starts_[first] + name.size()] = '(';
    depth_ = first + 1;
    return true;
}

// ptgFuncVar 255: the first argument (a name token) is the function called with the rest.
bool Decompiler::userDefinedCall(std::size_t arguments) {
    if (arguments == 0 || depth_ < arguments) return false;
    std::size_t first = depth_ - arguments;
    std::size_t nameEnd = arguments > 1 ? starts_[first + 1] : out_.size();
    std::string name(withoutFunctionPrefixes(
        std::string_view(out_).substr(starts_[first], nameEnd - starts_[first])));
    std::size_t nameLength = nameEnd - starts_[first];
    out_.erase(starts_[first], nameLength);
    for (std::size_t piece = first + 1; piece < depth_; ++piece) {
        starts_[piece - 1] = starts_[piece] - nameLength;
    }
    --depth_;
    return call(name, arguments - 1);
}

bool Decompiler::function(ByteReader& reader) {
    const std::uint8_t* p;
    if (!reader.take(kFuncBytes, p)) return false;
    BuiltinFunction builtin = builtinFunction(u16(p), dialect_);
    if (builtin.name == nullptr || builtin.fixedArguments < 0) return false;
    return call(builtin.name, static_cast<std::size_t>(builtin.fixedArguments));
}

bool Decompiler::functionVar(ByteReader& reader) {
    const std::uint8_t* p;
    if (!reader.take(kFuncVarBytes, p)) return false;
    FuncVarFields fields = funcVarFields(p);
    if (isUserDefinedCall(fields)) return userDefinedCall(fields.arguments);
    const char* name = funcVarName(fields, dialect_);
    if (name == nullptr) return false;
    if (!fields.prompt) return call(name, fields.arguments);
    std::string withPrompt(name);
    withPrompt += '?';
    return call(withPrompt, fields.arguments);
}

// ptgAttr: control and display hints, skipped by their sizes, except the one-argument SUM
// that tAttrSum stands for.
bool Decompiler::attribute(ByteReader& reader) {
    const std::uint8_t* p;
    if (!reader.take(kAttrBytes, p)) return false;
    std::uint8_t flags = p[0];
    std::uint16_t data = u16(p + 1);
    if (flags & kAttrChoose) return reader.skip(chooseTableBytes(data));
    if (flags & kAttrSum) return call("SUM", 1);
    return true;
}

// The longest text a reference of this sheet takes: "$XFD$4294967296" (BIFF12 rows are 32
// bits as stored), and an area two of them and ":".
constexpr std::size_t kMaxCellTextBytes = 15;
constexpr std::size_t kMaxAreaTextBytes = 2 * kMaxCellTextBytes + 1;

// Replays a token stream the way Decompiler::run does, keeping only the stack depth and a
// bound on the text length, to tell whether the decompiler would finish writing only plain
// pieces. Every piece it allows is joined to its neighbours by an operator, "(", "," or ")",
// so no two pieces' letters ever touch. Its bound counts, a token at a time, at least what
// the decompiler writes and asks room for, so the decompiler never runs out of room where
// the walk stays within kMaxFormulaTextBytes.
class PlainWalk {
  public:
    explicit PlainWalk(FormulaDialect dialect) : dialect_(dialect) {}

    bool run(Bytes rgce) {
        ByteReader reader(rgce);
        while (!reader.atEnd()) {
            const std::uint8_t* idByte;
            reader.take(1, idByte);
            std::uint8_t id =
                *idByte >= 0x20 ? static_cast<std::uint8_t>(0x20 | (*idByte & 0x1F)) : *idByte;
            if (!token(id, reader) || length_ > kMaxFormulaTextBytes) return false;
        }
        return depth_ == 1;
    }

  private:
    bool token(std::uint8_t id, ByteReader& reader);

    bool operand(std::size_t maxLength) {
        if (depth_ == kMaxStackDepth) return false;
        ++depth_;
        length_ += maxLength;
        return true;
    }
    bool binary(std::size_t length) {
        if (depth_ < 2) return false;
        --depth_;
        length_ += length;
        return true;
    }
    bool around(std::size_t length) {
        length_ += length;
        return depth_ >= 1;
    }
    // What Decompiler::call asks room for: the name, the commas, the parentheses and one more.
    bool call(std::size_t nameLength, std::size_t arguments) {
        if (arguments == 0) return operand(nameLength + 2);
        if (depth_ < arguments) return false;
        depth_ -= arguments - 1;
        length_ += nameLength + arguments + 2;
        return true;
    }
    bool constant(ByteReader& reader, std::size_t bytes, std::size_t maxLength) {
        return reader.skip(bytes) && operand(maxLength);
    }

    FormulaDialect dialect_;
    std::size_t depth_ = 0;
    std::size_t length_ = 0;
};

bool PlainWalk::token(std::uint8_t id, ByteReader& reader) {
    if (id >= kAdd && id <= kAdd + 14) return binary(kLongestBinaryOperator);
    const std::uint8_t* p;
    switch (id) {
        case 0x12:  // unary plus and minus
        case 0x13:
        case kPercent:
            return around(1);
        case kParen:
            return around(2);
        case kMissArg:
            return operand(0);
        case kErr: {
            if (!reader.take(kErrBytes, p)) return false;
            const char* text = errorCodeText(*p);
            return text != nullptr && operand(std::strlen(text));
        }
        case kBool:
            return constant(reader, kBoolBytes, 5);
        case kInt:
            return constant(reader, kIntBytes, 5);
        case kNum:
            return constant(reader, kNumBytes, kMaxNumberTextBytes);
        case kRef:
        case kRefN:
            return constant(reader, cellBytes(dialect_), kMaxCellTextBytes);
        case kArea:
        case kAreaN:
            return constant(reader, 2 * cellBytes(dialect_), kMaxAreaTextBytes);
        case kRefErr:
            return constant(reader, cellBytes(dialect_), 5);
        case kAreaErr:
            return constant(reader, 2 * cellBytes(dialect_), 5);
        case kMemArea:  // its range list is in the extra bytes, which plain text never reads
        case kMemErr:
        case kMemNoMem:
        case kMemFunc:
        case kMemAreaN:
        case kMemNoMemN:
            return skipMemToken(id, reader, dialect_);
        case kAttr: {
            if (!reader.take(kAttrBytes, p)) return false;
            if (p[0] & kAttrChoose) return reader.skip(chooseTableBytes(u16(p + 1)));
            if (p[0] & kAttrSum) return call(3, 1);
            return true;
        }
        case kFunc: {
            if (!reader.take(kFuncBytes, p)) return false;
            BuiltinFunction builtin = builtinFunction(u16(p), dialect_);
            if (builtin.name == nullptr || builtin.fixedArguments < 0) return false;
            return call(std::strlen(builtin.name),
                        static_cast<std::size_t>(builtin.fixedArguments));
        }
        case kFuncVar: {
            if (!reader.take(kFuncVarBytes, p)) return false;
            FuncVarFields fields = funcVarFields(p);
            const char* name = isUserDefinedCall(fields) ? nullptr : funcVarName(fields, dialect_);
            return name != nullptr &&
                   call(std::strlen(name) + (fields.prompt ? 1 : 0), fields.arguments);
        }
        default:
            // Strings, names, 3-D references, arrays, shared formulas and unknown tokens: text
            // from the workbook, or none at all.
            return false;
    }
}

}  // namespace

bool appendFormulaText(const FormulaTokens& tokens, FormulaDialect dialect,
                       const FormulaContext& context, std::string& out) {
    out += '=';
    Decompiler decompiler(dialect, context, out);
    return decompiler.run(tokens, true);
}

bool formulaTextIsPlain(const FormulaTokens& tokens, FormulaDialect dialect) {
    return PlainWalk(dialect).run(tokens.rgce);
}

std::size_t maxColumnLetters(FormulaDialect dialect) {
    // BIFF5 keeps a column in a byte; BIFF8 and BIFF12 in kColumnBits of a 16-bit field.
    std::string letters;
    formula::appendColumnName(dialect == FormulaDialect::Biff5 ? 0xFF : kColumnBits, letters);
    return letters.size();
}

}  // namespace quillmark::engine
