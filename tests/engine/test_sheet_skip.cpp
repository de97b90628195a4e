// A worksheet part whose raw bytes lack the keyword's anchor is inflated but not tokenized.
// The traps below hold a matching cell whose text is not spelled as one run of the part's
// bytes: the skip must step aside for each, and the answer must stay the tokenizing one.
#include <zip.h>

#include <QtTest>
#include <string>

#include "both_vector_widths.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/core/string_table_matches.h"
#include "engine/workbook.h"
#include "engine/xlsx/xlsx_sheet_skip.h"
#include "engine/xlsx/xlsx_worksheet_scanner.h"
#include "engine/xml/xml_cannot_match.h"
#include "reader_test_support.h"
#include "stored_zip.h"
#include "xlsx_package.h"

using namespace quillmark::testing;
using namespace quillmark::engine;
using quillmark::engine::testing::answerOf;
using quillmark::engine::testing::openBytes;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// What a test workbook holds beside its one sheet.
enum Extra { None = 0, DateStyle = 1, ExternalBook = 2 };

// A sheet part of `cells` in row 1, or `cells` when they are a whole part already.
std::string sheetPart(const std::string& cells) {
    if (cells.rfind("<c", 0) != 0) return cells;
    return kDeclaration + worksheetXml("<row r=\"1\">" + cells + "</row>");
}

// A workbook of that sheet, deflated as a spreadsheet program writes it, so that the sheet
// inflates whole.
std::string workbook(const std::string& cells, int extras) {
    Parts parts = xlsxParts({sheetPart(cells)});
    if (extras & DateStyle) {
        addRelationship(parts, "rIdStyles", "styles", "styles.xml");
        parts.emplace_back("xl/styles.xml",
                           "<styleSheet><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
                           "</cellXfs></styleSheet>");
    }
    if (extras & ExternalBook) {
        addRelationship(parts, "rIdLink", "externalLink", "externalLinks/externalLink1.xml");
        addToPart(parts, "xl/workbook.xml", "</workbook>",
                  "<externalReferences><externalReference r:id=\"rIdLink\"/>"
                  "</externalReferences>");
        parts.emplace_back("xl/externalLinks/externalLink1.xml", "<externalLink/>");
        parts.emplace_back("xl/externalLinks/_rels/externalLink1.xml.rels",
                           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
                           "2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://"
                           "schemas.openxmlformats.org/officeDocument/2006/relationships/"
                           "externalLinkPath\" Target=\"Quasar%20Budget.xlsx\" "
                           "TargetMode=\"External\"/></Relationships>");
    }
    return deflatedPackage(parts);
}

QString firstMatch(const std::string& bytes, const QString& keyword) {
    return answerOf(openBytes(QByteArray::fromStdString(bytes), "t.xlsx"), 0, keyword);
}

// A keyword's context in a workbook without shared strings, and its raw anchor.
struct Looking {
    Looking(const QString& keyword, int extras)
        : matcher(keyword.toStdString()),
          anchor(rawAnchorOf(matcher.keyword())),
          context{matcher, nullptr, nullptr, DateEpoch::Excel1900,
                  (extras & ExternalBook) ? &books : nullptr} {}
    const std::vector<std::string> books{"Quasar Budget.xlsx"};
    const Matcher matcher;
    const std::string anchor;
    const WorksheetContext context;
};

// The rule's decision on a sheet part.
bool skipped(const std::string& part, const QString& keyword, int extras) {
    const Looking look(keyword, extras);
    return xlsxSheetSkipMayApply(look.anchor, look.context) &&
           xlsxSheetCannotMatch(part, look.anchor, look.context);
}

// Plain rows of numbers from row 2 on, `bytes` long or a little more, with no anchor.
std::string paddingRows(std::size_t bytes) {
    std::string rows;
    for (std::size_t row = 2; rows.size() < bytes; ++row) {
        const std::string r = std::to_string(row);
        rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>" + r + "</v></c></row>";
    }
    return rows;
}

