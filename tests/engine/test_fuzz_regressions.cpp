// Every input the fuzzers found a fault with, kept in tests/data/fuzz/: each workbook must
// open and search every grid sheet, or fail with a reason, quickly. Files named formula-*
// are token streams laid out as fuzz_formula_text reads them, matcher-* keyword and text,
// xml-* documents given straight to the SpreadsheetML 2003 and flat OpenDocument readers.
#include <QDir>
#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/formula/formula_text.h"
#include "engine/readers.h"
#include "engine/workbook.h"

using namespace quillmark::engine;

namespace {

const QString kFixtures = QStringLiteral(QUILLMARK_TEST_DATA "/fuzz");
constexpr qint64 kMillisecondsAllowed = 5000;

std::vector<std::uint8_t> readBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
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
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
