// A packaged OpenDocument spreadsheet whose content inflates whole is inflated once and read
// from memory by the sheet list and every search; larger content streams for each pass. Both
// must give the same sheets, hits and failures.
#include <zip.h>

#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "engine/container/zip_archive.h"
#include "engine/core/cancel.h"
#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "xlsx_package.h"

using quillmark::FailureKind;
using quillmark::failureKindName;
using namespace quillmark::engine;

namespace {

const char kNamespaces[] =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";

std::string cell(const std::string& text) {
    return "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>" + text +
           "</text:p></table:table-cell></table:table-row>";
}

// Three sheets, the middle one hidden by its style; "needle" ends the first and last, "pin"
// the last. `rows` rows of distinct text fill the first sheet.
std::string content(int rows) {
    std::string out = std::string("<?xml version=\"1.0\"?><office:document-content ") +
                      kNamespaces +
                      "><office:automatic-styles><style:style style:name=\"ta2\" "
                      "style:family=\"table\"><style:table-properties table:display=\"false\"/>"
                      "</style:style></office:automatic-styles><office:body><office:spreadsheet>"
                      "<table:table table:name=\"Filler\">";
    for (int row = 0; row < rows; ++row)
        out += cell("row " + std::to_string(std::int64_t{row} * 7919 % 100003) + " text");
    out += cell("needle") + "</table:table>";
    out += "<table:table table:name=\"Hidden\" table:style-name=\"ta2\">" + cell("x") +
           "</table:table>";
    out += "<table:table table:name=\"Last\">" + cell("pin") + cell("a needle") + "</table:table>";
    return out + "</office:spreadsheet></office:body></office:document-content>";
}

// Two sheets of one name, then another; tables in a comment, in CDATA and in a cell that are
// no sheets; `rows` filler rows in the first sheet between its two needles.
std::string markedContent(int rows) {
    std::string out =
        std::string("<?xml version=\"1.0\"?><office:document-content ") + kNamespaces +
        "><office:body><office:spreadsheet><table:table table:name=\"Same\">" + cell("needle one");
    for (int row = 0; row < rows; ++row) out += cell("row " + std::to_string(row));
    out += "<table:table-row><table:table-cell><table:table table:name=\"Inner\">" +
           cell("needle inner") + "</table:table></table:table-cell></table:table-row>";
    out += cell("needle two") + "</table:table>";
    out += "<!-- <table:table table:name=\"Ghost\">" + cell("needle") + "</table:table> -->";
    out += "<table:table table:name=\"Same\">" + cell("x") +
           cell("<![CDATA[</table:table><table:table>needle]]>") + cell("needle 3") +
           "</table:table>";
    out += "<![CDATA[</table:table><table:table table:name=\"Ghost\">needle]]>";
    out += "<table:table table:name=\"Other\">" + cell("needle a") + cell("needle b") +
           "</table:table>";
    return out + "</office:spreadsheet></office:body></office:document-content>";
}

// Every hit of a sheet as "row,column" separated by spaces.
class Positions final : public HitSink {
  public:
    bool take(const CellHit& hit) override {
        text += QString("%1%2,%3")
                    .arg(text.isEmpty() ? "" : " ")
                    .arg(hit.cell.row)
                    .arg(hit.cell.column);
        return true;
    }
    QString text;
};

}  // namespace

