// A sheet of an OpenDocument package whose raw bytes lack the keyword's anchor is not read.
// The traps below hold a matching cell whose text is not spelled as one run of the sheet's
// bytes: the skip must step aside for each. The flat form of the same content, which streams
// and is never skipped, gives the answer read cell by cell.
#include <zip.h>

#include <QtTest>
#include <cstring>
#include <string>

#include "both_vector_widths.h"
#include "engine/container/zip_archive.h"
#include "engine/core/cancel.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/ods/ods_sheet_skip.h"
#include "engine/workbook.h"
#include "reader_test_support.h"
#include "stored_zip.h"
#include "xlsx_package.h"

using namespace quillmark;
using namespace quillmark::testing;
using namespace quillmark::engine;
using quillmark::engine::testing::answerOf;
using quillmark::engine::testing::describe;
using quillmark::engine::testing::openBytes;
using quillmark::engine::testing::Positions;

namespace {

const char kNamespaces[] =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";

std::string cell(const std::string& attributes, const std::string& inside) {
    return "<table:table-cell" + attributes + ">" + inside + "</table:table-cell>";
}

std::string textCell(const std::string& text) {
    return cell(" office:value-type=\"string\"", "<text:p>" + text + "</text:p>");
}

std::string row(const std::string& cells) {
    return "<table:table-row>" + cells + "</table:table-row>";
}

std::string sheet(const std::string& name, const std::string& rows) {
    return "<table:table table:name=\"" + name + "\">" + rows + "</table:table>";
}

// The content document around `sheets`: content.xml of a package, or a flat document.
std::string content(const std::string& sheets, bool flat = false) {
    const std::string root = flat ? "office:document" : "office:document-content";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + root + " " + kNamespaces +
           "><office:body><office:spreadsheet>" + sheets + "</office:spreadsheet></office:body></" +
           root + ">";
}

// The package of that content, deflated as a spreadsheet program writes it, so that
// content.xml inflates whole and its sheets can be skipped.
QByteArray package(const std::string& contentXml) {
    return QByteArray::fromStdString(deflatedPackage({{"content.xml", contentXml}}));
}

// The same package with content.xml declared larger than parts that inflate whole, so that
// it streams and is looked at as a whole document.
QByteArray streamedPackage(const std::string& contentXml) {
    StoredZip zip;
    zip.addRaw("content.xml", rawDeflate(contentXml), StoredZip::crc32(contentXml),
               std::uint32_t(kWholeInflateBytes) + 1, 8);
    return QByteArray::fromStdString(zip.finish());
}

// The whole-document look over `document` served `chunk` bytes a read.
bool documentSkipped(const std::string& document, std::size_t chunk, const QString& keyword) {
    const std::string anchor = rawAnchorOf(keyword.toStdString());
    std::size_t at = 0;
    auto read = [&](char* buffer, std::size_t capacity) -> Outcome<std::size_t> {
        const std::size_t count = std::min({chunk, capacity, document.size() - at});
        std::memcpy(buffer, document.data() + at, count);
        at += count;
        return count;
    };
    return odsSheetSkipMayApply(anchor) && odsDocumentCannotMatch(read, anchor);
}

// The first-match answer for sheet `index` in the package and in the flat form of `sheets`.
QString packageAnswer(const std::string& sheets, int index, const QString& keyword) {
    return answerOf(openBytes(package(content(sheets)), "t.ods"), index, keyword);
}
QString flatAnswer(const std::string& sheets, int index, const QString& keyword) {
    return answerOf(openBytes(QByteArray::fromStdString(content(sheets, true)), "t.fods"), index,
                    keyword);
}

// The bytes the reader tests for sheet `index` of a content document: from its start tag
// to the next sheet's, or to the end.
std::string sheetBytes(const std::string& document, int index) {
    std::size_t at = 0;
    for (int i = 0; i <= index; ++i) at = document.find("<table:table ", i == 0 ? 0 : at + 1);
    const std::size_t next = document.find("<table:table ", at + 1);
    return document.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

bool skipped(const std::string& bytes, const QString& keyword) {
    const std::string anchor = rawAnchorOf(keyword.toStdString());
    return odsSheetSkipMayApply(anchor) && odsSheetCannotMatch(bytes, anchor);
}

// Plain rows of distinct numbers and texts, `bytes` long or a little more, with no anchor.
std::string paddingRows(std::size_t bytes, int& count) {
    std::string rows;
    for (count = 0; rows.size() < bytes; ++count)
        rows +=
            row(cell(" office:value-type=\"float\" office:value=\"" + std::to_string(count) + "\"",
                     "<text:p>" + std::to_string(count) + "</text:p>") +
                textCell("row " + std::to_string(count)));
    return rows;
}

// All hits of `sheet`, or "fail:" and the failure's kind.
QString allHits(WorkbookReader& reader, std::size_t sheet, const Matcher& matcher) {
    Positions all;
    Status searched = reader.findCells(sheet, matcher, all);
    if (!searched) return QString("fail:") + failureKindName(searched.failure().kind);
    return all.text;
}

}  // namespace

class TestOdsSheetSkip : public QObject {
    Q_OBJECT

