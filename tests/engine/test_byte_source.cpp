// Workbooks read by ranges, from disk or from memory cut after opening: a file cut short after
// it was opened fails its own workbook (or the .xls sheets it no longer holds) as Truncated in
// every format family, a cancelled search stops with Cancelled, encrypted .xls workbooks decrypt
// alike in any order, and parts inflate the same whether libdeflate takes them whole (once, for
// OpenDocument content) or zlib streams them.
#include <unistd.h>
#include <zip.h>

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/container/compound_file.h"
#include "engine/container/zip_archive.h"
#include "engine/core/cancel.h"
#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"
#include "xlsx_package.h"

using quillmark::FailureKind;
using quillmark::failureKindName;
using quillmark::Outcome;
using namespace quillmark::engine;
using quillmark::engine::testing::answerOf;
using quillmark::engine::testing::describe;
using quillmark::engine::testing::fileBytes;
using quillmark::engine::testing::openBytes;
using quillmark::engine::testing::Positions;
using quillmark::engine::testing::sheetNames;
using quillmark::testing::worksheetXml;
using quillmark::testing::writeZipFile;
using quillmark::testing::xlsxParts;

namespace {

// Rows of distinct text (so that they deflate only so far) with "needle" in the last one.
std::string rows(int count, const std::string& before, const std::string& after) {
    std::string out;
    for (int row = 0; row < count; ++row)
        out +=
            before + "row " + std::to_string(std::int64_t{row} * 7919 % 100003) + " text" + after;
    return out + before + "needle" + after;
}

std::string spreadsheetMl(int count) {
    return "<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:office:"
           "spreadsheet\" xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet "
           "ss:Name=\"Big\"><Table>" +
           rows(count, "<Row><Cell><Data ss:Type=\"String\">", "</Data></Cell></Row>") +
           "</Table></Worksheet></Workbook>";
}

std::string worksheet(int count) {
    return worksheetXml(rows(count, "<row><c t=\"inlineStr\"><is><t>", "</t></is></c></row>"));
}

void writeFile(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

const char kNamespaces[] =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";

std::string odsCell(const std::string& text) {
    return "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>" + text +
           "</text:p></table:table-cell></table:table-row>";
}

std::string flatOds(int count) {
    return std::string("<?xml version=\"1.0\"?><office:document ") + kNamespaces +
           " office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
           "<office:spreadsheet><table:table table:name=\"Big\">" +
           rows(count, "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>",
                "</text:p></table:table-cell></table:table-row>") +
           "</table:table></office:spreadsheet></office:body></office:document>";
}

// Three sheets, the middle one hidden by its style; "needle" ends the first and last, "pin"
// the last. `rows` rows of distinct text fill the first sheet.
std::string odsContent(int rows) {
    std::string out = std::string("<?xml version=\"1.0\"?><office:document-content ") +
                      kNamespaces +
                      "><office:automatic-styles><style:style style:name=\"ta2\" "
                      "style:family=\"table\"><style:table-properties table:display=\"false\"/>"
                      "</style:style></office:automatic-styles><office:body><office:spreadsheet>"
                      "<table:table table:name=\"Filler\">";
    for (int row = 0; row < rows; ++row)
        out += odsCell("row " + std::to_string(std::int64_t{row} * 7919 % 100003) + " text");
    out += odsCell("needle") + "</table:table>";
    out += "<table:table table:name=\"Hidden\" table:style-name=\"ta2\">" + odsCell("x") +
           "</table:table>";
    out += "<table:table table:name=\"Last\">" + odsCell("pin") + odsCell("a needle") +
           "</table:table>";
    return out + "</office:spreadsheet></office:body></office:document-content>";
}

// Two sheets of one name, then another; tables in a comment, in CDATA and in a cell that are
// no sheets; `rows` filler rows in the first sheet between its two needles.
std::string markedOdsContent(int rows) {
    std::string out = std::string("<?xml version=\"1.0\"?><office:document-content ") +
                      kNamespaces +
                      "><office:body><office:spreadsheet><table:table table:name=\"Same\">" +
                      odsCell("needle one");
    for (int row = 0; row < rows; ++row) out += odsCell("row " + std::to_string(row));
    out += "<table:table-row><table:table-cell><table:table table:name=\"Inner\">" +
           odsCell("needle inner") + "</table:table></table:table-cell></table:table-row>";
    out += odsCell("needle two") + "</table:table>";
    out += "<!-- <table:table table:name=\"Ghost\">" + odsCell("needle") + "</table:table> -->";
    out += "<table:table table:name=\"Same\">" + odsCell("x") +
           odsCell("<![CDATA[</table:table><table:table>needle]]>") + odsCell("needle 3") +
           "</table:table>";
    out += "<![CDATA[</table:table><table:table table:name=\"Ghost\">needle]]>";
    out += "<table:table table:name=\"Other\">" + odsCell("needle a") + odsCell("needle b") +
           "</table:table>";
    return out + "</office:spreadsheet></office:body></office:document-content>";
}

std::vector<std::uint8_t> fixture(const QString& name) {
    const QByteArray bytes = fileBytes(QUILLMARK_TEST_DATA "/biff/" + name);
    return {bytes.begin(), bytes.end()};
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

}  // namespace

class TestByteSource : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    // A large workbook of each streamed family: name, rows (xlsx deflated by libzip).
    void families() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        // The xlsx sheets: one declared under kWholeInflateBytes (libdeflate), one over (zlib).
        QTest::newRow("xlsx inflated whole") << "whole.xlsx" << 100000;
        QTest::newRow("xlsx streamed") << "streamed.xlsx" << 350000;
        QTest::newRow("SpreadsheetML") << "ss2003.xls" << 100000;
        QTest::newRow("flat ods") << "flat.fods" << 100000;
        QTest::newRow("text") << "export.xls" << 300000;
    }

