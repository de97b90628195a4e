// Workbooks read by ranges from disk: a file cut short after it was opened fails its own
// workbook as Truncated in every format family, a cancelled search stops with Cancelled, and
// parts inflate the same whether libdeflate takes them whole or zlib streams them.
#include <unistd.h>
#include <zip.h>

#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <string>

#include "engine/container/compound_file.h"
#include "engine/core/cancel.h"
#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"

using quillmark::FailureKind;
using namespace quillmark::engine;

namespace {

// Rows of distinct text (so that they deflate only so far) with "needle" in the last one.
std::string rows(int count, const std::string& before, const std::string& after) {
    std::string out;
    for (int row = 0; row < count; ++row)
        out += before + "row " + std::to_string(row * 7919 % 100003) + " text" + after;
    return out + before + "needle" + after;
}

std::string spreadsheetMl(int count) {
    return "<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:office:"
           "spreadsheet\" xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet "
           "ss:Name=\"Big\"><Table>" +
           rows(count, "<Row><Cell><Data ss:Type=\"String\">", "</Data></Cell></Row>") +
           "</Table></Worksheet></Workbook>";
}

std::string flatOds(int count) {
    return "<?xml version=\"1.0\"?><office:document xmlns:office=\"urn:oasis:names:tc:"
           "opendocument:xmlns:office:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:"
           "xmlns:table:1.0\" xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
           "<office:spreadsheet><table:table table:name=\"Big\">" +
           rows(count, "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>",
                "</text:p></table:table-cell></table:table-row>") +
           "</table:table></office:spreadsheet></office:body></office:document>";
}

std::string worksheet(int count) {
    return "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/"
           "spreadsheetml/2006/main\"><sheetData>" +
           rows(count, "<row><c t=\"inlineStr\"><is><t>", "</t></is></c></row>") +
           "</sheetData></worksheet>";
}

const char kRelationships[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// An xlsx of one sheet, written deflated by libzip.
void writeXlsx(const QString& path, const std::string& sheet) {
    std::vector<std::pair<std::string, std::string>> parts{
        {"[Content_Types].xml",
         "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
         "content-types\"/>"},
        {"xl/workbook.xml", std::string("<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas."
                                        "openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"") +
                                kRelationships +
                                "\"><sheets><sheet name=\"Big\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         std::string("<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas."
                     "openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
                     "Type=\"") +
             kRelationships + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet}};
    int error = 0;
    zip_t* archive = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(archive);
    for (auto& [name, text] : parts) {
        zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
        QVERIFY(zip_file_add(archive, name.c_str(), source, 0) >= 0);
    }
    QCOMPARE(zip_close(archive), 0);
}

void writeFile(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// The first sheet's search for "needle".
Outcome<std::optional<CellPosition>> searchFirstSheet(WorkbookReader& reader) {
    return reader.findFirst(0, Matcher("needle"));
}

}  // namespace

class TestByteSource : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    // A large workbook of each streamed family: name, contents (xlsx written by libzip).
    void families() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        // The xlsx sheets: one declared under kWholeInflateBytes (libdeflate), one over (zlib).
        QTest::newRow("xlsx inflated whole") << "whole.xlsx" << 100000;
        QTest::newRow("xlsx streamed") << "streamed.xlsx" << 600000;
        QTest::newRow("SpreadsheetML") << "ss2003.xls" << 100000;
        QTest::newRow("flat ods") << "flat.fods" << 100000;
        QTest::newRow("text") << "export.xls" << 300000;
    }

    QString make(const QString& name, int count) {
        QString path = folder_.filePath(name);
        if (name.endsWith(".xlsx")) writeXlsx(path, worksheet(count));
        if (name == "ss2003.xls") writeFile(path, spreadsheetMl(count));
        if (name == "flat.fods") writeFile(path, flatOds(count));
        if (name == "export.xls") writeFile(path, rows(count, "a\tb\t", "\n"));
        return path;
    }

  private slots:
    void largeWorkbooksMatchOnTheirLastRow_data() { families(); }
    void largeWorkbooksMatchOnTheirLastRow() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        auto reader = openWorkbook(make(name, rows).toStdString());
        QVERIFY2(reader.ok(), reader.ok() ? "" : reader.failure().reason.c_str());
        auto found = searchFirstSheet(*reader.value());
        QVERIFY2(found.ok(), found.ok() ? "" : found.failure().reason.c_str());
        QVERIFY(found.value().has_value());
        QCOMPARE(found.value()->row, std::uint32_t(rows));
    }

    void aFileCutShortDuringTheSearchFailsAsTruncated_data() { families(); }
    void aFileCutShortDuringTheSearchFailsAsTruncated() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QString path = make(name, rows);
        auto reader = openWorkbook(path.toStdString());
        QVERIFY(reader.ok());
        QFileInfo info(path);
        QCOMPARE(::truncate(path.toUtf8().constData(), info.size() / 3), 0);
        auto found = searchFirstSheet(*reader.value());
        QVERIFY(!found.ok());
        QCOMPARE(failureKindName(found.failure().kind), failureKindName(FailureKind::Truncated));
    }

    void aCancelledSearchStops_data() { families(); }
    void aCancelledSearchStops() {
        QFETCH(QString, name);
        QFETCH(int, rows);
        auto reader = openWorkbook(make(name, rows).toStdString());
        QVERIFY(reader.ok());
        CancelToken token;
        token.cancel();
        CancelScope scope(&token);
        auto found = searchFirstSheet(*reader.value());
        QVERIFY(!found.ok());
        QCOMPARE(failureKindName(found.failure().kind), failureKindName(FailureKind::Cancelled));
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
};

QTEST_GUILESS_MAIN(TestByteSource)
#include "test_byte_source.moc"
