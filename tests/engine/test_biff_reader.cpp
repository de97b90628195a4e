// The .xls reader on hand-made BIFF files (tests/data/biff, made by the script there): the sheet
// list, every kind of cell record, shared strings split across CONTINUE records, code pages,
// encryption, BIFF2-BIFF4 streams, and files whose claims are damaged or hostile.
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include "engine/core/matcher.h"
#include "engine/formula/formula_text.h"
#include "engine/workbook.h"

using namespace quillmark;
using namespace quillmark::engine;

namespace {

std::shared_ptr<const FileData> fixtureData(const QString& name) {
    QFile file(QStringLiteral(QUILLMARK_TEST_DATA "/biff/") + name);
    if (!file.open(QIODevice::ReadOnly)) qFatal("missing fixture %s", qPrintable(name));
    QByteArray bytes = file.readAll();
    return memoryData({bytes.begin(), bytes.end()});
}

ReaderOutcome openFixture(const QString& name) {
    return openWorkbookData(fixtureData(name), name.toStdString());
}

std::unique_ptr<WorkbookReader> reader(const QString& name) {
    auto opened = openFixture(name);
    if (!opened) qFatal("%s: %s", qPrintable(name), opened.failure().reason.c_str());
    return opened.take();
}

// "row,column" of the first match, "" for none, or "failed: <kind>".
QString find(WorkbookReader& workbook, std::size_t sheet, const char* keyword) {
    auto found = workbook.findFirst(sheet, Matcher(keyword));
    if (!found) return QStringLiteral("failed: ") + failureKindName(found.failure().kind);
    if (!found.value()) return {};
    return QStringLiteral("%1,%2").arg(found.value()->row).arg(found.value()->column);
}

bool decompilerAvailable() {
    const std::uint8_t onePlusTwo[] = {0x1E, 1, 0, 0x1E, 2, 0, 0x03};
    std::string text;
    return appendFormulaText({onePlusTwo, {}}, FormulaDialect::Biff8, {}, text) && text == "=1+2";
}

}  // namespace

class TestBiffReader : public QObject {
    Q_OBJECT

  private slots:
    void listsSheetsWithKindAndVisibility() {
        auto workbook = reader("biff8_workbook.xls");
        const auto& sheets = workbook->sheets();
        // The Visual Basic module "Module1" is no sheet.
        QStringList names;
        for (const SheetInfo& sheet : sheets) names << QString::fromStdString(sheet.name);
        QCOMPARE(names, QStringList({"Cells", "Hidden", "VeryHidden", "Macro1", "Chart1", "Dialog1",
                                     "Broken", "Last"}));
        QCOMPARE(sheets[0].kind, SheetKind::Worksheet);
        QVERIFY(!sheets[0].hidden);
        QVERIFY(sheets[1].hidden);
        QVERIFY(sheets[2].hidden);
        QCOMPARE(sheets[3].kind, SheetKind::MacroSheet);
        QCOMPARE(sheets[4].kind, SheetKind::Chart);
        QCOMPARE(sheets[5].kind, SheetKind::Dialog);  // told by its WSBOOL record
    }

