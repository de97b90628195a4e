// The compound file container on hand-made files (tests/data/biff, made by the script there):
// streams in the mini stream and in regular sectors, 4096-byte sectors, a DIFAT chain, and
// sector chains broken every way a damaged or hostile file breaks them.
#include <QFile>
#include <QTest>

#include "engine/container/aes.h"
#include "engine/container/compound_file.h"
#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark;
using namespace quillmark::engine;

namespace {

std::vector<std::uint8_t> fixture(const char* name) {
    const QByteArray bytes = testing::fileBytes(QUILLMARK_TEST_DATA "/biff/" + QString(name));
    return {bytes.begin(), bytes.end()};
}

// Opens the file and reads its workbook stream, whatever fails on the way.
Outcome<std::vector<std::uint8_t>> workbookStream(const std::vector<std::uint8_t>& file) {
    auto compound = CompoundFile::open(memoryData(file));
    if (!compound) return compound.failure();
    const CompoundFile::Entry* entry = compound.value().findStream("Workbook");
    if (!entry) return fail(FailureKind::NotAWorkbook, "no workbook stream");
    return compound.value().readStream(*entry);
}

bool startsWithBof(const std::vector<std::uint8_t>& stream) {
    return stream.size() >= 4 && stream[0] == 0x09 && stream[1] == 0x08;
}

}  // namespace

class TestCompoundFile : public QObject {
    Q_OBJECT