  private slots:
    // The cells under test make the one row of the middle of three sheets.
    void answersStayTheReadOnes_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QByteArray>("cells");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("skips");
        auto add = [](const char* name, const char* keyword, const std::string& cells,
                      const char* expected, bool skips) {
            QTest::newRow(name) << QString::fromUtf8(keyword) << QByteArray::fromStdString(cells)
                                << QString(expected) << skips;
        };
        auto formula = [](const std::string& text) {
            return cell(
                " table:formula=\"" + text + "\" office:value-type=\"float\" office:value=\"0\"",
                "<text:p>0</text:p>");
        };
        // clang-format off
        // Texts the cell search makes: formulas in formula-bar form, booleans.
        add("references joined", "a1b2", formula("of:=[.A1][.B2]"), "0,0", false);
        add("letter before a reference", "xa1", formula("of:=X[.A1]"), "0,0", false);
        add("letter after a reference", "a1x", formula("of:=[.A1]X"), "0,0", false);
        add("empty reference between letters", "xay", formula("of:=XA[.]Y"), "0,0", false);
        add("sheet of a reference", "sheet2!a1", formula("of:=[$Sheet2.A1]"), "0,0", false);
        add("range of a reference", "a1:b2", formula("of:=SUM([.A1:.B2])"), "0,0", false);
        add("separators", "1,2", formula("of:=IF(1;2;3)"), "0,0", false);
        add("boolean", "fal", cell(" office:value-type=\"boolean\" office:boolean-value=\"0\"", "<text:p>nein</text:p>"), "0,0", false);
        // Texts read from more than one run of bytes (the anchor of "quasar" is "qua": "s" is
        // also the fold of a non-ASCII letter).
        add("character reference", "quasar", textCell("&#113;uasar"), "0,0", false);
        add("span", "quasar", textCell("q<text:span>uasar</text:span>"), "0,0", false);
        add("annotation left out", "quasar", textCell("q<office:annotation><text:p>x</text:p></office:annotation>uasar"), "0,0", false);
        add("CDATA", "quasar", textCell("qu<![CDATA[asar]]>"), "0,0", false);
        add("comment", "quasar", textCell("q<!-- -->uasar"), "0,0", false);
        add("paragraph inside a paragraph", "quasar", cell(" office:value-type=\"string\"", "<text:p>q<text:p>u</text:p>asar</text:p>"), "0,0", false);
        add("paragraphs of one cell", "quasar", textCell("q</text:p><text:p>uasar"), "none", false);
        // A cell's text ends with its last paragraph: what follows is another cell's.
        add("cells side by side", "quasar", textCell("xq") + textCell("uasar"), "none", true);
        // Where no cell can match, the sheet is skipped; where the anchor is spelled, read.
        add("plain cells", "quasar", textCell("qu as") + cell(" office:value-type=\"boolean\" office:boolean-value=\"true\"", "<text:p>TRUE</text:p>") + textCell("a<text:s text:c=\"3\"/>b"), "none", true);
        add("formulas that join nothing", "quasar", formula("of:=SUM([.A1:.B2];[$Sheet2.C3])*2"), "none", true);
        add("brackets without formulas", "quasar", textCell("x[y]z"), "none", true);
        add("entities of markup", "quasar", textCell("&lt;qu&amp;asar&gt;"), "none", true);
        add("keyword in a value", "quasar", cell(" office:value-type=\"string\" office:string-value=\"Quasar\"", "<text:p>x</text:p>"), "0,0", false);
        // Broken content still fails where reading fails it.
        add("undefined entity", "quasar", textCell("&nbsp;"), "fail:corrupt", false);
        // clang-format on
    }
    void answersStayTheReadOnes() {
        QFETCH(QString, keyword);
        QFETCH(QByteArray, cells);
        QFETCH(QString, expected);
        QFETCH(bool, skips);
        const std::string middle = row(cells.toStdString());
        const std::string sheets = sheet("First", row(textCell("first"))) + sheet("Test", middle) +
                                   sheet("Last", row(textCell("last")));
        QCOMPARE(packageAnswer(sheets, 1, keyword), expected);
        QCOMPARE(flatAnswer(sheets, 1, keyword), expected);
        QCOMPARE(skipped(sheetBytes(content(sheets), 1), keyword), skips);
    }

