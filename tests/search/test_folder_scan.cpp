// The folder walk over real temporary trees: walk order, which names match, what is entered,
// the event passes the window relies on, and the faults a careless walk would have (link
// loops, deep trees, abandoned walks, huge folders, names that are not UTF-8, a tree that
// changes while it is walked).
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "search/folder_scan.h"
#include "temporary_tree.h"

using quillmark::platform::FileIdentity;
using quillmark::platform::FileSystem;
using quillmark::search::ScanSink;
using quillmark::search::SearchFiles;
using quillmark::testing::TemporaryTree;
using Paths = std::vector<std::string>;

namespace {

// Records what the walk delivers; can give the walk up after a number of event passes, or
// change the tree at one.
class RecordingSink : public ScanSink {
  public:
    void append(const std::string& path) override { appended.push_back(path); }
    void processEvents() override {
        ++eventPasses;
        if (eventPasses == abandonAfterPasses) abandon = true;
        if (auto action = actions.find(eventPasses); action != actions.end()) action->second();
    }
    bool abandoned() const override { return abandon; }

    Paths appended;
    int eventPasses = 0;
    int abandonAfterPasses = -1;
    bool abandon = false;
    std::map<int, std::function<void()>> actions;
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

Paths scan(const std::string& start, RecordingSink&& sink = {}) {
    SearchFiles(start, "*xls*", sink);
    return sink.appended;
}

Paths prefixed(const std::string& root, const Paths& relatives) {
    Paths paths;
    for (const std::string& relative : relatives) paths.push_back(root + relative);
    return paths;
}

const QStringList kExampleTree = {"D/",   "D/a.xls",   "D/b.txt", "D/c.xlsx",
                                  "D/A/", "D/A/x.xls", "D/B/",    "D/B/notes.txt"};

}  // namespace

class TestFolderScan : public QObject {
    Q_OBJECT

  private slots:
    void walk_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("found");
        // clang-format off
        QTest::newRow("files first, then each subtree") << kExampleTree << "D/" << QStringList{"a.xls", "c.xlsx", "A/x.xls"};
        QTest::newRow("xls in any case and place") << QStringList{"a.xls", "B.XLSX", "c.xlsm", "xls-notes.txt", "old.xls.bak", "plain.csv", "x_l_s.txt", "XlS"} << "" << QStringList{"a.xls", "B.XLSX", "c.xlsm", "old.xls.bak", "XlS", "xls-notes.txt"};
        QTest::newRow("a folder named like a workbook is entered, not listed") << QStringList{"archive.xls/", "archive.xls/inner.xls"} << "" << QStringList{"archive.xls/inner.xls"};
        QTest::newRow("dot folders skipped, dot files listed") << QStringList{".hidden/", ".hidden/secret.xls", ".x.xls"} << "" << QStringList{".x.xls"};
        QTest::newRow("regular files and links to them only") << QStringList{"outside/", "outside/target.txt", "D/", "D/real.xls", "D/link.xls>../outside/target.txt", "D/dangling.xls>../outside/missing", "D/pipe.xls|", "D/socket.xls="} << "D/" << QStringList{"link.xls", "real.xls"};
        QTest::newRow("each real folder entered once") << QStringList{"a.xls", "sub/", "sub/b.xls", "sub/up>..", "sub/self>.", "sub2>sub"} << "" << QStringList{"a.xls", "sub/b.xls"};
        QTest::newRow("a missing start") << QStringList{} << "nowhere/" << QStringList{};
        // clang-format on
        QStringList deep, deepFiles;
        for (QString relative = "d/"; deep.size() < 600; relative += "d/") {
            deepFiles << relative + "f.xls";
            deep << relative << deepFiles.back();
        }
        QTest::newRow("a very deep tree") << deep << "" << deepFiles;
    }

    void walk() {
        QFETCH(QStringList, entries);
        QFETCH(QString, start);
        QFETCH(QStringList, found);
        TemporaryTree tree(entries);
        Paths expected;
        for (const QString& name : found)
            expected.push_back(tree.root() + start.toStdString() + name.toStdString());
        QCOMPARE(scan(tree.root() + start.toStdString()), expected);
    }

