// A decision made once per keyword: can it match any plain formula text (formulaTextIsPlain)?
// When not, a reader need not write such a formula's text out just to test it.
#pragma once

#include "engine/core/matcher.h"
#include "engine/formula/formula_dialect.h"

namespace quillmark::engine {

// False only when no plain formula text of this dialect can match: some run between the
// keyword's "*"s holds a character that folds to no ASCII one, or more letters in a row than
// a column name has that lie in no function or command name, "TRUE", "FALSE" or error literal.
bool keywordCanMatchPlainFormulaText(const Matcher& matcher, FormulaDialect dialect);

}  // namespace quillmark::engine
