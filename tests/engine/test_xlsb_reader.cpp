// The .xlsb reader on hand-made workbooks (tests/data/xlsb, made by make_xlsb_fixtures.py):
// the sheet list, every cell record, formulas with shared and array groups, dates, shared
// strings, and damaged record streams.
#include <QTest>

#include "engine/core/matcher.h"
#include "engine/workbook.h"

using namespace quillmark::engine;

namespace {

std::string fixture(const char* name) {
    return std::string(QUILLMARK_TEST_DATA "/xlsb/") + name;
}

std::unique_ptr<WorkbookReader> open(const char* name) {
    auto reader = openWorkbook(fixture(name));
    if (!reader) qWarning("%s: %s", name, reader.failure().reason.c_str());
    return reader ? reader.take() : nullptr;
}

// "R1C1"-style text of the first match, "none", or "failed: <kind>".
QString firstMatch(WorkbookReader& reader, std::size_t sheet, const char* keyword) {
    auto found = reader.findFirst(sheet, Matcher(keyword));
    if (!found) return QString("failed: ") + failureKindName(found.failure().kind);
    if (!found.value()) return "none";
    return QString("R%1C%2").arg(found.value()->row + 1).arg(found.value()->column + 1);
}

}  // namespace

class TestXlsbReader : public QObject {
    Q_OBJECT

