// The xlsx reader on small packages: sheet lists with kinds and visibility, every kind of
// cell text, shared formulas, dates, strict packages, and the ways a package can be broken.
#include <zlib.h>

#include <QtTest>

#include "engine/core/matcher.h"
#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

std::string fixture(const char* name) {
    return std::string(QUILLMARK_TEST_DATA "/xml/") + name;
}

QString search(WorkbookReader& reader, std::size_t sheet, const QString& keyword) {
    return describe(reader.findFirst(sheet, Matcher(keyword.toStdString())));
}

std::unique_ptr<WorkbookReader> openFixture(const char* name) {
    auto reader = openWorkbook(fixture(name));
    if (!reader) qWarning() << name << reader.failure().reason.c_str();
    return reader ? reader.take() : nullptr;
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
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string packageRel = "http://schemas.openxmlformats.org/package/2006/relationships";
    sheet.name = "xl/worksheets/sheet1.xml";
    return {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"_rels/.rels", "<Relationships xmlns=\"" + packageRel +
                            "\"><Relationship Id=\"r1\" Type=\"" + rel +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" r:id=\"r1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"" + packageRel + "\"><Relationship Id=\"r1\" Type=\"" + rel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        sheet,
    };
}

}  // namespace

class TestXlsxReader : public QObject {
    Q_OBJECT

