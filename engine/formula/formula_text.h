// Formula text from the parsed-expression tokens that .xls (BIFF5, BIFF8) and .xlsb (BIFF12)
// files store, written the way a spreadsheet shows it in its formula bar: "=SUM(A1:B2)",
// "='My Sheet'!A1", "=IF(A1>0,\"yes\",\"no\")". Shared by the .xls and .xlsb readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/core/file_data.h"
#include "engine/formula/formula_dialect.h"

namespace quillmark::engine {

// A formula's token stream (rgce) and the bytes stored right after it (BIFF8 RgbExtra,
// BIFF12 rgcb), where array constants keep their values. `extra` may be empty.
struct FormulaTokens {
    Bytes rgce;
    Bytes extra;
};

// What the decompiler needs from the workbook around a formula. Every callback may be left
// empty: a reference it would have named then renders as "#REF!", a name as "#NAME?".
struct FormulaContext {
    // The formula's own cell (zero-based). Shared formulas' relative references (ptgRefN,
    // ptgAreaN) resolve against it.
    std::uint32_t row = 0;
    std::uint32_t column = 0;

    // The sheet part of a 3-D reference, without quotes: "Sheet2", "Jan:Mar" for a range of
    // sheets, "[1]Sheet1" for another workbook; "" when unknown. The decompiler adds the quotes
    // a name needs ('My Sheet'!A1). The index is the token's XTI index into the workbook's
    // extern-sheet table (BIFF8 EXTERNSHEET, BIFF12 BrtExternSheet). In BIFF5 it is the
    // zero-based index of the EXTERNSHEET record, asked only for references into other
    // workbooks, or when sheetNameForIndex is empty or answers "".
    std::function<std::string(std::uint32_t externIndex)> sheetNameForExternIndex;

    // BIFF5 only: a sheet of this workbook by its zero-based position (BIFF5 3-D references
    // into their own workbook name their first and last sheet by position).
    std::function<std::string(std::uint32_t sheetIndex)> sheetNameForIndex;

    // A defined name by its one-based index (ptgName).
    std::function<std::string(std::uint32_t nameIndex)> definedName;

    // An external or add-in name (ptgNameX) by the XTI index and its one-based index there,
    // e.g. "[1]!Total", or an add-in function's name such as "EOMONTH". BIFF5 passes its
    // token's 16-bit EXTERNSHEET field as stored.
    std::function<std::string(std::uint32_t externIndex, std::uint32_t nameIndex)> externalName;

    // BIFF5 only: appends 8-bit text (string constants) in the workbook's code page as UTF-8.
    // Read as Latin-1 when empty.
    std::function<void(Bytes text, std::string& out)> appendCodePageText;

    // The shared or array formula anchored at (row, column), which ptgExp and ptgTbl point to:
    // its tokens are rendered in place, relative to this cell. Nothing when unknown.
    std::function<std::optional<FormulaTokens>(std::uint32_t row, std::uint32_t column)>
        sharedFormula;
};

// Formula text longer than this is cut off (and the call reports failure).
inline constexpr std::size_t kMaxFormulaTextBytes = 8192;

// Appends "=" and the formula's text to `out`. Returns false, keeping whatever it appended,
// when it meets a token it cannot render, the bytes run out, or the text grows past its
// bounds. Never reads outside `tokens`.
bool appendFormulaText(const FormulaTokens& tokens, FormulaDialect dialect,
                       const FormulaContext& context, std::string& out);

// Whether appendFormulaText would succeed on these tokens writing only what fixed generators
// write, nothing taken from the workbook: operators, numbers, TRUE and FALSE, error literals,
// references of this sheet (column letters, row digits, "$", ":"), and calls of built-in
// functions and macro commands. Such "plain" text is ASCII, and each run of letters in it is a
// column name, a number's exponent "E", or part of a function or command name, "TRUE",
// "FALSE" or an error literal. False for strings, names, 3-D references, arrays, shared
// formulas, user-defined calls, and anything the decompiler would fail on. Reads only
// `tokens` and writes nothing, so it costs far less than the text itself.
bool formulaTextIsPlain(const FormulaTokens& tokens, FormulaDialect dialect);

// The most letters a column takes in a reference of this dialect's formula text.
std::size_t maxColumnLetters(FormulaDialect dialect);

}  // namespace quillmark::engine
