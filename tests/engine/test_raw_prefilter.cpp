// The raw prefilter may only skip work that could not have matched: every case here is a text
// the matcher accepts whose raw XML a careless byte test would call anchor-free.
#include <QtTest>
#include <string>

#include "engine/core/file_data.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/workbook.h"
#include "engine/xlsx/xlsx_plain_strings.h"
#include "shared_strings_workbook.h"

using namespace quillmark::testing;
using namespace quillmark::engine;

namespace {

const std::string kSstStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"http://"
    "schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"2\" uniqueCount=\"2\">";

std::string table(const std::string& entries) {
    return kSstStart + "<si><t>filler</t></si>" + entries + "</sst>";
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else
            out += c;
    }
    return out;
}

// A one-sheet workbook whose cells are shared strings `index` and 1 of `sharedStrings`.
std::string workbookWithTable(const std::string& sharedStrings, std::size_t index = 0) {
    return storedPackage(sharedStringsWorkbookParts(sharedStrings, {index, 1}));
}

// "found", "none" or the failure's reason.
QString search(const std::string& package, const std::string& keyword) {
    auto opened = openWorkbookData(memoryData({package.begin(), package.end()}), "t.xlsx");
    if (!opened) return QString::fromStdString(opened.failure().reason);
    auto found = opened.value()->findFirst(0, Matcher(keyword));
    if (!found) return QString::fromStdString(found.failure().reason);
    return found.value() ? "found" : "none";
}

}  // namespace

class TestRawPrefilter : public QObject {
    Q_OBJECT

  private slots:
    // If Qt's folding ever sends another code point to an ASCII character, this fails and
    // the anchor rules must be looked at again (the set itself is computed, so stays sound).
    void onlyKelvinAndLongSFoldIntoAscii() {
        QCOMPARE(QString::fromStdString(asciiFoldTargetsOfNonAscii()), QString("ks"));
    }

    void anchors_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("s and k split runs") << "Quasar"
                                            << "qua";
        QTest::newRow("kelvin") << "Kelvin"
                                << "elvin";
        QTest::newRow("wildcards split runs") << "abc?defg*hi"
                                              << "defg";
        QTest::newRow("escaped star is literal") << "ab~*cd"
                                                 << "ab*cd";
        QTest::newRow("markup characters split") << "a&b<cdef>g\"h'i"
                                                 << "cdef";
        QTest::newRow("equals sign is made by formulas") << "=ROUND(x"
                                                         << "round(x";
        QTest::newRow("white space splits") << "ab cd"
                                            << "";
        QTest::newRow("sharp s is not ASCII") << QString::fromUtf8("STRAßE") << "tra";
        QTest::newRow("dotted capital I") << QString::fromUtf8("İSTANBUL") << "tanbul";
        QTest::newRow("too short") << "ab"
                                   << "";
        QTest::newRow("stars only") << "**"
                                    << "";
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
        for (std::size_t length : {3, 15, 16, 17, 31, 33, 64}) {
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
        QTest::newRow("plain, no anchor") << QByteArray("<si><t>Ledger &amp; co</t></si>") << true;
        QTest::newRow("preserved space")
            << QByteArray("<si><t xml:space=\"preserve\"> a </t></si>") << true;
        QTest::newRow("non-ASCII text") << QByteArray("<si><t>Régions</t></si>") << true;
        QTest::newRow("anchor present") << QByteArray("<si><t>a quasar</t></si>") << false;
        QTest::newRow("numeric reference") << QByteArray("<si><t>&#113;uasar</t></si>") << false;
        QTest::newRow("rich runs")
            << QByteArray("<si><r><t>qu</t></r><r><t>asar</t></r></si>") << false;
        QTest::newRow("two texts") << QByteArray("<si><t>qu</t><t>asar</t></si>") << false;
        QTest::newRow("phonetic guide")
            << QByteArray("<si><t>a</t><rPh sb=\"0\" eb=\"1\"><t>b</t></rPh></si>") << false;
        QTest::newRow("escape") << QByteArray("<si><t>_x0071_uasar</t></si>") << false;
        QTest::newRow("comment") << QByteArray("<si><t>q<!-- -->uasar</t></si>") << false;
        QTest::newRow("cdata end") << QByteArray("<si><t>a]]>b</t></si>") << false;
        QTest::newRow("undefined entity") << QByteArray("<si><t>&nbsp;</t></si>") << false;
        QTest::newRow("bad UTF-8") << QByteArray("<si><t>\xC3(</t></si>") << false;
        QTest::newRow("prefixed") << QByteArray("<x:si><x:t>a</x:t></x:si>") << false;
    }
    void plainTables() {
        QFETCH(QByteArray, entries);
        QFETCH(bool, skippable);
        QCOMPARE(plainStringTableLacksAnchor(table(entries.toStdString()), "qua"), skippable);
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
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("answer");
        QTest::newRow("plain miss") << "quasar"
                                    << "<si><t>filler</t></si>"
                                    << "none";
        QTest::newRow("plain hit") << "quasar"
                                   << "<si><t>QUASAR</t></si>"
                                   << "found";
        QTest::newRow("reference") << "quasar"
                                   << "<si><t>&#113;uasar</t></si>"
                                   << "found";
        QTest::newRow("runs") << "quasar"
                              << "<si><r><t>qua</t></r><r><t>sar</t></r></si>"
                              << "found";
        QTest::newRow("long s") << "quasar"
                                << "<si><t>quaſar</t></si>"
                                << "found";
        QTest::newRow("broken") << "quasar"
                                << "<si><t>a</t>"
                                << "failed";
    }
    void searchesThroughTheTable() {
        QFETCH(QString, keyword);
        QFETCH(QString, entry);
        QFETCH(QString, answer);
        std::string entries = entry.toStdString();
        std::string sst = kSstStart + "<si><t>filler</t></si>" + entries;
        if (answer != "failed") sst += "</sst>";
        QString got = search(workbookWithTable(sst), keyword.toStdString());
        if (answer == "failed")
            QVERIFY2(got != "none" && got != "found", qPrintable(got));
        else
            QCOMPARE(got, answer);
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
            QCOMPARE(search(workbookWithTable(sst, entries), "quasar"), QString("found"));
            QCOMPARE(search(workbookWithTable(sst, entries - 1), "quasar"), QString("none"));
        }
    }
};

QTEST_APPLESS_MAIN(TestRawPrefilter)
#include "test_raw_prefilter.moc"
