// Argument handling and output of quillmark-find.
#include "cli/find_command.h"

#include <sys/stat.h>

#include <charconv>
#include <thread>

#include "cli/parallel_search.h"
#include "search/folder_scan.h"
#include "search/workbook_search.h"

namespace quillmark::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmark-find [--jobs N] FOLDER KEYWORD\n"
    "       quillmark-find --files FOLDER\n"
    "\n"
    "Finds KEYWORD in every workbook under FOLDER (every file whose name contains \"xls\",\n"
    "in any letter case) and prints one line per workbook that holds it: the path, a tab,\n"
    "and the names of the matching sheets joined by \",\". Matching ignores letter case and\n"
    "takes part of a cell; \"?\" stands for one character, \"*\" for any run, \"~\" makes the\n"
    "next character literal.\n"
    "\n"
    "  --files     print the workbooks found under FOLDER, one per line, and search nothing\n"
    "  --jobs N    search N workbooks at a time (default: one per core); output order is\n"
    "              the same whatever N is\n"
    "  --help      show this text\n"
    "\n"
    "Exit status: 0 when some workbook matched, 1 when none did, 2 on trouble.\n";

struct Options {
    bool filesOnly = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> positional;
};

class CollectingSink final : public search::ScanSink {
  public:
    void append(const std::string& path) override { paths.push_back(path); }
    void processEvents() override {}
    std::vector<std::string> paths;
};

bool parseJobs(const std::string& text, unsigned& jobs) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 256)
        return false;
    jobs = value;
    return true;
}

// Returns an error message, or empty when the arguments are good.
std::string parse(const std::vector<std::string>& arguments, Options& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--files") {
            options.filesOnly = true;
        } else if (argument == "--jobs" || argument == "-j") {
            if (i + 1 >= arguments.size() || !parseJobs(arguments[++i], options.jobs))
                return "--jobs takes a whole number from 1 to 256";
        } else if (argument.rfind("--jobs=", 0) == 0) {
            if (!parseJobs(argument.substr(7), options.jobs))
                return "--jobs takes a whole number from 1 to 256";
        } else if (argument == "--") {
            options.positional.insert(options.positional.end(), arguments.begin() + i + 1,
                                      arguments.end());
            break;
        } else if (argument.size() > 1 && argument[0] == '-' && options.positional.empty()) {
            return "unknown option " + argument;
        } else {
            options.positional.push_back(argument);
        }
    }
    std::size_t wanted = options.filesOnly ? 1 : 2;
    if (options.positional.size() != wanted)
        return options.filesOnly ? "--files takes one FOLDER" : "expected FOLDER and KEYWORD";
    return {};
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int runFind(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            out << kUsage;
            return kExitMatch;
        }
    }
    Options options;
    if (std::string problem = parse(arguments, options); !problem.empty()) {
        err << "quillmark-find: " << problem << "\n" << kUsage;
        return kExitTrouble;
    }
    std::string folder = options.positional[0];
    if (!isFolder(folder)) {
        err << "quillmark-find: " << folder << ": not a folder\n";
        return kExitTrouble;
    }
    if (folder.back() != platform::kSeparator) folder += platform::kSeparator;

    CollectingSink sink;
    search::SearchFiles(folder, "*xls*", sink);
    if (options.filesOnly) {
        for (const std::string& path : sink.paths) out << path << '\n';
        out.flush();
        return sink.paths.empty() ? kExitNoMatch : kExitMatch;
    }

    bool matched = false;
    searchInOrder(sink.paths, options.positional[1], options.jobs, search::FindinExcel,
                  [&](std::size_t index, const std::string& answer) {
                      if (answer.empty()) return;
                      matched = true;
                      out << sink.paths[index] << '\t' << answer << '\n';
                      out.flush();
                  });
    return matched ? kExitMatch : kExitNoMatch;
}

}  // namespace quillmark::cli