  private slots:
    // The workbook stream of a fixture, cut to `length` bytes (0: whole) and with `patch` at
    // its offset: its size and the sign of a workbook at its start, or the failure's kind.
    // Every stream read holds the same workbook as the mini-stream one, byte for byte.
    void workbookStreams_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");  // negative: that many bytes cut off the end
        QTest::addColumn<int>("patchAt");
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const char* name, int length, const char* expected,
                      int patchAt = -1, const QByteArray& patch = {}) {
            QTest::newRow(tag) << QString(name) << length << patchAt << patch << QString(expected);
        };
        // clang-format off
        row("mini stream", "biff8_workbook.xls", 0, "workbook");
        row("regular sectors", "biff8_padded.xls", 0, "workbook of 5000 bytes");
        row("4096-byte sectors", "biff8_big_sectors.xls", 0, "workbook of 5000 bytes");
        row("FAT listed by a DIFAT sector", "biff8_difat_chain.xls", 0, "workbook");
        row("last sector cut short in its padding", "trimmed_last_sector.xls", 0, "workbook of 5000 bytes");
        row("chain loop", "chain_loop.xls", 0, "corrupt");
        row("sector past the end", "chain_out_of_range.xls", 0, "truncated");
        row("free sector inside a chain", "chain_free_sector.xls", 0, "corrupt");
        // Cut inside the header, inside the allocation table, and inside the stream's data.
        row("cut in the header", "biff8_padded.xls", 300, "truncated");
        row("cut in the allocation table", "biff8_padded.xls", 700, "truncated");
        row("cut in the stream's last sector", "biff8_padded.xls", -400, "truncated");
        row("cut in the stream", "biff8_padded.xls", -2000, "truncated");
        // The workbook's directory entry (after the root's) claims 4 GiB; the file holds 5000 bytes.
        row("stream size beyond the file", "biff8_padded.xls", 0, "workbook", 512 * 2 + 128 + 120, "\xFF\xFF\xFF\xFF");
        row("no such sector size", "biff8_workbook.xls", 0, "corrupt", 30, "\x0A");
        // clang-format on
    }

    void workbookStreams() {
        QFETCH(QString, name);
        QFETCH(int, length);
        QFETCH(int, patchAt);
        QFETCH(QByteArray, patch);
        QFETCH(QString, expected);
        auto file = fixture(name.toUtf8().constData());
        if (length != 0) file.resize(length > 0 ? std::size_t(length) : file.size() + length);
        if (patchAt >= 0) std::copy(patch.begin(), patch.end(), file.begin() + patchAt);
        auto stream = workbookStream(file);
        if (!stream) {
            QVERIFY(!stream.failure().reason.empty());
            QCOMPARE(QString(failureKindName(stream.failure().kind)), expected);
            return;
        }
        QVERIFY(startsWithBof(stream.value()));
        const std::size_t size = stream.value().size();
        QVERIFY(size <= file.size());
        QCOMPARE(expected, size == 5000 ? QString("workbook of 5000 bytes") : QString("workbook"));
        auto reference = workbookStream(fixture("biff8_workbook.xls"));
        QVERIFY(reference.ok() && reference.value().size() <= size);
        QVERIFY(
            std::equal(reference.value().begin(), reference.value().end(), stream.value().begin()));
    }

    void readsARunOfConsecutiveSectorsAsTheFileHoldsIt() {
        // biff8_padded.xls lays its 5000-byte stream out in consecutive sectors from sector 0.
        auto file = fixture("biff8_padded.xls");
        auto compound = CompoundFile::open(memoryData(file));
        QVERIFY(compound.ok());
        const CompoundFile::Entry* entry = compound.value().findStream("Workbook");
        auto stream = compound.value().readStream(*entry);
        QVERIFY(stream.ok());
        std::size_t offset = (std::size_t(entry->startSector) + 1) * 512;
        QVERIFY(file.size() >= offset + stream.value().size());
        QVERIFY(std::equal(stream.value().begin(), stream.value().end(), file.begin() + offset));
    }

    void namesCompareIgnoringCaseAndPreferTheRootStorage() {
        auto difat = fixture("biff8_difat_chain.xls");  // its stream is named "WORKBOOK"
        auto compound = CompoundFile::open(memoryData(difat));
        QVERIFY(compound.ok());
        QVERIFY(compound.value().findStream("workbook") != nullptr);
        QVERIFY(compound.value().findStream("Book") == nullptr);

        // "Embedded/Workbook" (an embedded object) comes first in the directory.
        auto nested = fixture("small_workbook_stream.xls");
        auto withStorage = CompoundFile::open(memoryData(nested));
        QVERIFY(withStorage.ok());
        const CompoundFile::Entry* entry = withStorage.value().findStream("Workbook");
        QVERIFY(entry && entry->inRootStorage);
        auto stream = withStorage.value().readStream(*entry);
        QVERIFY(stream.ok());
        std::string text(stream.value().begin(), stream.value().end());
        QVERIFY(text.find("outer workbook") != std::string::npos);
    }

    void rejectsWhatIsNoCompoundFile() {
        std::vector<std::uint8_t> text(1024, 'x');
        QCOMPARE(CompoundFile::open(memoryData(text)).failure().kind, FailureKind::NotAWorkbook);
    }

    void aesDecryptsTheStandardVectors() {
        // FIPS 197 appendix C: one plaintext under 128-, 192- and 256-bit keys 00 01 02...
        const char* ciphertexts[] = {"69c4e0d86a7b0430d8cdb78070b4c55a",
                                     "dda97ca4864cdfe06eaf70a0ec0d7191",
                                     "8ea2b7ca516745bfeafc49904b496089"};
        for (int k = 0; k < 3; ++k) {
            std::vector<std::uint8_t> key(16 + 8 * k);
            for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
            QByteArray block = QByteArray::fromHex(ciphertexts[k]);
            AesDecryptor aes{Bytes(key)};
            aes.decryptBlock(reinterpret_cast<std::uint8_t*>(block.data()));
            QCOMPARE(block.toHex(), QByteArray("00112233445566778899aabbccddeeff"));
        }
    }

    void opensPackagesEncryptedUnderTheDefaultPassword() {
        // A real .xlsx saved with standard encryption and the default password, from the
        // shared corpus (not copied here).
        QString path = QStringLiteral(QUILLMARK_CORPUS "/files/poi__poifs__protect.xlsx");
        if (!QFile::exists(path)) QSKIP("the shared corpus is not there");
        auto opened = openWorkbook(path.toStdString());
        QVERIFY2(opened.ok(), opened.ok() ? "" : opened.failure().reason.c_str());
        QCOMPARE(opened.value()->sheets().size(), std::size_t(3));
        QCOMPARE(opened.value()->sheets()[0].name, std::string("Лист1"));

        // Agile encryption (version 4.4) stays locked.
        auto agile = openWorkbookData(memoryData(fixture("encrypted_package.xls")), "x.xls");
        QCOMPARE(agile.failure().kind, FailureKind::Encrypted);
        QVERIFY(agile.failure().reason.find("agile") != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestCompoundFile)
#include "test_compound_file.moc"
