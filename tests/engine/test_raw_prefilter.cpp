// The raw prefilter may only skip work that could not have matched: every case here is a text
// the matcher accepts whose raw XML a careless byte test would call anchor-free. The shared
// string table's leading plain entries are counted, not parsed, and the parse goes on from the
// bytes already inflated: every entry must keep its index, and a broken table must fail as it
// fails when parsed whole. The reference is a keyword with no anchor ("q?asar"), for which the
// whole table is parsed.
#include <zip.h>

#include <QtTest>
#include <string>

#include "both_vector_widths.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/workbook.h"
#include "engine/xlsx/xlsx_plain_strings.h"
#include "reader_test_support.h"
#include "stored_zip.h"
#include "xlsx_package.h"

using namespace quillmark::testing;
using namespace quillmark::engine;
using quillmark::engine::testing::answerOf;
using quillmark::engine::testing::openBytes;

namespace {

const std::string kSstStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"http://"
    "schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"2\" uniqueCount=\"2\">";

std::string table(const std::string& entries) {
    return kSstStart + "<si><t>filler</t></si>" + entries + "</sst>";
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : std::string(1, c);
    return out;
}

// `count` plain entries that hold neither the keyword nor its anchor.
std::string pads(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += "<si><t>pad " + std::to_string(i) + "</t></si>\n";
    return out;
}

// A one-sheet workbook whose row 1 names the entries `cells` of `sharedStrings`, stored, or
// deflated by libzip (small parts inflate whole).
std::string package(const std::string& sharedStrings, const std::vector<std::size_t>& cells,
                    bool deflated = false) {
    const Parts parts = sharedStringsWorkbookParts(sharedStrings, cells);
    return deflated ? deflatedPackage(parts) : storedPackage(parts);
}

QString firstMatch(const std::string& bytes, const char* keyword) {
    return answerOf(openBytes(QByteArray::fromStdString(bytes), "t.xlsx"), 0, keyword);
}

}  // namespace

class TestRawPrefilter : public QObject {
    Q_OBJECT

  private slots:
    // If Qt's folding ever sends another code point to an ASCII character, this fails and
    // the anchor rules must be looked at again (the set itself is computed, so stays sound).
    void onlyKelvinAndLongSFoldIntoAscii() {
        QCOMPARE(QString::fromStdString(asciiFoldTargetsOfNonAscii()), QString("ks"));
        // The set is asked of the first plane only; no code point beyond it folds to ASCII.
        for (char32_t c = 0x10000; c <= 0x10FFFF; ++c)
            if (QChar::toCaseFolded(c) < 0x80) QFAIL(qPrintable(QString::number(c, 16)));
    }

