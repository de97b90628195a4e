// .xls workbooks read by ranges: a file that shrinks between opening and searching fails the
// sheets it no longer holds as Truncated (never a fault or a wrong answer), and encrypted
// workbooks decrypt alike whatever order their sheets are searched in.
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"

using quillmark::FailureKind;
using quillmark::failureKindName;
using quillmark::Outcome;
using namespace quillmark::engine;
using quillmark::engine::testing::describe;

namespace {

std::vector<std::uint8_t> fixture(const QString& name) {
    std::ifstream in(QStringLiteral(QUILLMARK_TEST_DATA "/biff/%1").arg(name).toStdString(),
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes in memory that the test can cut after opening, as a file truncated on disk would be:
// the size stays the one at opening, reads past the cut come back short.
class CuttableData final : public FileData {
  public:
    explicit CuttableData(std::vector<std::uint8_t> bytes)
        : bytes_(std::move(bytes)), cut_(bytes_.size()) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void cutTo(std::size_t length) { cut_ = std::min(length, bytes_.size()); }

  private:
    Outcome<std::size_t> readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                    std::size_t length) const override {
        std::size_t available = offset < cut_ ? std::min<std::size_t>(length, cut_ - offset) : 0;
        if (available > 0) std::memcpy(buffer, bytes_.data() + offset, available);
        return available;
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t cut_;
};

QString failureOf(const Outcome<std::optional<CellPosition>>& found) {
    return found ? QString("ok") : QString(failureKindName(found.failure().kind));
}

}  // namespace

class TestBiffStreaming : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    void workbooks() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");  // found in the last sheet
        QTest::newRow("BIFF8") << "biff8_workbook.xls"
                               << "Last sheet";
        QTest::newRow("4096-byte sectors") << "biff8_padded.xls"
                                           << "Last sheet";
        QTest::newRow("RC4") << "default_password_rc4.xls"
                             << "Past the first";
        QTest::newRow("RC4 CryptoAPI") << "default_password_cryptoapi.xls"
                                       << "Past the first";
        QTest::newRow("XOR") << "default_password_xor.xls"
                             << "Past the first";
        QTest::newRow("bare BIFF4") << "biff4_workbook.xls"
                                    << "Second sheet";
    }

    static std::size_t lastSheet(WorkbookReader& reader) {
        std::size_t last = reader.sheets().size() - 1;
        while (last > 0 && reader.sheets()[last].name == "Broken") --last;
        return last;
    }

  private slots:
    // Cut at every 32 bytes after opening: every sheet then either answers as the whole file
    // did or fails as Truncated, whatever record, sector or SST entry the cut lands in; cut at
    // three fifths, the last sheet, read to its end, fails as Truncated.
    void everyCutIsTruncatedOrTheWholeAnswer_data() { workbooks(); }
    void everyCutIsTruncatedOrTheWholeAnswer() {
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        auto bytes = fixture(file);
        auto whole = openWorkbookData(memoryData(bytes), file.toStdString());
        QVERIFY(whole.ok());
        auto shrinking = std::make_shared<CuttableData>(bytes);
        auto later = openWorkbookData(shrinking, file.toStdString());
        QVERIFY(later.ok());
        std::size_t last = lastSheet(*later.value());
        QVERIFY(describe(later.value()->findFirst(last, Matcher(keyword.toStdString()))) != "none");
        shrinking->cutTo(bytes.size() * 3 / 5);
        QCOMPARE(describe(later.value()->findFirst(last, Matcher("nowhere at all"))),
                 QString("fail:truncated"));
        std::vector<QString> answers;
        for (std::size_t sheet = 0; sheet < whole.value()->sheets().size(); ++sheet)
            answers.push_back(describe(whole.value()->findFirst(sheet, Matcher("e"))));
        for (std::size_t cut = 0; cut < bytes.size(); cut += 32) {
            auto data = std::make_shared<CuttableData>(bytes);
            auto reader = openWorkbookData(data, file.toStdString());
            QVERIFY(reader.ok());
            data->cutTo(cut);
            for (std::size_t sheet = 0; sheet < answers.size(); ++sheet) {
                QString got = describe(reader.value()->findFirst(sheet, Matcher("e")));
                if (got == "fail:truncated") continue;
                QVERIFY2(got == answers[sheet], qPrintable(QString("cut %1 sheet %2: %3, not %4")
                                                               .arg(cut)
                                                               .arg(sheet)
                                                               .arg(got, answers[sheet])));
            }
        }
    }

    // Decryption is keyed by where each record lies, and a search that starts before where the
    // key stream stands re-keys there: in the RC4 fixtures a hit in the first sheet leaves the
    // key stream in the block the SST starts in, and the next search reads that SST again. Each
    // search, on one reader in reverse order and repeated, then in order, answers as a freshly
    // opened workbook does.
    void encryptedSearchesRepeatedAnswerAsFresh_data() { workbooks(); }
    void encryptedSearchesRepeatedAnswerAsFresh() {
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        auto bytes = fixture(file);
        auto shared = openWorkbookData(memoryData(bytes), file.toStdString());
        QVERIFY(shared.ok());
        const std::vector<std::string> keywords = {keyword.toStdString(), "e", "nowhere at all",
                                                   "needle in sst", "the границу ok"};
        std::size_t count = shared.value()->sheets().size();
        int found = 0;
        std::vector<std::size_t> order;
        for (std::size_t sheet = count; sheet-- > 0;) order.insert(order.end(), {sheet, sheet});
        for (std::size_t sheet = 0; sheet < count; ++sheet) order.push_back(sheet);
        for (std::size_t sheet : order) {
            for (const std::string& word : keywords) {
                auto fresh = openWorkbookData(memoryData(bytes), file.toStdString());
                QVERIFY(fresh.ok());
                QString expected = describe(fresh.value()->findFirst(sheet, Matcher(word)));
                QString got = describe(shared.value()->findFirst(sheet, Matcher(word)));
                QVERIFY2(got == expected, qPrintable(QString("sheet %1 \"%2\": %3, not %4")
                                                         .arg(sheet)
                                                         .arg(word.c_str(), got, expected)));
                found += expected != "none" && !expected.startsWith("fail");
            }
        }
        QVERIFY(found > 0);
    }

    // The same on disk: the file truncated between opening and searching its last sheet.
    void aFileTruncatedOnDiskFailsAsTruncated() {
        QString path = folder_.filePath("cut.xls");
        {
            auto bytes = fixture("biff8_padded.xls");
            std::ofstream(path.toStdString(), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        auto reader = openWorkbook(path.toStdString());
        QVERIFY(reader.ok());
        std::size_t last = lastSheet(*reader.value());
        QCOMPARE(::truncate(path.toUtf8().constData(), QFileInfo(path).size() / 2), 0);
        auto found = reader.value()->findFirst(last, Matcher("Last sheet"));
        QCOMPARE(failureOf(found), QString(failureKindName(FailureKind::Truncated)));
    }
};

QTEST_GUILESS_MAIN(TestBiffStreaming)
#include "test_biff_streaming.moc"
