// The readers of formats that are documents rather than records: OpenDocument spreadsheets,
// zipped and flat (paragraph text, repeated rows and cells that must never be expanded,
// formulas in formula-bar form); SpreadsheetML 2003 (indexes, spans, formulas, rich data,
// comments, hidden sheets, date styles); and plain text (CSV quoting, tab-separated, UTF-16,
// Latin-1 fallback, sheet names from file names).
#include <QtTest>

#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/xml/");

// LibreOffice keeps a chart's own data table in a flat file, inside the frame that draws the
// chart; only the tables directly under office:spreadsheet are sheets. A sheet decided early
// has the rest of it skipped unread (a '>' in an attribute, a comment that looks like an end
// tag), and later sheets still answer.
const char kChartFods[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0">
<office:body><office:spreadsheet>
 <table:table table:name="Chart"><table:shapes><draw:frame><draw:object><office:document>
  <office:body><office:chart><chart:chart><table:table table:name="local-table">
   <table:table-rows><table:table-row><table:table-cell office:value-type="string">
    <text:p>chart data</text:p></table:table-cell></table:table-row></table:table-rows>
  </table:table></chart:chart></office:chart></office:body>
 </office:document></draw:object></draw:frame></table:shapes>
 <table:table-row><table:table-cell/></table:table-row></table:table>
 <table:table table:name="Data"><table:table-column table:number-columns-repeated="2"/>
  <table:table-row><table:table-cell><text:p>early</text:p></table:table-cell>
   <table:table-cell table:formula="of:=[.A1]>0"><text:p>x</text:p></table:table-cell>
  </table:table-row>
  <!-- </table:table> --><![CDATA[</table:table>]]>
  <table:table-row><table:table-cell><text:p>late needle</text:p></table:table-cell>
  </table:table-row></table:table>
 <table:table table:name="Last"><table:table-header-rows><table:table-row>
  <table:table-cell table:number-columns-repeated="3"/>
  <table:table-cell><text:p>needle</text:p></table:table-cell></table:table-row>
 </table:table-header-rows></table:table>
</office:spreadsheet></office:body></office:document>
)";

// Numbers whose style shows a date are offered as the date too; the cell's own position
// (ss:Index, spans, merges) places its R1C1 formula.
const char kDatesXml[] = R"(<?xml version="1.0"?>
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

// A fixture's bytes, cut to `fraction` of them or with a document type declared.
QByteArray fixture(const char* name, double fraction = 1) {
    QByteArray bytes = fileBytes(kFolder + name);
    return bytes.left(qsizetype(bytes.size() * fraction));
}

QByteArray withDoctype(QByteArray bytes) {
    return bytes.insert(bytes.indexOf("<office:document "),
                        "<!DOCTYPE office:document [<!ENTITY x \"xxxxxxxx\">]>\n");
}

}  // namespace

