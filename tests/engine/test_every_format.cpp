// One logical workbook, saved in every format the engine reads (tests/data/every_format, made
// by make.sh there), run through openWorkbook: the sheet list, and for each keyword the grid
// sheets that match, where the first match is and every hit. Where formats legitimately differ
// (what a converter could keep), the expectation table says so per format. Also: runs of cells
// that one stored cell stands for (repeated cells, array formulas, tests/data/edge).
#include <QtTest>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cell/a1_reference.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"

using quillmark::Failure;
using quillmark::Status;
using namespace quillmark::engine;

namespace {

// Only the .xlsx family keeps "Chart1" as a chart sheet: every converter saved it as an empty
// worksheet (LibreOffice with the chart drawn on it). The text files hold the Sales sheet only,
// as one sheet named after the file.
enum class Layout { ChartSheet, ChartAsWorksheet, TextFile };

struct Format {
    const char* tag;
    const char* file;
    Layout layout;
};

const Format kFormats[] = {
    {"xlsx", "book.xlsx", Layout::ChartSheet},
    {"xlsm", "book.xlsm", Layout::ChartSheet},
    {"xltx", "book.xltx", Layout::ChartSheet},
    {"xlsb", "book.xlsb", Layout::ChartAsWorksheet},
    {"xls", "book.xls", Layout::ChartAsWorksheet},
    {"biff5", "book-biff5.xls", Layout::ChartAsWorksheet},
    {"ods", "book.ods", Layout::ChartAsWorksheet},
    {"fods", "book.fods", Layout::ChartAsWorksheet},
    {"xml2003", "book-2003.xml", Layout::ChartAsWorksheet},
    {"csv", "book.csv", Layout::TextFile},
    {"txt", "book.txt", Layout::TextFile},
};

// The grid sheets that match, comma-joined in sheet order, and where the first of them matches.
struct Expected {
    const char* sheets;
    CellPosition first;
};

const Expected kNone{"", {}};

struct FormatException {
    const char* format;
    Expected expected;
};

struct KeywordCase {
    const char* keyword;
    Expected workbook;  // every format that keeps all sheets
    Expected text;      // the .csv and .txt copies of the Sales sheet, named "book"
    std::vector<FormatException> exceptions;
};

// Where the logical workbook holds each keyword (rows and columns zero-based):
//   Sales   A1:C1 Region|Sales|Double, A2 МОСКВА, A3 café, A4 日本語, B2:B4 3.14|2008|10,
//           C2:C4 =B2*2 (one shared formula), A5 2008-03-15 shown 15-Mar-2008, A6 TRUE,
//           C6 =1/0, A7 Total, B7 =SUM(B2:B4)
//   Hidden  B2 secret          Notes  B3 "hello world" as rich text split inside both words
//   Q1,Q2   A1 "Q1 sales", A2 "a*b"
const std::vector<KeywordCase>& keywordCases() {
    // What each converter could not keep (see make.sh):
    //   biff5: code page 1252 has no Cyrillic or CJK letters; they were saved as "?".
    //   xlsb: the writer saves no formulas, only their results.
    //   ods, fods: dates are stored as ISO dates with the shown text, not as serial numbers.
    static const std::vector<KeywordCase> cases = {
        {"sales", {"Sales,Q1,Q2", {0, 1}}, {"book", {0, 1}}, {}},
        {"CAFÉ", {"Sales", {2, 0}}, {"book", {2, 0}}, {}},
        {"москва", {"Sales", {1, 0}}, {"book", {1, 0}}, {{"biff5", kNone}}},
        {"日本", {"Sales", {3, 0}}, {"book", {3, 0}}, {{"biff5", kNone}}},
        {"3.14", {"Sales", {1, 1}}, {"book", {1, 1}}, {}},
        {"2008", {"Sales", {2, 1}}, {"book", {2, 1}}, {}},
        {"TRUE", {"Sales", {5, 0}}, {"book", {5, 0}}, {}},
        {"#DIV/0!", {"Sales", {5, 2}}, {"book", {5, 2}}, {}},
        {"SUM(", {"Sales", {6, 1}}, kNone, {{"xlsb", kNone}}},
        // The last cell of the shared formula, shown as =B4*2 whatever the file stores.
        {"B4~*2", {"Sales", {3, 2}}, kNone, {{"xlsb", kNone}}},
        // A literal star: in the formulas =B2*2... and in "a*b".
        {"~*", {"Sales,Q1,Q2", {1, 2}}, kNone, {{"xlsb", {"Q1,Q2", {1, 0}}}}},
        // The date as an en-US date text, offered for serial numbers with a date format.
        {"3/15/2008", {"Sales", {4, 0}}, kNone, {{"ods", kNone}, {"fods", kNone}}},
        // ...and not as the serial number behind it, which no one sees or types.
        {"39522", kNone, kNone, {}},
        // The date as shown: only formats that store the shown text carry it.
        {"15-Mar",
         kNone,
         {"book", {4, 0}},
         {{"ods", {"Sales", {4, 0}}}, {"fods", {"Sales", {4, 0}}}}},
        {"secret", {"Hidden", {1, 1}}, kNone, {}},
        {"hello world", {"Notes", {2, 1}}, kNone, {}},
        {"h?llo", {"Notes", {2, 1}}, kNone, {}},
        {"wor*ld", {"Notes", {2, 1}}, kNone, {}},
        {"zqxjk", kNone, kNone, {}},
        // "*" alone matches every cell that holds anything (it was once taken for "").
        {"*", {"Sales,Hidden,Notes,Q1,Q2", {0, 0}}, {"book", {0, 0}}, {}},
        {"", kNone, kNone, {}},
    };
    return cases;
}

Expected expectedFor(const Format& format, const KeywordCase& keywordCase) {
    for (const FormatException& exception : keywordCase.exceptions)
        if (std::string_view(exception.format) == format.tag) return exception.expected;
    return format.layout == Layout::TextFile ? keywordCase.text : keywordCase.workbook;
}

struct ExpectedSheet {
    const char* name;
    SheetKind kind;
    bool hidden;
};

std::vector<ExpectedSheet> expectedSheets(Layout layout) {
    if (layout == Layout::TextFile) return {{"book", SheetKind::Worksheet, false}};
    SheetKind chartKind = layout == Layout::ChartSheet ? SheetKind::Chart : SheetKind::Worksheet;
    return {{"Chart1", chartKind, false},           {"Sales", SheetKind::Worksheet, false},
            {"Hidden", SheetKind::Worksheet, true}, {"Notes", SheetKind::Worksheet, false},
            {"Q1,Q2", SheetKind::Worksheet, false}, {"Empty", SheetKind::Worksheet, false}};
}

std::string fixturePath(const Format& format) {
    return std::string(QUILLMARK_TEST_DATA) + "/every_format/" + format.file;
}

QByteArray describe(const Failure& failure) {
    return QByteArray(failureKindName(failure.kind)) + ": " + failure.reason.c_str();
}

#define OPEN_FIXTURE(reader, format)                                                  \
    auto opened_##reader = openWorkbook(fixturePath(format));                         \
    QVERIFY2(opened_##reader.ok(),                                                    \
             opened_##reader ? "" : describe(opened_##reader.failure()).constData()); \
    WorkbookReader& reader = *opened_##reader.value()

// What the search asks of a reader, every grid sheet in order: the names of those that match,
// comma-joined, and where the first match is ("Sales,Q1,Q2 0,1"); or the failure.
QString gridAnswer(WorkbookReader& reader, std::string_view keyword) {
    Matcher matcher(keyword);
    QStringList sheets;
    QString first;
    for (std::size_t index = 0; index < reader.sheets().size(); ++index) {
        const SheetInfo& sheet = reader.sheets()[index];
        if (!isGridSheet(sheet.kind)) continue;
        auto found = reader.findFirst(index, matcher);
        if (!found)
            return QString("failed on %1: %2").arg(sheet.name.c_str(), describe(found.failure()));
        if (!found.value()) continue;
        sheets << QString::fromStdString(sheet.name);
        if (first.isEmpty())
            first = QString(" %1,%2").arg(found.value()->row).arg(found.value()->column);
    }
    return sheets.join(",") + first;
}

QString answerText(const Expected& expected) {
    if (!*expected.sheets) return {};
    return QString::fromUtf8(expected.sheets) +
           QString(" %1,%2").arg(expected.first.row).arg(expected.first.column);
}

// Every hit of every grid sheet as "Sheet!C3 text", one per line, in sheet and row-major
// order, the sheet read to its end.
class HitList final : public HitSink {
  public:
    explicit HitList(std::string sheet) : sheet_(std::move(sheet)) {}
    bool take(const CellHit& hit) override {
        std::string line = sheet_ + "!";
        appendColumnLetters(hit.cell.column, line);
        line += std::to_string(hit.cell.row + 1) + " " + std::string(hit.text);
        lines << QString::fromStdString(line);
        return stopAfter == 0 || lines.size() < stopAfter;
    }
    QStringList lines;
    int stopAfter = 0;  // 0: never

  private:
    std::string sheet_;
};

QString allHits(WorkbookReader& reader, std::string_view keyword) {
    Matcher matcher(keyword);
    QStringList lines;
    for (std::size_t index = 0; index < reader.sheets().size(); ++index) {
        HitList hits(reader.sheets()[index].name);
        Status searched = reader.findCells(index, matcher, hits);
        if (!searched) return "failed: " + QString::fromStdString(searched.failure().reason);
        lines << hits.lines;
    }
    return lines.join("\n");
}

#define ODS_DOCUMENT(body)                                                        \
    "<?xml version=\"1.0\"?><office:document "                                    \
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "          \
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "            \
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>" \
    "<office:spreadsheet><table:table table:name=\"S\">" body                     \
    "</table:table></office:spreadsheet></office:body></office:document>"

// B1:D2 one cell repeated across three columns and two rows, A3:B3 merged, B5 a formula.
constexpr const char* kRepeatedCellsDocument = ODS_DOCUMENT(
    "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/>"
    "<table:table-cell table:number-columns-repeated=\"3\"><text:p>x needle</text:p>"
    "</table:table-cell></table:table-row>"
    "<table:table-row><table:table-cell table:number-columns-spanned=\"2\">"
    "<text:p>merged needle</text:p></table:table-cell><table:covered-table-cell/>"
    "</table:table-row><table:table-row><table:table-cell/></table:table-row>"
    "<table:table-row><table:table-cell/><table:table-cell "
    "table:formula=\"of:=[.A1]&amp;&quot;needle&quot;\"><text:p>x</text:p>"
    "</table:table-cell></table:table-row>");

constexpr const char* kHugeRepeatsDocument = ODS_DOCUMENT(
    "<table:table-row table:number-rows-repeated=\"1000000000\">"
    "<table:table-cell table:number-columns-repeated=\"1000000000\"><text:p>needle</text:p>"
    "</table:table-cell></table:table-row>");

// Keywords whose every hit, with the text the keyword matched, is the same in every format
// that keeps what they match (the workbook's, and the text copies' of the Sales sheet).
struct HitCase {
    const char* keyword;
    const char* workbook;
    const char* text;
    std::vector<std::pair<const char*, const char*>> exceptions;  // format, hits
};

const std::vector<HitCase>& hitCases() {
    static const std::vector<HitCase> cases = {
        {"sales", "Sales!B1 Sales\nQ1,Q2!A1 Q1 sales", "book!B1 Sales", {}},
        // The followers of a shared formula show their own text (xlsb keeps no formulas).
        {"~*2", "Sales!C2 =B2*2\nSales!C3 =B3*2\nSales!C4 =B4*2", "", {{"xlsb", ""}}},
        // A number as its digits, a date as the date it shows.
        {"2008",
         "Sales!B3 2008\nSales!A5 3/15/2008",
         "book!B3 2008\nbook!A5 15-Mar-2008",
         {{"ods", "Sales!B3 2008\nSales!A5 15-Mar-2008"},
          {"fods", "Sales!B3 2008\nSales!A5 15-Mar-2008"}}},
        {"true", "Sales!A6 TRUE", "book!A6 TRUE", {}},
        {"#div", "Sales!C6 #DIV/0!", "book!C6 #DIV/0!", {}},
        {"world", "Notes!B3 hello world", "", {}},
        {"3.14", "Sales!B2 3.14", "book!B2 3.14", {}},
        // The value's text where it matches (C1), else the formula's.
        {"b",
         "Sales!C1 Double\nSales!C2 =B2*2\nSales!C3 =B3*2\nSales!C4 =B4*2\n"
         "Sales!B7 =SUM(B2:B4)\nQ1,Q2!A2 a*b",
         "book!C1 Double",
         {{"xlsb", "Sales!C1 Double\nQ1,Q2!A2 a*b"}}},
    };
    return cases;
}

}  // namespace

class TestEveryFormat : public QObject {
    Q_OBJECT