  private slots:
    void sheetListHasKindsAndVisibility() {
        auto reader = openFixture("kinds.xlsx");
        QVERIFY(reader);
        const auto& sheets = reader->sheets();
        QCOMPARE(sheets.size(), std::size_t{6});
        const std::pair<const char*, SheetKind> expected[] = {
            {"Chart1", SheetKind::Chart},      {"Data", SheetKind::Worksheet},
            {"Secret", SheetKind::Worksheet},  {"Deep", SheetKind::Worksheet},
            {"Macro1", SheetKind::MacroSheet}, {"Dialog1", SheetKind::Dialog}};
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            QCOMPARE(sheets[i].name, std::string(expected[i].first));
            QCOMPARE(sheets[i].kind, expected[i].second);
            QCOMPARE(sheets[i].hidden, i == 2 || i == 3);
        }
    }

    void cellTexts_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected");
        QTest::newRow("shared string") << "plain TEXT"
                                       << "0,0";
        QTest::newRow("rich shared string runs joined") << "Rich"
                                                        << "0,1";
        QTest::newRow("phonetic guide is not text") << "furigana"
                                                    << "none";
        QTest::newRow("rich inline string runs joined") << "inline"
                                                        << "0,2";
        QTest::newRow("number as written") << "3.14159"
                                           << "1,0";
        QTest::newRow("boolean") << "true"
                                 << "1,1";
        QTest::newRow("error code") << "#DIV/0!"
                                    << "1,2";
        QTest::newRow("formula text") << "=CONCATENATE(\"fo\""
                                      << "1,3";
        QTest::newRow("built-in date format") << "1/1/2008"
                                              << "2,0";
        QTest::newRow("custom date-time format") << "1/2/2008 12:00"
                                                 << "2,1";
        QTest::newRow("quoted d is no date") << "1933"
                                             << "none";
        QTest::newRow("shared formula master") << "=SUM(A1:B2)+$C$1+Sheet2!A1&\"A1\""
                                               << "4,0";
        QTest::newRow("follower one column right") << "=SUM(B1:C2)+$C$1+Sheet2!B1&"
                                                   << "4,1";
        QTest::newRow("follower one row down") << "SUM(A2:B3)+$C$1+Sheet2!A2&\"A1\""
                                               << "5,0";
        QTest::newRow("follower diagonal") << "SUM(B2:C3)"
                                           << "5,1";
        QTest::newRow("cell without r") << "first"
                                        << "7,0";
        QTest::newRow("cell after a cell without r") << "77"
                                                     << "7,1";
        QTest::newRow("row without r, entities") << "fish & chips abc"
                                                 << "8,0";
        QTest::newRow("future function prefix hidden") << "=CONCAT(\"new\""
                                                       << "9,1";
        QTest::newRow("future function prefix is not text") << "_xlfn"
                                                            << "none";
        QTest::newRow("cdata") << "<cdata>"
                               << "9,2";
        QTest::newRow("string of another sheet") << "hidden words"
                                                 << "none";
        QTest::newRow("external book named") << "=[Budget 2008.xlsx]Prices!A1*2"
                                             << "10,0";
    }

    void cellTexts() {
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        auto reader = openFixture("kinds.xlsx");
        QVERIFY(reader);
        QCOMPARE(search(*reader, 1, keyword), expected);
    }

    void otherSheets() {
        auto reader = openFixture("kinds.xlsx");
        QVERIFY(reader);
        QCOMPARE(search(*reader, 2, "hidden words"), QString("3,3"));  // through an absolute target
        QCOMPARE(search(*reader, 3, "*"), QString("none"));            // through a ../ target
        QCOMPARE(search(*reader, 4, "halt()"), QString("1,0"));        // macro sheet
        QCOMPARE(search(*reader, 0, "*"), QString("none"));            // chart sheet
        QCOMPARE(search(*reader, 5, "*"), QString("none"));            // dialog sheet
        QCOMPARE(search(*reader, 1, ""), QString("none"));             // empty keyword
        QCOMPARE(search(*reader, 6, "x"), QString("fail:no such sheet"));
    }

    void sharedStringsFollowTheKeyword() {
        auto reader = openFixture("kinds.xlsx");
        QVERIFY(reader);
        QCOMPARE(search(*reader, 1, "rich"), QString("0,1"));
        QCOMPARE(search(*reader, 1, "plain"), QString("0,0"));
        QCOMPARE(search(*reader, 1, "rich"), QString("0,1"));
    }

    void strictPackage() {
        auto reader = openFixture("strict.xlsx");
        QVERIFY(reader);
        QCOMPARE(reader->sheets().size(), std::size_t{2});
        QCOMPARE(reader->sheets()[0].kind, SheetKind::Chart);
        QCOMPARE(reader->sheets()[1].name, std::string("Strict Sheet"));
        QCOMPARE(search(*reader, 1, "strict words"), QString("0,0"));
        QCOMPARE(search(*reader, 1, "1/1/1904"), QString("0,1"));  // 1904 date system
    }

    void packageFromAnotherWriter() {
        auto reader = openFixture("openpyxl_book.xlsx");
        QVERIFY(reader);
        QCOMPARE(reader->sheets().size(), std::size_t{2});
        QVERIFY(reader->sheets()[1].hidden);
        QCOMPARE(search(*reader, 0, "quarterly"), QString("0,0"));
        QCOMPARE(search(*reader, 0, "=sum(b2:b3)"), QString("2,2"));
        QCOMPARE(search(*reader, 1, "MALDIVES"), QString("3,3"));
    }

    void stopsAtTheFirstMatch() {
        // The part ends halfway: a match before the cut is found, a search past it fails.
        auto reader = openFixture("truncated_sheet.xlsx");
        QVERIFY(reader);
        QCOMPARE(search(*reader, 0, "42"), QString("41,0"));
        QCOMPARE(search(*reader, 0, "no such text"), QString("fail:truncated"));
    }

    void entityDeclarationsAreRefused() {
        auto sheet = openFixture("entity_sheet.xlsx");
        QVERIFY(sheet);
        QCOMPARE(search(*sheet, 0, "boom"), QString("fail:corrupt"));
        auto strings = openFixture("entity_strings.xlsx");
        QVERIFY(strings);
        QCOMPARE(search(*strings, 0, "boom"), QString("fail:corrupt"));
    }

    void missingWorkbookPart() {
        auto reader = openWorkbook(fixture("no_workbook.xlsx"));
        QVERIFY(!reader);
        QCOMPARE(reader.failure().kind, FailureKind::Corrupt);
    }

    void truncatedZip() {
        QFile file(QString::fromStdString(fixture("kinds.xlsx")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
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