    void anchors_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("anchor");
        // clang-format off
        QTest::newRow("s and k split runs") << "Quasar" << "qua";
        QTest::newRow("kelvin") << "Kelvin" << "elvin";
        QTest::newRow("wildcards split runs") << "abc?defg*hi" << "defg";
        QTest::newRow("escaped star is literal") << "ab~*cd" << "ab*cd";
        QTest::newRow("markup characters split") << "a&b<cdef>g\"h'i" << "cdef";
        QTest::newRow("equals sign is made by formulas") << "=ROUND(x" << "round(x";
        QTest::newRow("white space splits") << "ab cd" << "";
        QTest::newRow("sharp s is not ASCII") << QString::fromUtf8("STRAßE") << "tra";
        QTest::newRow("dotted capital I") << QString::fromUtf8("İSTANBUL") << "tanbul";
        QTest::newRow("too short") << "ab" << "";
        QTest::newRow("stars only") << "**" << "";
        QTest::newRow("the reference keyword") << "q?asar" << "";
        // clang-format on
    }
    void anchors() {
        QFETCH(QString, keyword);
        QFETCH(QString, anchor);
        QCOMPARE(QString::fromStdString(rawAnchorOf(keyword.toStdString())), anchor);
    }

    // Whenever the matcher accepts a text, the text's raw XML holds the anchor.
    void everyMatchHoldsItsAnchor() {
        const char* keywords[] = {"kelvin",    "KELVIN",   "strasse",  "straße",
                                  "istanbul",  "İSTANBUL", "ıstanbul", "a&b",
                                  "tom*jerry", "t?m~?x",   "ſtraße",   "quasar"};
        const char* texts[] = {"\u212Aelvin", "KELVIN",   "STRASSE",  "straße",   "ſtrasse",
                               "İstanbul",    "ISTANBUL", "ıstanbul", "A&B",      "Tom and Jerry",
                               "tIm?x",       "QUAſAR",   "quaſar",   "ƛ straße", "STRAẞE"};
        for (const char* keyword : keywords) {
            std::string anchor = rawAnchorOf(keyword);
            Matcher matcher(keyword);
            for (const char* text : texts) {
                if (!matcher.matches(text) || anchor.empty()) continue;
                QVERIFY2(containsAnchor(xmlEscaped(text), anchor),
                         qPrintable(QString("%1 in %2").arg(keyword, text)));
            }
        }
    }

    void anchorSearchAtEveryOffset() {
        for (std::size_t length : {3, 15, 16, 17, 31, 33, 34, 64, 65, 97}) {
            for (std::size_t at = 0; at + 3 <= length; ++at) {
                std::string bytes(length, 'x');
                bytes.replace(at, 3, "QuA");
                QVERIFY(containsAnchor(bytes, "qua"));
                bytes[at + 2] = 'b';
                QVERIFY(!containsAnchor(bytes, "qua"));
            }
        }
    }

    void plainTables_data() {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<bool>("skippable");
        // clang-format off
        QTest::newRow("plain, no anchor") << QByteArray("<si><t>Ledger &amp; co</t></si>") << true;
        QTest::newRow("preserved space") << QByteArray("<si><t xml:space=\"preserve\"> a </t></si>") << true;
        QTest::newRow("non-ASCII text") << QByteArray("<si><t>Régions</t></si>") << true;
        QTest::newRow("anchor present") << QByteArray("<si><t>a quasar</t></si>") << false;
        QTest::newRow("numeric reference") << QByteArray("<si><t>&#113;uasar</t></si>") << false;
        QTest::newRow("rich runs") << QByteArray("<si><r><t>qu</t></r><r><t>asar</t></r></si>") << false;
        QTest::newRow("two texts") << QByteArray("<si><t>qu</t><t>asar</t></si>") << false;
        QTest::newRow("phonetic guide") << QByteArray("<si><t>a</t><rPh sb=\"0\" eb=\"1\"><t>b</t></rPh></si>") << false;
        QTest::newRow("escape") << QByteArray("<si><t>_x0071_uasar</t></si>") << false;
        QTest::newRow("comment") << QByteArray("<si><t>q<!-- -->uasar</t></si>") << false;
        QTest::newRow("cdata end") << QByteArray("<si><t>a]]>b</t></si>") << false;
        QTest::newRow("undefined entity") << QByteArray("<si><t>&nbsp;</t></si>") << false;
        QTest::newRow("bad UTF-8") << QByteArray("<si><t>\xC3(</t></si>") << false;
        QTest::newRow("prefixed") << QByteArray("<x:si><x:t>a</x:t></x:si>") << false;
        // clang-format on
    }

    void plainTables() {
        QFETCH(QByteArray, entries);
        QFETCH(bool, skippable);
        QCOMPARE(plainStringTableLacksAnchor(table(entries.toStdString()), "qua"), skippable);
        // The same entries among longer ones, their texts padded past sixteen bytes.
        std::string padded = entries.toStdString();
        const std::string pad(37, 'p');
        for (std::size_t at = padded.find("<t>"); at != std::string::npos;
             at = padded.find("<t>", at + 3 + pad.size()))
            padded.insert(at + 3, pad);
        const std::string around = "<si><t>" + pad + " a long entry " + pad + "</t></si>";
        QCOMPARE(plainStringTableLacksAnchor(table(around + padded + around), "qua"), skippable);
    }

    // An anchor that markup spells (here in every "</si>") does not count against an entry;
    // one in a later entry's text still does.
    void anchorsInMarkupAndLaterEntries() {
        const std::string entries = "<si><t>one</t></si><si><t>two</t></si><si><t>three</t></si>";
        QVERIFY(plainStringTableLacksAnchor(table(entries), "/si"));
        QVERIFY(!plainStringTableLacksAnchor(table(entries + "<si><t>a/sick</t></si>"), "/si"));
        QVERIFY(!plainStringTableLacksAnchor(table(entries + "<si><t>quasar</t></si>"), "qua"));
        QVERIFY(plainStringTableLacksAnchor(table(entries + "<si><t>qu</t></si>"), "qua"));
    }

    void otherEncodingsAreParsed() {
        std::string latin = table("");
        latin.replace(latin.find("UTF-8"), 5, "ISO-8859-1");
        QVERIFY(!plainStringTableLacksAnchor(latin, "qua"));
        QVERIFY(plainStringTableLacksAnchor(table(""), "qua"));
        QVERIFY(!plainStringTableLacksAnchor(table("") + "<x/>", "qua"));
    }

    // Through the reader: what the table's parse would find is still found, across the
    // reader's window of the table too, and a broken table still fails.
    void searchesThroughTheTable_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("answer");
        // clang-format off
        QTest::newRow("plain miss") << "<si><t>filler</t></si>" << "none";
        QTest::newRow("plain hit") << "<si><t>QUASAR</t></si>" << "0,1";
        QTest::newRow("reference") << "<si><t>&#113;uasar</t></si>" << "0,1";
        QTest::newRow("runs") << "<si><r><t>qua</t></r><r><t>sar</t></r></si>" << "0,1";
        QTest::newRow("long s") << "<si><t>quaſar</t></si>" << "0,1";
        QTest::newRow("broken") << "<si><t>a</t>" << "fail:truncated";
        // Plain entries holding the anchor are matched by the look, in order, whether or not
        // the parse takes over after them; a reference or carriage return leaves them to it.
        QTest::newRow("anchor, no match") << "<si><t>quantum</t></si>" << "none";
        QTest::newRow("plain hit, then runs") << "<si><t>a quasar</t></si><si><r><t>x</t></r></si>" << "0,1";
        QTest::newRow("miss with the anchor, then a hit") << "<si><t>quantum</t></si><si><t>quasar</t></si>" << "0,2";
        QTest::newRow("hit with a reference") << "<si><t>quasar &amp; co</t></si>" << "0,1";
        QTest::newRow("line end inside") << "<si><t>qua\r\nsar</t></si>" << "none";
        QTest::newRow("line end after") << "<si><t>quasar\r\n</t></si>" << "0,1";
        // clang-format on
    }
    void searchesThroughTheTable() {
        QFETCH(QString, entry);
        QFETCH(QString, answer);
        std::string sst = kSstStart + "<si><t>filler</t></si>" + entry.toStdString();
        if (!answer.startsWith("fail")) sst += "</sst>";
        QCOMPARE(firstMatch(package(sst, {0, 1, 2}), "quasar"), answer);
    }

    // Entries whose text the parser changes (a reference decoded, a line end normalized) are
    // matched as the parser reads them.
    void entriesMatchAsParsed() {
        const std::string reference =
            kSstStart + "<si><t>x</t></si><si><t>quasar&amp;co</t></si></sst>";
        QCOMPARE(firstMatch(package(reference, {0, 1}), "quasar&co"), QString("0,1"));
        const std::string lineEnd = kSstStart + "<si><t>x</t></si><si><t>qua\r\nsar</t></si></sst>";
        QCOMPARE(firstMatch(package(lineEnd, {0, 1}), "qua?sar"), QString("0,1"));
    }

    // The reader looks at the table through a window of about a megabyte; an entry cut by
    // the window's end, wherever the cut falls in it, is still found.
    void entryAcrossTheWindowIsFound() {
        for (std::size_t shift = 0; shift < 48; shift += 5) {
            std::string sst = kSstStart;
            std::size_t entries = 0;
            while (sst.size() + 24 < (1u << 20) - shift) {
                sst += "<si><t>pad</t></si>";
                ++entries;
            }
            sst += "<si><t>" + std::string(shift % 20, 'x') + "quasar</t></si></sst>";
            QCOMPARE(firstMatch(package(sst, {entries, 1}), "quasar"), QString("0,0"));
            QCOMPARE(firstMatch(package(sst, {entries - 1, 1}), "quasar"), QString("none"));
        }
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

    // Spoiled at every few bytes of the back half, the damage first seen by zlib or by the XML
    // parse: the head's megabyte-sized reads must not turn the one into the other. Cut short,
    // the entries before the cut are read first, then the cut reported.
    void damagedDeflateFailsAsWhole() {
        std::string table = kSstStart + pads(20000) + "<si><t>quasar</t></si></sst>";
        const std::string whole = package(table, {20000}, true);
        // The table is the last part: spoil the back half of its compressed bytes.
        const std::size_t end = whole.find("PK\x01\x02");
        const std::size_t name = whole.rfind("xl/sharedStrings.xml", end);
        QVERIFY(name != std::string::npos);
        for (std::size_t step : {3, 7, 8, 9, 12, 14, 16, 17}) {
            std::string bytes = whole;
            for (std::size_t at = (name + end) / 2; at < end; at += step) bytes[at] = '\xFF';
            QString reference = firstMatch(bytes, "q?asar");
            QVERIFY2(reference.startsWith("fail:"), qPrintable(reference));
            QCOMPARE(firstMatch(bytes, "quasar"), reference);
        }
        StoredZip cut;
        for (const auto& [part, text] : sharedStringsWorkbookParts(table, {20000})) {
            if (part != "xl/sharedStrings.xml") {
                cut.add(part, text);
                continue;
            }
            const std::string deflated = rawDeflate(text);
            cut.addRaw(part, deflated.substr(0, deflated.size() / 2), StoredZip::crc32(text),
                       std::uint32_t(text.size()), 8);
        }
        QCOMPARE(firstMatch(cut.finish(), "q?asar"), QString("fail:truncated"));
        QCOMPARE(firstMatch(cut.finish(), "quasar"), QString("fail:truncated"));
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

QUILLMARK_TEST_MAIN_BOTH_VECTOR_WIDTHS(TestRawPrefilter)
#include "test_raw_prefilter.moc"
