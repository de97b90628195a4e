// The xlsx reader on small packages (tests/data/xml and tests/data/edge): sheet lists with
// kinds and visibility, every kind of cell text, shared formulas, dates, strict and prefixed
// packages, and the ways a package can be broken; and packages built here in memory: damaged
// and hostile parts, 1,024 sheets, tens of thousands of zip entries.
#include <QElapsedTimer>
#include <QtTest>

#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"
#include "stored_zip.h"
#include "xlsx_package.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;
using quillmark::testing::StoredZip;
using quillmark::testing::worksheetXml;
using quillmark::testing::xlsxParts;

namespace {

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/xml/");

// The smallest package around one worksheet part, every part deflated; the sheet's deflated
// bytes damaged by `damage`, its entry flagged with `flags`.
QByteArray oneSheetPackage(const std::string& sheet, void (*damage)(std::string&) = nullptr,
                           std::uint16_t flags = 0, bool backslashes = false) {
    StoredZip zip;
    for (auto [name, text] : xlsxParts({sheet})) {
        std::string bytes = quillmark::testing::rawDeflate(text);
        const bool isSheet = name.starts_with("xl/worksheets/");
        if (isSheet && damage) damage(bytes);
        if (backslashes) std::replace(name.begin(), name.end(), '/', '\\');
        zip.addRaw(name, bytes, StoredZip::crc32(text), std::uint32_t(text.size()), 8,
                   isSheet ? flags : 0);
    }
    return QByteArray::fromStdString(zip.finish());
}

// 2,000 rows of numbers, then "found".
std::string longSheet() {
    std::string text = "<worksheet><sheetData>";
    for (int row = 1; row <= 2000; ++row)
        text += "<row r=\"" + std::to_string(row) + "\"><c><v>" + std::to_string(row * 7919) +
                "</v></c></row>";
    return text + "<row><c t=\"inlineStr\"><is><t>found</t></is></c></row></sheetData></worksheet>";
}

// A package made here, by the name its table row gives.
QByteArray package(const QString& name) {
    const std::string found =
        "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>found</t></is></c></row>"
        "</sheetData></worksheet>";
    if (name == "zip cut in half") {
        QByteArray bytes = fileBytes(kFolder + "kinds.xlsx");
        return bytes.left(bytes.size() / 2);
    }
    // 100 MB of zeros deflate to about 100 KB.
    if (name == "zip bomb") return oneSheetPackage(std::string(std::size_t{100} << 20, '\0'));
    if (name == "encrypted") return oneSheetPackage(found, nullptr, 1);
    if (name == "doctype")
        return oneSheetPackage("<!DOCTYPE worksheet><worksheet><sheetData/></worksheet>");
    if (name == "intact") return oneSheetPackage(longSheet());
    if (name == "cut short")
        return oneSheetPackage(longSheet(),
                               [](std::string& bytes) { bytes.resize(bytes.size() / 2); });
    if (name == "bad block type")
        return oneSheetPackage(longSheet(), [](std::string& bytes) { bytes[0] = char(0xFF); });
    if (name == "backslashes") return oneSheetPackage(found, nullptr, 0, true);
    return {};
}

// A workbook of `sheetCount` sheets named Sheet1... whose cells say "filler" except the last
// sheet's, which says "needle"; then `paddingEntries` unreferenced parts, as a package that
// carries thousands of images or custom XML items would.
ReaderOutcome bigPackage(int sheetCount, int paddingEntries) {
    auto cell = [](const char* text) {
        return worksheetXml(std::string("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>") + text +
                            "</t></is></c></row>");
    };
    std::vector<std::string> sheets(sheetCount - 1, cell("filler"));
    sheets.push_back(cell("needle"));
    StoredZip zip;
    for (const auto& [name, text] : xlsxParts(sheets)) zip.add(name, text);
    for (int number = 1; number <= paddingEntries; ++number)
        zip.add("xl/media/padding" + std::to_string(number) + ".bin", "x");
    return openBytes(QByteArray::fromStdString(zip.finish()), "generated.xlsx");
}

// The sheets that hold "needle", by number.
QString needleSheets(WorkbookReader& reader) {
    QStringList sheets;
    for (std::size_t index = 0; index < reader.sheets().size(); ++index)
        if (describe(reader.findFirst(index, Matcher("needle"))) != "none")
            sheets << QString::number(index);
    return sheets.join(",");
}

}  // namespace

