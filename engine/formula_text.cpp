// Formula decompiler: placeholder until the token reader lands, so that readers can link.
#include "formula_text.h"

namespace quillmark::engine {

bool appendFormulaText(const FormulaTokens&, FormulaDialect, const FormulaContext&,
                       std::string& out) {
    out += '=';
    return false;
}

}  // namespace quillmark::engine
