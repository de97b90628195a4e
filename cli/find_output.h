// The lines quillmark-find prints: a matching workbook, a matching cell, and a workbook (or
// sheet) that could not be searched.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "search/workbook_search.h"

namespace quillmark::cli {

// A cell's text on one line: tab, newline, carriage return and backslash written as \t, \n,
// \r and \\, so that a line splits at its tabs unambiguously.
std::string escapeCellText(std::string_view text);

// Owner and lock files a spreadsheet program leaves beside an open workbook ("~$book.xlsx").
bool isOwnerFile(std::string_view path);

// Prints the answer for one workbook: its matches on `out`, one line per workbook or, with
// `cells`, one per hit; what could not be searched on `err` unless `quiet`. True when
// something could not be searched (not counting owner files).
struct AnswerLines {
    std::ostream& out;
    std::ostream& err;
    bool cells = false;
    bool quiet = false;
};
bool printAnswer(const AnswerLines& lines, const std::string& path,
                 const search::WorkbookSearchResult& result);

// "quillmark-find: WHAT: WHY" on `err`.
void printProblem(std::ostream& err, std::string_view what, std::string_view why);

}  // namespace quillmark::cli
