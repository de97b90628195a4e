// .xlsx packages at the edges of what writers produce: inline strings, cells without
// references, prefixed namespaces, the 1904 date system, Strict namespaces (small files in
// tests/data/edge), and packages built here in memory: 1,024 sheets, tens of thousands of
// zip entries.
#include <QElapsedTimer>
#include <QtTest>
#include <string>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "stored_zip.h"
#include "xlsx_package.h"

using quillmark::testing::StoredZip;
using quillmark::testing::worksheetXml;
using quillmark::testing::xlsxParts;
using namespace quillmark::engine;

namespace {

std::string edgePath(const QString& file) {
    return std::string(QUILLMARK_TEST_DATA) + "/edge/" + file.toStdString();
}

// The matching grid sheets, comma-joined, and the first match as "row,column"; or the failure.
QString answer(WorkbookReader& reader, const QString& keyword) {
    Matcher matcher(keyword.toStdString());
    QStringList sheets;
    QString first;
    for (std::size_t index = 0; index < reader.sheets().size(); ++index) {
        if (!isGridSheet(reader.sheets()[index].kind)) continue;
        auto found = reader.findFirst(index, matcher);
        if (!found) return "failed: " + QString::fromStdString(found.failure().reason);
        if (!found.value()) continue;
        sheets << QString::fromStdString(reader.sheets()[index].name);
        if (first.isEmpty())
            first = QString(" %1,%2").arg(found.value()->row).arg(found.value()->column);
    }
    return sheets.join(",") + first;
}

// A workbook of `sheetCount` sheets named Sheet1... whose cells say "filler" except the last
// sheet's, which says "needle"; then `paddingEntries` unreferenced parts, as a package that
// carries thousands of images or custom XML items would.
std::string buildPackage(int sheetCount, int paddingEntries) {
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
    return zip.finish();
}

ReaderOutcome openInMemory(const std::string& bytes) {
    return openWorkbookData(memoryData({bytes.begin(), bytes.end()}), "generated.xlsx");
}

}  // namespace

class TestXlsxEdges : public QObject {
    Q_OBJECT

  private slots:
    void smallPackages_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");  // sheets, then the first match's row,column
        // clang-format off
        QTest::newRow("inline string") << "inline-strings.xlsx" << "plain inline" << "Inline 0,0";
        QTest::newRow("rich inline string, runs joined")
            << "inline-strings.xlsx" << "hello world" << "Inline 0,1";
        QTest::newRow("formula string result") << "inline-strings.xlsx" << "total due"
                                               << "Inline 2,2";
        QTest::newRow("formula text") << "inline-strings.xlsx" << "&\"due" << "Inline 2,2";
        QTest::newRow("entities decoded") << "inline-strings.xlsx" << "<angle> & amp"
                                          << "Inline 3,1";
        QTest::newRow("preserved spaces") << "inline-strings.xlsx" << "  spaced  " << "Inline 3,0";
        QTest::newRow("cells without references, first row")
            << "inline-strings.xlsx" << "second" << "NoReferences 0,1";
        QTest::newRow("cells without references, empty cells count")
            << "inline-strings.xlsx" << "third" << "NoReferences 1,2";
        QTest::newRow("prefixed elements") << "prefixed-namespaces.xlsx" << "needle"
                                           << "Prefixed 1,1";
        QTest::newRow("prefixed number") << "prefixed-namespaces.xlsx" << "42" << "Prefixed 1,2";
        QTest::newRow("1904 date as its date") << "date-1904.xlsx" << "3/15/2008" << "Dates 0,0";
        QTest::newRow("1904 date not as a 1900 date") << "date-1904.xlsx" << "2004" << "";
        QTest::newRow("Strict namespaces") << "strict.xlsx" << "needle" << "Strict 0,0";
        // clang-format on
    }

    void smallPackages() {
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto opened = openWorkbook(edgePath(file));
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        QCOMPARE(answer(*opened.value(), keyword), expected);
    }

    // 1,024 sheets: the keyword on the last one is found, and reaching it costs no more than
    // reaching the first (no per-sheet work grows with the sheet count).
    void thousandSheets() {
        const int sheetCount = 1024;
        std::string package = buildPackage(sheetCount, 0);
        QElapsedTimer timer;
        timer.start();
        auto opened = openInMemory(package);
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        WorkbookReader& reader = *opened.value();
        qint64 openMs = timer.restart();
        QCOMPARE(reader.sheets().size(), std::size_t(sheetCount));
        QCOMPARE(reader.sheets().back().name, std::string("Sheet1024"));
        QCOMPARE(answer(reader, "needle"), QString("Sheet1024 0,0"));
        qint64 allSheetsMs = timer.restart();
        auto last = reader.findFirst(sheetCount - 1, Matcher("needle"));
        qint64 lastSheetMs = timer.elapsed();
        QVERIFY(last.ok() && last.value().has_value());
        qInfo("1,024 sheets: open %lld ms, all sheets %lld ms, the last sheet alone %lld ms",
              openMs, allSheetsMs, lastSheetMs);
        QVERIFY2(openMs < 2000, "opening 1,024 sheets took over 2 s");
        QVERIFY2(allSheetsMs < 10000, "searching 1,024 tiny sheets took over 10 s");
        QVERIFY2(lastSheetMs < 200, "one tiny sheet took over 0.2 s");
    }

    // Tens of thousands of zip entries besides the workbook's own parts.
    void manyZipEntries() {
        const int paddingEntries = 40000;
        std::string package = buildPackage(3, paddingEntries);
        QElapsedTimer timer;
        timer.start();
        auto opened = openInMemory(package);
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        qint64 openMs = timer.restart();
        QCOMPARE(answer(*opened.value(), "needle"), QString("Sheet3 0,0"));
        qint64 searchMs = timer.elapsed();
        qInfo("40,007 zip entries: open %lld ms, search %lld ms", openMs, searchMs);
        QVERIFY2(openMs + searchMs < 5000, "a package of 40,007 entries took over 5 s");
    }
};

QTEST_GUILESS_MAIN(TestXlsxEdges)
#include "test_xlsx_edges.moc"