// `cells` as the last row, after `padding` bytes of plain rows.
std::string paddedPart(const std::string& cells, std::size_t padding) {
    if (cells.rfind("<c", 0) != 0) return cells;
    std::string last = cells;
    for (std::size_t at = 0; (at = last.find("1\"", at)) != std::string::npos; at += 7)
        last.replace(at, 1, "999999");  // the cells' own row moves after the padding
    return kDeclaration +
           worksheetXml(paddingRows(padding) + "<row r=\"999999\">" + last + "</row>");
}

std::string utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += {c, '\0'};
    return out;
}

std::string inlineCell(const std::string& inside) {
    return "<c r=\"A1\" t=\"inlineStr\"><is>" + inside + "</is></c>";
}

}  // namespace

class TestSheetSkip : public QObject {
    Q_OBJECT

  private slots:
    void answersStayTheTokenizingOnes_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QByteArray>("cells");
        QTest::addColumn<int>("extras");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("skips");
        auto row = [](const char* name, const char* keyword, const std::string& cells, int extras,
                      const char* expected, bool skips) {
            QTest::newRow(name) << QString::fromUtf8(keyword) << QByteArray::fromStdString(cells)
                                << extras << QString(expected) << skips;
        };
        // clang-format off
        // Matches the raw bytes do not spell.
        row("decimal reference", "quasar", inlineCell("<t>&#81;uasar</t>"), None, "0,0", false);
        row("_x escape", "quasar", inlineCell("<t>_x0051_uasar</t>"), None, "0,0", false);
        row("future prefix dropped", "1+ab(", "<c r=\"A1\"><f>1+_xlfn.AB(1)</f><v>1</v></c>", None, "0,0", false);
        row("CDATA", "quasar", inlineCell("<t><![CDATA[qu]]>asar</t>"), None, "0,0", false);
        row("comment", "quasar", inlineCell("<t>q<!-- - -->uasar</t>"), None, "0,0", false);
        row("rich runs", "quasar", inlineCell("<r><t>q</t></r><r><rPr/><t>uasar</t></r>"), None, "0,0", false);
        row("phonetic run left out", "quasar", inlineCell("<t>qu</t><rPh><t>x</t></rPh><t>asar</t>"), None, "0,0", false);
        row("element inside a value", "quasar", "<c r=\"A1\" t=\"str\"><f>1</f><v>qu<x/>asar</v></c>", None, "0,0", false);
        row("two values", "quasar", "<c r=\"A1\" t=\"str\"><f>1</f><v>qu</v><v>asar</v></c>", None, "0,0", false);
        row("shared formula shifted into the keyword", "qub1", "<c r=\"A1\"><f t=\"shared\" ref=\"A1:B1\" si=\"0\">QUA1</f><v>0</v></c><c r=\"B1\"><f t=\"shared\" si=\"0\"/><v>0</v></c>", None, "0,1", false);
        row("external book's name", "quasar budget", "<c r=\"A1\"><f>[1]Sheet1!A1</f><v>0</v></c>", ExternalBook, "0,0", false);
        row("boolean", "true", "<c r=\"A1\" t=\"b\"><v>1</v></c>", None, "0,0", false);
        row("boolean, part of the word", "fal", "<c r=\"A1\" t=\"b\"><v>0</v></c>", None, "0,0", false);
        row("date", "1/2/2020", "<c r=\"A1\" s=\"1\"><v>43832</v></c>", DateStyle, "0,0", false);
        row("Kelvin sign", "xkz", inlineCell("<t>x\u212Az</t>"), None, "0,0", false);
        // Where the skip applies, the answer is "no match"; where the anchor is spelled, the
        // part is tokenized.
        row("plain cells", "quasar", inlineCell("<t>qu as</t>") + "<c r=\"B1\"><v>42</v></c><c r=\"C1\" t=\"e\"><v>#N/A</v></c><c r=\"D1\" t=\"b\"><v>1</v></c>", None, "none", true);
        row("formulas", "quasar", "<c r=\"A1\"><f>SUM(B1:B9)</f><v>0</v></c>", ExternalBook, "none", true);
        row("anchor in a tag only", "quasar", "<c r=\"A1\" quasar=\"1\"><v>1</v></c>", None, "none", false);
        row("entities of markup", "quasar", inlineCell("<t>&lt;qu&amp;asar&gt;</t>"), None, "none", true);
        // A broken part still fails where the tokenizer fails it.
        const std::string body = "<sheetData><row r=\"1\">" + inlineCell("<t>a</t>") + "</row>";
        const std::string root = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
        row("cut short", "quasar", kDeclaration + root + body, None, "fail:truncated", false);
        row("cut inside the end tag", "quasar", kDeclaration + root + body + "</sheetData></works", None, "none", false);
        row("document type", "quasar", kDeclaration + "<!DOCTYPE worksheet>" + root + body + "</sheetData></worksheet>", None, "fail:corrupt", false);
        row("latin-1", "quasar", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + root + body + "</sheetData></worksheet>", None, "fail:unsupported", false);
        row("UTF-16", "quasar", utf16("<worksheet/>"), None, "fail:unsupported", false);
        row("undefined entity", "quasar", inlineCell("<t>&nbsp;</t>"), None, "fail:corrupt", false);
        // clang-format on
    }
    void answersStayTheTokenizingOnes() {
        QFETCH(QString, keyword);
        QFETCH(QByteArray, cells);
        QFETCH(int, extras);
        QFETCH(QString, expected);
        QFETCH(bool, skips);
        const std::string bytes = workbook(cells.toStdString(), extras);
        QCOMPARE(firstMatch(bytes, keyword), expected);
        QCOMPARE(skipped(sheetPart(cells.toStdString()), keyword, extras), skips);
    }

    // Fed in pieces of any size, the test comes to the verdict it reaches on the whole part,
    // with the cells under test far past the first window.
    void piecesGiveTheWholeVerdict_data() { answersStayTheTokenizingOnes_data(); }
    void piecesGiveTheWholeVerdict() {
        QFETCH(QString, keyword);
        QFETCH(QByteArray, cells);
        QFETCH(int, extras);
        const Looking look(keyword, extras);
        const std::string part = paddedPart(cells.toStdString(), 100 << 10);
        const bool whole = xlsxSheetCannotMatch(part, look.anchor, look.context);
        for (std::size_t piece : {1, 13, 4096, 70001}) {
            XmlCannotMatchScan scan = xlsxSheetScan(look.anchor, look.context);
            bool going = true;
            for (std::size_t at = 0; going && at < part.size(); at += piece)
                going = scan.feed(std::string_view(part).substr(at, piece));
            QCOMPARE(going && scan.finish(), whole);
        }
    }

    // A part too large to inflate whole is looked at as it streams, then streamed again to be
    // tokenized when the look finds that a cell may match.
    void streamedPartsAreLookedAtFirst_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("no match") << "<c><v>1</v></c>" << "none";
        QTest::newRow("keyword") << "<c t=\"inlineStr\"><is><t>QUASAR</t></is></c>" << "R";
        QTest::newRow("joined keyword") << "<c t=\"inlineStr\"><is><r><t>q</t></r><r><t>uasar</t></r></is></c>" << "R";
        // clang-format on
    }
    void streamedPartsAreLookedAtFirst() {
        QFETCH(QString, last);
        QFETCH(QString, expected);
        std::string rows = paddingRows(std::size_t{17} << 20);
        const std::size_t lastRow = std::size_t(std::count(rows.begin(), rows.end(), 'w')) / 2 + 2;
        rows += "<row r=\"" + std::to_string(lastRow) + "\">" + last.toStdString() + "</row>";
        const std::string bytes = workbook(kDeclaration + worksheetXml(rows), None);
        if (expected == "R") expected = QString("%1,0").arg(lastRow - 1);
        QCOMPARE(firstMatch(bytes, "quasar"), expected);
    }

    // Once the look finds that a cell may match, the scan goes on from the row where the look
    // stopped proving, in memory and streamed alike; where the rows after the proven ones need
    // the rows before them (numbers counted, an element left open), the part is read whole.
    void resumedScansGiveTheWholeAnswer_data() {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QString>("expected");
        const QString hit = "<c t=\"inlineStr\"><is><t>QUASAR</t></is></c>";
        // clang-format off
        QTest::newRow("numbered row") << "<row r=\"900000\"><c/>" + hit + "</row>" << "899999,1";
        QTest::newRow("row counted") << "<row>" + hit + "</row>" << "N,0";
        QTest::newRow("row with a prefixed r") << "<row r=\"7\" x:r=\"8\" xmlns:x=\"urn:x\">" + hit + "</row>" << "6,0";
        QTest::newRow("row inside another element") << "<extLst><row r=\"5\">" + hit + "</row></extLst>" << "4,0";
        QTest::newRow("anchor without a match, then the end") << "<row r=\"5\"><c t=\"inlineStr\"><is><t>quasa r quasar</t></is></c></row>" << "4,0";
        // clang-format on
    }
    void resumedScansGiveTheWholeAnswer() {
        QFETCH(QString, tail);
        QFETCH(QString, expected);
        for (std::size_t padding : {std::size_t{64} << 10, std::size_t{17} << 20}) {
            std::string rows = paddingRows(padding);
            const std::size_t counted = std::size_t(std::count(rows.begin(), rows.end(), 'w')) / 2;
            rows += tail.toStdString();
            const std::string bytes = workbook(kDeclaration + worksheetXml(rows), None);
            QString want = expected;
            want.replace("N", QString::number(counted + 1));  // after rows 2 to counted + 1
            QCOMPARE(firstMatch(bytes, "quasar"), want);
        }
    }

    // Text joined across markup needs a head of the anchor before a "<" and a tail from the
    // same split or later after a ">"; either one alone proves nothing.
    void joinsNeedAHeadAndALaterTail_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cannotMatch");
        QTest::newRow("head only") << "<v>xqu</v><v>zz</v>" << true;
        QTest::newRow("tail only") << "<v>zz</v><v>asarx</v>" << true;
        QTest::newRow("tail below the head's split") << "<v>qua</v><v>asar</v>" << true;
        QTest::newRow("tail from the split") << "<v>qu</v><v>asar</v>" << false;
        QTest::newRow("middle from other texts") << "<v>q</v><v>u</v><v>sar</v>" << false;
        QTest::newRow("letter case") << "<v>QU</v><v>aSaR</v>" << false;
    }
    void joinsNeedAHeadAndALaterTail() {
        QFETCH(QString, text);
        QFETCH(bool, cannotMatch);
        const std::string part = "<w>" + text.toStdString() + "</w>";
        QCOMPARE(xmlPartCannotMatch(part, "quasar", {}), cannotMatch);
    }

    // The raw test over an element: its start tag is passed over whole, a ">" in a quoted value
    // included, and what follows the element's end is only more bytes to look at; bytes that
    // do not open with a start tag prove nothing. The whole-part test still wants its end.
    void fragmentsStartAtAStartTag() {
        QVERIFY(xmlFragmentCannotMatch("<t a='>' b=\"x>quasar\"><p>x</p></t><u>", "quasar", {}));
        QVERIFY(!xmlFragmentCannotMatch("<t><p>x</p></t><u>quasar</u>", "quasar", {}));
        QVERIFY(!xmlPartCannotMatch("<t><p>x</p></t><u>", "quasar", {}));
        QVERIFY(xmlPartCannotMatch("<t><p>x</p></t>", "quasar", {}));
        for (const char* bytes :
             {"x<t></t>", "</t><t></t>", "<!-- --><t></t>", "<?x?><t></t>", "<t a='>", "< t></t>"})
            QVERIFY2(!xmlFragmentCannotMatch(bytes, "quasar", {}), bytes);
        // After the last "<", the text up to the fragment's end is one token.
        const std::string text(std::size_t{16} << 20, 'x');
        QVERIFY(xmlFragmentCannotMatch("<t>" + text.substr(1000), "quasar", {}));
        QVERIFY(!xmlFragmentCannotMatch("<t>" + text, "quasar", {}));
    }

    // When a few shared strings match, a part is skipped only when no cell can name one:
    // entry 12 matches here, and its number must not be spelled, nor joinable, in any <v>.
    void cellsNamingAMatchingEntry_data() {
        QTest::addColumn<QString>("cells");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("skips");
        // clang-format off
        QTest::newRow("other entries") << "<c t=\"s\"><v>3</v></c><c t=\"s\"><v>13</v></c>" << "none" << true;
        QTest::newRow("the entry") << "<c t=\"s\"><v>3</v></c><c t=\"s\"><v>12</v></c>" << "0,1" << false;
        QTest::newRow("padded number") << "<c t=\"s\"><v> 012 </v></c>" << "0,0" << false;
        QTest::newRow("zeros ahead") << "<c t=\"s\"><v>0012</v></c>" << "0,0" << false;
        QTest::newRow("more zeros than a short value holds") << "<c t=\"s\"><v>0000000000000000000000012</v></c>" << "0,0" << false;
        QTest::newRow("same length, other number") << "<c t=\"s\"><v>21</v></c><c t=\"s\"><v>120</v></c>" << "none" << true;
        QTest::newRow("ending as the entry does") << "<c t=\"s\"><v>2</v></c><c t=\"s\"><v>112</v></c>" << "none" << true;
        QTest::newRow("not a number") << "<c t=\"s\"><v>12.5</v></c><c t=\"s\"><v>x12</v></c>" << "none" << true;
        QTest::newRow("two values") << "<c t=\"s\"><v>1</v><v>2</v></c>" << "0,0" << false;
        QTest::newRow("markup in the value") << "<c t=\"s\"><v>1<x/>2</v></c>" << "0,0" << false;
        QTest::newRow("value inside another element") << "<c t=\"s\"><extLst><v>1</v></extLst><v>2</v></c>" << "0,0" << false;
        QTest::newRow("prefixed value") << "<c t=\"s\" xmlns:x=\"urn:x\"><x:v>1</x:v><x:v>2</x:v></c>" << "0,0" << false;
        QTest::newRow("empty value") << "<c t=\"s\"><v/></c><c t=\"s\"><v>3</v></c>" << "none" << true;
        // clang-format on
    }
    void cellsNamingAMatchingEntry() {
        QFETCH(QString, cells);
        QFETCH(QString, expected);
        QFETCH(bool, skips);
        std::string table =
            "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
        StringTableMatches matches;
        const Matcher matcher("quasar");
        matches.start(matcher.keyword());
        for (int index = 0; index < 20; ++index) {
            std::string text = index == 12 ? "Quasar" : "pad " + std::to_string(index);
            table += "<si><t>" + text + "</t></si>";
            matches.add(index == 12, text);
        }
        table += "</sst>";
        const std::string part = sheetPart(cells.toStdString());
        Parts parts = sharedStringsWorkbookParts(table, {});
        parts[4].second = part;  // the sheet
        QCOMPARE(firstMatch(storedPackage(parts), "quasar"), expected);
        QCOMPARE(firstMatch(deflatedPackage(parts), "quasar"), expected);
        WorksheetContext context{matcher, &matches};
        QVERIFY(xlsxSheetSkipMayApply("qua", context));
        QCOMPARE(xlsxSheetCannotMatch(part, "qua", context), skips);
    }

    // Past a few matching entries, every part is left to the tokenizer.
    void manyMatchingEntriesTurnTheSkipOff() {
        const Matcher matcher("quasar");
        StringTableMatches table;
        table.start(matcher.keyword());
        table.add(false, "other");
        WorksheetContext context{matcher, &table};
        for (std::size_t count = 1; count <= StringTableMatches::kFirstMatches; ++count) {
            table.add(true, "Quasar");
            QVERIFY(xlsxSheetSkipMayApply("qua", context));
        }
        table.add(true, "Quasar");
        QVERIFY(!xlsxSheetSkipMayApply("qua", context));
        table.start(matcher.keyword());
        QVERIFY(xlsxSheetSkipMayApply("qua", context));
    }
};

QUILLMARK_TEST_MAIN_BOTH_VECTOR_WIDTHS(TestSheetSkip)
#include "test_sheet_skip.moc"
