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

    // Sheets as "Name+" (holds the keyword), "Name-" (does not), "Name!" (cannot be searched),
    // "|" between them; the answer, and how the server was shut down (the last calls).
    void answerAndShutDown_data() {
        QTest::addColumn<QString>("sheets");
        QTest::addColumn<bool>("openFails");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("lastCalls");
        const QString viaNotes = "sheet:Notes.Application()|app.quit()|app.quit()";
        // clang-format off
        QTest::newRow("matching sheets in order") << "Sales+|Costs-|Notes+" << false << "total" << "Sales,Notes" << viaNotes;
        QTest::newRow("no match still quits twice") << "Sheet1-" << false << "absent" << "" << "sheet:Sheet1.Application()|app.quit()|app.quit()";
        QTest::newRow("comma in a name kept") << "Q1,Q2+|Plan+" << false << "x" << "Q1,Q2,Plan" << "sheet:Plan.Application()|app.quit()|app.quit()";
        QTest::newRow("keyword passes unchanged") << "Sheet1-" << false << "  Caf\u00e9 ~* " << "" << "sheet:Sheet1.Application()|app.quit()|app.quit()";
        QTest::newRow("unsearchable sheet passed over") << "Sales+|Broken!|Notes+" << false << "x" << "Sales,Notes" << viaNotes;
        QTest::newRow("unopenable quits directly") << "Sales+" << true << "x" << "" << "app.workbooks()|workbooks.Open(/b.xlsx)|app.quit()";
        QTest::newRow("no worksheets, no quit through one") << "" << false << "x" << "" << "worksheets.Count()|app.quit()";
        // clang-format on
    }
    void answerAndShutDown() {
        QFETCH(QString, sheets);
        QFETCH(bool, openFails);
        QFETCH(QString, keyword);
        QFETCH(QString, answer);
        QFETCH(QString, lastCalls);
        for (const QString& sheet : sheets.split('|', Qt::SkipEmptyParts))
            server->sheets.push_back(
                {sheet.chopped(1).toStdString(), sheet.endsWith('+'), sheet.endsWith('!')});
        server->openFails = openFails;
        QCOMPARE(QString::fromStdString(search::FindinExcel("/b.xlsx", keyword.toStdString())),
                 answer);
        if (!server->sheets.empty() && !openFails)
            QCOMPARE(QString::fromStdString(server->keywordSeen), keyword);
        const QStringList expected = lastCalls.split('|');
        QStringList got;
        for (const std::string& call : tail(server->log, std::size_t(expected.size())))
            got << QString::fromStdString(call);
        QCOMPARE(got, expected);
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
        const auto find = std::find(server->log.begin(), server->log.end(), "cells.find(k)");
        QVERIFY(find != server->log.end() && find + 1 != server->log.end());
        QCOMPARE(*(find + 1), std::string("cells.FindAll(k,100)"));
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
        // clang-format off
        QTest::newRow("scheme kept") << int(FailureKind::Encrypted) << "workbook is password-protected (XOR obfuscation)" << "encrypted with a password (XOR obfuscation)";
        QTest::newRow("no scheme") << int(FailureKind::Encrypted) << "the package is encrypted" << "encrypted with a password";
        QTest::newRow("size alone") << int(FailureKind::TooLarge) << "file larger than 1 GiB" << "file larger than 1 GiB";
        QTest::newRow("kind first") << int(FailureKind::Corrupt) << "sector chain loops" << "corrupt: sector chain loops";
        QTest::newRow("not a workbook") << int(FailureKind::NotAWorkbook) << "empty file" << "not a workbook: empty file";
        QTest::newRow("file system") << int(FailureKind::Unreadable) << "Permission denied" << "cannot be read: Permission denied";
        // clang-format on
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