    // The same cells after rows that fill several of the raw test's windows, with content.xml
    // held in memory and with it streaming (looked at whole, read in pieces of any size).
    void paddedSheetsAnswerAlike_data() { answersStayTheReadOnes_data(); }
    void paddedSheetsAnswerAlike() {
        QFETCH(QString, keyword);
        QFETCH(QByteArray, cells);
        QFETCH(QString, expected);
        QFETCH(bool, skips);
        int padding = 0;
        const std::string sheets =
            sheet("First", row(textCell("first"))) +
            sheet("Test", paddingRows(3 << 20, padding) + row(cells.toStdString())) +
            sheet("Last", row(textCell("last")));
        if (expected.contains(','))
            expected = QString("%1,%2").arg(padding).arg(expected.section(',', 1));
        const std::string document = content(sheets);
        QCOMPARE(packageAnswer(sheets, 1, keyword), expected);
        QCOMPARE(skipped(sheetBytes(document, 1), keyword), skips);
        QCOMPARE(answerOf(openBytes(streamedPackage(document), "t.ods"), 1, keyword), expected);
        for (std::size_t chunk : {std::size_t{4093}, document.size()})
            QCOMPARE(documentSkipped(document, chunk, keyword), skips);
    }

    // Sheets searched in any order, first hits and all hits, asked more than once and between
    // searches for another keyword, answer as the flat form does, with skipped sheets among
    // them: those before a matching sheet leave its index and its kept first hit right.
    void sheetsAfterSkippedOnesAnswerAsRead() {
        const std::string needle = textCell("a needle");
        const std::string sheets =
            sheet("A", row(needle) + row(textCell("x")) + row(needle)) +
            sheet("B", row(textCell("pin"))) + sheet("C", row(textCell("x"))) +
            sheet("D", row(textCell("x")) + row(textCell("pin") + needle) + row("") + row(needle)) +
            sheet("E", row(textCell("x"))) +
            sheet("F", "<table:table-row table:number-rows-repeated=\"3\">" +
                           cell(" table:number-columns-repeated=\"2\"", "") + needle +
                           "</table:table-row>");
        const QString expected[] = {"0,0 2,0", "", "", "1,1 3,0", "", "0,2 1,2 2,2"};
        const std::string document = content(sheets);
        for (int index : {1, 2, 4}) QVERIFY(skipped(sheetBytes(document, index), "needle"));
        for (int index : {0, 3, 5}) QVERIFY(!skipped(sheetBytes(document, index), "needle"));

        const std::vector<std::vector<int>> orders = {
            {0, 1, 2, 3, 4, 5}, {5, 3, 0, 4, 1, 2, 3, 5}, {3, 3, 1, 0}, {2, 4, 5, 1}};
        const Matcher matcher("needle"), other("pin");
        for (const std::vector<int>& order : orders) {
            auto packaged = openBytes(package(document), "t.ods");
            auto flat = openBytes(QByteArray::fromStdString(content(sheets, true)), "t.fods");
            QVERIFY(packaged.ok() && flat.ok());
            for (int round = 0; round < 3; ++round) {
                for (int index : order) {
                    const auto at = std::size_t(index);
                    if (round == 1) {
                        const QString pins = index == 1 ? "0,0" : index == 3 ? "1,0" : "";
                        QCOMPARE(allHits(*packaged.value(), at, other), pins);
                        continue;
                    }
                    const QString first =
                        expected[index].isEmpty() ? "none" : expected[index].section(' ', 0, 0);
                    QCOMPARE(describe(packaged.value()->findFirst(at, matcher)), first);
                    QCOMPARE(describe(flat.value()->findFirst(at, matcher)), first);
                }
                for (int index : order) {
                    if (round == 1) break;
                    const auto at = std::size_t(index);
                    QCOMPARE(allHits(*packaged.value(), at, matcher), expected[index]);
                    QCOMPARE(allHits(*packaged.value(), at, matcher), expected[index]);
                    QCOMPARE(allHits(*flat.value(), at, matcher), expected[index]);
                }
            }
        }
    }

