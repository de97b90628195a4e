// quillmark-find: gathers the workbooks its paths name, searches them in order and prints the
// answers, with grep's exit statuses.
#include "cli/find_command.h"

#include "cli/find_arguments.h"
#include "cli/find_output.h"
#include "cli/parallel_search.h"
#include "platform/file_system.h"
#include "search/folder_scan.h"
#include "search/workbook_search.h"

namespace quillmark::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmark-find [OPTION]... PATH... KEYWORD\n"
    "       quillmark-find --files PATH...\n"
    "\n"
    "Finds KEYWORD in every workbook under each PATH and prints one line per workbook that\n"
    "holds it: the path, a tab, and the names of the matching sheets joined by \",\". A PATH\n"
    "that is a folder stands for every file under it whose name contains \"xls\" (in any\n"
    "letter case); a PATH that is a file is searched whatever its name. KEYWORD is always\n"
    "the last argument, even when it names a file or folder. Matching ignores letter case\n"
    "and takes part of a cell; \"?\" stands for one character, \"*\" for any run, \"~\" makes\n"
    "the next character literal.\n"
    "\n"
    "  --cells        one line per matching cell instead: PATH, SHEET, CELL (as C12) and the\n"
    "                 cell's text, tab-separated, in row order; tab, newline, carriage return\n"
    "                 and backslash in the text are written \\t, \\n, \\r and \\\\\n"
    "  --max-hits N   with --cells, list at most N cells per workbook (default 100); how many\n"
    "                 more there are is said on standard error\n"
    "  --files        print the workbooks found under each PATH, one per line, search nothing\n"
    "  --jobs N       search N workbooks at a time (default: one per core); output order is\n"
    "                 the same whatever N is\n"
    "  -s, --no-messages\n"
    "                 say nothing about paths and workbooks that could not be searched\n"
    "  --help         show this text\n"
    "  --             the arguments after it are paths and the keyword, never options\n"
    "\n"
    "Options may come anywhere before \"--\". An argument beginning with \"-\" that is no\n"
    "option above is refused before the first PATH and taken as a PATH or the KEYWORD after\n"
    "it: \"quillmark-find book.xlsx -5\" looks for -5.\n"
    "\n"
    "A path or workbook that could not be searched is reported on standard error as\n"
    "\"quillmark-find: PATH: REASON\" (a sheet that could not be read: \"PATH: sheet NAME:\n"
    "REASON\"). Owner files named \"~$...\", left beside workbooks that are open elsewhere,\n"
    "are never reported.\n"
    "\n"
    "Exit status: 2 when something could not be searched (even if something matched), else 0\n"
    "when some workbook matched (with --files: some workbook was found), else 1.\n";

class CollectingSink final : public search::ScanSink {
  public:
    explicit CollectingSink(std::vector<std::string>& paths) : paths_(paths) {}
    void append(const std::string& path) override { paths_.push_back(path); }
    void processEvents() override {}

  private:
    std::vector<std::string>& paths_;
};

// The workbooks the paths stand for, in the order given: a folder's walk, or the file
// itself. A path that leads nowhere is reported; `trouble` says whether one did.
std::vector<std::string> workbooksOf(const FindOptions& options, std::ostream& err, bool& trouble) {
    platform::FileSystem& fileSystem = platform::nativeFileSystem();
    std::vector<std::string> workbooks;
    CollectingSink sink(workbooks);
    for (std::string path : options.paths) {
        const std::optional<unsigned> attributes = fileSystem.attributes(path);
        if (!attributes) {
            trouble = true;
            if (!options.quiet) printProblem(err, path, "no such file or folder");
        } else if ((*attributes & platform::kAttributeFolder) == 0) {
            workbooks.push_back(path);
        } else {
            if (!path.ends_with(platform::kSeparator)) path += platform::kSeparator;
            search::SearchFiles(path, search::kWorkbookPattern, sink, fileSystem);
        }
    }
    return workbooks;
}

int listWorkbooks(const std::vector<std::string>& workbooks, bool trouble, std::ostream& out) {
    for (const std::string& path : workbooks) out << path << '\n';
    out.flush();
    if (trouble) return kExitTrouble;
    return workbooks.empty() ? kExitNoMatch : kExitMatch;
}

int searchWorkbooks(const std::vector<std::string>& workbooks, const FindOptions& options,
                    bool trouble, std::ostream& out, std::ostream& err) {
    search::SearchOptions searchOptions;
    searchOptions.collectHits = options.cells;
    searchOptions.hitLimit = options.maxHits;
    const AnswerLines lines{out, err, options.cells, options.quiet};
    bool matched = false;
    searchInOrder<search::WorkbookSearchResult>(
        workbooks.size(), options.jobs,
        [&](std::size_t index) {
            return search::searchWorkbook(workbooks[index], options.keyword, searchOptions);
        },
        [&](std::size_t index, search::WorkbookSearchResult& result) {
            matched = matched || result.matched();
            trouble = printAnswer(lines, workbooks[index], result) || trouble;
        });
    if (trouble) return kExitTrouble;
    return matched ? kExitMatch : kExitNoMatch;
}

}  // namespace

int runFind(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    auto parsed = parseArguments(arguments);
    if (!parsed) {
        err << "quillmark-find: " << parsed.failure() << "\n" << kUsage;
        return kExitTrouble;
    }
    const FindOptions& options = parsed.value();
    if (options.help) {
        out << kUsage;
        return kExitMatch;
    }
    bool trouble = false;
    const std::vector<std::string> workbooks = workbooksOf(options, err, trouble);
    if (options.filesOnly) return listWorkbooks(workbooks, trouble, out);
    return searchWorkbooks(workbooks, options, trouble, out, err);
}

}  // namespace quillmark::cli
