// Hostile trees beyond what the folder walk's own tests cover: names that are not UTF-8, a
// tree that changes while it is walked, and runs over folders where broken, vanishing and
// special files sit beside healthy workbooks, whose matches must all be kept.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "search/folder_scan.h"
#include "search/workbook_search.h"

using quillmark::search::FindinExcel;
using quillmark::search::ScanSink;
using quillmark::search::SearchFiles;
using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const std::string kFixtures = QUILLMARK_TEST_DATA "/every_format/";
const std::string kKeyword = "CAF\xC3\x89";  // in the Sales sheet of every fixture copy

// Runs an action on the tree at a chosen event pass of the walk, and records what it delivers.
class ChangingSink : public ScanSink {
  public:
    void append(const std::string& path) override { appended.push_back(path); }
    void processEvents() override {
        auto action = actions.find(++passes);
        if (action != actions.end()) action->second();
    }

    std::map<int, std::function<void()>> actions;
    Paths appended;
    int passes = 0;
};

class Tree {
  public:
    Tree() { QVERIFY(directory_.isValid()); }
    // Qt cannot remove names that are not UTF-8; the file system's own calls can.
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(directory_.path().toStdString(), ignored);
    }
    std::string root() const { return directory_.path().toStdString() + "/"; }

    void write(const std::string& relative, const std::string& bytes) const {
        std::ofstream out(root() + relative, std::ios::binary);
        out << bytes;
        QVERIFY2(out.good(), relative.c_str());
    }
    void copy(const std::string& fixture, const std::string& relative) const {
        fs::copy_file(kFixtures + fixture, root() + relative);
    }
    void folder(const std::string& relative) const { fs::create_directories(root() + relative); }

  private:
    QTemporaryDir directory_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Paths scan(const std::string& start, ChangingSink& sink) {
    SearchFiles(start, "*xls*", sink);
    return sink.appended;
}

bool hasDuplicates(Paths paths) {
    std::sort(paths.begin(), paths.end());
    return std::adjacent_find(paths.begin(), paths.end()) != paths.end();
}