  private slots:
    void format_data() {
        QTest::addColumn<int>("formatIndex");
        for (int index = 0; index < int(std::size(kFormats)); ++index)
            QTest::newRow(kFormats[index].tag) << index;
    }

    // Names in order, kinds and hidden flags (a chart sheet is listed but holds no match);
    // then every keyword, each on a fresh reader, and all of them on one reader in turn and
    // backwards: what a reader keeps from one keyword (a string table's match bits) must not
    // leak into the next answer.
    void format() {
        QFETCH(int, formatIndex);
        const Format& format = kFormats[formatIndex];
        OPEN_FIXTURE(reader, format);
        std::vector<ExpectedSheet> expected = expectedSheets(format.layout);
        QStringList names, expectedNames;
        for (const SheetInfo& sheet : reader.sheets()) names << QString::fromStdString(sheet.name);
        for (const ExpectedSheet& sheet : expected) expectedNames << QString::fromUtf8(sheet.name);
        QCOMPARE(names.join(" | "), expectedNames.join(" | "));
        for (std::size_t index = 0; index < expected.size(); ++index) {
            const SheetInfo& sheet = reader.sheets()[index];
            QVERIFY2(sheet.kind == expected[index].kind, sheet.name.c_str());
            QVERIFY2(sheet.hidden == expected[index].hidden, sheet.name.c_str());
        }
        if (format.layout == Layout::ChartSheet) {
            auto found = reader.findFirst(0, Matcher("sales"));
            QVERIFY(!found || !found.value());
        }
        const std::vector<KeywordCase>& cases = keywordCases();
        QStringList problems;
        auto check = [&](WorkbookReader& asked, const KeywordCase& keywordCase, const char* how) {
            QString got = gridAnswer(asked, keywordCase.keyword);
            QString want = answerText(expectedFor(format, keywordCase));
            if (got != want)
                problems << QString("%1 \"%2\": \"%3\", expected \"%4\"")
                                .arg(how, keywordCase.keyword, got, want);
        };
        for (const KeywordCase& keywordCase : cases) {
            OPEN_FIXTURE(fresh, format);
            check(fresh, keywordCase, "fresh");
        }
        for (const KeywordCase& keywordCase : cases) check(reader, keywordCase, "in turn");
        for (auto it = cases.rbegin(); it != cases.rend(); ++it) check(reader, *it, "backwards");
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    }

