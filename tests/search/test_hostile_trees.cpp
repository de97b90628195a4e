// Runs over folders where broken, vanishing and special files sit beside healthy workbooks,
// whose matches must all be kept (the walk's own hostile trees are in test_folder_scan.cpp).
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "search/folder_scan.h"
#include "search/workbook_search.h"
#include "temporary_tree.h"

using quillmark::search::FindinExcel;
using quillmark::search::ScanSink;
using quillmark::search::SearchFiles;
using quillmark::testing::TemporaryTree;
using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const std::string kFixtures = QUILLMARK_TEST_DATA "/every_format/";
const std::string kKeyword = "CAF\xC3\x89";  // in the Sales sheet of every fixture copy

// Records what the walk delivers.
class ListingSink : public ScanSink {
  public:
    void append(const std::string& path) override { appended.push_back(path); }
    void processEvents() override {}
    Paths appended;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Healthy copies of the fixture workbook in each binary and package format.
const std::vector<std::pair<std::string, std::string>> kHealthy = {
    {"book.xlsx", "good-1.xlsx"},   {"book.xls", "good-2.xls"},       {"book.xlsb", "good-3.xlsb"},
    {"book.ods", "good-4.xls.ods"}, {"book-biff5.xls", "good-5.xls"},
};
const char* const kLate[] = {"late-1.xlsx", "late-2.xls", "late-3.xlsx", "late-4.xls"};

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

// Beside healthy copies of the fixture workbook in each binary and package format: broken
// workbooks that stay as they are (truncated, garbage, empty, a zip or compound file header
// and nothing after it, a folder and a FIFO that carry workbook names), and healthy ones that
// the walk-order run changes just before their turn.
void makeTree(const TemporaryTree& tree) {
    for (const auto& [fixture, name] : kHealthy)
        fs::copy_file(kFixtures + fixture, tree.root() + name);
    fs::copy_file(kFixtures + "book.xlsx", tree.root() + "caf\xE9-good.xlsx");
    const std::string xlsx = readFile(kFixtures + "book.xlsx");
    const std::string xls = readFile(kFixtures + "book.xls");
    tree.file("broken-1.xlsx", xlsx.substr(0, xlsx.size() / 2));
    tree.file("broken-2.xls", xls.substr(0, 700));
    tree.file("broken-3.xls", garbage(5000));
    tree.file("broken-4.xls", "");
    tree.file("broken-5.xlsx", "PK\x03\x04" + garbage(300));
    tree.file("broken-6.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + garbage(600));
    tree.make({"broken-7.xls/", "broken-8.xls|"});
    for (const char* name : kLate) tree.file(name, std::string(name).back() == 'x' ? xlsx : xls);
}

}  // namespace

class TestHostileTrees : public QObject {
    Q_OBJECT

    TemporaryTree tree;

  private slots:
    void initTestCase() { makeTree(tree); }

    // Through quillmark-find, searching in parallel: exactly the healthy workbooks are
    // printed, the broken ones are reported (status 2, as grep's after an error), and nothing
    // hangs on the FIFO or the folder named like a workbook.
    void commandLineKeepsEveryHealthyMatch() {
        QProcess process;
        process.start(
            QUILLMARK_FIND_EXECUTABLE,
            {"--jobs", "2", QString::fromStdString(tree.root()), QString::fromStdString(kKeyword)});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("broken-3.xls: "));
        std::set<std::string> printed;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
            if (!line.isEmpty()) printed.insert(line.toStdString());
        std::set<std::string> expected;
        for (const auto& [fixture, name] : kHealthy)
            expected.insert(tree.root() + name + "\tSales");
        for (const char* name : kLate) expected.insert(tree.root() + name + "\tSales");
        expected.insert(tree.root() + "caf\xE9-good.xlsx\tSales");  // the name's own bytes
        QCOMPARE(printed, expected);
    }

    // A run in walk order where some workbooks vanish, shrink or change kind just before
    // their turn, beside broken ones: every healthy workbook still answers its sheet.
    void healthyWorkbooksKeepTheirMatchesBesideBrokenOnes() {
        ListingSink sink;
        SearchFiles(tree.root(), "*xls*", sink);
        Paths listed = sink.appended;
        listed.push_back(tree.root() + "broken-8.xls");  // the walk leaves FIFOs out; a run may not
        std::map<std::string, std::string> answers;
        for (const std::string& path : listed) {
            const std::string name = fs::path(path).filename().string();
            // Just before their turn: deleted, truncated to nothing, cut in half, made a FIFO.
            if (name == "late-1.xlsx" || name == "late-4.xls") fs::remove(path);
            if (name == "late-2.xls") QVERIFY(::truncate(path.c_str(), 0) == 0);
            if (name == "late-3.xlsx")
                QVERIFY(::truncate(path.c_str(), fs::file_size(path) / 2) == 0);
            if (name == "late-4.xls") QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
            answers[name] = FindinExcel(path, kKeyword);
        }
        for (const auto& [fixture, name] : kHealthy) QCOMPARE(answers[name], std::string("Sales"));
        for (const char* name : {"broken-3.xls", "broken-4.xls", "broken-5.xlsx", "broken-6.xls",
                                 "broken-8.xls", "late-1.xlsx", "late-2.xls", "late-4.xls"})
            QCOMPARE(answers[name], std::string());
    }
};

QTEST_GUILESS_MAIN(TestHostileTrees)
#include "test_hostile_trees.moc"
