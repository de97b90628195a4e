// quillmark-find's output lines.
#include "cli/find_output.h"

#include "platform/file_system.h"
#include "search/failure_text.h"

namespace quillmark::cli {
namespace {

std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.rfind(platform::kSeparator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void printMatches(const AnswerLines& lines, const std::string& path,
                  const search::WorkbookSearchResult& result) {
    if (!result.matched()) return;
    if (!lines.cells) {
        lines.out << path << '\t' << search::sheetNameList(result) << '\n';
        return;
    }
    for (const search::SheetMatch& sheet : result.sheets)
        for (const search::CellHit& hit : sheet.hits)
            lines.out << path << '\t' << sheet.name << '\t' << hit.cell << '\t'
                      << escapeCellText(hit.text) << '\n';
}

// The count of hits --cells did not list, as a note that changes nothing else.
void printHitsLeftOut(const AnswerLines& lines, const std::string& path,
                      const search::WorkbookSearchResult& result) {
    std::uint64_t more = 0;
    for (const search::SheetMatch& sheet : result.sheets) more += sheet.moreHits;
    if (more > 0 && lines.cells && !lines.quiet)
        printProblem(lines.err, path,
                     std::to_string(more) + " more matching cells not listed (see --max-hits)");
}

}  // namespace

std::string escapeCellText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

bool isOwnerFile(std::string_view path) {
    return baseName(path).starts_with("~$");
}

void printProblem(std::ostream& err, std::string_view what, std::string_view why) {
    err << "quillmark-find: " << what << ": " << why << '\n';
}

bool printAnswer(const AnswerLines& lines, const std::string& path,
                 const search::WorkbookSearchResult& result) {
    printMatches(lines, path, result);
    lines.out.flush();
    printHitsLeftOut(lines, path, result);
    const bool failed = result.failure || !result.sheetFailures.empty();
    if (!failed || isOwnerFile(path)) return false;
    if (!lines.quiet) {
        if (result.failure) printProblem(lines.err, path, search::failureText(*result.failure));
        for (const search::SheetFailure& sheet : result.sheetFailures)
            printProblem(lines.err, path,
                         "sheet " + sheet.name + ": " + search::failureText(sheet.failure));
        lines.err.flush();
    }
    return true;
}

}  // namespace quillmark::cli