class TestDocumentFormats : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        // clang-format off
        findRow("encrypted", "encrypted.ods", -1, "", "open:encrypted");
        for (const char* file : {"cells.ods", "cells.fods"}) {
            auto tag = [&](const char* what) { return QByteArray(file) + ": " + what; };
            findRow(tag("sheets"), file, -1, "", "Visible | Hidden (hidden)");
            findRow(tag("after a billion repeated cells"), file, 0, "after the REPEAT", "0,1000000000");
            findRow(tag("after a million repeated rows; text:s spaces"), file, 0, "a   b",
                    "1000001,0");
            findRow(tag("tab and line break"), file, 0, "b\tc\nd", "1000001,0");
            findRow(tag("spans joined"), file, 0, "d span", "1000001,0");
            findRow(tag("paragraphs joined by a line break"), file, 0, "span\nsecond link", "1000001,0");
            findRow(tag("text:s count is exact"), file, 0, "a    b", "none");
            findRow(tag("formula converted"), file, 0, "=SUM(A1:B2,Sheet2!C3)+IF(A1=\"x;y\",1,2)",
                    "1000001,1");
            findRow(tag("displayed number"), file, 0, "3.14", "1000001,1");
            findRow(tag("stored number"), file, 0, "3.14159", "1000001,1");
            findRow(tag("boolean"), file, 0, "true", "1000001,2");
            findRow(tag("stored date"), file, 0, "2008-02-29", "1000001,3");
            findRow(tag("annotation is not cell text"), file, 0, "secret note", "none");
            findRow(tag("text beside an annotation"), file, 0, "commented", "1000001,4");
            findRow(tag("covered cell"), file, 0, "covered text", "1000001,5");
            findRow(tag("second table"), file, 1, "fish & chips", "0,0");
            findRow(tag("empty keyword"), file, 1, "", "none");
        }
        for (const char* file :
             {"quoted.csv", "tabbed.txt", "utf16.txt", "utf16be.csv", "latin1.csv"})
            findRow(QByteArray(file) + " sheet", file, -1, "", QByteArray(file).split('.')[0].constData());
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
        findRow("2003: row with ss:Index, R1C1 formula in A1 form", "book2003.xml", 0, "=SUM(A1:B1)", "4,0");
        findRow("2003: R1C1 form is not offered", "book2003.xml", 0, "R[-4]", "none");
        findRow("2003: row after a spanned row, rich data", "book2003.xml", 0, "bold text", "7,0");
        findRow("2003: comment is not cell text", "book2003.xml", 0, "remark", "none");
        findRow("2003: second sheet", "book2003.xml", 1, "fish & chips", "0,0");
        // clang-format on
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    // Documents made here, opened from memory under a name: as findIn answers (sheet -1 for
    // the sheet list). The name gives a text file's sheet, and its extension the separator;
    // every kind of line ending ends a row; an unterminated quote runs to the end.
    void documents_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const QByteArray& bytes, const char* name, int sheet,
                      const char* keyword, const char* expected) {
            QTest::newRow(tag) << bytes << QString(name) << sheet << QString::fromUtf8(keyword)
                               << QString(expected);
        };
        const QByteArray mixed = "a\rb\r\nc\nd", unclosed = "a,\"never closed\nstill, inside";
        // clang-format off
        row("upper-case extension: sheet", "a,b\n", "DATA.CSV", -1, "", "DATA");
        row("upper-case extension", "a,b\n", "DATA.CSV", 0, "b", "0,1");
        row("tsv: sheet", "a,b\n", "archive.tar.tsv", -1, "", "archive.tar");
        row("tsv: commas are text", "a,b\n", "archive.tar.tsv", 0, "a,b", "0,0");
        row("no extension: sheet", "x\ty", "README", -1, "", "README");
        row("no extension", "x\ty", "README", 0, "", "none");
        row("CR line ending", mixed, "mixed.txt", 0, "b", "1,0");
        row("LF after CR LF", mixed, "mixed.txt", 0, "d", "3,0");
        row("unterminated quote", unclosed, "open.csv", 0, "still, inside", "0,1");
        row("chart data: sheets", kChartFods, "chart.fods", -1, "", "Chart | Data | Last");
        row("chart data is no sheet", kChartFods, "chart.fods", 0, "chart data", "none");
        row("first cell of a sheet", kChartFods, "chart.fods", 1, "e", "0,0");
        row("after repeated header cells", kChartFods, "chart.fods", 2, "e", "0,3");
        row("header rows", kChartFods, "chart.fods", 2, "needle", "0,3");
        row("after an end tag in a comment", kChartFods, "chart.fods", 1, "needle", "1,0");
        row("formula not in stored form", kChartFods, "chart.fods", 1, "[.A1]>0", "none");
        row("formula in formula-bar form", kChartFods, "chart.fods", 1, "=A1>0", "0,1");
        row("Short Date", kDatesXml, "dates.xml", 0, "3/15/2008", "0,0");
        row("custom date code", kDatesXml, "dates.xml", 0, "1/1/2000", "0,1");
        row("date and time from a custom code", kDatesXml, "dates.xml", 0, "3/15/2008 12:00", "0,2");
        row("quoted letters are no date", kDatesXml, "dates.xml", 0, "2/29/2000", "none");
        row("style inheriting a date format", kDatesXml, "dates.xml", 0, "7/4/1999", "0,4");
        row("DateTime data", kDatesXml, "dates.xml", 0, "12/31/2010 6:30", "1,0");
        row("a date style on text is not a date", kDatesXml, "dates.xml", 0, "1/14/1900", "none");
        row("formula after ss:Index and MergeAcross", kDatesXml, "dates.xml", 0, "=D2*2+$A$1", "1,5");
        row("formula after a spanned row", kDatesXml, "dates.xml", 0, "=F2", "4,0");
        row("flat document cut short", fixture("cells.fods", 2.0 / 3), "cut.fods", -1, "", "open:truncated");
        row("entity declaration", withDoctype(fixture("cells.fods")), "entity.fods", -1, "", "open:corrupt");
        row("SpreadsheetML cut short", fixture("book2003.xml", 0.5), "cut.xml", -1, "", "open:truncated");
        // clang-format on
    }
    void documents() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(int, sheet);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        QCOMPARE(answerOf(openBytes(bytes, name.toStdString()), sheet, keyword), expected);
    }
};

QTEST_GUILESS_MAIN(TestDocumentFormats)
#include "test_document_formats.moc"
