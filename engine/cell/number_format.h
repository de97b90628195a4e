// Which number formats show a number as a date or time, so that readers of every format that
// stores dates as serial numbers (.xlsx, .xlsb, .xls) can offer such cells as date text too.
#pragma once

#include <string_view>

namespace quillmark::engine {

// The built-in formats that are dates or times: ids 14-22 and 45-47, and the East Asian date
// ids 27-36 and 50-58 (ECMA-376 18.8.30 numFmt; [MS-XLS] 2.4.126 Format uses the same ids).
// A workbook that gives one of these ids a code of its own is judged by that code instead.
bool isBuiltinDateFormat(int formatId);

// Whether a format code shows a date or time: it holds d, m, y, h or s outside quoted text,
// backslash escapes, the characters after "_" and "*", and [brackets] (colours, conditions,
// locales); the elapsed-time brackets [h], [mm], [ss] count as times.
bool isDateFormatCode(std::string_view code);

}  // namespace quillmark::engine
