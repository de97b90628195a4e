// OpenDocument spreadsheets, zipped and flat: sheet names and visibility, paragraph text,
// repeated rows and cells that must never be expanded, formulas in formula-bar form.
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

class TestOdsReader : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        findRow("encrypted", "encrypted.ods", -1, "", "open:encrypted");
        for (const char* file : {"cells.ods", "cells.fods"}) {
            auto tag = [&](const char* what) { return QByteArray(file) + ": " + what; };
            findRow(tag("sheets"), file, -1, "", "Visible | Hidden (hidden)");
            findRow(tag("after a billion repeated cells"), file, 0, "after the REPEAT",
                    "0,1000000000");
            findRow(tag("after a million repeated rows; text:s spaces"), file, 0, "a   b",
                    "1000001,0");
            findRow(tag("tab and line break"), file, 0, "b\tc\nd", "1000001,0");
            findRow(tag("spans joined"), file, 0, "d span", "1000001,0");
            findRow(tag("paragraphs joined by a line break"), file, 0, "span\nsecond link",
                    "1000001,0");
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
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    // LibreOffice keeps a chart's own data table in a flat file, inside the frame that draws
    // the chart; only the tables directly under office:spreadsheet are sheets. Also: a sheet
    // decided early has the rest of it skipped unread (a '>' in an attribute, a comment that
    // looks like an end tag), and later sheets still answer.
    void onlyTopLevelTablesAreSheets() {
        QByteArray flat = R"(<?xml version="1.0" encoding="UTF-8"?>
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
        auto reader = openBytes(flat, "chart.fods");
        QVERIFY2(reader, reader ? "" : reader.failure().reason.c_str());
        WorkbookReader& book = *reader.value();
        QCOMPARE(book.sheets().size(), std::size_t{3});
        QCOMPARE(book.sheets()[2].name, std::string("Last"));
        QCOMPARE(describe(book.findFirst(0, Matcher("chart data"))), QString("none"));
        QCOMPARE(describe(book.findFirst(1, Matcher("e"))), QString("0,0"));
        QCOMPARE(describe(book.findFirst(2, Matcher("e"))), QString("0,3"));
        QCOMPARE(describe(book.findFirst(2, Matcher("needle"))), QString("0,3"));
        QCOMPARE(describe(book.findFirst(1, Matcher("needle"))), QString("1,0"));
        QCOMPARE(describe(book.findFirst(1, Matcher("[.A1]>0"))), QString("none"));
        QCOMPARE(describe(book.findFirst(1, Matcher("=A1>0"))), QString("0,1"));
    }

    void truncatedFlatDocument() {
        QByteArray bytes = fileBytes(kFolder + "cells.fods");
        QVERIFY(!bytes.isEmpty());
        auto reader = openBytes(bytes.left(bytes.size() * 2 / 3), "cut.fods");
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Truncated);
    }

    void entityDeclarationInFlatDocument() {
        QByteArray bytes = fileBytes(kFolder + "cells.fods");
        int root = bytes.indexOf("<office:document ");
        QVERIFY(root > 0);
        bytes.insert(root, "<!DOCTYPE office:document [<!ENTITY x \"xxxxxxxx\">]>\n");
        auto reader = openBytes(bytes, "entity.fods");
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Corrupt);
    }
};

QTEST_GUILESS_MAIN(TestOdsReader)
#include "test_ods_reader.moc"
