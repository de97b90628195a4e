// The shared string table's leading plain entries are counted, not parsed, and the parse goes
// on from the bytes already inflated: every entry must keep its index, and a broken table must
// fail as it fails when parsed whole. The reference is a keyword with no anchor ("q?asar"),
// for which the whole table is parsed.
#include <zip.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/workbook.h"
#include "reader_test_support.h"
#include "shared_strings_workbook.h"

using namespace quillmark::testing;
using namespace quillmark::engine;
using quillmark::engine::testing::describe;
using quillmark::engine::testing::openBytes;

namespace {

const std::string kSstStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"http://"
    "schemas.openxmlformats.org/spreadsheetml/2006/main\">";

// `count` plain entries that hold neither the keyword nor its anchor.
std::string pads(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += "<si><t>pad " + std::to_string(i) + "</t></si>\n";
    return out;
}

// The package deflated by libzip (small parts inflate whole), through a temporary file.
std::string deflatedPackage(const Parts& parts) {
    QTemporaryDir folder;
    const QString path = folder.filePath("t.xlsx");
    writeZipFile(path, parts);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

std::string package(const std::string& table, const std::vector<std::size_t>& cells,
                    bool deflated) {
    Parts parts = sharedStringsWorkbookParts(table, cells);
    return deflated ? deflatedPackage(parts) : storedPackage(parts);
}

QString firstMatch(const std::string& bytes, const char* keyword) {
    auto opened = openBytes(QByteArray::fromStdString(bytes), "t.xlsx");
    if (!opened) return QString("fail:") + quillmark::failureKindName(opened.failure().kind);
    return describe(opened.value()->findFirst(0, Matcher(keyword)));
}

}  // namespace

class TestPlainTableHead : public QObject {
    Q_OBJECT

  private slots:
    void referenceKeywordHasNoAnchor() {
        QVERIFY(rawAnchorOf("q?asar").empty());
        QCOMPARE(rawAnchorOf("quasar"), std::string("qua"));
    }

    // The table: 300 pads, a stopping entry at 300, 200 pads, "QUASAR" at 501, pads. The cells
    // name 0, 299, 301, 500, 502, then the one under test; the match must be in that last one.
    void entriesKeepTheirIndexes_data() {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("deflated");
        const char* stops[] = {"<si><t>qua</t></si>",  // the anchor, no match
                               "<si><r><t>qua</t></r><r><t>sar</t></r></si>",
                               "<si><t>&#113;uasar</t></si>", "<si><t>q<!-- c -->uasar</t></si>",
                               "<si><t>a</t><rPh><t>quasar</t></rPh></si>"};
        for (bool deflated : {false, true}) {
            for (const char* stop : stops) {
                for (int index : {300, 501}) {
                    QTest::addRow("%s %s at %d", deflated ? "deflated" : "stored", stop, index)
                        << QString(stop) << index << deflated;
                }
            }
        }
    }
    void entriesKeepTheirIndexes() {
        QFETCH(QString, stop);
        QFETCH(int, index);
        QFETCH(bool, deflated);
        std::string table = kSstStart + pads(300) + stop.toStdString() + pads(200) +
                            "<si><t>QUASAR</t></si>" + pads(50) + "</sst>";
        std::string bytes = package(table, {0, 299, 301, 500, 502, std::size_t(index)}, deflated);
        QString reference = firstMatch(bytes, "q?asar");
        QCOMPARE(firstMatch(bytes, "quasar"), reference);
        bool stopMatches = !stop.contains("rPh") && stop != "<si><t>qua</t></si>";
        if (index == 501 || stopMatches)
            QCOMPARE(reference, QString("0,5"));
        else
            QCOMPARE(reference, QString("none"));
    }

    // Damage after a long plain run fails the same way, whether it is in the XML or in the
    // deflated bytes, and whichever way the part is stored.
    void brokenTablesFailAsWhole_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("cut off") << QByteArray("<si><t>a</t></si>");
        QTest::newRow("mismatched tag") << QByteArray("<si><t>a</t></sj></sst>");
        QTest::newRow("junk after the table") << QByteArray("</sst><x/>");
        QTest::newRow("undefined entity") << QByteArray("<si><t>&nbsp;</t></si></sst>");
        QTest::newRow("bad UTF-8") << QByteArray("<si><t>\xC3(</t></si></sst>");
    }
    void brokenTablesFailAsWhole() {
        QFETCH(QByteArray, tail);
        std::string table = kSstStart + pads(3000) + tail.toStdString();
        for (bool deflated : {false, true}) {
            std::string bytes = package(table, {0, 2999}, deflated);
            QString reference = firstMatch(bytes, "q?asar");
            QVERIFY2(reference.startsWith("fail:"), qPrintable(reference));
            QCOMPARE(firstMatch(bytes, "quasar"), reference);
        }
    }

    void damagedDeflateFailsAsWhole() {
        std::string table = kSstStart + pads(20000) + "<si><t>quasar</t></si></sst>";
        std::string bytes = package(table, {20000}, true);
        // The table is the last part: spoil the back half of its compressed bytes.
        std::size_t name = bytes.rfind("xl/sharedStrings.xml", bytes.find("PK\x01\x02"));
        QVERIFY(name != std::string::npos);
        std::size_t end = bytes.find("PK\x01\x02");
        for (std::size_t at = (name + end) / 2; at < end; at += 7) bytes[at] = '\xFF';
        QString reference = firstMatch(bytes, "q?asar");
        QVERIFY2(reference.startsWith("fail:"), qPrintable(reference));
        QCOMPARE(firstMatch(bytes, "quasar"), reference);
    }

    // One entry larger than the look's window of about a megabyte ends the look; entries
    // after it keep their indexes.
    void entryLargerThanTheWindow() {
        std::string table = kSstStart + pads(10) + "<si><t>" + std::string(1536 * 1024, 'x') +
                            "</t></si>" + pads(10) + "<si><t>quasar</t></si></sst>";
        for (bool deflated : {false, true}) {
            std::string bytes = package(table, {10, 20, 21}, deflated);
            QCOMPARE(firstMatch(bytes, "quasar"), QString("0,2"));
            QCOMPARE(firstMatch(bytes, "q?asar"), QString("0,2"));
        }
    }
};

QTEST_APPLESS_MAIN(TestPlainTableHead)
#include "test_plain_table_head.moc"
