// Formula token streams in every dialect through the decompiler. The first bytes choose the
// dialect, the formula's cell and where the token stream ends and its extra bytes begin; the
// workbook callbacks answer with names, and a shared formula that is the input itself (so a
// ptgExp pointing back at its own tokens must not recurse for ever). Whatever the walk calls
// plain must decode whole.
#include "engine/formula/formula_text.h"

namespace {

constexpr std::size_t kHeaderBytes = 6;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::engine;
    if (size < kHeaderBytes) return 0;
    const FormulaDialect dialects[] = {FormulaDialect::Biff5, FormulaDialect::Biff8,
                                       FormulaDialect::Biff12};
    const FormulaDialect dialect = dialects[data[0] % 3];
    const bool withCallbacks = (data[0] & 0x80) == 0;
    const std::size_t tokenBytes = static_cast<std::size_t>(data[1] | (data[2] << 8));

    // Exactly sized copies, so any read past either shows.
    const std::uint8_t* rest = data + kHeaderBytes;
    const std::size_t restSize = size - kHeaderBytes;
    const std::size_t split = tokenBytes < restSize ? tokenBytes : restSize;
    std::vector<std::uint8_t> rgce(rest, rest + split);
    std::vector<std::uint8_t> extra(rest + split, rest + restSize);
    FormulaTokens tokens{Bytes(rgce), Bytes(extra)};

    FormulaContext context;
    context.row = static_cast<std::uint32_t>(data[3]) * 4099u;
    context.column = static_cast<std::uint32_t>(data[4] | (data[5] << 8));
    if (withCallbacks) {
        context.sheetNameForExternIndex = [](std::uint32_t index) -> std::string {
            switch (index % 4) {
                case 0:
                    return "Sheet2";
                case 1:
                    return "My Sheet";
                case 2:
                    return "[1]Jan:Mar";
                default:
                    return "";
            }
        };
        context.sheetNameForIndex = [](std::uint32_t index) {
            return index % 2 == 0 ? std::string("Sheet1") : std::string("it's");
        };
        context.definedName = [](std::uint32_t index) {
            return index % 2 == 0 ? std::string("Total") : std::string();
        };
        context.externalName = [](std::uint32_t, std::uint32_t index) {
            return index % 2 == 0 ? std::string("[1]!Total") : std::string("EOMONTH");
        };
        context.sharedFormula = [&](std::uint32_t, std::uint32_t) -> std::optional<FormulaTokens> {
            return tokens;
        };
    }
    std::string text;
    bool written = appendFormulaText(tokens, dialect, context, text);
    if (text.size() > kMaxFormulaTextBytes + 4096) __builtin_trap();  // past its own bound
    // A plain formula is one the decompiler finishes, in ASCII.
    if (formulaTextIsPlain(tokens, dialect)) {
        if (!written) __builtin_trap();
        for (char c : text)
            if (static_cast<unsigned char>(c) >= 0x80) __builtin_trap();
    }
    return 0;
}
