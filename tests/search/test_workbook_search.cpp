// The one-workbook search against a recording fake automation server: the calls it makes,
// in order, the answer it forms on good, broken and empty workbooks, and the hits it lists.
#include <QtTest>

#include "fake_excel_server.h"
#include "platform/automation.h"
#include "platform/engine_automation.h"
#include "search/failure_text.h"
#include "search/workbook_search.h"

using namespace quillmark;
using namespace quillmark::automation;
using namespace quillmark::testing;

namespace {

std::vector<FakeHit> hitsIn(const std::string& column, int count) {
    std::vector<FakeHit> hits;
    for (int row = 1; row <= count; ++row)
        hits.push_back({"$" + column + "$" + std::to_string(row), column + std::to_string(row)});
    return hits;
}

// "C1 C2" for the hits' cells, so that a table row can name what a sheet should hold.
std::string cellsOf(const search::SheetMatch& sheet) {
    std::string cells;
    for (const search::CellHit& hit : sheet.hits) cells += (cells.empty() ? "" : " ") + hit.cell;
    return cells;
}

search::WorkbookSearchResult searchWithHits(std::size_t limit = 100) {
    search::SearchOptions options;
    options.collectHits = true;
    options.hitLimit = limit;
    return search::searchWorkbook("/b.xlsx", "k", options);
}

std::vector<std::string> tail(const std::vector<std::string>& log, std::size_t count) {
    return {log.end() - std::min(count, log.size()), log.end()};
}

}  // namespace

class TestWorkbookSearch : public QObject {
    Q_OBJECT

    std::shared_ptr<FakeServer> server;

  private slots:
    void init() {
        server = std::make_shared<FakeServer>();
        serveFake([this] { return server; });
    }
    void cleanupTestCase() {
        registerFactory(std::string(kExcelApplication), createEngineApplication);
    }

    void joinsMatchingSheetsInOrderAndQuitsTwice() {
        server->sheets = {{"Sales", true}, {"Costs", false}, {"Notes", true}};
        QCOMPARE(search::FindinExcel("/data/book.xlsx", "total"), std::string("Sales,Notes"));
        const std::vector<std::string> expectedStart = {
            "app.workbooks()",       "workbooks.Open(/data/book.xlsx)",
            "app.Worksheets()",      "worksheets.Count()",
            "app.Worksheets(1)",     "sheet1.name()",
            "app.Worksheets(Sales)", "sheet:Sales.Cells()",
            "cells.Cells()",         "cells.find(total)",
            "app.Worksheets(1)",     "sheet1.name()"};
        QCOMPARE(std::vector<std::string>(server->log.begin(), server->log.begin() + 12),
                 expectedStart);
        // Shut-down: through the last sheet obtained, then directly.
        const std::vector<std::string> expectedEnd = {"sheet:Notes.Application()", "app.quit()",
                                                      "app.quit()"};
        QCOMPARE(tail(server->log, 3), expectedEnd);
    }

    void noMatchStillQuitsTwice() {
        server->sheets = {{"Sheet1", false}};
        QCOMPARE(search::FindinExcel("/b.xls", "absent"), std::string());
        const std::vector<std::string> expectedEnd = {"sheet:Sheet1.Application()", "app.quit()",
                                                      "app.quit()"};
        QCOMPARE(tail(server->log, 3), expectedEnd);
    }

