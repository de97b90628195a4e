// The one-workbook search: on which sheets of this workbook does the keyword occur?
#pragma once

#include <string>

namespace quillmark::search {

// Opens `fileName` through the "Excel.Application" automation server, asks every worksheet
// to find `keyword`, and answers the matching sheets' names joined by "," in sheet order.
// The empty answer means no match, or a workbook that could not be searched.
std::string FindinExcel(const std::string& fileName, const std::string& keyword);

}  // namespace quillmark::search
