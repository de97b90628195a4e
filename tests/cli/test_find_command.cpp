// quillmark-find: arguments, the lines it prints for matches, cells and workbooks it could
// not search, and its exit statuses, against a fake server whose workbooks the tests choose.
#include <QtTest>
#include <chrono>
#include <sstream>
#include <thread>

#include "cli/find_arguments.h"
#include "cli/find_command.h"
#include "cli/find_output.h"
#include "cli/parallel_search.h"
#include "fake_excel_server.h"
#include "temporary_tree.h"

using namespace quillmark;
using namespace quillmark::cli;
using namespace quillmark::testing;

namespace {

struct Run {
    int status;
    std::string out;
    std::string err;
};

Run run(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    int status = runFind(arguments, out, err);
    return {status, out.str(), err.str()};
}

FakeSheet sheetWith(std::string name, std::vector<FakeHit> hits) {
    return {std::move(name), !hits.empty(), false, std::move(hits)};
}

// Arguments of a table row: words split at spaces, "{dir}" standing for the test folder.
std::vector<std::string> words(const QString& line, const QString& dir) {
    std::vector<std::string> out;
    for (const QString& word : line.split(' ', Qt::SkipEmptyParts))
        out.push_back(QString(word).replace("{dir}", dir).toStdString());
    return out;
}

std::string expand(const QString& text, const QString& dir) {
    return QString(text).replace("{dir}", dir).toStdString();
}

}  // namespace

class TestFindCommand : public QObject {
    Q_OBJECT

    TemporaryTree dir;
    std::map<std::string, std::vector<FakeSheet>> workbooks;

    QString path(const QString& name) const { return QString::fromStdString(dir.root()) + name; }

  private slots:
    // The folder holds a.xlsx, b.xlsx and none.xlsx (good workbooks), broken.xls (not a
    // workbook to the fake), ~$a.xlsx (an owner file), sheets.xls (one unreadable sheet),
    // notes.txt (a workbook under a name the walk passes over), C.XLSX and A/x.xls (workbooks
    // without a match) and an empty folder.
    void initTestCase() {
        dir.make({"a.xlsx", "b.xlsx", "none.xlsx", "broken.xls", "~$a.xlsx", "sheets.xls",
                  "notes.txt", "C.XLSX", "A/", "A/x.xls", "empty/"});
        auto at = [&](const char* name) { return path(name).toStdString(); };
        workbooks[at("a.xlsx")] = {
            sheetWith("Sales", {{"$B$2", "k\tone"}, {"$C$12", "line\nbreak"}}),
            sheetWith("Costs", {}),
            sheetWith("Notes", {{"$A$1", "back\\tslash\r\ncaf\u00e9 \u0001"}})};
        workbooks[at("b.xlsx")] = {sheetWith("Plan", {{"$D$4", "k"}})};
        for (const char* name : {"none.xlsx", "C.XLSX", "A/x.xls"})
            workbooks[at(name)] = {sheetWith("Sheet1", {})};
        workbooks[at("sheets.xls")] = {sheetWith("Good", {{"$A$1", "k"}}),
                                       FakeSheet{"Broken", false, true}};
        workbooks[at("notes.txt")] = {sheetWith("notes", {{"$A$1", "k"}})};
        serveFake([this] {
            auto server = std::make_shared<FakeServer>();
            server->workbooks = &workbooks;
            return server;
        });
    }
    void cleanupTestCase() {
        automation::registerFactory(std::string(automation::kExcelApplication),
                                    automation::createEngineApplication);
    }