    // A skipped sheet hides no cut: opening found every sheet's end. What a skipped sheet
    // holds is not read, so an end tag of the wrong name in it goes unseen, as in a skipped
    // xlsx part, where reading fails it; one in a sheet read on the way still fails. A
    // cancelled search fails on a skipped sheet too.
    void brokenContentAndCancelling() {
        const std::string sheets = sheet("A", row(textCell("a"))) +
                                   sheet("B", row(textCell("b")) + row(textCell("c"))) +
                                   sheet("C", row(textCell("needle")));
        const std::string document = content(sheets);
        QVERIFY(skipped(sheetBytes(document, 1), "needle"));
        const std::size_t inB = document.find("<text:p>c");
        for (std::size_t cut :
             {inB, document.find("</table:table>", inB) + 5, document.find("<table:table ", inB)}) {
            const std::string shorter = document.substr(0, cut);
            QCOMPARE(answerOf(openBytes(package(shorter), "t.ods"), 1, "needle"),
                     QString("open:truncated"));
        }

        std::string wrongEnd = sheets;
        wrongEnd.replace(wrongEnd.find("c</text:p>"), 10, "c</text:q>");
        QCOMPARE(packageAnswer(wrongEnd, 1, "needle"), QString("none"));
        QCOMPARE(flatAnswer(wrongEnd, 1, "needle"), QString("fail:corrupt"));
        QCOMPARE(packageAnswer(wrongEnd, 2, "needle"), QString("0,0"));

        // A sheet read on the way to a skipped one fails it as before.
        const std::string brokenFirst =
            sheet("A", row(cell("", "<text:p>x</text:q>")) + row(textCell("needle"))) +
            sheet("B", row(textCell("b"))) + sheet("C", row(textCell("needle")));
        for (int index : {1, 2}) {
            QCOMPARE(packageAnswer(brokenFirst, index, "needle"), QString("fail:corrupt"));
            QCOMPARE(flatAnswer(brokenFirst, index, "needle"), QString("fail:corrupt"));
        }

        auto reader = openBytes(package(document), "t.ods");
        QVERIFY(reader.ok());
        CancelToken token;
        token.cancel();
        CancelScope scope(&token);
        const Matcher matcher("needle");
        QCOMPARE(describe(reader.value()->findFirst(1, matcher)), QString("fail:cancelled"));
        QCOMPARE(describe(reader.value()->findFirst(2, matcher)), QString("fail:cancelled"));
    }
};

QUILLMARK_TEST_MAIN_BOTH_VECTOR_WIDTHS(TestOdsSheetSkip)
#include "test_ods_sheet_skip.moc"