bool contains(const Paths& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// Healthy copies of the fixture workbook in each binary and package format.
const std::vector<std::pair<std::string, std::string>> kHealthy = {
    {"book.xlsx", "good-1.xlsx"},   {"book.xls", "good-2.xls"},       {"book.xlsb", "good-3.xlsb"},
    {"book.ods", "good-4.xls.ods"}, {"book-biff5.xls", "good-5.xls"},
};

// Deterministic bytes that are no format at all.
std::string garbage(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

// Broken workbooks that stay as they are: truncated, garbage, empty, a zip or compound file
// header and nothing after it, a folder and a FIFO that carry workbook names.
void addBrokenNeighbours(const Tree& tree) {
    const std::string xlsx = readFile(kFixtures + "book.xlsx");
    const std::string xls = readFile(kFixtures + "book.xls");
    tree.write("broken-1.xlsx", xlsx.substr(0, xlsx.size() / 2));
    tree.write("broken-2.xls", xls.substr(0, 700));
    tree.write("broken-3.xls", garbage(5000));
    tree.write("broken-4.xls", "");
    tree.write("broken-5.xlsx", "PK\x03\x04" + garbage(300));
    tree.write("broken-6.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + garbage(600));
    tree.folder("broken-7.xls");
    QVERIFY(::mkfifo((tree.root() + "broken-8.xls").c_str(), 0644) == 0);
}

}  // namespace

class TestHostileTrees : public QObject {
    Q_OBJECT

  private slots:
    void listsNamesThatAreNotUtf8WithTheirBytes() {
        Tree tree;
        const Paths names = {"caf\xE9.xls", "\xFF\xFE.xlsx", "cut\xC3.xls", "\xED\xA0\x80.xls",
                             "\x80\x81/in\xFE.xls"};
        tree.folder("\x80\x81");
        for (const std::string& name : names) tree.write(name, "x");
        ChangingSink sink;
        Paths found = scan(tree.root(), sink);
        Paths expected;
        for (const std::string& name : names) expected.push_back(tree.root() + name);
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
    }

    void searchesWorkbooksWhoseNamesAreNotUtf8() {
        Tree tree;
        tree.copy("book.xlsx", "caf\xE9.xlsx");
        tree.copy("book.xls", "\xFF\xFE.xls");
        QCOMPARE(FindinExcel(tree.root() + "caf\xE9.xlsx", kKeyword), std::string("Sales"));
        QCOMPARE(FindinExcel(tree.root() + "\xFF\xFE.xls", kKeyword), std::string("Sales"));
    }

    // Files and folders deleted, or swapped for one another, after their folder was listed
    // and before the walk reached them.
    void survivesEntriesVanishingOrChangingKind() {
        Tree tree;
        for (const char* name : {"D/a.xls", "D/b.xls", "D/sub1/x.xls", "D/sub2/y.xls",
                                 "D/sub3/z.xls", "D/sub4/w.xls"}) {
            tree.folder(fs::path(name).parent_path().string());
            tree.write(name, "x");
        }
        const std::string start = tree.root() + "D/";
        ChangingSink sink;
        sink.actions[1] = [&] {
            fs::remove(start + "b.xls");
            fs::create_directory(start + "b.xls");  // a file that became a folder
            std::ofstream(start + "b.xls/inner.xls") << "x";
            fs::remove_all(start + "sub2");             // a folder gone
            fs::remove_all(start + "sub3");             // a folder that became
            std::ofstream(start + "sub3") << "a file";  // a file
            fs::remove(start + "a.xls");                // a file already listed
        };
        const Paths found = scan(start, sink);
        QVERIFY(!hasDuplicates(found));
        QVERIFY(contains(found, start + "sub1/x.xls"));
        QVERIFY(contains(found, start + "sub4/w.xls"));
        QVERIFY(!contains(found, start + "sub2/y.xls"));
        QVERIFY(!contains(found, start + "sub3/z.xls"));
    }

    // A folder not yet entered becomes a link to the folder being walked: the walk must
    // neither loop nor list anything twice.
    void survivesALinkLoopMadeDuringTheWalk() {
        Tree tree;
        for (const char* name : {"D/a.xls", "D/sub1/x.xls", "D/sub2/y.xls", "D/sub3/z.xls"}) {
            tree.folder(fs::path(name).parent_path().string());
            tree.write(name, "x");
        }
        const std::string start = tree.root() + "D/";
        ChangingSink sink;
        sink.actions[1] = [&] {
            fs::remove_all(start + "sub2");
            fs::create_directory_symlink("..", start + "sub2");
            fs::create_directory_symlink(start, start + "sub3/back");
        };
        const Paths found = scan(start, sink);
        QVERIFY(!hasDuplicates(found));
        QVERIFY(contains(found, start + "sub1/x.xls"));
        QVERIFY(contains(found, start + "sub3/z.xls"));
        QVERIFY(found.size() <= 4);
    }

    void survivesADeepSubtreeRemovedMidWalk() {
        Tree tree;
        std::string deep = "D/deep";
        for (int level = 0; level < 300; ++level) deep += "/d";
        tree.folder(deep);
        tree.write(deep + "/f.xls", "x");
        tree.folder("D/later");
        tree.write("D/later/g.xls", "x");
        const std::string start = tree.root() + "D/";
        ChangingSink sink;
        // Once the walk is well inside the deep subtree, all of it disappears.
        sink.actions[100] = [&] { fs::remove_all(start + "deep"); };
        const Paths found = scan(start, sink);
        QVERIFY(!hasDuplicates(found));
        QVERIFY(contains(found, start + "later/g.xls"));
    }

    // A run in walk order where some workbooks vanish, shrink or change kind just before
    // their turn, beside broken ones: every healthy workbook still answers its sheet.
    void healthyWorkbooksKeepTheirMatchesBesideBrokenOnes() {
        Tree tree;
        for (const auto& [fixture, name] : kHealthy) tree.copy(fixture, name);
        addBrokenNeighbours(tree);
        for (const char* name : {"late-1.xlsx", "late-2.xls", "late-3.xlsx", "late-4.xls"})
            tree.copy(std::string(name).back() == 'x' ? "book.xlsx" : "book.xls", name);

        ChangingSink sink;
        Paths listed = scan(tree.root(), sink);
        // Just before their turn: deleted, truncated to nothing, cut in half, turned into a FIFO.
        const std::map<std::string, std::function<void(const std::string&)>> beforeTurn = {
            {"late-1.xlsx", [](const std::string& path) { fs::remove(path); }},
            {"late-2.xls",
             [](const std::string& path) { QVERIFY(::truncate(path.c_str(), 0) == 0); }},
            {"late-3.xlsx",
             [](const std::string& path) {
                 QVERIFY(::truncate(path.c_str(), fs::file_size(path) / 2) == 0);
             }},
            {"late-4.xls",
             [](const std::string& path) {
                 fs::remove(path);
                 QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
             }},
        };
        listed.push_back(tree.root() + "broken-8.xls");  // the walk leaves FIFOs out; a run may not
        std::map<std::string, std::string> answers;
        for (const std::string& path : listed) {
            const std::string name = fs::path(path).filename().string();
            if (auto change = beforeTurn.find(name); change != beforeTurn.end())
                change->second(path);
            answers[name] = FindinExcel(path, kKeyword);
        }
        for (const auto& [fixture, name] : kHealthy) QCOMPARE(answers[name], std::string("Sales"));
        for (const char* name : {"broken-3.xls", "broken-4.xls", "broken-5.xlsx", "broken-6.xls",
                                 "broken-8.xls", "late-1.xlsx", "late-2.xls", "late-4.xls"})
            QCOMPARE(answers[name], std::string());
    }

    // The same through quillmark-find, searching in parallel: exactly the healthy workbooks
    // are printed, and nothing hangs on the FIFO or the folder named like a workbook.
    void commandLineKeepsEveryHealthyMatch() {
        Tree tree;
        for (const auto& [fixture, name] : kHealthy) tree.copy(fixture, name);
        tree.copy("book.xlsx", "caf\xE9-good.xlsx");
        addBrokenNeighbours(tree);
        QProcess process;
        process.start(
            QUILLMARK_FIND_EXECUTABLE,
            {"--jobs", "2", QString::fromStdString(tree.root()), QString::fromStdString(kKeyword)});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QByteArray output = process.readAllStandardOutput();
        std::set<std::string> printed;
        for (const QByteArray& line : output.split('\n'))
            if (!line.isEmpty()) printed.insert(line.toStdString());
        std::set<std::string> expected;
        for (const auto& [fixture, name] : kHealthy)
            expected.insert(tree.root() + name + "\tSales");
        expected.insert(tree.root() + "caf\xE9-good.xlsx\tSales");  // the name's own bytes
        QCOMPARE(printed, expected);
    }
};

QTEST_GUILESS_MAIN(TestHostileTrees)
#include "test_hostile_trees.moc"