class TestOdsContentOnce : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    QString make(const QString& name, int rows) {
        QString path = folder_.filePath(name);
        if (!QFile::exists(path))
            quillmark::testing::writeZipFile(path, {{"content.xml", content(rows)}});
        return path;
    }

    void sizes() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::newRow("inflated once") << "whole.ods" << 1000;
        QTest::newRow("streamed") << "streamed.ods" << 200000;  // over kWholeInflateBytes
    }

  private slots:
    void sheetsAndHitsAreTheSameEitherWay_data() { sizes(); }
    void sheetsAndHitsAreTheSameEitherWay() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        auto reader = openWorkbook(make(name, rows).toStdString());
        QVERIFY2(reader.ok(), reader.ok() ? "" : reader.failure().reason.c_str());
        const auto& sheets = reader.value()->sheets();
        QCOMPARE(sheets.size(), std::size_t{3});
        QCOMPARE(QString::fromStdString(sheets[2].name), QString("Last"));
        QVERIFY(sheets[1].hidden && !sheets[0].hidden && !sheets[2].hidden);
        // Sheets out of order and a second keyword each read the content again.
        auto last = reader.value()->findFirst(2, Matcher("needle"));
        QVERIFY(last.ok() && last.value() && last.value()->row == 1);
        auto first = reader.value()->findFirst(0, Matcher("needle"));
        QVERIFY(first.ok() && first.value() && static_cast<int>(first.value()->row) == rows);
        auto pin = reader.value()->findFirst(2, Matcher("pin"));
        QVERIFY(pin.ok() && pin.value() && pin.value()->row == 0);
        auto none = reader.value()->findFirst(1, Matcher("pin"));
        QVERIFY(none.ok() && !none.value());
        // Content read from memory still asks the cancel token.
        CancelToken token;
        token.cancel();
        CancelScope scope(&token);
        auto cancelled = reader.value()->findFirst(0, Matcher("row 1"));
        QVERIFY(!cancelled.ok());
        QCOMPARE(failureKindName(cancelled.failure().kind),
                 failureKindName(FailureKind::Cancelled));
    }

    // Each sheet's hits whatever the order sheets are asked for in, from memory (where a fresh
    // cursor starts at the sheet's own start tag) and streamed (read again from the start).
    void everyHitInAnyOrder_data() { sizes(); }
    void everyHitInAnyOrder() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QString path = folder_.filePath("marked-" + name);
        if (!QFile::exists(path))
            quillmark::testing::writeZipFile(path, {{"content.xml", markedContent(rows)}});
        auto reader = openWorkbook(path.toStdString());
        QVERIFY2(reader.ok(), reader.ok() ? "" : reader.failure().reason.c_str());
        QStringList names;
        for (const SheetInfo& sheet : reader.value()->sheets())
            names << QString::fromStdString(sheet.name);
        QCOMPARE(names, QStringList({"Same", "Same", "Other"}));
        const QString expected[] = {QString("0,0 %1,0").arg(rows + 2), "1,0 2,0", "0,0 1,0"};
        Matcher needle("needle");
        for (std::size_t sheet : {2, 1, 0, 2, 1}) {
            auto first = reader.value()->findFirst(sheet, needle);
            QVERIFY(first.ok() && first.value());
            Positions all;
            QVERIFY(reader.value()->findCells(sheet, needle, all).ok());
            QCOMPARE(all.text, expected[sheet]);
            QCOMPARE(QString("%1,%2").arg(first.value()->row).arg(first.value()->column),
                     expected[sheet].section(' ', 0, 0));
        }
    }

    // A part handed out whole is handed out once: the stream then reads as ended, and a
    // stream already read from keeps streaming.
    void aWholePartIsTakenOnce() {
        auto file = loadFile(make("whole.ods", 1000).toStdString());
        QVERIFY(file.ok());
        auto zip = ZipArchive::open(file.value());
        QVERIFY(zip.ok());
        auto stream = zip.value()->openPart("content.xml");
        QVERIFY(stream.ok());
        auto whole = stream.value()->takeWhole();
        QVERIFY(whole.ok() && whole.value());
        std::string expected = content(1000);
        QCOMPARE(std::string(whole.value()->begin(), whole.value()->end()), expected);
        std::uint8_t byte = 0;
        auto after = stream.value()->read(&byte, 1);
        QVERIFY(after.ok() && after.value() == 0);

        auto again = zip.value()->openPart("content.xml");
        QVERIFY(again.ok() && again.value()->read(&byte, 1).ok());
        auto late = again.value()->takeWhole();
        QVERIFY(late.ok() && !late.value());
    }
};

QTEST_GUILESS_MAIN(TestOdsContentOnce)
#include "test_ods_content_once.moc"