    void argumentRule_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("paths");  // joined by "|"; empty when refused
        QTest::addColumn<QString>("keyword");
        // clang-format off
        QTest::newRow("folder and keyword") << "d k" << "d" << "k";
        QTest::newRow("several paths") << "d e/f.xls g k" << "d|e/f.xls|g" << "k";
        QTest::newRow("keyword that is a path") << "d e" << "d" << "e";
        QTest::newRow("options anywhere") << "d --cells k -s" << "d" << "k";
        QTest::newRow("dash keyword after a path") << "d -5" << "d" << "-5";
        QTest::newRow("after --") << "-- -d -s" << "-d" << "-s";
        QTest::newRow("files takes paths only") << "--files d e" << "d|e" << "";
        QTest::newRow("unknown option first") << "--bogus d k" << "" << "";
        QTest::newRow("keyword missing") << "d" << "" << "";
        QTest::newRow("option as keyword") << "d -s" << "" << "";
        QTest::newRow("jobs out of range") << "--jobs 0 d k" << "" << "";
        QTest::newRow("jobs without value") << "d k --jobs" << "" << "";
        QTest::newRow("files without path") << "--files" << "" << "";
        QTest::newRow("files with cells") << "--files --cells d" << "" << "";
        // clang-format on
    }
    void argumentRule() {
        QFETCH(QString, arguments);
        QFETCH(QString, paths);
        QFETCH(QString, keyword);
        auto parsed = parseArguments(words(arguments, {}));
        QCOMPARE(parsed.ok(), !paths.isEmpty());
        if (!parsed) return;
        QStringList got;
        for (const std::string& p : parsed.value().paths) got << QString::fromStdString(p);
        QCOMPARE(got.join('|'), paths);
        QCOMPARE(QString::fromStdString(parsed.value().keyword), keyword);
    }

    void badArgumentsAreTroubleWithUsage() {
        Run refused = run({"--bogus", "/tmp", "x"});
        QCOMPARE(refused.status, kExitTrouble);
        QVERIFY(refused.err.starts_with("quillmark-find: unknown option --bogus\nUsage:"));
        Run help = run({"/tmp", "--help"});
        QCOMPARE(help.status, kExitMatch);
        QVERIFY(help.out.starts_with("Usage:"));
    }

    void answers_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString broken =
            "quillmark-find: {dir}/broken.xls: not a workbook: unknown file format\n";
        const QString badSheet =
            "quillmark-find: {dir}/sheets.xls: sheet Broken: corrupt: unreadable\n";
        const QString gone = "quillmark-find: {dir}/gone: no such file or folder\n";
        const QString listed =
            "{dir}/a.xlsx\tSales,Notes\n{dir}/b.xlsx\tPlan\n{dir}/sheets.xls\tGood\n";
        const QString cells = "{dir}/a.xlsx\tSales\tB2\tk\\tone\n";
        // clang-format off
        QTest::newRow("folder: errors and matches") << "{dir} k" << kExitTrouble << listed << broken + badSheet;
        QTest::newRow("folder, five jobs") << "--jobs 5 {dir} k" << kExitTrouble << listed << broken + badSheet;
        QTest::newRow("-s keeps the status") << "-s {dir} k" << kExitTrouble << listed << "";
        QTest::newRow("files only") << "{dir}/b.xlsx {dir}/a.xlsx k" << kExitMatch << "{dir}/b.xlsx\tPlan\n{dir}/a.xlsx\tSales,Notes\n" << "";
        QTest::newRow("no match") << "{dir}/none.xlsx k" << kExitNoMatch << "" << "";
        QTest::newRow("owner file is no error") << "{dir}/~$a.xlsx {dir}/none.xlsx k" << kExitNoMatch << "" << "";
        QTest::newRow("error without match") << "{dir}/none.xlsx {dir}/broken.xls k" << kExitTrouble << "" << broken;
        QTest::newRow("missing path") << "{dir}/b.xlsx {dir}/gone k" << kExitTrouble << "{dir}/b.xlsx\tPlan\n" << gone;
        QTest::newRow("missing path, -s") << "-s {dir}/gone k" << kExitTrouble << "" << "";
        QTest::newRow("file given is searched whatever its name") << "{dir}/notes.txt k" << kExitMatch << "{dir}/notes.txt\tnotes\n" << "";
        QTest::newRow("cells, escaped") << "--cells {dir}/a.xlsx k" << kExitMatch
            << cells + "{dir}/a.xlsx\tSales\tC12\tline\\nbreak\n{dir}/a.xlsx\tNotes\tA1\tback\\\\tslash\\r\\ncaf\u00e9 \u0001\n" << "";
        QTest::newRow("cells, two jobs") << "--jobs 2 --cells {dir}/sheets.xls {dir}/b.xlsx k" << kExitTrouble
            << "{dir}/sheets.xls\tGood\tA1\tk\n{dir}/b.xlsx\tPlan\tD4\tk\n" << badSheet;
        QTest::newRow("cells past the limit") << "--cells --max-hits 1 {dir}/a.xlsx k" << kExitMatch << cells
            << "quillmark-find: {dir}/a.xlsx: 2 more matching cells not listed (see --max-hits)\n";
        QTest::newRow("files listing") << "--files {dir}/b.xlsx {dir}/gone" << kExitTrouble << "{dir}/b.xlsx\n" << gone;
        QTest::newRow("files: the walk in order, case ignored") << "--files {dir}" << kExitMatch
            << "{dir}/a.xlsx\n{dir}/b.xlsx\n{dir}/broken.xls\n{dir}/C.XLSX\n{dir}/none.xlsx\n{dir}/sheets.xls\n{dir}/~$a.xlsx\n{dir}/A/x.xls\n" << "";
        QTest::newRow("files: an empty folder") << "--files {dir}/empty" << kExitNoMatch << "" << "";
        // clang-format on
    }
    void answers() {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString root = QString::fromStdString(dir.root()).chopped(1);
        Run got = run(words(arguments, root));
        QCOMPARE(got.out, expand(out, root));
        QCOMPARE(got.err, expand(err, root));
        QCOMPARE(got.status, status);
    }

    void parallelAnswersComeInListOrder() {
        const std::size_t count = 40;
        auto slowFirst = [&](std::size_t index) {
            // Early entries take longest, so workers finish out of order.
            std::this_thread::sleep_for(std::chrono::milliseconds(count - index));
            return index;
        };
        for (unsigned jobs : {1u, 2u, 7u}) {
            std::vector<std::size_t> seen;
            searchInOrder<std::size_t>(count, jobs, slowFirst,
                                       [&](std::size_t index, std::size_t& answer) {
                                           QCOMPARE(answer, index);
                                           seen.push_back(answer);
                                       });
            QCOMPARE(seen.size(), count);
            for (std::size_t i = 0; i < count; ++i) QCOMPARE(seen[i], i);
        }
    }
};

QTEST_GUILESS_MAIN(TestFindCommand)
#include "test_find_command.moc"