    void sheetNameWithCommaStaysAsItIs() {
        server->sheets = {{"Q1,Q2", true}, {"Plan", true}};
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string("Q1,Q2,Plan"));
    }

    void keywordPassesUnchanged() {
        server->sheets = {{"Sheet1", false}};
        search::FindinExcel("/b.xlsx", "  Café ~* ");
        QCOMPARE(server->keywordSeen, std::string("  Café ~* "));
    }

    void unsearchableSheetIsPassedOver() {
        server->sheets = {{"Sales", true}, {"Broken", false, true}, {"Notes", true}};
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string("Sales,Notes"));
    }

    void unopenableWorkbookGivesEmptyAnswerAndQuitsDirectly() {
        server->sheets = {{"Sales", true}};
        server->openFails = true;
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        const std::vector<std::string> expected = {"app.workbooks()", "workbooks.Open(/b.xlsx)",
                                                   "app.quit()"};
        QCOMPARE(server->log, expected);
    }

    void noWorksheetsMeansNoQuitThroughASheet() {
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        const std::vector<std::string> expectedEnd = {"worksheets.Count()", "app.quit()"};
        QCOMPARE(tail(server->log, 2), expectedEnd);
    }

    void serverThatCannotBeCreated() {
        unregisterFactory(kExcelApplication);
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        QVERIFY(server->log.empty());
        auto result = search::searchWorkbook("/b.xlsx", "x");
        QVERIFY(result.failure);
        QCOMPARE(result.failure->kind, CallFailureKind::NotAvailable);
    }

    void failuresKeepTheirKindAndReason() {
        server->sheets = {{"Sales", true}, {"Broken", false, true}};
        auto sheetFailed = search::searchWorkbook("/b.xlsx", "x");
        QVERIFY(!sheetFailed.failure);
        QCOMPARE(sheetFailed.sheetFailures.size(), std::size_t(1));
        QCOMPARE(sheetFailed.sheetFailures[0].name, std::string("Broken"));
        QCOMPARE(search::failureText(sheetFailed.sheetFailures[0].failure),
                 std::string("corrupt: unreadable"));
        server->openFails = true;
        auto unopened = search::searchWorkbook("/b.xlsx", "x");
        QVERIFY(unopened.failure && unopened.sheets.empty());
        QCOMPARE(unopened.failure->engineKind, std::optional(FailureKind::Encrypted));
        QCOMPARE(search::failureText(*unopened.failure),
                 std::string("encrypted with a password (RC4)"));
    }

    void hitsAreAskedOfTheSameCellsAfterAMatch() {
        server->sheets = {{"Sales", true, false, {{"$C$12", "total due"}}}, {"Costs", false}};
        auto result = searchWithHits();
        const std::vector<std::string> expected = {
            "app.Worksheets(Sales)", "sheet:Sales.Cells()", "cells.Cells()", "cells.find(k)",
            "cells.FindAll(k,100)",  "hits.Count()",        "hits.Item(1)",  "hit1.Address()",
            "hit1.Text()",           "app.Worksheets(1)",   "sheet1.name()", "app.Worksheets(2)"};
        QCOMPARE(std::vector<std::string>(server->log.begin() + 6, server->log.begin() + 18),
                 expected);
        QCOMPARE(result.sheets.size(), std::size_t(1));
        QCOMPARE(result.sheets[0].hits.size(), std::size_t(1));
        QCOMPARE(result.sheets[0].hits[0].cell, std::string("C12"));
        QCOMPARE(result.sheets[0].hits[0].text, std::string("total due"));
    }

    void withoutHitsNothingMoreIsAsked() {
        server->sheets = {{"Sales", true, false, hitsIn("A", 3)}};
        QCOMPARE(search::FindinExcel("/b.xlsx", "k"), std::string("Sales"));
        for (const std::string& call : server->log)
            QVERIFY2(!call.starts_with("cells.FindAll"), call.c_str());
    }

    void hitLimitIsForTheWholeWorkbook_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("cells");    // per matching sheet
        QTest::addColumn<QList<int>>("moreHits");  // per matching sheet
        QTest::newRow("all kept") << 100 << QStringList{"A1 A2", "B1 B2 B3"} << QList<int>{0, 0};
        QTest::newRow("second sheet cut") << 3 << QStringList{"A1 A2", "B1"} << QList<int>{0, 2};
        QTest::newRow("first sheet cut") << 1 << QStringList{"A1", ""} << QList<int>{1, 3};
        QTest::newRow("only counted") << 0 << QStringList{"", ""} << QList<int>{2, 3};
    }
    void hitLimitIsForTheWholeWorkbook() {
        QFETCH(int, limit);
        QFETCH(QStringList, cells);
        QFETCH(QList<int>, moreHits);
        server->sheets = {{"One", true, false, hitsIn("A", 2)},
                          {"None", false},
                          {"Two", true, false, hitsIn("B", 3)}};
        auto result = searchWithHits(std::size_t(limit));
        QCOMPARE(result.sheets.size(), std::size_t(2));
        for (std::size_t i = 0; i < 2; ++i) {
            QCOMPARE(QString::fromStdString(cellsOf(result.sheets[i])), cells[int(i)]);
            QCOMPARE(int(result.sheets[i].moreHits), moreHits[int(i)]);
        }
    }

    void serverWithoutFindAllStillMatches() {
        server->sheets = {{"Sales", true, false, hitsIn("A", 2)}};
        server->hasFindAll = false;
        auto result = searchWithHits();
        QCOMPARE(search::sheetNameList(result), std::string("Sales"));
        QVERIFY(result.sheets[0].hits.empty());
        QVERIFY(result.sheetFailures.empty() && !result.failure);
    }

    void findAllFailureKeepsTheMatchAndSaysWhy() {
        server->sheets = {{"Sales", true, false, hitsIn("A", 2)}, {"Notes", true}};
        server->findAllFails = true;
        auto result = searchWithHits();
        QCOMPARE(search::sheetNameList(result), std::string("Sales,Notes"));
        QCOMPARE(result.sheetFailures.size(), std::size_t(2));
        QCOMPARE(search::failureText(result.sheetFailures[0].failure),
                 std::string("truncated: cut"));
    }

    void failureTexts_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("text");
        QTest::newRow("scheme kept")
            << int(FailureKind::Encrypted) << "workbook is password-protected (XOR obfuscation)"
            << "encrypted with a password (XOR obfuscation)";
        QTest::newRow("no scheme") << int(FailureKind::Encrypted) << "the package is encrypted"
                                   << "encrypted with a password";
        QTest::newRow("size alone") << int(FailureKind::TooLarge) << "file larger than 1 GiB"
                                    << "file larger than 1 GiB";
        QTest::newRow("kind first") << int(FailureKind::Corrupt) << "sector chain loops"
                                    << "corrupt: sector chain loops";
        QTest::newRow("not a workbook") << int(FailureKind::NotAWorkbook) << "empty file"
                                        << "not a workbook: empty file";
        QTest::newRow("file system") << int(FailureKind::Unreadable) << "Permission denied"
                                     << "cannot be read: Permission denied";
    }
    void failureTexts() {
        QFETCH(int, kind);
        QFETCH(QString, reason);
        QFETCH(QString, text);
        auto failure = engineFailure(fail(FailureKind(kind), reason.toStdString()));
        QCOMPARE(QString::fromStdString(search::failureText(failure)), text);
    }
};

QTEST_GUILESS_MAIN(TestWorkbookSearch)
#include "test_workbook_search.moc"
