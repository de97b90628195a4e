// Files that are no readable workbook, and every input the fuzzers found a fault with. Those
// of tests/data/edge (made by make.sh there): truncated, encrypted, impostors and lock files
// each fail openWorkbook with a kind and a reason; a damaged sheet fails that sheet only; no
// truncation of any format crashes or hangs. Those kept in tests/data/fuzz/: each workbook
// must open and search every grid sheet, or fail with a reason, quickly. Files named formula-*
// are token streams laid out as fuzz_formula_text reads them, matcher-* keyword and text,
// xml-* documents given straight to the SpreadsheetML 2003 and flat OpenDocument readers.
#include <QDir>
#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/formula/formula_text.h"
#include "engine/readers.h"
#include "engine/workbook.h"

using quillmark::FailureKind;
using namespace quillmark::engine;

Q_DECLARE_METATYPE(std::vector<FailureKind>)

namespace {

const QString kFixtures = QStringLiteral(QUILLMARK_TEST_DATA "/fuzz");
constexpr qint64 kMillisecondsAllowed = 5000;

std::vector<std::uint8_t> readBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string edgePath(const char* file) {
    return std::string(QUILLMARK_TEST_DATA) + "/edge/" + file;
}

QString kindNames(const std::vector<FailureKind>& kinds) {
    QStringList names;
    for (FailureKind kind : kinds) names << failureKindName(kind);
    return names.join(" or ");
}

// Every grid sheet searched for a keyword no fixture holds, so each sheet is read to its end.
// Returns the first failure's kind, or nothing when every sheet was read.
std::optional<FailureKind> readEverySheet(WorkbookReader& reader) {
    Matcher absent("zqxjk");
    for (std::size_t index = 0; index < reader.sheets().size(); ++index) {
        if (!isGridSheet(reader.sheets()[index].kind)) continue;
        auto found = reader.findFirst(index, absent);
        if (!found) return found.failure().kind;
    }
    return std::nullopt;
}

// The workbook opens and every grid sheet answers, or it fails with a reason.
void searchAll(ReaderOutcome reader) {
    if (!reader) {
        QVERIFY2(!reader.failure().reason.empty(), "a failure without a reason");
        return;
    }
    const auto& sheets = reader.value()->sheets();
    for (const char* keyword : {"zq\xC3\xA9x~*y", "e", "2008", "*"}) {
        Matcher matcher(keyword);
        for (std::size_t index = 0; index < sheets.size(); ++index) {
            if (!isGridSheet(sheets[index].kind)) continue;
            auto found = reader.value()->findFirst(index, matcher);
            if (!found)
                QVERIFY2(!found.failure().reason.empty(), "a sheet failure without a reason");
        }
    }
}

// Header as fuzz_formula_text reads it: dialect (and no callbacks when the high bit is set),
// token byte count, the cell; then the tokens and the extra bytes.
void decompile(const std::vector<std::uint8_t>& input) {
    if (input.size() < 6) return;
    const FormulaDialect dialects[] = {FormulaDialect::Biff5, FormulaDialect::Biff8,
                                       FormulaDialect::Biff12};
    const std::size_t tokenBytes =
        std::min<std::size_t>(input[1] | (input[2] << 8), input.size() - 6);
    std::vector<std::uint8_t> rgce(input.begin() + 6, input.begin() + 6 + tokenBytes);
    std::vector<std::uint8_t> extra(input.begin() + 6 + tokenBytes, input.end());
    FormulaTokens tokens{Bytes(rgce), Bytes(extra)};
    FormulaContext context;
    context.row = input[3] * 4099u;
    context.column = input[4] | (input[5] << 8);
    if ((input[0] & 0x80) == 0) {
        context.sheetNameForExternIndex = [](std::uint32_t) { return std::string("Sheet2"); };
        context.definedName = [](std::uint32_t) { return std::string("Total"); };
        context.sharedFormula = [&](std::uint32_t, std::uint32_t) -> std::optional<FormulaTokens> {
            return tokens;
        };
    }
    std::string text;
    appendFormulaText(tokens, dialects[input[0] % 3], context, text);
    QVERIFY(text.size() <= kMaxFormulaTextBytes + 4096);
}

}  // namespace

class TestFuzzRegressions : public QObject {
    Q_OBJECT

  private slots:
    void fixture_data() {
        QTest::addColumn<QString>("path");
        const QStringList names = QDir(kFixtures).entryList(QDir::Files, QDir::Name);
        for (const QString& name : names) {
            if (name.endsWith(".sh") || name.endsWith(".md")) continue;
            QTest::newRow(name.toUtf8().constData()) << kFixtures + "/" + name;
        }
    }