    void findsEveryKindOfCell_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("position");
        QTest::newRow("LABELSST") << "alpha"
                                  << "0,0";
        QTest::newRow("LABEL, UTF-16") << "GRÖßE"
                                       << "1,1";
        QTest::newRow("RSTRING") << "rich label"
                                 << "2,0";
        QTest::newRow("NUMBER") << "3.14159"
                                << "3,0";
        QTest::newRow("whole NUMBER as digits") << "31430"
                                                << "3,1";
        QTest::newRow("RK integer") << "2008"
                                    << "4,0";
        QTest::newRow("RK hundredths") << "12.34"
                                       << "4,1";
        QTest::newRow("MULRK double") << "8.5"
                                      << "5,3";
        QTest::newRow("MULRK last") << "99"
                                    << "5,4";
        QTest::newRow("BOOLERR true") << "true"
                                      << "6,0";
        QTest::newRow("BOOLERR error") << "#DIV/0!"
                                       << "6,1";
        QTest::newRow("FORMULA number") << "42"
                                        << "7,0";
        QTest::newRow("FORMULA string from STRING") << "formula result"
                                                    << "7,1";
        QTest::newRow("FORMULA boolean") << "false"
                                         << "7,2";
        QTest::newRow("FORMULA error") << "#N/A"
                                       << "7,3";
        QTest::newRow("date format") << "1/1/2008"
                                     << "8,0";
        QTest::newRow("date and time") << "1/1/2008 12:00"
                                       << "8,1";
        QTest::newRow("quoted d is no date") << "1/1/2012"
                                             << "";
        QTest::newRow("embedded chart's label") << "nested chart"
                                                << "";
        QTest::newRow("cell after an embedded chart") << "after the chart"
                                                      << "10,0";
        QTest::newRow("formula string after SHRFMLA") << "shared result"
                                                      << "11,1";
        QTest::newRow("nowhere") << "zqxjkvbwpf"
                                 << "";
    }

    void findsEveryKindOfCell() {
        QFETCH(QString, keyword);
        QFETCH(QString, position);
        auto workbook = reader("biff8_workbook.xls");
        QCOMPARE(find(*workbook, 0, keyword.toUtf8().constData()), position);
    }

    void readsSharedStringsAcrossContinueRecords() {
        auto workbook = reader("biff8_workbook.xls");
        // Compressed characters going on as UTF-16 after a CONTINUE's flags byte.
        QCOMPARE(find(*workbook, 0, "the границу ok"), QString("9,1"));
        // Characters that start only in the next CONTINUE.
        QCOMPARE(find(*workbook, 0, "tailed"), QString("9,2"));
        // Formatting runs and phonetic data skipped across a boundary; entries after line up.
        QCOMPARE(find(*workbook, 0, "rich text"), QString("9,3"));
        QCOMPARE(find(*workbook, 0, "needle in sst"), QString("9,0"));
        QCOMPARE(find(*workbook, 0, "ÜNÏCÖDÉ ✓"), QString("9,4"));
        // The same reader, back to an earlier keyword: the string table is matched again.
        QCOMPARE(find(*workbook, 0, "alpha"), QString("0,0"));
    }

    void offersFormulaText() {
        if (!decompilerAvailable()) QSKIP("the formula decompiler is not built yet");
        auto workbook = reader("biff8_workbook.xls");
        QCOMPARE(find(*workbook, 0, "=1+2"), QString("7,0"));
        // A shared formula's relative reference, rendered for each cell that uses it.
        QCOMPARE(find(*workbook, 0, "=B12*2"), QString("11,1"));
        QCOMPARE(find(*workbook, 0, "=B13*2"), QString("12,1"));
        // Names from the globals: a sheet through EXTERNSHEET and SUPBOOK, a NAME record.
        QCOMPARE(find(*workbook, 0, "=Hidden!A1"), QString("13,0"));
        QCOMPARE(find(*workbook, 0, "=TaxRate"), QString("13,1"));
        // Another workbook's sheet, by the file path its SUPBOOK record encodes.
        QCOMPARE(find(*workbook, 0, "=[C:\\Data\\Budget.xls]Plan!A1"), QString("14,0"));
    }

    void searchesOnlyGridSheets() {
        auto workbook = reader("biff8_workbook.xls");
        QCOMPARE(find(*workbook, 1, "hidden value"), QString("0,0"));
        QCOMPARE(find(*workbook, 2, "very hidden"), QString("0,0"));
        QCOMPARE(find(*workbook, 3, "macro cell"), QString("0,0"));
        QCOMPARE(find(*workbook, 4, "chart text"), QString());
        QCOMPARE(find(*workbook, 5, "dialog text"), QString());
        QCOMPARE(find(*workbook, 0, ""), QString());  // an empty keyword finds nothing
    }

    void aSheetOutsideTheStreamFailsAlone() {
        auto workbook = reader("biff8_workbook.xls");
        QCOMPARE(find(*workbook, 6, "anything"), QString("failed: corrupt"));
        QCOMPARE(find(*workbook, 7, "last sheet"), QString("0,0"));
    }

    void readsBiff5TextInItsCodePage() {
        auto workbook = reader("biff5_cyrillic.xls");
        QCOMPARE(workbook->sheets().size(), std::size_t(1));
        QCOMPARE(workbook->sheets()[0].name, std::string("Лист1"));
        QCOMPARE(find(*workbook, 0, "МОСКВА"), QString("0,0"));
        QCOMPARE(find(*workbook, 0, "0.5"), QString("1,0"));
        // DATEMODE: serial 1 is 2 January 1904 in the 1904 date system.
        QCOMPARE(find(*workbook, 0, "1/2/1904"), QString("2,0"));
    }

    void prefersWorkbookOverAStaleBook() {
        auto workbook = reader("book_and_workbook.xls");
        QCOMPARE(find(*workbook, 0, "fresh"), QString("0,0"));
        QCOMPARE(find(*workbook, 0, "stale"), QString());
    }

    void refusesWhatItCannotRead_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("XOR obfuscation")
            << "xor_obfuscated.xls" << int(FailureKind::Encrypted) << "XOR";
        QTest::newRow("RC4") << "rc4_encrypted.xls" << int(FailureKind::Encrypted) << "RC4";
        QTest::newRow("encrypted OOXML")
            << "encrypted_package.xls" << int(FailureKind::Encrypted) << "Open XML";
        QTest::newRow("another document")
            << "not_a_workbook.xls" << int(FailureKind::NotAWorkbook) << "workbook";
        QTest::newRow("broken chain") << "chain_loop.xls" << int(FailureKind::Corrupt) << "loop";
    }

    void refusesWhatItCannotRead() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        auto opened = openFixture(name);
        QVERIFY(!opened.ok());
        QCOMPARE(int(opened.failure().kind), kind);
        QVERIFY2(QString::fromStdString(opened.failure().reason).contains(reason),
                 opened.failure().reason.c_str());
    }

    void decryptsTheDefaultPassword_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("XOR obfuscation") << "default_password_xor.xls";
        QTest::newRow("RC4") << "default_password_rc4.xls";
        QTest::newRow("RC4 CryptoAPI") << "default_password_cryptoapi.xls";
    }

    void decryptsTheDefaultPassword() {
        // Files saved under "VelvetSweatshop" open without a password in spreadsheet programs.
        QFETCH(QString, name);
        auto workbook = reader(name);
        QCOMPARE(workbook->sheets().size(), std::size_t(5));
        QCOMPARE(workbook->sheets()[4].name, std::string("Far away"));  // names decrypted
        QCOMPARE(find(*workbook, 0, "needle in sst"), QString("9,0"));  // SST with CONTINUEs
        QCOMPARE(find(*workbook, 0, "the границу ok"), QString("9,1"));
        QCOMPARE(find(*workbook, 0, "3.14159"), QString("3,0"));
        // Past several 1024-byte blocks, each with a key of its own.
        QCOMPARE(find(*workbook, 4, "past the first"), QString("0,0"));
    }

    void decryptsBiff5XorObfuscation() {
        auto workbook = reader("default_password_biff5_xor.xls");
        QCOMPARE(workbook->sheets()[0].name, std::string("Hidden away"));
        QCOMPARE(find(*workbook, 0, "secret text"), QString("0,0"));
    }

    void anotherPasswordStaysEncrypted() {
        auto opened = openFixture("other_password_rc4.xls");
        QVERIFY(!opened.ok());
        QCOMPARE(opened.failure().kind, FailureKind::Encrypted);
    }

    void readsBiff2Streams() {
        auto workbook = reader("biff2_sheet.xls");
        QCOMPARE(workbook->sheets().size(), std::size_t(1));
        QCOMPARE(workbook->sheets()[0].name, std::string("biff2_sheet"));  // the file's name
        QCOMPARE(find(*workbook, 0, "1234"), QString("0,0"));              // INTEGER
        QCOMPARE(find(*workbook, 0, "2.75"), QString("1,0"));              // NUMBER
        QCOMPARE(find(*workbook, 0, "biff2 text"), QString("2,0"));        // LABEL
        QCOMPARE(find(*workbook, 0, "#REF!"), QString("3,0"));             // BOOLERR
        QCOMPARE(find(*workbook, 0, "old formula"), QString("4,0"));       // FORMULA + STRING
        QCOMPARE(find(*workbook, 0, "1/1/2000"), QString("5,0"));          // its format's date
    }

    void readsBiff3AndBiff4Streams() {
        auto biff3 = reader("biff3_sheet.xls");
        QCOMPARE(biff3->sheets()[0].name, std::string("Sheet1"));
        QCOMPARE(find(*biff3, 0, "biff3 text"), QString("0,0"));
        QCOMPARE(find(*biff3, 0, "77.5"), QString("1,0"));

        auto biff4 = reader("biff4_workbook.xls");
        QCOMPARE(biff4->sheets().size(), std::size_t(2));
        QCOMPARE(biff4->sheets()[1].name, std::string("Beta"));
        QCOMPARE(find(*biff4, 0, "second sheet"), QString());
        QCOMPARE(find(*biff4, 1, "second sheet"), QString("0,0"));
    }

    void hostileClaimsAreNotTrusted() {
        // Counts of four billion strings and XTIs, a 65535-character label in a 10-byte
        // record, a formula longer than its record: none is believed, and the cell after
        // them is still found.
        QElapsedTimer timer;
        timer.start();
        auto workbook = reader("hostile_claims.xls");
        QCOMPARE(find(*workbook, 0, "needle after claims"), QString("65535,255"));
        QCOMPARE(find(*workbook, 0, "short"), QString("0,0"));
        QCOMPARE(find(*workbook, 0, "zqxjkvbwpf"), QString());
        QVERIFY(timer.elapsed() < 2000);
    }

    void stopsAtTheFirstMatch() {
        // The stream is damaged after its second cell: a search that stops at the first
        // match succeeds, one that must read on reports the damage.
        auto workbook = reader("early_stop.xls");
        QCOMPARE(find(*workbook, 0, "first cell"), QString("0,0"));
        QCOMPARE(find(*workbook, 0, "second cell"), QString("1,0"));
        QCOMPARE(find(*workbook, 0, "third cell"), QString("failed: truncated"));
    }
};

QTEST_GUILESS_MAIN(TestBiffReader)
#include "test_biff_reader.moc"