    void hits_data() {
        QTest::addColumn<int>("formatIndex");
        QTest::addColumn<int>("caseIndex");
        for (int format = 0; format < int(std::size(kFormats)); ++format)
            for (int keyword = 0; keyword < int(hitCases().size()); ++keyword)
                QTest::newRow(qPrintable(
                    QString("%1 %2").arg(kFormats[format].tag, hitCases()[keyword].keyword)))
                    << format << keyword;
    }

    // Where the keyword is, cell by cell: the same references and texts in every format.
    void hits() {
        QFETCH(int, formatIndex);
        QFETCH(int, caseIndex);
        const Format& format = kFormats[formatIndex];
        const HitCase& hitCase = hitCases()[caseIndex];
        OPEN_FIXTURE(reader, format);
        const char* expected = format.layout == Layout::TextFile ? hitCase.text : hitCase.workbook;
        for (const auto& [tag, hits] : hitCase.exceptions)
            if (std::string_view(tag) == format.tag) expected = hits;
        QCOMPARE(allHits(reader, hitCase.keyword), QString::fromUtf8(expected));
        // Readers that keep each sheet's first hit give the rest after it just the same.
        QString first = gridAnswer(reader, hitCase.keyword);
        QVERIFY2(!first.startsWith("failed"), qPrintable(first));
        QCOMPARE(allHits(reader, hitCase.keyword), QString::fromUtf8(expected));
    }

