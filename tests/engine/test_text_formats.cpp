// Plain text (CSV quoting, tab-separated, UTF-16, Latin-1 fallback, sheet names from file
// names) and SpreadsheetML 2003 (indexes, spans, formulas, rich data, comments, hidden sheets).
#include <QtTest>

#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

std::string fixture(const QString& name) {
    return (QString(QUILLMARK_TEST_DATA "/xml/") + name).toStdString();
}

}  // namespace

class TestTextFormats : public QObject {
    Q_OBJECT

  private slots:
    void textFields_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        QTest::newRow("csv header") << "quoted.csv"
                                    << "remark"
                                    << "0,1";
        QTest::newRow("csv comma inside quotes") << "quoted.csv"
                                                 << "smith, john"
                                                 << "1,0";
        QTest::newRow("csv doubled quotes") << "quoted.csv"
                                            << "said \"hello\""
                                            << "1,1";
        QTest::newRow("csv line break inside quotes") << "quoted.csv"
                                                      << "\"\r\nand left"
                                                      << "1,1";
        QTest::newRow("csv quotes are not text") << "quoted.csv"
                                                 << "\"smith"
                                                 << "none";
        QTest::newRow("csv formula text") << "quoted.csv"
                                          << "=sum(a1"
                                          << "2,1";
        QTest::newRow("csv row after a quoted line break") << "quoted.csv"
                                                           << "last"
                                                           << "3,1";
        QTest::newRow("tsv after a byte order mark") << "tabbed.txt"
                                                     << "alpha"
                                                     << "0,0";
        QTest::newRow("tsv keeps quotes and commas") << "tabbed.txt"
                                                     << "\"quoted,not csv\""
                                                     << "1,0";
        QTest::newRow("tsv second row") << "tabbed.txt"
                                        << "delta"
                                        << "1,1";
        QTest::newRow("utf-16 little endian") << "utf16.txt"
                                              << "москва"
                                              << "0,1";
        QTest::newRow("utf-16 second row") << "utf16.txt"
                                           << "日本"
                                           << "1,1";
        QTest::newRow("utf-16 big endian csv") << "utf16be.csv"
                                               << "b,café"
                                               << "0,1";
        QTest::newRow("latin-1 fallback") << "latin1.csv"
                                          << "CAFÉ CRÈME"
                                          << "0,1";
    }

    void textFields() {
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto reader = openWorkbook(fixture(file));
        QVERIFY2(reader, reader ? "" : reader.failure().reason.c_str());
        QCOMPARE(reader.value()->sheets().size(), std::size_t{1});
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher(keyword.toStdString()))), expected);
    }

    void sheetNameAndSeparatorFollowTheFileName() {
        auto upper = openBytes("a,b\n", "DATA.CSV");
        QVERIFY(upper);
        QCOMPARE(upper.value()->sheets()[0].name, std::string("DATA"));
        QCOMPARE(describe(upper.value()->findFirst(0, Matcher("b"))), QString("0,1"));

        auto tabbed = openBytes("a,b\n", "archive.tar.tsv");
        QVERIFY(tabbed);
        QCOMPARE(tabbed.value()->sheets()[0].name, std::string("archive.tar"));
        QCOMPARE(describe(tabbed.value()->findFirst(0, Matcher("a,b"))), QString("0,0"));

        auto bare = openBytes("x\ty", "README");
        QVERIFY(bare);
        QCOMPARE(bare.value()->sheets()[0].name, std::string("README"));
        QCOMPARE(describe(bare.value()->findFirst(0, Matcher(""))), QString("none"));
    }

    void lineEndingsOfEveryKind() {
        auto reader = openBytes("a\rb\r\nc\nd", "mixed.txt");
        QVERIFY(reader);
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher("b"))), QString("1,0"));
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher("d"))), QString("3,0"));
    }

    void unterminatedQuoteRunsToTheEnd() {
        auto reader = openBytes("a,\"never closed\nstill, inside", "open.csv");
        QVERIFY(reader);
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher("still, inside"))), QString("0,1"));
    }

    void spreadsheetMl_data() {
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first cell") << 0 << "top left"
                                    << "0,0";
        QTest::newRow("cell with ss:Index") << 0 << "42.5"
                                            << "0,3";
        QTest::newRow("cell after a merged cell, boolean") << 0 << "TRUE"
                                                           << "0,6";
        QTest::newRow("row with ss:Index, R1C1 formula in A1 form") << 0 << "=SUM(A1:B1)"
                                                                    << "4,0";
        QTest::newRow("R1C1 form is not offered") << 0 << "R[-4]"
                                                  << "none";
        QTest::newRow("row after a spanned row, rich data") << 0 << "bold text"
                                                            << "7,0";
        QTest::newRow("comment is not cell text") << 0 << "remark"
                                                  << "none";
        QTest::newRow("second sheet") << 1 << "fish & chips"
                                      << "0,0";
    }

    void spreadsheetMl() {
        QFETCH(int, sheet);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto reader = openWorkbook(fixture("book2003.xml"));
        QVERIFY2(reader, reader ? "" : reader.failure().reason.c_str());
        QCOMPARE(describe(reader.value()->findFirst(sheet, Matcher(keyword.toStdString()))),
                 expected);
    }

    void spreadsheetMlSheetList() {
        auto reader = openWorkbook(fixture("book2003.xml"));
        QVERIFY(reader);
        QCOMPARE(sheetNames(*reader.value()), QStringList({"First", "Second, hidden (hidden)"}));
    }

    // Numbers whose style shows a date are offered as the date too; the cell's own position
    // (ss:Index, spans, merges) places its R1C1 formula.
    void spreadsheetMlDatesAndFormulas_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Short Date") << "3/15/2008"
                                    << "0,0";
        QTest::newRow("custom date code") << "1/1/2000"
                                          << "0,1";
        QTest::newRow("date and time from a custom code") << "3/15/2008 12:00"
                                                          << "0,2";
        QTest::newRow("quoted letters are no date") << "2/29/2000"
                                                    << "none";
        QTest::newRow("style inheriting a date format") << "7/4/1999"
                                                        << "0,4";
        QTest::newRow("DateTime data") << "12/31/2010 6:30"
                                       << "1,0";
        QTest::newRow("a date style on text is not a date") << "1/14/1900"
                                                            << "none";
        QTest::newRow("formula after ss:Index and MergeAcross") << "=D2*2+$A$1"
                                                                << "1,5";
        QTest::newRow("formula after a spanned row") << "=F2"
                                                     << "4,0";
    }

    void spreadsheetMlDatesAndFormulas() {
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        QByteArray xml = R"(<?xml version="1.0"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
<Styles>
 <Style ss:ID="Default" ss:Name="Normal"><NumberFormat/></Style>
 <Style ss:ID="sDate"><NumberFormat ss:Format="Short Date"/></Style>
 <Style ss:ID="sCustom"><NumberFormat ss:Format="[$-409]yyyy\-mm\-dd;@"/></Style>
 <Style ss:ID="sTime"><NumberFormat ss:Format="m/d/yy h:mm"/></Style>
 <Style ss:ID="sQuoted"><NumberFormat ss:Format="0.00&quot; days&quot;"/></Style>
 <Style ss:ID="sChild" ss:Parent="sDate"><Font ss:Bold="1"/></Style>
</Styles>
<Worksheet ss:Name="Dates"><Table>
 <Row>
  <Cell ss:StyleID="sDate"><Data ss:Type="Number">39522</Data></Cell>
  <Cell ss:StyleID="sCustom"><Data ss:Type="Number">36526</Data></Cell>
  <Cell ss:StyleID="sTime"><Data ss:Type="Number">39522.5</Data></Cell>
  <Cell ss:StyleID="sQuoted"><Data ss:Type="Number">36585</Data></Cell>
  <Cell ss:StyleID="sChild"><Data ss:Type="Number">36345</Data></Cell>
 </Row>
 <Row>
  <Cell ss:StyleID="sDate"><Data ss:Type="DateTime">2010-12-31T06:30:00.000</Data></Cell>
  <Cell ss:StyleID="sDate"><Data ss:Type="String">14</Data></Cell>
  <Cell ss:Index="4" ss:MergeAcross="1"><Data ss:Type="Number">1</Data></Cell>
  <Cell ss:Formula="=R[0]C[-2]*2+R1C1"><Data ss:Type="Number">2</Data></Cell>
 </Row>
 <Row ss:Span="1"/>
 <Row ss:Index="5"><Cell ss:Formula="=R[-3]C[5]"><Data ss:Type="Number">2</Data></Cell></Row>
</Table></Worksheet>
</Workbook>)";
        auto reader = openBytes(xml, "dates.xml");
        QVERIFY2(reader, reader ? "" : reader.failure().reason.c_str());
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher(keyword.toStdString()))), expected);
    }

    void truncatedSpreadsheetMl() {
        QFile file(QString::fromStdString(fixture("book2003.xml")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        auto reader = openBytes(bytes.left(bytes.size() / 2), "cut.xml");
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Truncated);
    }
};

QTEST_GUILESS_MAIN(TestTextFormats)
#include "test_text_formats.moc"
