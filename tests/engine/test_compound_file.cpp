// The compound file container on hand-made files (tests/data/biff, made by the script there):
// streams in the mini stream and in regular sectors, 4096-byte sectors, a DIFAT chain, and
// sector chains broken every way a damaged or hostile file breaks them.
#include <QFile>
#include <QTest>

#include "engine/container/aes.h"
#include "engine/container/compound_file.h"
#include "engine/workbook.h"

using namespace quillmark;
using namespace quillmark::engine;

namespace {

std::vector<std::uint8_t> fixture(const char* name) {
    QFile file(QStringLiteral(QUILLMARK_TEST_DATA "/biff/") + QString::fromUtf8(name));
    if (!file.open(QIODevice::ReadOnly)) qFatal("missing fixture %s", name);
    QByteArray bytes = file.readAll();
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
    void readsStreamsFromEitherStore_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("mini stream") << "biff8_workbook.xls" << -1;
        QTest::newRow("regular sectors") << "biff8_padded.xls" << 5000;
        QTest::newRow("4096-byte sectors") << "biff8_big_sectors.xls" << 5000;
        QTest::newRow("FAT listed by a DIFAT sector") << "biff8_difat_chain.xls" << -1;
        QTest::newRow("last sector cut short in its padding") << "trimmed_last_sector.xls" << 5000;
    }

    void readsStreamsFromEitherStore() {
        QFETCH(QString, name);
        QFETCH(int, size);
        auto file = fixture(name.toUtf8().constData());
        auto stream = workbookStream(file);
        QVERIFY2(stream.ok(), stream.ok() ? "" : stream.failure().reason.c_str());
        QVERIFY(startsWithBof(stream.value()));
        if (size >= 0) QCOMPARE(stream.value().size(), std::size_t(size));
        // Every copy holds the same workbook as the mini-stream one, byte for byte.
        auto reference = workbookStream(fixture("biff8_workbook.xls"));
        QVERIFY(reference.ok());
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

    void brokenChainsFailWithAReason_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("loop") << "chain_loop.xls" << int(FailureKind::Corrupt);
        QTest::newRow("sector past the end")
            << "chain_out_of_range.xls" << int(FailureKind::Truncated);
        QTest::newRow("free sector inside a chain")
            << "chain_free_sector.xls" << int(FailureKind::Corrupt);
    }

    void brokenChainsFailWithAReason() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        auto file = fixture(name.toUtf8().constData());
        auto stream = workbookStream(file);
        QVERIFY(!stream.ok());
        QCOMPARE(int(stream.failure().kind), kind);
        QVERIFY(!stream.failure().reason.empty());
    }

    void truncatedFilesFailAsTruncated() {
        auto whole = fixture("biff8_padded.xls");
        // Cut inside the header, inside the allocation table, and inside the stream's data.
        for (std::size_t length :
             {std::size_t{300}, std::size_t{700}, whole.size() - 400, whole.size() - 2000}) {
            std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + length);
            auto stream = workbookStream(cut);
            QVERIFY2(!stream.ok(), qPrintable(QString::number(length)));
            QCOMPARE(stream.failure().kind, FailureKind::Truncated);
        }
    }

    void aStreamIsNeverLargerThanTheFile() {
        // The directory entry claims 4 GiB; the chain and the file hold 5000 bytes.
        auto file = fixture("biff8_padded.xls");
        std::size_t directory = (std::size_t{file[48]} | std::size_t{file[49]} << 8) + 1;
        std::size_t sizeField = directory * 512 + 128 + 120;
        for (int i = 0; i < 4; ++i) file[sizeField + i] = 0xFF;
        auto stream = workbookStream(file);
        QVERIFY(stream.ok());
        QVERIFY(stream.value().size() <= file.size());
        QVERIFY(startsWithBof(stream.value()));
    }

    void rejectsWhatIsNoCompoundFile() {
        std::vector<std::uint8_t> text(1024, 'x');
        QCOMPARE(CompoundFile::open(memoryData(text)).failure().kind, FailureKind::NotAWorkbook);

        auto file = fixture("biff8_workbook.xls");
        file[30] = 10;  // a sector size of 1024 bytes does not exist
        QCOMPARE(CompoundFile::open(memoryData(file)).failure().kind, FailureKind::Corrupt);
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
