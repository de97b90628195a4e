// quillmark-find's command line: options anywhere before "--", then paths, and the keyword
// as the last argument.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::cli {

struct FindOptions {
    bool help = false;
    bool filesOnly = false;  // list the workbooks, search nothing
    bool cells = false;      // one line per matching cell
    bool quiet = false;      // no lines about workbooks that could not be searched
    unsigned jobs = 1;
    std::size_t maxHits = 100;       // cells listed per workbook with --cells
    std::vector<std::string> paths;  // folders and workbook files, in the order given
    std::string keyword;
};

// The options, or what is wrong with the arguments.
Outcome<FindOptions, std::string> parseArguments(const std::vector<std::string>& arguments);

}  // namespace quillmark::cli