    // Packaged OpenDocument content read from memory and streamed: name, rows.
    void odsSizes() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::newRow("inflated once") << "whole.ods" << 1000;
        QTest::newRow("streamed") << "streamed.ods" << 200000;  // over kWholeInflateBytes
    }

    QString make(const QString& name, int count) {
        QString path = folder_.filePath(name);
        if (name.endsWith(".xlsx")) writeZipFile(path, xlsxParts({worksheet(count)}));
        if (name.endsWith(".ods")) writeZipFile(path, {{"content.xml", odsContent(count)}});
        if (name == "ss2003.xls") writeFile(path, spreadsheetMl(count));
        if (name == "flat.fods") writeFile(path, flatOds(count));
        if (name == "export.xls") writeFile(path, rows(count, "a\tb\t", "\n"));
        return path;
    }

    void workbooks() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");  // found in the last sheet
        // clang-format off
        QTest::newRow("BIFF8") << "biff8_workbook.xls" << "Last sheet";
        QTest::newRow("4096-byte sectors") << "biff8_padded.xls" << "Last sheet";
        QTest::newRow("RC4") << "default_password_rc4.xls" << "Past the first";
        QTest::newRow("RC4 CryptoAPI") << "default_password_cryptoapi.xls" << "Past the first";
        QTest::newRow("XOR") << "default_password_xor.xls" << "Past the first";
        QTest::newRow("bare BIFF4") << "biff4_workbook.xls" << "Second sheet";
        // clang-format on
    }

    static std::size_t lastSheet(WorkbookReader& reader) {
        std::size_t last = reader.sheets().size() - 1;
        while (last > 0 && reader.sheets()[last].name == "Broken") --last;
        return last;
    }

  private slots:
    // The match on the last row; a cancelled search stops with Cancelled; a file cut short
    // after it was opened fails as Truncated. Each on a reader of its own.
    void largeWorkbooks_data() { families(); }
    void largeWorkbooks() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QString path = make(name, rows);
        auto reader = openWorkbook(path.toStdString());
        auto cancelled = openWorkbook(path.toStdString());
        auto cut = openWorkbook(path.toStdString());
        QVERIFY2(reader.ok(), reader.ok() ? "" : reader.failure().reason.c_str());
        QVERIFY(cancelled.ok() && cut.ok());
        // The row of the match ("fail:" and the kind as a whole when the search failed).
        QCOMPARE(describe(reader.value()->findFirst(0, Matcher("needle"))).section(',', 0, 0),
                 QString::number(rows));
        {
            CancelToken token;
            token.cancel();
            CancelScope scope(&token);
            QCOMPARE(describe(cancelled.value()->findFirst(0, Matcher("needle"))),
                     QString("fail:cancelled"));
        }
        QCOMPARE(::truncate(path.toUtf8().constData(), QFileInfo(path).size() / 3), 0);
        QCOMPARE(describe(cut.value()->findFirst(0, Matcher("needle"))), QString("fail:truncated"));
    }

    // A compound file's workbook stream is read out of the file after its tables: a file cut
    // short in between fails the stream as Truncated.
    void aCompoundFileCutShortBeforeItsStreamFailsAsTruncated() {
        QString path = folder_.filePath("padded.xls");
        QFile::remove(path);
        QVERIFY(QFile::copy(QStringLiteral(QUILLMARK_TEST_DATA "/biff/biff8_padded.xls"), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        auto data = loadFile(path.toStdString());
        QVERIFY(data.ok());
        auto compound = CompoundFile::open(data.value());
        QVERIFY(compound.ok());
        const CompoundFile::Entry* entry = compound.value().findStream("Workbook");
        QVERIFY(entry);
        QCOMPARE(::truncate(path.toUtf8().constData(), 2048), 0);
        auto stream = compound.value().readStream(*entry);
        QVERIFY(!stream.ok());
        QCOMPARE(failureKindName(stream.failure().kind), failureKindName(FailureKind::Truncated));
    }

    // Reads go by the size at opening: a file that grows is read as it was, one that shrinks
    // fails, and a cancelled thread reads nothing.
    void readsKeepToTheSizeAtOpening() {
        QString path = folder_.filePath("sized.bin");
        writeFile(path, std::string(1000, 'x'));
        auto data = loadFile(path.toStdString());
        QVERIFY(data.ok());
        QCOMPARE(data.value()->size(), std::uint64_t(1000));
        std::ofstream(path.toStdString(), std::ios::app) << std::string(500, 'y');
        std::vector<std::uint8_t> buffer(2000);
        auto got = data.value()->read(900, buffer.data(), buffer.size());
        QVERIFY(got.ok());
        QCOMPARE(got.value(), std::size_t(100));
        QCOMPARE(::truncate(path.toUtf8().constData(), 500), 0);
        auto cut = data.value()->read(400, buffer.data(), 200);
        QVERIFY(!cut.ok());
        QCOMPARE(failureKindName(cut.failure().kind), failureKindName(FailureKind::Truncated));
        CancelToken token;
        token.cancel();
        CancelScope scope(&token);
        QCOMPARE(failureKindName(data.value()->read(0, buffer.data(), 10).failure().kind),
                 failureKindName(FailureKind::Cancelled));
    }

    // Text is read in 1 MiB chunks: what straddles a chunk boundary reads as if whole.
    void textAcrossChunkBoundaries_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        constexpr int kChunk = 1 << 20;
        // clang-format off

        // UTF-16: a surrogate pair whose halves lie in two chunks (the text starts after the
        // two-byte mark, so the first chunk holds 2^19 units).
        std::u16string units(kChunk / 2 + 100, u'a');
        for (std::size_t i = 50; i < units.size(); i += 100) units[i] = u'\n';
        std::size_t pair = kChunk / 2 - 1;
        units[pair - 2] = u'\n';
        units[pair - 1] = u'x';
        units[pair] = 0xD83D;
        units[pair + 1] = 0xDE00;
        units[pair + 2] = u'y';
        units[pair + 3] = u'\n';
        QByteArray little("\xFF\xFE", 2), big("\xFE\xFF", 2);
        for (char16_t unit : units) {
            little.append(char(unit & 0xFF)).append(char(unit >> 8));
            big.append(char(unit >> 8)).append(char(unit & 0xFF));
        }
        QString row = QString::number(std::count(units.begin(), units.begin() + pair, u'\n'));
        QTest::newRow("UTF-16LE pair cut by a chunk") << little << "u.xls" << "x\U0001F600y" << row + ",0";
        QTest::newRow("UTF-16BE pair cut by a chunk") << big << "u.xls" << "x\U0001F600y" << row + ",0";

        // A CSV doubled quote whose halves lie in two chunks.
        QByteArray csv(kChunk - 4, 'a');
        for (int i = 40; i < csv.size(); i += 41) csv[i] = '\n';
        csv[kChunk - 5] = '\n';
        csv.append("\"ab\"\"cd\"\n");
        QString csvRow = QString::number(csv.count('\n') - 1);
        QTest::newRow("CSV doubled quote cut by a chunk") << csv << "q.csv" << "ab\"cd" << csvRow + ",0";

        // UTF-8 in the first chunk, a byte that is no UTF-8 in the second: the whole file is
        // Latin-1, so an early match read as UTF-8 must not stand.
        QByteArray mixed = "caf\xC3\xA9\n" + QByteArray(kChunk + 10, 'z') + "\n\xFF\n";
        QTest::newRow("no UTF-8 match in Latin-1 text") << mixed << "m.xls" << "caf\u00E9" << "none";
        QTest::newRow("read as Latin-1") << mixed << "m.xls" << "caf\u00C3\u00A9" << "0,0";
        QByteArray utf8 = "caf\xC3\xA9\n" + QByteArray(kChunk + 10, 'z') + "\n";
        QTest::newRow("UTF-8 throughout") << utf8 << "m.xls" << "caf\u00E9" << "0,0";
        // clang-format on
    }

    void textAcrossChunkBoundaries() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        QCOMPARE(answerOf(openBytes(bytes, name.toStdString()), 0, keyword), expected);
    }

    // A packaged OpenDocument spreadsheet whose content inflates whole is inflated once and
    // read from memory by the sheet list and every search; larger content streams for each
    // pass. Both must give the same sheets, hits and failures, and each sheet's hits whatever
    // the order sheets are asked for in (from memory a fresh cursor starts at the sheet's own
    // start tag; streamed, the content is read again from the start).
    void odsSheetsAndHitsAreTheSameEitherWay_data() { odsSizes(); }
    void odsSheetsAndHitsAreTheSameEitherWay() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        auto reader = openWorkbook(make(name, rows).toStdString());
        QVERIFY2(reader.ok(), reader.ok() ? "" : reader.failure().reason.c_str());
        QCOMPARE(sheetNames(*reader.value()).join(" | "),
                 QString("Filler | Hidden (hidden) | Last"));
        // Sheets out of order and a second keyword each read the content again.
        const auto find = [&](std::size_t sheet, const char* keyword) {
            return describe(reader.value()->findFirst(sheet, Matcher(keyword)));
        };
        QCOMPARE(find(2, "needle"), QString("1,0"));
        QCOMPARE(find(0, "needle"), QString("%1,0").arg(rows));
        QCOMPARE(find(2, "pin"), QString("0,0"));
        QCOMPARE(find(1, "pin"), QString("none"));
        {
            // Content read from memory still asks the cancel token.
            CancelToken token;
            token.cancel();
            CancelScope scope(&token);
            QCOMPARE(find(0, "row 1"), QString("fail:cancelled"));
        }
        QString path = folder_.filePath("marked-" + name);
        if (!QFile::exists(path)) writeZipFile(path, {{"content.xml", markedOdsContent(rows)}});
        auto marked = openWorkbook(path.toStdString());
        QVERIFY2(marked.ok(), marked.ok() ? "" : marked.failure().reason.c_str());
        QCOMPARE(sheetNames(*marked.value()), QStringList({"Same", "Same", "Other"}));
        const QString expected[] = {QString("0,0 %1,0").arg(rows + 2), "1,0 2,0", "0,0 1,0"};
        Matcher needle("needle");
        for (std::size_t sheet : {2, 1, 0, 2, 1}) {
            QCOMPARE(describe(marked.value()->findFirst(sheet, needle)),
                     expected[sheet].section(' ', 0, 0));
            Positions all;
            QVERIFY(marked.value()->findCells(sheet, needle, all).ok());
            QCOMPARE(all.text, expected[sheet]);
        }
    }

    // A part handed out whole is handed out once: the stream then reads as ended, and a
    // stream already read from keeps streaming.
    void aWholePartIsTakenOnce() {
        auto file = loadFile(make("whole.ods", 1000).toStdString());
        QVERIFY(file.ok());
        auto zip = ZipArchive::open(file.value());
        QVERIFY(zip.ok());
        auto stream = zip.value()->openPart("content.xml");
        QVERIFY(stream.ok());
        auto whole = stream.value()->takeWhole();
        QVERIFY(whole.ok() && whole.value());
        std::string expected = odsContent(1000);
        QCOMPARE(std::string(whole.value()->begin(), whole.value()->end()), expected);
        std::uint8_t byte = 0;
        auto after = stream.value()->read(&byte, 1);
        QVERIFY(after.ok() && after.value() == 0);

        auto again = zip.value()->openPart("content.xml");
        QVERIFY(again.ok() && again.value()->read(&byte, 1).ok());
        auto late = again.value()->takeWhole();
        QVERIFY(late.ok() && !late.value());
    }

    // .xls workbooks read by ranges: a file that shrinks between opening and searching fails
    // the sheets it no longer holds as Truncated (never a fault or a wrong answer), and
    // encrypted workbooks decrypt alike whatever order their sheets are searched in.
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
};

QTEST_GUILESS_MAIN(TestByteSource)
#include "test_byte_source.moc"
