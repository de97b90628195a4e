// The xlsx reader on small packages: sheet lists with kinds and visibility, every kind of
// cell text, shared formulas, dates, strict packages, and the ways a package can be broken.
#include <zlib.h>

#include <QtTest>

#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"
#include "xlsx_package.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/xml/");

QString search(WorkbookReader& reader, std::size_t sheet, const QString& keyword) {
    return describe(reader.findFirst(sheet, Matcher(keyword.toStdString())));
}

// A zip written here, for packages too large or too odd to keep as files.
struct ZipEntry {
    std::string name;
    std::string text;         // stored deflated
    std::uint64_t zeros = 0;  // or this many zero bytes, deflated as they stream
    bool markedEncrypted = false;
    // Damage to the deflated bytes, which the headers then describe as they are: the second
    // half cut off, or the first block given a type deflate does not have.
    enum class Damage { None, CutShort, BadBlockType } damage = Damage::None;
};

void appendLittleEndian(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

QByteArray deflateEntry(const ZipEntry& entry, std::uint32_t& crc, std::uint32_t& size) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    std::vector<unsigned char> input(entry.zeros > 0 ? 1 << 20 : 0, 0);
    std::vector<unsigned char> buffer(1 << 16);
    crc = crc32(0, nullptr, 0);
    std::uint64_t left = entry.zeros;
    auto pump = [&](const unsigned char* data, std::size_t length, int flush) {
        stream.next_in = const_cast<unsigned char*>(data);
        stream.avail_in = static_cast<uInt>(length);
        do {
            stream.next_out = buffer.data();
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()),
                       buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
        crc = crc32(crc, data, static_cast<uInt>(length));
    };
    if (entry.zeros == 0) {
        pump(reinterpret_cast<const unsigned char*>(entry.text.data()), entry.text.size(),
             Z_FINISH);
        size = static_cast<std::uint32_t>(entry.text.size());
    } else {
        while (left > 0) {
            std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, input.size()));
            left -= piece;
            pump(input.data(), piece, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        }
        size = static_cast<std::uint32_t>(entry.zeros);
    }
    deflateEnd(&stream);
    return out;
}

QByteArray makeZip(const std::vector<ZipEntry>& entries) {
    QByteArray zip, directory;
    for (const ZipEntry& entry : entries) {
        std::uint32_t crc = 0, size = 0;
        QByteArray data = deflateEntry(entry, crc, size);
        if (entry.damage == ZipEntry::Damage::CutShort) data.truncate(data.size() / 2);
        if (entry.damage == ZipEntry::Damage::BadBlockType) data[0] = char(0xFF);
        std::uint32_t offset = static_cast<std::uint32_t>(zip.size());
        std::uint16_t flags = entry.markedEncrypted ? 1 : 0;
        auto header = [&](QByteArray& out, bool central) {
            appendLittleEndian(out, central ? 0x02014b50 : 0x04034b50, 4);
            if (central) appendLittleEndian(out, 20, 2);
            for (std::uint32_t field : {20u, std::uint32_t{flags}, 8u, 0u, 0x21u})
                appendLittleEndian(out, field, 2);
            appendLittleEndian(out, crc, 4);
            appendLittleEndian(out, static_cast<std::uint32_t>(data.size()), 4);
            appendLittleEndian(out, size, 4);
            appendLittleEndian(out, static_cast<std::uint32_t>(entry.name.size()), 2);
            appendLittleEndian(out, 0, 2);
            if (central) {
                for (int i = 0; i < 3; ++i)
                    appendLittleEndian(out, 0, 2);  // comment, disk, attributes
                appendLittleEndian(out, 0, 4);
                appendLittleEndian(out, offset, 4);
            }
            out.append(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        };
        header(zip, false);
        zip.append(data);
        header(directory, true);
    }
    std::uint32_t directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip.append(directory);
    appendLittleEndian(zip, 0x06054b50, 4);
    appendLittleEndian(zip, 0, 4);
    appendLittleEndian(zip, static_cast<std::uint32_t>(entries.size()), 2);
    appendLittleEndian(zip, static_cast<std::uint32_t>(entries.size()), 2);
    appendLittleEndian(zip, static_cast<std::uint32_t>(directory.size()), 4);
    appendLittleEndian(zip, directoryOffset, 4);
    appendLittleEndian(zip, 0, 2);
    return zip;
}

// The smallest package around one worksheet part.
std::vector<ZipEntry> oneSheetPackage(ZipEntry sheet) {
    std::vector<ZipEntry> entries;
    for (auto& [name, text] : quillmark::testing::xlsxParts({""})) entries.push_back({name, text});
    sheet.name = entries.back().name;
    entries.back() = sheet;
    return entries;
}

}  // namespace

