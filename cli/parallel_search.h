// Searches a list of workbooks on several threads and hands the answers over in list order,
// each as soon as it and every one before it are done.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quillmark::cli {

using WorkbookSearch =
    std::function<std::string(const std::string& path, const std::string& keyword)>;
using AnswerSink = std::function<void(std::size_t index, const std::string& answer)>;

void searchInOrder(const std::vector<std::string>& paths, const std::string& keyword, unsigned jobs,
                   const WorkbookSearch& search, const AnswerSink& sink);

}  // namespace quillmark::cli