    // The first sheet's hits, the sink stopping after `stopAfter` (0: never). OpenDocument: a
    // repeated cell is one hit per cell it covers, row-major across repeated rows, a merged
    // cell is its first cell, the sink may stop anywhere in a run, and a billion repeated cells
    // in a billion repeated rows cost nothing to a sink that stops. An array formula is stored
    // once in the first cell of its range and shown by every cell of it.
    void cellRuns_data() {
        QTest::addColumn<QString>("source");  // a file in tests/data/edge, or a document here
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<QString>("hits");
        const QString all =
            "S!B1 x needle\nS!C1 x needle\nS!D1 x needle\nS!B2 x needle\n"
            "S!C2 x needle\nS!D2 x needle\nS!A3 merged needle\nS!B5 =A1&\"needle\"";
        // clang-format off
        QTest::newRow("repeated and merged") << "repeated" << "needle" << 0 << all;
        QTest::newRow("stop inside a run") << "repeated" << "needle" << 2 << all.section('\n', 0, 1);
        QTest::newRow("stop in a repeated row") << "repeated" << "needle" << 5 << all.section('\n', 0, 4);
        QTest::newRow("huge repeats stop early") << "huge" << "needle" << 3 << "S!A1 needle\nS!B1 needle\nS!C1 needle";
        for (const char* file : {"array-formulas.xlsx", "array-formulas.fods"}) {
            QTest::addRow("%s: column range", file) << file << "sum" << 0
                << "Arrays!C1 =SUM(A1:A3*B1:B3)\nArrays!C2 =SUM(A1:A3*B1:B3)\nArrays!C3 =SUM(A1:A3*B1:B3)";
            QTest::addRow("%s: two by two, not below it", file) << file << "transpose" << 0
                << "Arrays!E1 =TRANSPOSE(A1:B2)\nArrays!F1 =TRANSPOSE(A1:B2)\nArrays!E2 =TRANSPOSE(A1:B2)\nArrays!F2 =TRANSPOSE(A1:B2)";
            QTest::addRow("%s: values still first", file) << file << "20" << 0 << "Arrays!C1 20\nArrays!C2 20\nArrays!C3 20\nArrays!C4 20";
        }
        // clang-format on
    }

    void cellRuns() {
        QFETCH(QString, source);
        QFETCH(QString, keyword);
        QFETCH(int, stopAfter);
        QFETCH(QString, hits);
        std::string document = source == "huge"       ? kHugeRepeatsDocument
                               : source == "repeated" ? kRepeatedCellsDocument
                                                      : "";
        auto opened =
            document.empty()
                ? openWorkbook(QUILLMARK_TEST_DATA "/edge/" + source.toStdString())
                : openWorkbookData(memoryData({document.begin(), document.end()}), "r.fods");
        QVERIFY2(opened, opened ? "" : opened.failure().reason.c_str());
        HitList list(opened.value()->sheets()[0].name);
        list.stopAfter = stopAfter;
        QVERIFY(opened.value()->findCells(0, Matcher(keyword.toStdString()), list));
        QCOMPARE(list.lines.join("\n"), hits);
    }
};

QTEST_GUILESS_MAIN(TestEveryFormat)
#include "test_every_format.moc"