  private slots:
    void sheetsComeInWorkbookOrderWithKindsAndVisibility() {
        auto reader = open("cells.xlsb");
        QVERIFY(reader);
        const std::vector<SheetInfo>& sheets = reader->sheets();
        QCOMPARE(sheets.size(), std::size_t{5});
        const char* names[] = {"Data", "Hidden Sheet", "Chart1", "Macro1", "Dialog1"};
        SheetKind kinds[] = {SheetKind::Worksheet, SheetKind::Worksheet, SheetKind::Chart,
                             SheetKind::MacroSheet, SheetKind::Dialog};
        bool hidden[] = {false, true, false, true, false};
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            QCOMPARE(sheets[i].name, std::string(names[i]));
            QCOMPARE(sheets[i].kind, kinds[i]);
            QCOMPARE(sheets[i].hidden, hidden[i]);
        }
    }

    void everyCellRecordOffersItsText_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        QTest::newRow("shared string (BrtCellIsst)") << "ALPHA"
                                                     << "R1C1";
        QTest::newRow("RK integer") << "42"
                                    << "R1C2";
        QTest::newRow("RK hundredths") << "12.34"
                                       << "R1C3";
        QTest::newRow("double (BrtCellReal)") << "3.14159"
                                              << "R1C4";
        QTest::newRow("boolean") << "true"
                                 << "R1C5";
        QTest::newRow("error") << "#DIV/0!"
                               << "R1C6";
        QTest::newRow("inline string (BrtCellSt)") << "inline text"
                                                   << "R1C7";
        QTest::newRow("rich string (BrtCellRString)") << "CAFÉ"
                                                      << "R1C8";
        QTest::newRow("date text of a date-formatted number") << "1/1/2008 18:00"
                                                              << "R2C1";
        QTest::newRow("not the serial behind the date") << "39448.75"
                                                        << "none";
        QTest::newRow("formula text") << "SUM(B1:D1)"
                                      << "R2C3";
        QTest::newRow("formula number value") << "57.48"
                                              << "R2C3";
        QTest::newRow("formula string value") << "xinline"
                                              << "R2C4";
        QTest::newRow("formula boolean value") << "false"
                                               << "R2C5";
        QTest::newRow("formula error value") << "#N/A"
                                             << "R2C6";
        QTest::newRow("formula with no arguments") << "=NA()"
                                                   << "R2C6";
        QTest::newRow("shared formula anchor") << "=B1*2"
                                               << "R3C1";
        QTest::newRow("shared formula member, moved") << "=B3*2"
                                                      << "R5C1";
        QTest::newRow("3-D reference, quoted") << "'Hidden Sheet'!A1"
                                               << "R6C1";
        QTest::newRow("defined name") << "TaxRate"
                                      << "R6C1";
        QTest::newRow("array formula anchor") << "SUM(A1:A2*2)"
                                              << "R6C2";
        QTest::newRow("reference to a range of sheets") << "'Data:Hidden Sheet'!A1"
                                                        << "R6C3";
        QTest::newRow("short cell record, first in its row") << "short one"
                                                             << "R7C1";
        QTest::newRow("short RK") << "77"
                                  << "R7C2";
        QTest::newRow("short error after a short blank") << "#NUM!"
                                                         << "R7C4";
        QTest::newRow("short cell after a full one") << "next to J"
                                                     << "R7C11";
        QTest::newRow("rich shared string") << "bravo runs"
                                            << "R1C9";
        QTest::newRow("cell-style formats are not cell formats") << "2/11/1900"
                                                                 << "none";
        QTest::newRow("absent") << "zqxjkvbwpf"
                                << "none";
        QTest::newRow("empty keyword") << ""
                                       << "none";
    }
    void everyCellRecordOffersItsText() {
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto reader = open("cells.xlsb");
        QVERIFY(reader);
        QCOMPARE(firstMatch(*reader, 0, keyword.toUtf8().constData()), expected);
    }

    void recordsLargerThanAReadOrAcrossReadsArriveWhole() {
        auto reader = open("cells.xlsb");
        QVERIFY(reader);
        QCOMPARE(firstMatch(*reader, 0, "haystack end"), QString("R8C1"));
        QCOMPARE(firstMatch(*reader, 0, "final needle"), QString("R3009C3"));
        QCOMPARE(firstMatch(*reader, 0, "3007"), QString("R3008C2"));
    }

    void datesFollowTheWorkbookDateSystem() {
        auto reader = open("date1904.xlsb");
        QVERIFY(reader);
        QCOMPARE(firstMatch(*reader, 0, "1/2/2012 18:00"), QString("R2C1"));
        QCOMPARE(firstMatch(*reader, 0, "1/1/2008"), QString("none"));
    }

    void eachSheetIsSearchedOnItsOwn() {
        auto reader = open("cells.xlsb");
        QVERIFY(reader);
        QCOMPARE(firstMatch(*reader, 1, "needle"), QString("R1C1"));
        QCOMPARE(firstMatch(*reader, 0, "needle in the hidden"), QString("none"));
        QCOMPARE(firstMatch(*reader, 3, "=ALERT(\"macro hello\")"), QString("R1C1"));
        // Charts and dialog sheets have no cells.
        QCOMPARE(firstMatch(*reader, 2, "*"), QString("none"));
        QCOMPARE(firstMatch(*reader, 4, "*"), QString("none"));
        QVERIFY(!reader->findFirst(5, Matcher("a")));
    }

    void sharedStringsFollowTheKeyword() {
        // The string table is matched once per keyword; a new keyword must not reuse answers.
        auto reader = open("cells.xlsb");
        QVERIFY(reader);
        QCOMPARE(firstMatch(*reader, 0, "alpha"), QString("R1C1"));
        QCOMPARE(firstMatch(*reader, 0, "alpha"), QString("R1C1"));
        QCOMPARE(firstMatch(*reader, 0, "bravo runs"), QString("R1C9"));
        QCOMPARE(firstMatch(*reader, 0, "alpha"), QString("R1C1"));
    }

    void searchStopsAtTheFirstMatchBeforeDamage() {
        auto reader = open("truncated.xlsb");
        QVERIFY(reader);
        // Matches before the cut are found: reading stops there.
        QCOMPARE(firstMatch(*reader, 0, "alpha"), QString("R1C1"));
        QCOMPARE(firstMatch(*reader, 0, "SUM("), QString("R2C3"));
        // Past it, the sheet fails instead of answering "not found".
        QCOMPARE(firstMatch(*reader, 0, "zqxjkvbwpf"), QString("failed: truncated"));
        // A record claiming 200 MB is refused, not allocated.
        QCOMPARE(firstMatch(*reader, 1, "needle"), QString("R1C1"));
        QCOMPARE(firstMatch(*reader, 1, "zqxjkvbwpf"), QString("failed: too large"));
        // Other sheets are unaffected.
        QCOMPARE(firstMatch(*reader, 3, "macro"), QString("R1C1"));
    }

    void damagedWorkbookPartFailsTheWorkbook() {
        // xl/workbook.bin cut inside a sheet entry: the whole file fails, with a reason.
        auto reader = openWorkbook(fixture("bad_workbook.xlsb"));
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, quillmark::FailureKind::Truncated);
    }
};

QTEST_GUILESS_MAIN(TestXlsbReader)
#include "test_xlsb_reader.moc"
