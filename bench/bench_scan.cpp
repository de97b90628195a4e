// How long the folder walk takes on a large tree when every file found goes into a list box
// through the window's own sink, with an event pass after every entry, against find(1) on
// the same tree. Prints a small table and the ratio of the two.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/file_list_sink.h"
#include "app/form1.h"
#include "search/folder_scan.h"

namespace {

constexpr int kDefaultTopFolders = 50;
constexpr int kSubfoldersEach = 99;  // with its parent, 100 folders per top folder
constexpr int kFilesPerFolder = 20;  // half of them named *xls*
constexpr int kRounds = 3;

const char* const kFileNames[kFilesPerFolder] = {
    "report.xls", "Budget.XLSX", "plan.xlsm",   "old.xls.bak", "xls-notes.txt",
    "q1.xlsb",    "Q2.xls",      "archive.XLS", "sum.xls",     "copy of.xlsx",
    "notes.txt",  "photo.jpg",   "readme.md",   "slides.pptx", "letter.docx",
    "table.csv",  "data.ods",    "script.sh",   "mail.eml",    "x_l_s.txt"};

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool fillFolder(const std::string& folder) {
    for (const char* name : kFileNames) {
        const int descriptor = ::open((folder + name).c_str(), O_CREAT | O_WRONLY, 0644);
        if (descriptor < 0) return false;
        ::close(descriptor);
    }
    return true;
}

// By default 50 top folders of 99 subfolders each: 5,000 folders, 100,000 files.
bool makeTree(const std::string& root, int topFolders) {
    for (int top = 0; top < topFolders; ++top) {
        const std::string topFolder = root + "top" + std::to_string(top) + "/";
        if (!makeFolder(topFolder) || !fillFolder(topFolder)) return false;
        for (int sub = 0; sub < kSubfoldersEach; ++sub) {
            const std::string subfolder = topFolder + "Sub" + std::to_string(sub) + "/";
            if (!makeFolder(subfolder) || !fillFolder(subfolder)) return false;
        }
    }
    return true;
}

struct Timing {
    double seconds = 0;
    long files = 0;
};

// The walk alone, or the walk with an event pass per entry but nowhere to show the files.
class CountingSink : public quillmark::search::ScanSink {
  public:
    explicit CountingSink(bool withEventPasses) : withEventPasses_(withEventPasses) {}
    void append(const std::string&) override { ++files; }
    void processEvents() override {
        if (withEventPasses_) QCoreApplication::processEvents();
    }
    long files = 0;

  private:
    bool withEventPasses_;
};

Timing timeWalk(const std::string& root, bool withEventPasses) {
    CountingSink sink(withEventPasses);
    QElapsedTimer timer;
    timer.start();
    quillmark::search::SearchFiles(root, "*xls*", sink);
    return {timer.nsecsElapsed() / 1e9, sink.files};
}

// The native file system, but every attributes() question answered by its own stat(2), as
// if the listing had not remembered its entries' kinds: what the listing cache saves.
class StatEveryEntry final : public quillmark::platform::FileSystem {
  public:
    std::vector<std::string> list(const std::string& folder, std::string_view pattern,
                                  unsigned mask) override {
        return native_.list(folder, pattern, mask);
    }
    std::optional<unsigned> attributes(const std::string& path) override {
        struct stat status;
        if (::stat(path.c_str(), &status) != 0) return std::nullopt;
        return S_ISDIR(status.st_mode) ? quillmark::platform::kAttributeFolder : 0u;
    }
    std::optional<quillmark::platform::FileIdentity> identity(const std::string& path) override {
        return native_.identity(path);
    }

