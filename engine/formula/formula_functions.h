// The built-in function and macro-command tables that formula tokens index (ptgFunc,
// ptgFuncVar): a name and, for functions that take a fixed number of arguments, that number.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/formula/formula_dialect.h"

namespace quillmark::engine {

struct BuiltinFunction {
    const char* name = nullptr;  // nullptr: no function has this index
    int fixedArguments = -1;     // -1: the token states its own argument count
};

// A worksheet function by its Ftab index. BIFF12 knows the functions Excel 2007 made built-in
// (indexes 380 to 484); BIFF5 and BIFF8 reach those only as add-in names.
BuiltinFunction builtinFunction(std::uint32_t index, FormulaDialect dialect);

// A macro-sheet command by its Cetab index (ptgFuncVar with its command bit set); nullptr when
// unknown.
const char* commandName(std::uint32_t index);

// Every name either table holds, functions of every dialect included, once each in table order.
void forEachFunctionOrCommandName(const std::function<void(std::string_view name)>& visit);

}  // namespace quillmark::engine
