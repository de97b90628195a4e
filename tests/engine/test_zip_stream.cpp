// A deflated zip part read as a stream: the bytes come out as written whatever the reads ask
// for at a time, several parts may stream at once on one thread, and damage ends in a failure
// of its own kind instead of a hang or made-up bytes.
#include <zlib.h>

#include <QtTest>
#include <string>

#include "engine/container/zip_archive.h"
#include "engine/core/file_data.h"
#include "stored_zip.h"

using namespace quillmark::engine;
using quillmark::Failure;
using quillmark::FailureKind;
using quillmark::testing::rawDeflate;
using quillmark::testing::StoredZip;

namespace {

// About `size` bytes of rows whose numbers vary, so that deflate mixes literals with matches
// near and far (up to its 32 KiB window) instead of one long repeat.
std::string sheetLikeText(std::size_t size, std::uint32_t seed) {
    std::string text = "<sheetData>";
    std::uint32_t state = seed;
    for (int row = 1; text.size() < size; ++row) {
        state = state * 1664525u + 1013904223u;
        text += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
                "\" t=\"n\"><v>" + std::to_string(state >> (state % 17)) + "</v></c></row>";
    }
    return text + "</sheetData>";
}

// Declared sizes over the whole-inflate limit make a part stream, whatever it really holds.
constexpr std::uint32_t kStreams = std::uint32_t(kWholeInflateBytes) + 1;

std::unique_ptr<ZipArchive> archiveOf(const StoredZip& zip) {
    const std::string bytes = zip.finish();
    auto opened = ZipArchive::open(memoryData({bytes.begin(), bytes.end()}));
    if (!opened) qFatal("test archive does not open: %s", opened.failure().reason.c_str());
    return std::move(opened.value());
}

struct ReadAll {
    std::string bytes;
    std::optional<Failure> failure;
};

ReadAll readAll(ZipStream& stream, std::size_t step) {
    ReadAll result;
    std::string buffer(step, '\0');
    for (;;) {
        auto got = stream.read(reinterpret_cast<std::uint8_t*>(buffer.data()), step);
        if (!got) {
            result.failure = got.failure();
            return result;
        }
        if (got.value() == 0) return result;
        result.bytes.append(buffer, 0, got.value());
    }
}

// zlib's reading of a raw deflate stream, for comparison: its bytes, or nothing when it refuses
// the stream or the stream ends early.
std::optional<std::string> zlibInflate(const std::string& deflated, std::size_t limit) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    std::string out(limit, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    stream.avail_in = uInt(deflated.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = ::inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace

class TestZipStream : public QObject {
    Q_OBJECT

  private slots:
    void readsAsWrittenWhateverTheStep_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("sizeLies");
        for (int level : {0, 1, 9})
            for (int step : {1, 5, 4096, 65537, 4 << 20})
                QTest::addRow("level %d, %d bytes a read", level, step) << level << step << false;
        // A declared size too small for the part: the whole inflate refuses it and the
        // compressed bytes already read stream instead.
        QTest::addRow("declared size too small") << 6 << 4096 << true;
    }
    void readsAsWrittenWhateverTheStep() {
        QFETCH(int, level);
        QFETCH(int, step);
        QFETCH(bool, sizeLies);
        const std::string text = sheetLikeText(600 << 10, 7);
        StoredZip zip;
        zip.addRaw("sheet.xml", rawDeflate(text, level), StoredZip::crc32(text),
                   sizeLies ? 1000 : kStreams, 8);
        auto archive = archiveOf(zip);
        auto stream = archive->openPart("sheet.xml");
        QVERIFY(stream);
        ReadAll read = readAll(*stream.value(), std::size_t(step));
        QVERIFY2(!read.failure, read.failure ? read.failure->reason.c_str() : "");
        QVERIFY(read.bytes == text);
    }

    // Parts streaming side by side keep their own state, and a part opened after others
    // closed starts afresh.
    void partsStreamSideBySide() {
        const std::string first = sheetLikeText(300 << 10, 1), second = sheetLikeText(200 << 10, 2);
        StoredZip zip;
        zip.addRaw("a.xml", rawDeflate(first), StoredZip::crc32(first), kStreams, 8);
        zip.addRaw("b.xml", rawDeflate(second), StoredZip::crc32(second), kStreams, 8);
        auto archive = archiveOf(zip);
        for (int round = 0; round < 2; ++round) {
            auto a = archive->openPart("a.xml");
            auto b = archive->openPart("b.xml");
            QVERIFY(a && b);
            std::string gotA, gotB, buffer(3001, '\0');
            auto* out = reinterpret_cast<std::uint8_t*>(buffer.data());
            for (bool more = true; more;) {
                auto fromA = a.value()->read(out, buffer.size());
                QVERIFY(fromA);
                gotA.append(buffer, 0, fromA.value());
                auto fromB = b.value()->read(out, buffer.size());
                QVERIFY(fromB);
                gotB.append(buffer, 0, fromB.value());
                more = fromA.value() > 0 || fromB.value() > 0;
            }
            QVERIFY(gotA == first);
            QVERIFY(gotB == second);
        }
        // Left part-way, then a fresh part on the same thread.
        {
            auto a = archive->openPart("a.xml");
            std::uint8_t some[100];
            QVERIFY(a && a.value()->read(some, sizeof some));
        }
        auto b = archive->openPart("b.xml");
        QVERIFY(b);
        QVERIFY(readAll(*b.value(), 65536).bytes == second);
    }

    // A stream cut short hands out what it holds, all of it the part's own bytes, then fails as
    // truncated. A damaged one is refused wherever zlib refuses it, as corrupt or truncated,
    // and otherwise reads as zlib reads it; it never loops.
    void damageEndsTheRead() {
        const std::string text = sheetLikeText(200 << 10, 3);
        const std::string deflated = rawDeflate(text);
        {
            StoredZip zip;
            zip.addRaw("cut.xml", deflated.substr(0, deflated.size() / 2), StoredZip::crc32(text),
                       kStreams, 8);
            auto archive = archiveOf(zip);
            auto stream = archive->openPart("cut.xml");
            QVERIFY(stream);
            ReadAll read = readAll(*stream.value(), 4096);
            QVERIFY(read.failure);
            QCOMPARE(int(read.failure->kind), int(FailureKind::Truncated));
            QVERIFY(read.bytes.size() > 0 && text.starts_with(read.bytes));
        }
        int refused = 0;
        for (std::size_t at = 0; at < deflated.size(); at += deflated.size() / 97 + 1) {
            std::string spoiled = deflated;
            spoiled[at] = char(spoiled[at] ^ 0x5A);
            StoredZip zip;
            zip.addRaw("bad.xml", spoiled, StoredZip::crc32(text), kStreams, 8);
            auto archive = archiveOf(zip);
            auto stream = archive->openPart("bad.xml");
            QVERIFY(stream);
            ReadAll read = readAll(*stream.value(), 4096);
            const std::optional<std::string> expected = zlibInflate(spoiled, 4 * text.size());
            QCOMPARE(bool(read.failure), !expected);
            if (expected) {
                QVERIFY(read.bytes == *expected);
                continue;
            }
            ++refused;
            const FailureKind kind = read.failure->kind;
            QVERIFY2(kind == FailureKind::Corrupt || kind == FailureKind::Truncated,
                     read.failure->reason.c_str());
        }
        QVERIFY(refused > 0);
    }
};

QTEST_GUILESS_MAIN(TestZipStream)
#include "test_zip_stream.moc"