class TestXlsxReader : public QObject {
    Q_OBJECT

  private slots:
    void sheetLists_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheets");
        QTest::newRow("kinds") << "kinds.xlsx"
                               << "Chart1 [chart] | Data | Secret (hidden) | Deep (hidden) | "
                                  "Macro1 [macro] | Dialog1 [dialog]";
        QTest::newRow("strict") << "strict.xlsx"
                                << "Graph [chart] | Strict Sheet";
        QTest::newRow("another writer") << "openpyxl_book.xlsx"
                                        << "Written | Other (hidden)";
        QTest::newRow("missing workbook part") << "no_workbook.xlsx"
                                               << "open:corrupt";
    }
    void sheetLists() {
        QFETCH(QString, file);
        QFETCH(QString, sheets);
        QCOMPARE(sheetsOf(kFolder + file), sheets);
    }

    void finds_data() {
        findColumns();
        const QString book = "kinds.xlsx";
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
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    void truncatedZip() {
        QByteArray bytes = fileBytes(kFolder + "kinds.xlsx");
        auto reader = openBytes(bytes.left(bytes.size() / 2), "kinds.xlsx");
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Truncated);
    }

    // A sheet part that inflates past its cap (100 MB of zeros deflate to about 100 KB), is
    // marked encrypted, or declares a document type fails its search with that reason.
    void hostileSheetPartFails_data() {
        QTest::addColumn<int>("hostility");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zip bomb") << 0 << "fail:too large";
        QTest::newRow("encrypted") << 1 << "fail:encrypted";
        QTest::newRow("doctype") << 2 << "fail:corrupt";
    }

    void hostileSheetPartFails() {
        QFETCH(int, hostility);
        QFETCH(QString, expected);
        ZipEntry sheet;
        sheet.text = hostility == 2 ? "<!DOCTYPE worksheet><worksheet><sheetData/></worksheet>"
                                    : "<worksheet/>";
        if (hostility == 0) sheet.zeros = std::uint64_t{100} << 20;
        sheet.markedEncrypted = hostility == 1;
        const QByteArray zip = makeZip(oneSheetPackage(sheet));
        QVERIFY(zip.size() < (1 << 20));
        auto reader = openBytes(zip, "hostile.xlsx");
        QVERIFY(reader);
        QCOMPARE(search(*reader.value(), 0, "x"), expected);
    }

    // The sheet's deflated bytes are damaged before the keyword, at its very end: the search
    // fails with the reason, whatever the part's checksum would have said.
    void damagedDeflateDataFails_data() {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cut short") << int(ZipEntry::Damage::CutShort) << "fail:truncated";
        QTest::newRow("bad block type") << int(ZipEntry::Damage::BadBlockType) << "fail:corrupt";
    }

    void damagedDeflateDataFails() {
        QFETCH(int, damage);
        QFETCH(QString, expected);
        ZipEntry sheet;
        sheet.text = "<worksheet><sheetData>";
        for (int row = 1; row <= 2000; ++row)
            sheet.text += "<row r=\"" + std::to_string(row) + "\"><c><v>" +
                          std::to_string(row * 7919) + "</v></c></row>";
        sheet.text +=
            "<row><c t=\"inlineStr\"><is><t>found</t></is></c></row>"
            "</sheetData></worksheet>";
        auto intact = openBytes(makeZip(oneSheetPackage(sheet)), "intact.xlsx");
        QVERIFY(intact);
        QCOMPARE(search(*intact.value(), 0, "found"), QString("2000,0"));
        sheet.damage = static_cast<ZipEntry::Damage>(damage);
        auto damaged = openBytes(makeZip(oneSheetPackage(sheet)), "damaged.xlsx");
        QVERIFY(damaged);
        QCOMPARE(search(*damaged.value(), 0, "found"), expected);
    }

    void partNamesWithBackslashes() {
        ZipEntry sheet;
        sheet.text =
            "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>found</t></is></c></row>"
            "</sheetData></worksheet>";
        auto entries = oneSheetPackage(sheet);
        for (ZipEntry& entry : entries)
            std::replace(entry.name.begin(), entry.name.end(), '/', '\\');
        auto reader = openBytes(makeZip(entries), "backslashes.xlsx");
        QVERIFY2(reader, reader ? "" : reader.failure().reason.c_str());
        QCOMPARE(search(*reader.value(), 0, "found"), QString("0,0"));
    }
};

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "test_xlsx_reader.moc"
