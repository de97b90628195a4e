// Files that are no readable workbook (tests/data/edge, made by make.sh there): truncated,
// encrypted, impostors and lock files each fail openWorkbook with a kind and a reason; a
// damaged sheet fails that sheet only; no truncation of any format crashes or hangs.
#include <QDir>
#include <QFile>
#include <QtTest>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"

using quillmark::FailureKind;
using namespace quillmark::engine;

Q_DECLARE_METATYPE(std::vector<FailureKind>)

namespace {

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

std::vector<std::uint8_t> fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

}  // namespace

class TestBadFiles : public QObject {
    Q_OBJECT

  private slots:
    void failsToOpen_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::vector<FailureKind>>("kinds");  // empty: any failure will do
        using K = FailureKind;
        QTest::newRow("xlsx cut in half")
            << "truncated.xlsx" << std::vector{K::Truncated, K::Corrupt};
        QTest::newRow("xls cut at 6,000 bytes")
            << "truncated.xls" << std::vector{K::Truncated, K::Corrupt};
        QTest::newRow("xlsx with a password") << "encrypted.xlsx" << std::vector{K::Encrypted};
        QTest::newRow("xls with a password") << "encrypted.xls" << std::vector{K::Encrypted};
        QTest::newRow("random bytes named .xls") << "random.xls" << std::vector{K::NotAWorkbook};
        QTest::newRow("empty file") << "empty.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("Excel owner file") << "~$book.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("zip with no workbook")
            << "not-a-workbook.xlsx" << std::vector{K::NotAWorkbook};
        QTest::newRow("OpenDocument text named .ods")
            << "text-document.ods" << std::vector{K::NotAWorkbook};
        QTest::newRow("package without its workbook part")
            << "missing-workbook-part.xlsx" << std::vector<K>{};
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
        std::vector<std::uint8_t> whole = fileBytes(file);
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

QTEST_GUILESS_MAIN(TestBadFiles)
#include "test_bad_files.moc"
