// The small text helpers behind the XML readers: shared-formula shifting, serial dates,
// date format codes, OpenFormula and R1C1 conversion, relationship targets and the number
// prefilter.
#include <QtTest>
#include <cmath>

#include "engine/cell/number_format.h"
#include "engine/cell/serial_date.h"
#include "engine/core/keyword_alphabet.h"
#include "engine/ods/ods_formula.h"
#include "engine/spreadsheetml/r1c1_formula.h"
#include "engine/xlsx/opc_relationships.h"
#include "engine/xlsx/shared_formula.h"

using namespace quillmark::engine;

class TestCellTextHelpers : public QObject {
    Q_OBJECT

  private slots:
    void sharedFormulaShift_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("relative") << "A1+B2" << 1 << 1 << "B2+C3";
        QTest::newRow("absolute parts stay") << "$A$1+A$1+$A1" << 2 << 3 << "$A$1+D$1+$A3";
        QTest::newRow("whole columns") << "SUM(A:B)" << 5 << 1 << "SUM(B:C)";
        QTest::newRow("whole rows") << "SUM(1:$2)" << 2 << 0 << "SUM(3:$2)";
        QTest::newRow("string literal untouched") << "\"A1\"&A1" << 1 << 0 << "\"A1\"&A2";
        QTest::newRow("quoted sheet name untouched") << "'My A1'!A1+Sheet1!B1" << 1 << 0 << "'My A1'!A2+Sheet1!B2";
        QTest::newRow("function that looks like a cell") << "LOG10(A1)" << 1 << 0 << "LOG10(A2)";
        QTest::newRow("exponent is no reference") << "1.5E+10*A1+2E3" << 1 << 0 << "1.5E+10*A2+2E3";
        QTest::newRow("structured reference untouched") << "Table1[Col A1]+A1" << 1 << 0 << "Table1[Col A1]+A2";
        QTest::newRow("moved off the top") << "A1" << -1 << 0 << "#REF!";
        QTest::newRow("moved past the last column") << "XFD1" << 0 << 1 << "#REF!";
        QTest::newRow("names stay") << "TRUE+Total_2008+A1" << 0 << 0 << "TRUE+Total_2008+A1";
        QTest::newRow("unterminated string") << "\"A1" << 1 << 0 << "\"A1";
        // clang-format on
    }

    void sharedFormulaShift() {
        QFETCH(QString, formula);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, expected);
        std::string out;
        appendShiftedFormula(formula.toStdString(), rows, columns, out);
        QCOMPARE(QString::fromStdString(out), expected);
    }

    void serialDates_data() {
        QTest::addColumn<double>("serial");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first day") << 1.0 << false << "1/1/1900";
        QTest::newRow("the 1900 leap day") << 60.0 << false << "2/29/1900";
        QTest::newRow("after the leap day") << 61.0 << false << "3/1/1900";
        QTest::newRow("2008") << 39448.0 << false << "1/1/2008";
        QTest::newRow("with a time") << 39448.75 << false << "1/1/2008 18:00";
        QTest::newRow("with seconds") << 39448.0 + 61.0 / 86400 << false << "1/1/2008 0:01:01";
        QTest::newRow("time of day only") << 0.5 << false << "12:00";
        QTest::newRow("rounds to the next day") << 39448.9999999 << false << "1/2/2008";
        QTest::newRow("1904 epoch") << 0.0 << true << "1/1/1904";
        QTest::newRow("1904 system") << 37986.0 << true << "1/1/2008";
        QTest::newRow("negative") << -1.0 << false << "";
        QTest::newRow("past 9999") << 3e6 << false << "";
        QTest::newRow("zero in the 1900 system") << 0.0 << false << "";
        QTest::newRow("not a number") << std::nan("") << false << "";
    }

    void serialDates() {
        QFETCH(double, serial);
        QFETCH(bool, date1904);
        QFETCH(QString, expected);
        std::string out;
        const DateEpoch epoch = date1904 ? DateEpoch::Excel1904 : DateEpoch::Excel1900;
        appendSerialDateText(serial, epoch, out);
        QCOMPARE(QString::fromStdString(out), expected);
        // Readers search a date-styled number as its number exactly when it has no date text.
        QCOMPARE(serialHasDateText(serial, epoch), !expected.isEmpty());
    }

    // One table for the .xlsx, .xlsb and .xls readers, which all judge formats here.
    void dateFormatCodes_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("isDate");
        QTest::newRow("ISO date") << "yyyy-mm-dd" << true;
        QTest::newRow("date and time") << "m/d/yy h:mm" << true;
        QTest::newRow("upper case") << "DD.MM.YYYY" << true;
        QTest::newRow("minutes and seconds") << "mm:ss.0" << true;
        QTest::newRow("elapsed hours") << "[h]:mm:ss" << true;
        QTest::newRow("elapsed minutes alone") << "[MM]" << true;
        QTest::newRow("after a locale") << "[$-409]mmm yy" << true;
        QTest::newRow("after a colour") << "[Blue]d-mmm" << true;
        QTest::newRow("escaped separator") << "d\\-m" << true;
        QTest::newRow("General") << "General" << false;
        QTest::newRow("text") << "@" << false;
        QTest::newRow("scientific") << "0.0E+00" << false;
        QTest::newRow("quoted letters") << "0.00\" days\"" << false;
        QTest::newRow("colour") << "[Red]#,##0" << false;
        QTest::newRow("locale without a date") << "[$-409]#,##0.00" << false;
        QTest::newRow("condition") << "[>=100]0;0" << false;
        QTest::newRow("escaped letter") << "\\d0" << false;
        QTest::newRow("spacing and fill characters") << "#,##0_);(#,##0)*s" << false;
        QTest::newRow("unterminated quote") << "0\"yyyy" << false;
        QTest::newRow("unterminated bracket") << "0[h" << false;
    }

    void dateFormatCodes() {
        QFETCH(QString, code);
        QFETCH(bool, isDate);
        QCOMPARE(isDateFormatCode(code.toStdString()), isDate);
    }

    void builtinDateFormats() {
        for (int id : {14, 22, 27, 36, 45, 47, 50, 58})
            QVERIFY2(isBuiltinDateFormat(id), QByteArray::number(id).constData());
        for (int id : {-1, 0, 13, 23, 26, 37, 44, 48, 49, 59, 164})
            QVERIFY2(!isBuiltinDateFormat(id), QByteArray::number(id).constData());
    }

    void openFormula_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("range") << "of:=SUM([.A1:.B2])" << "=SUM(A1:B2)";
        QTest::newRow("other sheet") << "of:=[$Sheet2.A1]*2" << "=Sheet2!A1*2";
        QTest::newRow("range on another sheet") << "of:=SUM([Data.A1:Data.B3])" << "=SUM(Data!A1:B3)";
        QTest::newRow("quoted sheet with a dot") << "of:=['My.Sheet'.$B$2]" << "='My.Sheet'!$B$2";
        QTest::newRow("separators, not in strings") << "of:=IF([.A1]=\"a;b\";1;2)"
                                                    << "=IF(A1=\"a;b\",1,2)";
        QTest::newRow("older prefix") << "oooc:=[.A1]+1" << "=A1+1";
        QTest::newRow("no prefix, no equals") << "[.C3]" << "=C3";
        // clang-format on
    }

    void openFormula() {
        QFETCH(QString, formula);
        QFETCH(QString, expected);
        std::string out;
        appendOdsFormulaAsDisplayed(formula.toStdString(), out);
        QCOMPARE(QString::fromStdString(out), expected);
    }

    void relationshipTargets() {
        QCOMPARE(resolvePartName("xl/", "worksheets/sheet1.xml"),
                 std::string("xl/worksheets/sheet1.xml"));
        QCOMPARE(resolvePartName("xl/", "/xl/styles.xml"), std::string("xl/styles.xml"));
        QCOMPARE(resolvePartName("xl/", "../xl/./a/../b.xml"), std::string("xl/b.xml"));
        QCOMPARE(resolvePartName("xl/", "../../../x.xml"), std::string("x.xml"));
        QCOMPARE(resolvePartName("xl/", "sheet%201.xml"), std::string("xl/sheet 1.xml"));
        QCOMPARE(relationshipsPartFor("xl/workbook.xml"),
                 std::string("xl/_rels/workbook.xml.rels"));
        QCOMPARE(relationshipsPartFor("main.xml"), std::string("_rels/main.xml.rels"));
    }

    void numberPrefilter() {
        for (const char* keyword : {"3.14", "1E5", "*", "?", "2008", "-1", "~1"})
            QVERIFY2(keywordCanMatchTextOf(keyword, kNumberAlphabet), keyword);
        for (const char* keyword : {"zqxjkvbwpf", "a?", "~*", "МОСКВА", "3,14", "1/1"})
            QVERIFY2(!keywordCanMatchTextOf(keyword, kNumberAlphabet), keyword);
        QVERIFY(keywordCanMatchTextOf("1/1/2008 12:00", kDateAlphabet));
    }

    // SpreadsheetML 2003 formulas from their stored R1C1 form to the A1 form the formula bar
    // shows, relative to the cell that holds them.
    void toA1_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("expected");
        // clang-format off
        // C4 is row 3, column 2.
        QTest::newRow("relative column") << "=RC[-1]*2" << 3 << 2 << "=B4*2";
        QTest::newRow("own cell") << "=RC+1" << 3 << 2 << "=C4+1";
        QTest::newRow("relative both, explicit plus") << "=R[+1]C[1]" << 3 << 2 << "=D5";
        QTest::newRow("absolute") << "=R1C1+R2C[1]+R[-1]C3" << 3 << 2 << "=$A$1+D$2+$C3";
        QTest::newRow("range") << "=SUM(R[-5]C:R[-3]C)" << 6 << 1 << "=SUM(B2:B4)";
        QTest::newRow("whole rows") << "=SUM(R)+SUM(R2)+SUM(R[-1]:R[1])" << 3 << 2 << "=SUM(4:4)+SUM($2:$2)+SUM(3:5)";
        QTest::newRow("whole columns") << "=VLOOKUP(RC1,Sheet2!C1:C2,2,FALSE)+SUM(C)" << 3 << 2 << "=VLOOKUP($A4,Sheet2!$A:$B,2,FALSE)+SUM(C:C)";
        QTest::newRow("sheet-qualified, quoted sheet") << "=Sheet1!RC+'R1C1 sheet'!R[1]C" << 0 << 0 << "=Sheet1!A1+'R1C1 sheet'!A2";
        QTest::newRow("string literals untouched") << "=IF(RC=\"RC[1]\",\"say \"\"R1C1\"\"\",RC)" << 0 << 0 << "=IF(A1=\"RC[1]\",\"say \"\"R1C1\"\"\",A1)";
        QTest::newRow("functions and names starting with R or C") << "=ROUND(RC4,2)+COUNT(CR)+RC2C+R1C1X+RATE.X(1)" << 0 << 0 << "=ROUND($D1,2)+COUNT(CR)+RC2C+R1C1X+RATE.X(1)";
        QTest::newRow("numbers and errors") << "=1.5E+3+R0C1+#REF!" << 0 << 0 << "=1.5E+3+R0C1+#REF!";
        QTest::newRow("wraps past the grid edge") << "=R[-1]C[-1]" << 0 << 0 << "=XFD1048576";
        QTest::newRow("unclosed bracket") << "=R[1" << 0 << 0 << "=R[1";
        // clang-format on
    }

    void toA1() {
        QFETCH(QString, formula);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, expected);
        std::string out;
        appendR1C1FormulaAsA1(formula.toStdString(), static_cast<std::uint32_t>(row),
                              static_cast<std::uint32_t>(column), out);
        QCOMPARE(QString::fromStdString(out), expected);
    }
};

QTEST_GUILESS_MAIN(TestCellTextHelpers)
#include "test_cell_text_helpers.moc"
