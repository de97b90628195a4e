// The binary readers on hand-made files: .xls (tests/data/biff, made by the script there) with
// every kind of cell record, shared strings split across CONTINUE records, code pages,
// encryption, BIFF2-BIFF4 streams, and files whose claims are damaged or hostile; .xlsb
// (tests/data/xlsb) with every cell record, formulas with shared and array groups, dates,
// shared strings, and damaged record streams. Both: the sheet list with kinds and visibility.
#include <QElapsedTimer>
#include <QTest>

#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark;
using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/biff/");

}  // namespace

class TestBiffReader : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        // clang-format off
        const QString book = "biff8_workbook.xls";
        // The Visual Basic module "Module1" is no sheet; Dialog1 is told by its WSBOOL record.
        findRow("BIFF8 sheets", book, -1, "", "Cells | Hidden (hidden) | VeryHidden (hidden) | Macro1 [macro] | Chart1 [chart] | Dialog1 [dialog] | Broken | Last");
        findRow("BIFF5 sheet in its code page", "biff5_cyrillic.xls", -1, "", "Лист1");
        findRow("BIFF2 sheet: the file's name", "biff2_sheet.xls", -1, "", "biff2_sheet");
        findRow("BIFF3 sheet", "biff3_sheet.xls", -1, "", "Sheet1");
        findRow("BIFF4 sheets", "biff4_workbook.xls", -1, "", "Alpha | Beta");
        findRow("BIFF5 XOR, names decrypted", "default_password_biff5_xor.xls", -1, "", "Hidden away");
        findRow("another password stays encrypted", "other_password_rc4.xls", -1, "", "open:encrypted");
        findRow("LABELSST", book, 0, "alpha", "0,0");
        findRow("LABEL, UTF-16", book, 0, "GRÖßE", "1,1");
        findRow("RSTRING", book, 0, "rich label", "2,0");
        findRow("NUMBER", book, 0, "3.14159", "3,0");
        findRow("whole NUMBER as digits", book, 0, "31430", "3,1");
        findRow("RK integer", book, 0, "2008", "4,0");
        findRow("RK hundredths", book, 0, "12.34", "4,1");
        findRow("MULRK double", book, 0, "8.5", "5,3");
        findRow("MULRK last", book, 0, "99", "5,4");
        findRow("BOOLERR true", book, 0, "true", "6,0");
        findRow("BOOLERR error", book, 0, "#DIV/0!", "6,1");
        findRow("FORMULA number", book, 0, "42", "7,0");
        findRow("FORMULA string from STRING", book, 0, "formula result", "7,1");
        findRow("FORMULA boolean", book, 0, "false", "7,2");
        findRow("FORMULA error", book, 0, "#N/A", "7,3");
        findRow("date format", book, 0, "1/1/2008", "8,0");
        findRow("date and time", book, 0, "1/1/2008 12:00", "8,1");
        findRow("quoted d is no date", book, 0, "1/1/2012", "none");
        findRow("embedded chart's label", book, 0, "nested chart", "none");
        findRow("cell after an embedded chart", book, 0, "after the chart", "10,0");
        findRow("formula string after SHRFMLA", book, 0, "shared result", "11,1");
        findRow("nowhere", book, 0, "zqxjkvbwpf", "none");
        findRow("empty keyword", book, 0, "", "none");
        // Shared strings: compressed characters going on as UTF-16 after a CONTINUE's flags
        // byte, characters that start only in the next CONTINUE, formatting runs and phonetic
        // data skipped across a boundary with the entries after them lined up.
        findRow("SST across CONTINUE", book, 0, "the границу ok", "9,1");
        findRow("SST characters in the next CONTINUE", book, 0, "tailed", "9,2");
        findRow("SST runs across a boundary", book, 0, "rich text", "9,3");
        findRow("SST entry after them", book, 0, "needle in sst", "9,0");
        findRow("SST entry, UTF-16", book, 0, "ÜNÏCÖDÉ ✓", "9,4");
        // Formula text; a shared formula's relative reference rendered for each cell using it;
        // names from the globals (EXTERNSHEET and SUPBOOK, NAME), another workbook's path.
        findRow("formula text", book, 0, "=1+2", "7,0");
        findRow("shared formula anchor", book, 0, "=B12*2", "11,1");
        findRow("shared formula member", book, 0, "=B13*2", "12,1");
        findRow("3-D reference", book, 0, "=Hidden!A1", "13,0");
        findRow("defined name", book, 0, "=TaxRate", "13,1");
        findRow("external book", book, 0, "=[C:\\Data\\Budget.xls]Plan!A1", "14,0");
        // Keywords no plain formula text can hold (=1+2, =B12*2) still find a formula's result
        // and the formulas whose text names what the workbook holds.
        findRow("shared formula's string result", book, 0, "shared result", "11,1");
        findRow("sheet name in a formula", book, 0, "hidden!", "13,0");
        findRow("defined name in a formula", book, 0, "taxrate", "13,1");
        findRow("book path in a formula", book, 0, "budget", "14,0");
        findRow("shared formula member's text", book, 0, "b13*", "12,1");
        findRow("in no formula", book, 0, "quasar", "none");
        // Only grid sheets hold cells; a sheet whose offset is outside the stream fails alone.
        findRow("hidden sheet", book, 1, "hidden value", "0,0");
        findRow("very hidden sheet", book, 2, "very hidden", "0,0");
        findRow("macro sheet", book, 3, "macro cell", "0,0");
        findRow("chart sheet", book, 4, "chart text", "none");
        findRow("dialog sheet", book, 5, "dialog text", "none");
        findRow("sheet outside the stream", book, 6, "anything", "fail:corrupt");
        findRow("sheet after it", book, 7, "last sheet", "0,0");
        findRow("no such sheet", book, 8, "x", "fail:no such sheet");
        findRow("BIFF5 in code page 1251", "biff5_cyrillic.xls", 0, "МОСКВА", "0,0");
        findRow("BIFF5 number", "biff5_cyrillic.xls", 0, "0.5", "1,0");
        // DATEMODE: serial 1 is 2 January 1904 in the 1904 date system.
        findRow("BIFF5 1904 date", "biff5_cyrillic.xls", 0, "1/2/1904", "2,0");
        findRow("Workbook stream over a stale Book", "book_and_workbook.xls", 0, "fresh", "0,0");
        findRow("stale Book unread", "book_and_workbook.xls", 0, "stale", "none");
        findRow("BIFF2 INTEGER", "biff2_sheet.xls", 0, "1234", "0,0");
        findRow("BIFF2 NUMBER", "biff2_sheet.xls", 0, "2.75", "1,0");
        findRow("BIFF2 LABEL", "biff2_sheet.xls", 0, "biff2 text", "2,0");
        findRow("BIFF2 BOOLERR", "biff2_sheet.xls", 0, "#REF!", "3,0");
        findRow("BIFF2 FORMULA and STRING", "biff2_sheet.xls", 0, "old formula", "4,0");
        findRow("BIFF2 date by its format", "biff2_sheet.xls", 0, "1/1/2000", "5,0");
        findRow("BIFF3 text", "biff3_sheet.xls", 0, "biff3 text", "0,0");
        findRow("BIFF3 number", "biff3_sheet.xls", 0, "77.5", "1,0");
        findRow("BIFF4 first sheet", "biff4_workbook.xls", 0, "second sheet", "none");
        findRow("BIFF4 second sheet", "biff4_workbook.xls", 1, "second sheet", "0,0");
        findRow("BIFF5 XOR", "default_password_biff5_xor.xls", 0, "secret text", "0,0");
        // The stream is damaged after its second cell: a search that stops at the first match
        // succeeds, one that must read on reports the damage.
        findRow("before damage", "early_stop.xls", 0, "first cell", "0,0");
        findRow("just before damage", "early_stop.xls", 0, "second cell", "1,0");
        findRow("past damage", "early_stop.xls", 0, "third cell", "fail:truncated");
        // Files saved under "VelvetSweatshop" open without a password in spreadsheet programs:
        // SST with CONTINUEs, and past several 1024-byte blocks, each with a key of its own.
        for (const char* file : {"default_password_xor.xls", "default_password_rc4.xls",
                                 "default_password_cryptoapi.xls"}) {
            auto tag = [&](const char* what) { return QByteArray(file) + ": " + what; };
            findRow(tag("sheets"), file, -1, "", "Cells | Filler 0 | Filler 1 | Filler 2 | Far away");
            findRow(tag("SST"), file, 0, "needle in sst", "9,0");
            findRow(tag("SST across CONTINUE"), file, 0, "the границу ok", "9,1");
            findRow(tag("NUMBER"), file, 0, "3.14159", "3,0");
            findRow(tag("past the first block"), file, 4, "past the first", "0,0");
        }
        // BIFF12 (.xlsb, tests/data/xlsb, made by make_xlsb_fixtures.py).
        const QString xlsb = "../xlsb/cells.xlsb";
        findRow("xlsb: sheets in workbook order", xlsb, -1, "", "Data | Hidden Sheet (hidden) | Chart1 [chart] | Macro1 (hidden) [macro] | Dialog1 [dialog]");
        // xl/workbook.bin cut inside a sheet entry: the whole file fails, with a reason.
        findRow("xlsb: workbook part cut short", "../xlsb/bad_workbook.xlsb", -1, "", "open:truncated");
        findRow("xlsb: shared string (BrtCellIsst)", xlsb, 0, "ALPHA", "0,0");
        findRow("xlsb: RK integer", xlsb, 0, "42", "0,1");
        findRow("xlsb: RK hundredths", xlsb, 0, "12.34", "0,2");
        findRow("xlsb: double (BrtCellReal)", xlsb, 0, "3.14159", "0,3");
        findRow("xlsb: boolean", xlsb, 0, "true", "0,4");
        findRow("xlsb: error", xlsb, 0, "#DIV/0!", "0,5");
        findRow("xlsb: inline string (BrtCellSt)", xlsb, 0, "inline text", "0,6");
        findRow("xlsb: rich string (BrtCellRString)", xlsb, 0, "CAFÉ", "0,7");
        findRow("xlsb: date text of a date-formatted number", xlsb, 0, "1/1/2008 18:00", "1,0");
        findRow("xlsb: not the serial behind the date", xlsb, 0, "39448.75", "none");
        findRow("xlsb: formula text", xlsb, 0, "SUM(B1:D1)", "1,2");
        findRow("xlsb: formula number value", xlsb, 0, "57.48", "1,2");
        findRow("xlsb: formula string value", xlsb, 0, "xinline", "1,3");
        findRow("xlsb: formula boolean value", xlsb, 0, "false", "1,4");
        findRow("xlsb: formula error value", xlsb, 0, "#N/A", "1,5");
        findRow("xlsb: formula with no arguments", xlsb, 0, "=NA()", "1,5");
        findRow("xlsb: shared formula anchor", xlsb, 0, "=B1*2", "2,0");
        findRow("xlsb: shared formula member, moved", xlsb, 0, "=B3*2", "4,0");
        findRow("xlsb: 3-D reference, quoted", xlsb, 0, "'Hidden Sheet'!A1", "5,0");
        findRow("xlsb: defined name", xlsb, 0, "TaxRate", "5,0");
        findRow("xlsb: array formula anchor", xlsb, 0, "SUM(A1:A2*2)", "5,1");
        findRow("xlsb: reference to a range of sheets", xlsb, 0, "'Data:Hidden Sheet'!A1", "5,2");
        findRow("xlsb: short cell record, first in its row", xlsb, 0, "short one", "6,0");
        findRow("xlsb: short RK", xlsb, 0, "77", "6,1");
        findRow("xlsb: short error after a short blank", xlsb, 0, "#NUM!", "6,3");
        findRow("xlsb: short cell after a full one", xlsb, 0, "next to J", "6,10");
        findRow("xlsb: rich shared string", xlsb, 0, "bravo runs", "0,8");
        findRow("xlsb: cell-style formats are not cell formats", xlsb, 0, "2/11/1900", "none");
        findRow("xlsb: absent", xlsb, 0, "zqxjkvbwpf", "none");
        findRow("xlsb: empty keyword", xlsb, 0, "", "none");
        // Records larger than a read, or across reads, arrive whole.
        findRow("xlsb: record larger than a read", xlsb, 0, "haystack end", "7,0");
        findRow("xlsb: record across reads", xlsb, 0, "final needle", "3008,2");
        findRow("xlsb: number across reads", xlsb, 0, "3007", "3007,1");
        findRow("xlsb: 1904 date system", "../xlsb/date1904.xlsb", 0, "1/2/2012 18:00", "1,0");
        findRow("xlsb: not as a 1900 date", "../xlsb/date1904.xlsb", 0, "1/1/2008", "none");
        // Each sheet is searched on its own; charts and dialog sheets have no cells.
        findRow("xlsb: hidden sheet", xlsb, 1, "needle", "0,0");
        findRow("xlsb: not in another sheet", xlsb, 0, "needle in the hidden", "none");
        findRow("xlsb: macro sheet", xlsb, 3, "=ALERT(\"macro hello\")", "0,0");
        findRow("xlsb: chart sheet", xlsb, 2, "*", "none");
        findRow("xlsb: dialog sheet", xlsb, 4, "*", "none");
        findRow("xlsb: no such sheet", xlsb, 5, "a", "fail:no such sheet");
        // Matches before a cut are found, reading stops there; past it the sheet fails instead
        // of answering "not found"; a record claiming 200 MB is refused, not allocated.
        findRow("xlsb: before the cut", "../xlsb/truncated.xlsb", 0, "alpha", "0,0");
        findRow("xlsb: formula before the cut", "../xlsb/truncated.xlsb", 0, "SUM(", "1,2");
        findRow("xlsb: past the cut", "../xlsb/truncated.xlsb", 0, "zqxjkvbwpf", "fail:truncated");
        findRow("xlsb: before a huge record", "../xlsb/truncated.xlsb", 1, "needle", "0,0");
        findRow("xlsb: past a huge record", "../xlsb/truncated.xlsb", 1, "zqxjkvbwpf", "fail:too large");
        findRow("xlsb: other sheets unaffected", "../xlsb/truncated.xlsb", 3, "macro", "0,0");
        // clang-format on
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }

    void refusesWhatItCannotRead_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        auto row = [](const char* tag, const char* name, FailureKind kind, const char* reason) {
            QTest::newRow(tag) << QString(name) << int(kind) << QString(reason);
        };
        row("XOR obfuscation", "xor_obfuscated.xls", FailureKind::Encrypted, "XOR");
        row("RC4", "rc4_encrypted.xls", FailureKind::Encrypted, "RC4");
        row("encrypted OOXML", "encrypted_package.xls", FailureKind::Encrypted, "Open XML");
        row("another document", "not_a_workbook.xls", FailureKind::NotAWorkbook, "workbook");
        row("broken chain", "chain_loop.xls", FailureKind::Corrupt, "loop");
    }
    void refusesWhatItCannotRead() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        auto opened = openWorkbook((kFolder + name).toStdString());
        QVERIFY(!opened.ok());
        QCOMPARE(int(opened.failure().kind), kind);
        QVERIFY2(QString::fromStdString(opened.failure().reason).contains(reason),
                 opened.failure().reason.c_str());
    }

    void hostileClaimsAreNotTrusted() {
        // Counts of four billion strings and XTIs, a 65535-character label in a 10-byte
        // record, a formula longer than its record: none is believed, and the cell after
        // them is still found.
        QElapsedTimer timer;
        timer.start();
        auto reader = openWorkbook((kFolder + "hostile_claims.xls").toStdString());
        QVERIFY(reader);
        auto find = [&](const char* keyword) {
            return describe(reader.value()->findFirst(0, Matcher(keyword)));
        };
        QCOMPARE(find("needle after claims"), QString("65535,255"));
        QCOMPARE(find("short"), QString("0,0"));
        QCOMPARE(find("zqxjkvbwpf"), QString("none"));
        QVERIFY(timer.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestBiffReader)
#include "test_biff_reader.moc"