class TestXlsxReader : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        // clang-format off
        const QString book = "kinds.xlsx";
        findRow("sheet kinds", book, -1, "", "Chart1 [chart] | Data | Secret (hidden) | Deep (hidden) | Macro1 [macro] | Dialog1 [dialog]");
        findRow("strict sheets", "strict.xlsx", -1, "", "Graph [chart] | Strict Sheet");
        findRow("another writer's sheets", "openpyxl_book.xlsx", -1, "", "Written | Other (hidden)");
        findRow("missing workbook part", "no_workbook.xlsx", -1, "", "open:corrupt");
        findRow("shared string", book, 1, "plain TEXT", "0,0");
        findRow("rich shared string runs joined", book, 1, "Rich", "0,1");
        findRow("phonetic guide is not text", book, 1, "furigana", "none");
        findRow("rich inline string runs joined", book, 1, "inline", "0,2");
        findRow("number as written", book, 1, "3.14159", "1,0");
        findRow("boolean", book, 1, "true", "1,1");
        findRow("error code", book, 1, "#DIV/0!", "1,2");
        findRow("formula text", book, 1, "=CONCATENATE(\"fo\"", "1,3");
        findRow("built-in date format", book, 1, "1/1/2008", "2,0");
        findRow("custom date-time format", book, 1, "1/2/2008 12:00", "2,1");
        findRow("quoted d is no date", book, 1, "1933", "none");
        findRow("shared formula master", book, 1, "=SUM(A1:B2)+$C$1+Sheet2!A1&\"A1\"", "4,0");
        findRow("follower one column right", book, 1, "=SUM(B1:C2)+$C$1+Sheet2!B1&", "4,1");
        findRow("follower one row down", book, 1, "SUM(A2:B3)+$C$1+Sheet2!A2&\"A1\"", "5,0");
        findRow("follower diagonal", book, 1, "SUM(B2:C3)", "5,1");
        findRow("cell without r", book, 1, "first", "7,0");
        findRow("cell after a cell without r", book, 1, "77", "7,1");
        findRow("row without r, entities", book, 1, "fish & chips abc", "8,0");
        findRow("future function prefix hidden", book, 1, "=CONCAT(\"new\"", "9,1");
        findRow("future function prefix is not text", book, 1, "_xlfn", "none");
        findRow("cdata", book, 1, "<cdata>", "9,2");
        findRow("string of another sheet", book, 1, "hidden words", "none");
        findRow("external book named", book, 1, "=[Budget 2008.xlsx]Prices!A1*2", "10,0");
        findRow("through an absolute target", book, 2, "hidden words", "3,3");
        findRow("through a ../ target", book, 3, "*", "none");
        findRow("macro sheet", book, 4, "halt()", "1,0");
        findRow("chart sheet", book, 0, "*", "none");
        findRow("dialog sheet", book, 5, "*", "none");
        findRow("empty keyword", book, 1, "", "none");
        findRow("no such sheet", book, 6, "x", "fail:no such sheet");
        findRow("strict", "strict.xlsx", 1, "strict words", "0,0");
        findRow("strict, 1904 date system", "strict.xlsx", 1, "1/1/1904", "0,1");
        findRow("another writer", "openpyxl_book.xlsx", 0, "quarterly", "0,0");
        findRow("another writer's formula", "openpyxl_book.xlsx", 0, "=sum(b2:b3)", "2,2");
        findRow("another writer's hidden sheet", "openpyxl_book.xlsx", 1, "MALDIVES", "3,3");
        // The part ends halfway: a match before the cut is found, a search past it fails.
        findRow("before the cut", "truncated_sheet.xlsx", 0, "42", "41,0");
        findRow("past the cut", "truncated_sheet.xlsx", 0, "no such text", "fail:truncated");
        findRow("entity declaration in a sheet", "entity_sheet.xlsx", 0, "boom", "fail:corrupt");
        findRow("entity declaration in strings", "entity_strings.xlsx", 0, "boom", "fail:corrupt");
        // Edges of what writers produce.
        const QString inl = "../edge/inline-strings.xlsx";
        findRow("inline string", inl, 0, "plain inline", "0,0");
        findRow("rich inline string, runs joined", inl, 0, "hello world", "0,1");
        findRow("formula string result", inl, 0, "total due", "2,2");
        findRow("formula text", inl, 0, "&\"due", "2,2");
        findRow("entities decoded", inl, 0, "<angle> & amp", "3,1");
        findRow("preserved spaces", inl, 0, "  spaced  ", "3,0");
        findRow("cells without references, first row", inl, 1, "second", "0,1");
        findRow("cells without references, empty cells count", inl, 1, "third", "1,2");
        findRow("prefixed elements", "../edge/prefixed-namespaces.xlsx", 0, "needle", "1,1");
        findRow("prefixed number", "../edge/prefixed-namespaces.xlsx", 0, "42", "1,2");
        findRow("1904 date as its date", "../edge/date-1904.xlsx", 0, "3/15/2008", "0,0");
        findRow("1904 date not as a 1900 date", "../edge/date-1904.xlsx", 0, "2004", "none");
        findRow("Strict namespaces", "../edge/strict.xlsx", 0, "needle", "0,0");
        // clang-format on
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    // Packages made here: damage before the keyword at the sheet's very end fails the search
    // with its reason, whatever the part's checksum would have said; a part that inflates past
    // its cap, is marked encrypted or declares a document type fails with that reason.
    void builtPackages_data() {
        QTest::addColumn<QString>("expected");
        QTest::newRow("zip cut in half") << "open:truncated";
        QTest::newRow("zip bomb") << "fail:too large";
        QTest::newRow("encrypted") << "fail:encrypted";
        QTest::newRow("doctype") << "fail:corrupt";
        QTest::newRow("intact") << "2000,0";
        QTest::newRow("cut short") << "fail:truncated";
        QTest::newRow("bad block type") << "fail:corrupt";
        QTest::newRow("backslashes") << "0,0";
    }
    void builtPackages() {
        QFETCH(QString, expected);
        QCOMPARE(answerOf(openBytes(package(QTest::currentDataTag()), "built.xlsx"), 0, "found"),
                 expected);
    }

    // 1,024 sheets: the keyword on the last one is found, and reaching it costs no more than
    // reaching the first (no per-sheet work grows with the sheet count).
    void thousandSheets() {
        QElapsedTimer timer;
        timer.start();
        auto opened = bigPackage(1024, 0);
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        WorkbookReader& reader = *opened.value();
        qint64 openMs = timer.restart();
        QCOMPARE(reader.sheets().back().name, std::string("Sheet1024"));
        QCOMPARE(needleSheets(reader), QString("1023"));
        qint64 allSheetsMs = timer.restart();
        QCOMPARE(describe(reader.findFirst(1023, Matcher("needle"))), QString("0,0"));
        qint64 lastSheetMs = timer.elapsed();
        qInfo("1,024 sheets: open %lld ms, all sheets %lld ms, the last sheet alone %lld ms",
              openMs, allSheetsMs, lastSheetMs);
        QVERIFY2(openMs < 2000, "opening 1,024 sheets took over 2 s");
        QVERIFY2(allSheetsMs < 10000, "searching 1,024 tiny sheets took over 10 s");
        QVERIFY2(lastSheetMs < 200, "one tiny sheet took over 0.2 s");
    }

    // Tens of thousands of zip entries besides the workbook's own parts.
    void manyZipEntries() {
        QElapsedTimer timer;
        timer.start();
        auto opened = bigPackage(3, 40000);
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        QCOMPARE(needleSheets(*opened.value()), QString("2"));
        qInfo("40,007 zip entries: open and search %lld ms", timer.elapsed());
        QVERIFY2(timer.elapsed() < 5000, "a package of 40,007 entries took over 5 s");
    }
};

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "test_xlsx_reader.moc"
