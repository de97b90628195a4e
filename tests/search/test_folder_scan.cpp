// The folder walk over real temporary trees: walk order, which names match, what is entered,
// the event passes the window relies on, and the faults a careless walk would have (link
// loops, deep trees, abandoned walks, huge folders).
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <functional>
#include <map>

#include "search/folder_scan.h"

using quillmark::platform::FileIdentity;
using quillmark::platform::FileSystem;
using quillmark::search::ScanSink;
using quillmark::search::SearchFiles;
using Paths = std::vector<std::string>;

namespace {

// Records what the walk delivers; can give the walk up after a number of event passes.
class RecordingSink : public ScanSink {
  public:
    void append(const std::string& path) override { appended.push_back(path); }
    void processEvents() override {
        ++eventPasses;
        if (eventPasses == abandonAfterPasses) abandon = true;
    }
    bool abandoned() const override { return abandon; }

    Paths appended;
    int eventPasses = 0;
    int abandonAfterPasses = -1;
    bool abandon = false;
};

// A file system whose every answer is scripted, to see which calls the walk makes.
class ScriptedFileSystem : public FileSystem {
  public:
    std::vector<std::string> list(const std::string& folder, std::string_view,
                                  unsigned mask) override {
        listed.push_back(folder + (mask == 0 ? " files" : " all"));
        const auto found = entries.find(folder + (mask == 0 ? "files" : "all"));
        return found == entries.end() ? Paths{} : found->second;
    }
    std::optional<unsigned> attributes(const std::string& path) override {
        const auto found = attributeBits.find(path);
        if (found == attributeBits.end()) return std::nullopt;
        return found->second;
    }
    std::optional<FileIdentity> identity(const std::string&) override { return std::nullopt; }

    std::map<std::string, Paths> entries;  // keyed by folder + "files" or folder + "all"
    std::map<std::string, unsigned> attributeBits;
    Paths listed;
};

class TemporaryTree {
  public:
    TemporaryTree() { QVERIFY(directory_.isValid()); }
    std::string root() const { return directory_.path().toStdString() + "/"; }

    void file(const std::string& relative) const {
        const int descriptor = ::open((root() + relative).c_str(), O_CREAT | O_WRONLY, 0644);
        QVERIFY2(descriptor >= 0, relative.c_str());
        ::close(descriptor);
    }
    void folder(const std::string& relative) const {
        QVERIFY2(::mkdir((root() + relative).c_str(), 0755) == 0, relative.c_str());
    }
    void link(const std::string& target, const std::string& relative) const {
        QVERIFY2(::symlink(target.c_str(), (root() + relative).c_str()) == 0, relative.c_str());
    }

  private:
    QTemporaryDir directory_;
};

Paths scan(const std::string& start) {
    RecordingSink sink;
    SearchFiles(start, "*xls*", sink);
    return sink.appended;
}

Paths prefixed(const std::string& root, const Paths& relatives) {
    Paths paths;
    for (const std::string& relative : relatives) paths.push_back(root + relative);
    return paths;
}

// The folder of the worked example: files first, then each subfolder's subtree.
void makeExampleTree(const TemporaryTree& tree) {
    tree.folder("D");
    tree.file("D/a.xls");
    tree.file("D/b.txt");
    tree.file("D/c.xlsx");
    tree.folder("D/A");
    tree.file("D/A/x.xls");
    tree.folder("D/B");
    tree.file("D/B/notes.txt");
}

}  // namespace

class TestFolderScan : public QObject {
    Q_OBJECT

  private slots:
    void walksFilesFirstThenEachSubtree() {
        TemporaryTree tree;
        makeExampleTree(tree);
        const std::string start = tree.root() + "D/";
        QCOMPARE(scan(start), prefixed(start, {"a.xls", "c.xlsx", "A/x.xls"}));
    }

    void yieldsOncePerFileAndOncePerEntry() {
        TemporaryTree tree;
        makeExampleTree(tree);
        tree.folder("D/.hidden");
        RecordingSink sink;
        SearchFiles(tree.root() + "D/", "*xls*", sink);
        // 3 files appended; D has 6 entries, A one, B one.
        QCOMPARE(sink.eventPasses, 3 + 6 + 1 + 1);
    }

    void matchesXlsInAnyCaseAndPosition() {
        TemporaryTree tree;
        for (const char* name : {"a.xls", "B.XLSX", "c.xlsm", "xls-notes.txt", "old.xls.bak",
                                 "plain.csv", "x_l_s.txt", "XlS"})
            tree.file(name);
        QCOMPARE(scan(tree.root()), prefixed(tree.root(), {"a.xls", "B.XLSX", "c.xlsm",
                                                           "old.xls.bak", "XlS", "xls-notes.txt"}));
    }

    void entersMatchingFolderWithoutListingIt() {
        TemporaryTree tree;
        tree.folder("archive.xls");
        tree.file("archive.xls/inner.xls");
        QCOMPARE(scan(tree.root()), prefixed(tree.root(), {"archive.xls/inner.xls"}));
    }

    void skipsDotFoldersButListsDotFiles() {
        TemporaryTree tree;
        tree.folder(".hidden");
        tree.file(".hidden/secret.xls");
        tree.file(".x.xls");
        QCOMPARE(scan(tree.root()), prefixed(tree.root(), {".x.xls"}));
    }