  private:
    quillmark::platform::FileSystem& native_ = quillmark::platform::nativeFileSystem();
};

Timing timeWalkStatEveryEntry(const std::string& root) {
    CountingSink sink(false);
    StatEveryEntry fileSystem;
    QElapsedTimer timer;
    timer.start();
    quillmark::search::SearchFiles(root, "*xls*", sink, fileSystem);
    return {timer.nsecsElapsed() / 1e9, sink.files};
}

Timing timeWalkIntoList(const std::string& root, QListWidget& list) {
    list.clear();
    QCoreApplication::processEvents();  // the emptied list is laid out before the clock starts
    quillmark::app::FileListSink sink(list, [] { return false; });
    QElapsedTimer timer;
    timer.start();
    quillmark::search::SearchFiles(root, "*xls*", sink);
    return {timer.nsecsElapsed() / 1e9, list.count()};
}

Timing timeFind(const std::string& root) {
    QProcess find;
    QElapsedTimer timer;
    timer.start();
    find.start("find", {QString::fromStdString(root), "-iname", "*xls*", "-type", "f"});
    find.waitForFinished(-1);
    const QByteArray output = find.readAllStandardOutput();
    return {timer.nsecsElapsed() / 1e9, static_cast<long>(output.count('\n'))};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

// Usage: bench_scan [number of top folders, 100 folders and 2,000 files each; default 50]
int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    const int topFolders = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultTopFolders;
    QTemporaryDir directory;
    if (!directory.isValid()) return 1;
    const std::string root = directory.path().toStdString() + "/";

    QElapsedTimer making;
    making.start();
    if (!makeTree(root, topFolders)) {
        std::fprintf(stderr, "could not make the tree under %s\n", root.c_str());
        return 1;
    }
    std::printf("tree: %d files in %d folders, made in %.1f s\n",
                topFolders * (1 + kSubfoldersEach) * kFilesPerFolder,
                topFolders * (1 + kSubfoldersEach), making.nsecsElapsed() / 1e9);

    // The window's own file list, List1 of a real Form1 (offscreen). Hidden it costs only the
    // model; shown it is laid out and painted as on screen.
    quillmark::app::Form1 form;
    QListWidget& list = *form.findChild<QListWidget*>(QStringLiteral("List1"));
    timeFind(root);  // warm the directory cache so neither side pays for the disk

    // Rounds alternate the kinds so a burst of load on the machine touches all of them; the
    // shown list has rounds of its own, with find beside it, once the window is shown.
    enum Kind {
        kWalkOnly,
        kStatEveryEntry,
        kWithEvents,
        kIntoHiddenList,
        kIntoShownList,
        kFind,
        kKinds
    };
    const char* const labels[kKinds] = {"SearchFiles, no event passes",
                                        "SearchFiles, a stat(2) per entry (no listing cache)",
                                        "SearchFiles, event pass per entry",
                                        "SearchFiles into a hidden QListWidget",
                                        "SearchFiles into the shown QListWidget",
                                        "find DIR -iname '*xls*' -type f"};
    std::vector<double> seconds[kKinds];
    long files[kKinds] = {};
    const auto record = [&](Kind kind, Timing timing) {
        seconds[kind].push_back(timing.seconds);
        files[kind] = timing.files;
    };
    for (int round = 0; round < kRounds; ++round) {
        record(kWalkOnly, timeWalk(root, false));
        record(kStatEveryEntry, timeWalkStatEveryEntry(root));
        record(kWithEvents, timeWalk(root, true));
        record(kIntoHiddenList, timeWalkIntoList(root, list));
        record(kFind, timeFind(root));
    }
    form.show();
    for (int round = 0; round < kRounds; ++round) {
        record(kIntoShownList, timeWalkIntoList(root, list));
        record(kFind, timeFind(root));
    }

    std::printf("\n%-52s %10s %8s %8s\n", "median of the rounds", "seconds", "files", "x find");
    const double find = median(seconds[kFind]);
    bool countsAgree = true;
    for (int kind = 0; kind < kKinds; ++kind) {
        const double kindSeconds = median(seconds[kind]);
        std::printf("%-52s %10.3f %8ld %7.2fx\n", labels[kind], kindSeconds, files[kind],
                    kindSeconds / find);
        countsAgree = countsAgree && files[kind] == files[kFind];
    }
    std::printf("\nratio into a QListWidget / find: %.2fx hidden, %.2fx shown (target: 5x)%s\n",
                median(seconds[kIntoHiddenList]) / find, median(seconds[kIntoShownList]) / find,
                countsAgree ? "" : "   FILE COUNTS DIFFER");
    return countsAgree ? 0 : 1;
}
