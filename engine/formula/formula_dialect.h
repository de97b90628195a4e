// Which record format a formula's tokens come from: BIFF5 and BIFF8 (.xls) and BIFF12 (.xlsb)
// share the token set but differ in reference sizes and in the built-in functions they know.
#pragma once

namespace quillmark::engine {

enum class FormulaDialect { Biff5, Biff8, Biff12 };

}  // namespace quillmark::engine
