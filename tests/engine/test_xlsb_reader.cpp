// The .xlsb reader on hand-made workbooks (tests/data/xlsb, made by make_xlsb_fixtures.py):
// the sheet list, every cell record, formulas with shared and array groups, dates, shared
// strings, and damaged record streams.
#include <QTest>

#include "engine/workbook.h"
#include "reader_test_support.h"

using namespace quillmark::engine;
using namespace quillmark::engine::testing;

namespace {

const QString kFolder = QStringLiteral(QUILLMARK_TEST_DATA "/xlsb/");

}  // namespace

class TestXlsbReader : public QObject {
    Q_OBJECT

  private slots:
    void finds_data() {
        findColumns();
        const QString book = "cells.xlsb";
        findRow("sheets in workbook order", book, -1, "",
                "Data | Hidden Sheet (hidden) | Chart1 [chart] | Macro1 (hidden) [macro] | "
                "Dialog1 [dialog]");
        // xl/workbook.bin cut inside a sheet entry: the whole file fails, with a reason.
        findRow("workbook part cut short", "bad_workbook.xlsb", -1, "", "open:truncated");
        findRow("shared string (BrtCellIsst)", book, 0, "ALPHA", "0,0");
        findRow("RK integer", book, 0, "42", "0,1");
        findRow("RK hundredths", book, 0, "12.34", "0,2");
        findRow("double (BrtCellReal)", book, 0, "3.14159", "0,3");
        findRow("boolean", book, 0, "true", "0,4");
        findRow("error", book, 0, "#DIV/0!", "0,5");
        findRow("inline string (BrtCellSt)", book, 0, "inline text", "0,6");
        findRow("rich string (BrtCellRString)", book, 0, "CAFÉ", "0,7");
        findRow("date text of a date-formatted number", book, 0, "1/1/2008 18:00", "1,0");
        findRow("not the serial behind the date", book, 0, "39448.75", "none");
        findRow("formula text", book, 0, "SUM(B1:D1)", "1,2");
        findRow("formula number value", book, 0, "57.48", "1,2");
        findRow("formula string value", book, 0, "xinline", "1,3");
        findRow("formula boolean value", book, 0, "false", "1,4");
        findRow("formula error value", book, 0, "#N/A", "1,5");
        findRow("formula with no arguments", book, 0, "=NA()", "1,5");
        findRow("shared formula anchor", book, 0, "=B1*2", "2,0");
        findRow("shared formula member, moved", book, 0, "=B3*2", "4,0");
        findRow("3-D reference, quoted", book, 0, "'Hidden Sheet'!A1", "5,0");
        findRow("defined name", book, 0, "TaxRate", "5,0");
        findRow("array formula anchor", book, 0, "SUM(A1:A2*2)", "5,1");
        findRow("reference to a range of sheets", book, 0, "'Data:Hidden Sheet'!A1", "5,2");
        findRow("short cell record, first in its row", book, 0, "short one", "6,0");
        findRow("short RK", book, 0, "77", "6,1");
        findRow("short error after a short blank", book, 0, "#NUM!", "6,3");
        findRow("short cell after a full one", book, 0, "next to J", "6,10");
        findRow("rich shared string", book, 0, "bravo runs", "0,8");
        findRow("cell-style formats are not cell formats", book, 0, "2/11/1900", "none");
        findRow("absent", book, 0, "zqxjkvbwpf", "none");
        findRow("empty keyword", book, 0, "", "none");
        // Records larger than a read, or across reads, arrive whole.
        findRow("record larger than a read", book, 0, "haystack end", "7,0");
        findRow("record across reads", book, 0, "final needle", "3008,2");
        findRow("number across reads", book, 0, "3007", "3007,1");
        findRow("1904 date system", "date1904.xlsb", 0, "1/2/2012 18:00", "1,0");
        findRow("not as a 1900 date", "date1904.xlsb", 0, "1/1/2008", "none");
        // Each sheet is searched on its own; charts and dialog sheets have no cells.
        findRow("hidden sheet", book, 1, "needle", "0,0");
        findRow("not in another sheet", book, 0, "needle in the hidden", "none");
        findRow("macro sheet", book, 3, "=ALERT(\"macro hello\")", "0,0");
        findRow("chart sheet", book, 2, "*", "none");
        findRow("dialog sheet", book, 4, "*", "none");
        findRow("no such sheet", book, 5, "a", "fail:no such sheet");
        // Matches before a cut are found, reading stops there; past it the sheet fails instead
        // of answering "not found"; a record claiming 200 MB is refused, not allocated.
        findRow("before the cut", "truncated.xlsb", 0, "alpha", "0,0");
        findRow("formula before the cut", "truncated.xlsb", 0, "SUM(", "1,2");
        findRow("past the cut", "truncated.xlsb", 0, "zqxjkvbwpf", "fail:truncated");
        findRow("before a huge record", "truncated.xlsb", 1, "needle", "0,0");
        findRow("past a huge record", "truncated.xlsb", 1, "zqxjkvbwpf", "fail:too large");
        findRow("other sheets unaffected", "truncated.xlsb", 3, "macro", "0,0");
    }
    void finds() { QUILLMARK_FIND_TEST(kFolder); }
};

QTEST_GUILESS_MAIN(TestXlsbReader)
#include "test_xlsb_reader.moc"