    // The window stays live because the walk yields once per file and once per entry, and
    // a superseded walk stops at the next yield, for good.
    void yieldsPerFileAndEntryAndStopsWhenAbandoned() {
        TemporaryTree tree(kExampleTree + QStringList{"D/.hidden/"});
        const std::string start = tree.root() + "D/";
        RecordingSink whole;
        SearchFiles(start, "*xls*", whole);
        QCOMPARE(whole.eventPasses, 3 + 6 + 1 + 1);  // 3 files; D has 6 entries, A one, B one

        RecordingSink sink;
        sink.abandonAfterPasses = 2;
        SearchFiles(start, "*xls*", sink);
        QCOMPARE(sink.appended, prefixed(start, {"a.xls", "c.xlsx"}));
        sink.abandonAfterPasses = -1;
        SearchFiles(start, "*xls*", sink);  // still given up: nothing at all
        QCOMPARE(sink.eventPasses, 2);
    }

    void listsNamesThatAreNotUtf8WithTheirBytes() {
        TemporaryTree tree;
        const Paths names = {"caf\xE9.xls", "\xFF\xFE.xlsx", "cut\xC3.xls", "\xED\xA0\x80.xls",
                             "\x80\x81/in\xFE.xls"};
        tree.folder("\x80\x81");
        for (const std::string& name : names) tree.file(name);
        Paths found = scan(tree.root()), expected = prefixed(tree.root(), names);
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
    }

    // Entries deleted, swapped for one another or turned into links back up after their folder
    // was listed and before the walk reached them: no loop, nothing twice, the rest found.
    void survivesTheTreeChangingMidWalk_data() {
        QTest::addColumn<int>("atPass");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("lost");
        // clang-format off
        QTest::newRow("vanishing or changing kind") << 1 << "kinds" << QStringList{"sub1/x.xls", "sub4/w.xls"} << QStringList{"sub2/y.xls", "sub3/z.xls"};
        QTest::newRow("link loop") << 1 << "loop" << QStringList{"sub1/x.xls", "sub3/z.xls"} << QStringList{"sub2/y.xls"};
        QTest::newRow("deep subtree removed") << 100 << "deep" << QStringList{"later/g.xls"} << QStringList{};
        // clang-format on
    }

    void survivesTheTreeChangingMidWalk() {
        QFETCH(int, atPass);
        QFETCH(QString, change);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, lost);
        namespace fs = std::filesystem;
        std::string deep = "D/deep";
        for (int level = 0; level < 300; ++level) deep += "/d";
        TemporaryTree tree({"D/", "D/a.xls", "D/b.xls", "D/sub1/", "D/sub1/x.xls", "D/sub2/",
                            "D/sub2/y.xls", "D/sub3/", "D/sub3/z.xls", "D/sub4/", "D/sub4/w.xls",
                            "D/later/", "D/later/g.xls"});
        fs::create_directories(tree.root() + deep);
        tree.file(deep + "/f.xls");
        const std::string start = tree.root() + "D/";
        RecordingSink sink;
        sink.actions[atPass] = [&] {
            if (change == "kinds") {
                fs::remove(start + "b.xls");
                fs::create_directory(start + "b.xls");  // a file that became a folder
                std::ofstream(start + "b.xls/inner.xls") << "x";
                fs::remove_all(start + "sub2");             // a folder gone
                fs::remove_all(start + "sub3");             // a folder that became
                std::ofstream(start + "sub3") << "a file";  // a file
                fs::remove(start + "a.xls");                // a file already listed
            } else if (change == "loop") {
                fs::remove_all(start + "sub2");
                fs::create_directory_symlink("..", start + "sub2");
                fs::create_directory_symlink(start, start + "sub3/back");
            } else {
                fs::remove_all(start + "deep");  // once the walk is well inside it
            }
        };
        const Paths found = scan(start, std::move(sink));
        const std::set<std::string> once(found.begin(), found.end());
        QCOMPARE(once.size(), found.size());
        for (const QString& name : kept) QVERIFY(once.count(start + name.toStdString()));
        for (const QString& name : lost) QVERIFY(!once.count(start + name.toStdString()));
    }

    void skipsUnreadableFolder() {
        TemporaryTree tree({"locked/", "locked/x.xls", "open/", "open/y.xls"});
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
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "test_folder_scan.moc"