    void fixture() {
        QFETCH(QString, path);
        const QString name = QFileInfo(path).fileName();
        QElapsedTimer timer;
        timer.start();
        if (name.startsWith("formula-")) {
            decompile(readBytes(path));
        } else if (name.startsWith("xml-")) {
            auto bytes = memoryData(readBytes(path));
            searchAll(openSpreadsheetMl(bytes));
            searchAll(openFlatOds(bytes));
        } else if (name.startsWith("matcher-")) {
            const std::vector<std::uint8_t> bytes = readBytes(path);
            const std::string input(bytes.begin(), bytes.end());
            const std::size_t newline = input.find('\n');
            Matcher matcher(input.substr(0, newline));
            const bool matched = matcher.matches(
                newline == std::string::npos ? std::string() : input.substr(newline + 1));
            // Readers skip every sheet for a keyword that matches nothing.
            QVERIFY(!(matcher.matchesNothing() && matched));
        } else {
            searchAll(openWorkbook(path.toStdString()));
        }
        QVERIFY2(timer.elapsed() < kMillisecondsAllowed, "too slow");
    }

    void failsToOpen_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::vector<FailureKind>>("kinds");  // empty: any failure will do
        using K = FailureKind;
        // clang-format off
        QTest::newRow("xlsx cut in half") << "truncated.xlsx" << std::vector{K::Truncated, K::Corrupt};
        QTest::newRow("xls cut at 6,000 bytes") << "truncated.xls" << std::vector{K::Truncated, K::Corrupt};
        QTest::newRow("xlsx with a password") << "encrypted.xlsx" << std::vector{K::Encrypted};
        QTest::newRow("xls with a password") << "encrypted.xls" << std::vector{K::Encrypted};
        QTest::newRow("random bytes named .xls") << "random.xls" << std::vector{K::NotAWorkbook};
        QTest::newRow("empty file") << "empty.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("Excel owner file") << "~$book.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("zip with no workbook") << "not-a-workbook.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("OpenDocument text named .ods") << "text-document.ods" << std::vector{K::NotAWorkbook};
        QTest::newRow("package without its workbook part") << "missing-workbook-part.xlsx" << std::vector<K>{};
        // clang-format on
    }

    void failsToOpen() {
        QFETCH(QString, file);
        QFETCH(std::vector<FailureKind>, kinds);
        auto opened = openWorkbook(edgePath(file.toUtf8().constData()));
        QVERIFY2(!opened.ok(), "opened a file that holds no readable workbook");
        const auto& failure = opened.failure();
        QVERIFY2(!failure.reason.empty(), "a failure without a reason");
        if (kinds.empty()) return;
        bool expectedKind = std::find(kinds.begin(), kinds.end(), failure.kind) != kinds.end();
        QVERIFY2(expectedKind, qPrintable(QString("failed as %1 (%2), expected %3")
                                              .arg(failureKindName(failure.kind))
                                              .arg(QString::fromStdString(failure.reason))
                                              .arg(kindNames(kinds))));
    }

    // The zip directory is whole but the Sales sheet's compressed bytes are not: that sheet
    // fails, and the others are still searched.
    void damagedSheetFailsAlone() {
        auto opened = openWorkbook(edgePath("damaged-sheet.xlsx"));
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        WorkbookReader& reader = *opened.value();
        QCOMPARE(reader.sheets().size(), std::size_t(6));
        QCOMPARE(reader.sheets()[1].name, std::string("Sales"));
        auto sales = reader.findFirst(1, Matcher("zqxjk"));
        QVERIFY(!sales.ok());
        QVERIFY2(sales.failure().kind == FailureKind::Corrupt ||
                     sales.failure().kind == FailureKind::Truncated,
                 failureKindName(sales.failure().kind));
        auto hidden = reader.findFirst(2, Matcher("secret"));
        QVERIFY2(hidden.ok(), hidden ? "" : hidden.failure().reason.c_str());
        QVERIFY(hidden.value().has_value());
    }

    void everyTruncationFailsCleanly_data() {
        QTest::addColumn<QString>("file");
        QDir folder(QUILLMARK_TEST_DATA "/every_format");
        for (const QString& name : folder.entryList({"book*"}, QDir::Files))
            QTest::newRow(name.toUtf8().constData()) << folder.filePath(name);
    }

    // A workbook cut at any length opens and reads to the end, or fails with a format's
    // failure kind: never a crash, a hang or an out-of-bounds read (run under the sanitizers
    // to see the last).
    void everyTruncationFailsCleanly() {
        QFETCH(QString, file);
        std::vector<std::uint8_t> whole = readBytes(file);
        QVERIFY(!whole.empty());
        std::vector<std::size_t> lengths;
        for (std::size_t length = 1; length <= 32 && length < whole.size(); ++length)
            lengths.push_back(length);
        constexpr std::size_t kSteps = 97;
        for (std::size_t step = 1; step < kSteps; ++step)
            lengths.push_back(whole.size() * step / kSteps);
        const std::string name = QFileInfo(file).fileName().toStdString();
        for (std::size_t length : lengths) {
            std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + length);
            auto opened = openWorkbookData(memoryData(std::move(prefix)), name);
            std::optional<FailureKind> kind;
            if (opened)
                kind = readEverySheet(*opened.value());
            else
                kind = opened.failure().kind;
            if (!kind) continue;
            bool formatKind = *kind == FailureKind::Truncated || *kind == FailureKind::Corrupt ||
                              *kind == FailureKind::NotAWorkbook ||
                              *kind == FailureKind::Unsupported || *kind == FailureKind::TooLarge;
            QVERIFY2(
                formatKind,
                qPrintable(QString("cut at %1 bytes: %2").arg(length).arg(failureKindName(*kind))));
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