    void listsOnlyRegularFilesAndLinksToThem() {
        TemporaryTree tree;
        tree.folder("outside");
        tree.file("outside/target.txt");
        tree.folder("D");
        tree.file("D/real.xls");
        tree.link("../outside/target.txt", "D/link.xls");
        tree.link("../outside/missing.txt", "D/dangling.xls");
        QVERIFY(::mkfifo((tree.root() + "D/pipe.xls").c_str(), 0644) == 0);
        bindSocket(tree.root() + "D/socket.xls");
        QCOMPARE(scan(tree.root() + "D/"), prefixed(tree.root() + "D/", {"link.xls", "real.xls"}));
    }

    void entersEachRealFolderOnce() {
        TemporaryTree tree;
        tree.file("a.xls");
        tree.folder("sub");
        tree.file("sub/b.xls");
        tree.link("..", "sub/up");
        tree.link(".", "sub/self");
        tree.link(tree.root() + "sub", "sub2");
        QCOMPARE(scan(tree.root()), prefixed(tree.root(), {"a.xls", "sub/b.xls"}));
    }

    void skipsUnreadableFolder() {
        TemporaryTree tree;
        tree.folder("locked");
        tree.file("locked/x.xls");
        tree.folder("open");
        tree.file("open/y.xls");
        const std::string locked = tree.root() + "locked";
        QVERIFY(::chmod(locked.c_str(), 0) == 0);
        const bool permissionsBind = ::access(locked.c_str(), R_OK) != 0;
        const Paths found = scan(tree.root());
        ::chmod(locked.c_str(), 0755);  // so the temporary folder can be removed
        if (!permissionsBind) QSKIP("running with rights that ignore folder permissions");
        QCOMPARE(found, prefixed(tree.root(), {"open/y.xls"}));
    }

    void keepsUnreadableEntriesAsSubfolders() {
        ScriptedFileSystem fileSystem;
        fileSystem.entries["/D/all"] = {"gone", "file.xls", "sub"};
        fileSystem.entries["/D/files"] = {"file.xls"};
        fileSystem.entries["/D/sub/files"] = {"y.xls"};
        fileSystem.attributeBits["/D/file.xls"] = 0;
        fileSystem.attributeBits["/D/sub"] = 16;
        RecordingSink sink;
        SearchFiles("/D/", "*xls*", sink, fileSystem);
        QCOMPARE(sink.appended, (Paths{"/D/file.xls", "/D/sub/y.xls"}));
        QCOMPARE(fileSystem.listed, (Paths{"/D/ files", "/D/ all", "/D/gone/ files", "/D/gone/ all",
                                           "/D/sub/ files", "/D/sub/ all"}));
    }

    void stopsAtOnceWhenAbandoned() {
        TemporaryTree tree;
        makeExampleTree(tree);
        RecordingSink sink;
        sink.abandonAfterPasses = 2;
        SearchFiles(tree.root() + "D/", "*xls*", sink);
        QCOMPARE(sink.appended, prefixed(tree.root() + "D/", {"a.xls", "c.xlsx"}));
        QCOMPARE(sink.eventPasses, 2);

        sink.abandonAfterPasses = -1;
        SearchFiles(tree.root() + "D/", "*xls*", sink);  // still given up: nothing at all
        QCOMPARE(sink.eventPasses, 2);
    }

    void walksVeryDeepTrees() {
        TemporaryTree tree;
        std::string relative;
        Paths expected;
        for (int level = 0; level < 300; ++level) {
            relative += "d/";
            tree.folder(relative);
            tree.file(relative + "f.xls");
            expected.push_back(tree.root() + relative + "f.xls");
        }
        QCOMPARE(scan(tree.root()), expected);
    }

    void appendsAgainOnEveryScan() {
        TemporaryTree tree;
        makeExampleTree(tree);
        RecordingSink sink;
        SearchFiles(tree.root() + "D/", "*xls*", sink);
        SearchFiles(tree.root() + "D/", "*xls*", sink);
        const Paths once = prefixed(tree.root() + "D/", {"a.xls", "c.xlsx", "A/x.xls"});
        Paths twice = once;
        twice.insert(twice.end(), once.begin(), once.end());
        QCOMPARE(sink.appended, twice);
    }

    void missingStartAppendsNothing() {
        TemporaryTree tree;
        RecordingSink sink;
        SearchFiles(tree.root() + "nowhere/", "*xls*", sink);
        QVERIFY(sink.appended.empty());
        QCOMPARE(sink.eventPasses, 0);
    }

    void handlesAHundredThousandFiles() {
        TemporaryTree tree;
        // Hard links to one file per folder: the walk sees 100,000 regular files, and the
        // tree is made in a fraction of the time that many new files would take.
        char name[32];
        for (int folder = 0; folder < 100; ++folder) {
            std::snprintf(name, sizeof name, "f%03d", folder);
            tree.folder(name);
            const std::string first = tree.root() + name + "/0000.xls";
            tree.file(std::string(name) + "/0000.xls");
            for (int file = 1; file < 1000; ++file) {
                std::snprintf(name, sizeof name, "f%03d/%04d.xls", folder, file);
                QVERIFY(::link(first.c_str(), (tree.root() + name).c_str()) == 0);
            }
        }
        const Paths found = scan(tree.root());
        QCOMPARE(found.size(), std::size_t{100000});
        QCOMPARE(found.front(), tree.root() + "f000/0000.xls");
        QCOMPARE(found.back(), tree.root() + "f099/0999.xls");
    }

  private:
    static void bindSocket(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(path.size() < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(descriptor >= 0);
        QVERIFY(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        ::close(descriptor);  // the socket file stays behind, which is all the walk sees
    }
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "test_folder_scan.moc"
