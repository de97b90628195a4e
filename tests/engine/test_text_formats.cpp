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

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/xml/");

}  // namespace

class TestTextFormats : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        for (const char* file :
             {"quoted.csv", "tabbed.txt", "utf16.txt", "utf16be.csv", "latin1.csv"})
            findRow(QByteArray(file) + " sheet", file, -1, "",
                    QByteArray(file).split('.')[0].constData());
        findRow("2003 sheets", "book2003.xml", -1, "", "First | Second, hidden (hidden)");
        findRow("csv header", "quoted.csv", 0, "remark", "0,1");
        findRow("csv comma inside quotes", "quoted.csv", 0, "smith, john", "1,0");
        findRow("csv doubled quotes", "quoted.csv", 0, "said \"hello\"", "1,1");
        findRow("csv line break inside quotes", "quoted.csv", 0, "\"\r\nand left", "1,1");
        findRow("csv quotes are not text", "quoted.csv", 0, "\"smith", "none");
        findRow("csv formula text", "quoted.csv", 0, "=sum(a1", "2,1");
        findRow("csv row after a quoted line break", "quoted.csv", 0, "last", "3,1");
        findRow("tsv after a byte order mark", "tabbed.txt", 0, "alpha", "0,0");
        findRow("tsv keeps quotes and commas", "tabbed.txt", 0, "\"quoted,not csv\"", "1,0");
        findRow("tsv second row", "tabbed.txt", 0, "delta", "1,1");
        findRow("utf-16 little endian", "utf16.txt", 0, "москва", "0,1");
        findRow("utf-16 second row", "utf16.txt", 0, "日本", "1,1");
        findRow("utf-16 big endian csv", "utf16be.csv", 0, "b,café", "0,1");
        findRow("latin-1 fallback", "latin1.csv", 0, "CAFÉ CRÈME", "0,1");
        findRow("2003: first cell", "book2003.xml", 0, "top left", "0,0");
        findRow("2003: cell with ss:Index", "book2003.xml", 0, "42.5", "0,3");
        findRow("2003: cell after a merged cell, boolean", "book2003.xml", 0, "TRUE", "0,6");
        findRow("2003: row with ss:Index, R1C1 formula in A1 form", "book2003.xml", 0,
                "=SUM(A1:B1)", "4,0");
        findRow("2003: R1C1 form is not offered", "book2003.xml", 0, "R[-4]", "none");
        findRow("2003: row after a spanned row, rich data", "book2003.xml", 0, "bold text", "7,0");
        findRow("2003: comment is not cell text", "book2003.xml", 0, "remark", "none");
        findRow("2003: second sheet", "book2003.xml", 1, "fish & chips", "0,0");
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    // The sheet is named after the file, whose extension also picks the separator; every
    // kind of line ending ends a row; an unterminated quote runs to the end.
    void inMemory_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const char* bytes, const char* name, const char* sheet,
                      const char* keyword, const char* expected) {
            QTest::newRow(tag) << QByteArray(bytes) << QString(name) << QString(sheet)
                               << QString(keyword) << QString(expected);
        };
        row("upper-case extension", "a,b\n", "DATA.CSV", "DATA", "b", "0,1");
        row("tsv: commas are text", "a,b\n", "archive.tar.tsv", "archive.tar", "a,b", "0,0");
        row("no extension", "x\ty", "README", "README", "", "none");
        row("CR line ending", "a\rb\r\nc\nd", "mixed.txt", "mixed", "b", "1,0");
        row("LF after CR LF", "a\rb\r\nc\nd", "mixed.txt", "mixed", "d", "3,0");
        row("unterminated quote", "a,\"never closed\nstill, inside", "open.csv", "open",
            "still, inside", "0,1");
    }
    void inMemory() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, sheet);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto reader = openBytes(bytes, name.toStdString());
        QVERIFY(reader);
        QCOMPARE(sheetNames(*reader.value()), QStringList{sheet});
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher(keyword.toStdString()))), expected);
    }

    // Numbers whose style shows a date are offered as the date too; the cell's own position
    // (ss:Index, spans, merges) places its R1C1 formula.
    void spreadsheetMlDatesAndFormulas_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const char* keyword, const char* expected) {
            QTest::newRow(tag) << QString(keyword) << QString(expected);
        };
        row("Short Date", "3/15/2008", "0,0");
        row("custom date code", "1/1/2000", "0,1");
        row("date and time from a custom code", "3/15/2008 12:00", "0,2");
        row("quoted letters are no date", "2/29/2000", "none");
        row("style inheriting a date format", "7/4/1999", "0,4");
        row("DateTime data", "12/31/2010 6:30", "1,0");
        row("a date style on text is not a date", "1/14/1900", "none");
        row("formula after ss:Index and MergeAcross", "=D2*2+$A$1", "1,5");
        row("formula after a spanned row", "=F2", "4,0");
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
        QByteArray bytes = fileBytes(kFolder + "book2003.xml");
        auto reader = openBytes(bytes.left(bytes.size() / 2), "cut.xml");
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Truncated);
    }
};

QTEST_GUILESS_MAIN(TestTextFormats)
#include "test_text_formats.moc"
