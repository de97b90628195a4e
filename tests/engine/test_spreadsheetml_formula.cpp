// SpreadsheetML 2003 formulas from their stored R1C1 form to the A1 form the formula bar shows,
// relative to the cell that holds them.
#include <QtTest>

#include "engine/spreadsheetml/r1c1_formula.h"

using namespace quillmark::engine;

class TestSpreadsheetMlFormula : public QObject {
    Q_OBJECT

  private slots:
    void toA1_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("expected");
        // C4 is row 3, column 2.
        QTest::newRow("relative column") << "=RC[-1]*2" << 3 << 2 << "=B4*2";
        QTest::newRow("own cell") << "=RC+1" << 3 << 2 << "=C4+1";
        QTest::newRow("relative both, explicit plus") << "=R[+1]C[1]" << 3 << 2 << "=D5";
        QTest::newRow("absolute") << "=R1C1+R2C[1]+R[-1]C3" << 3 << 2 << "=$A$1+D$2+$C3";
        QTest::newRow("range") << "=SUM(R[-5]C:R[-3]C)" << 6 << 1 << "=SUM(B2:B4)";
        QTest::newRow("whole rows")
            << "=SUM(R)+SUM(R2)+SUM(R[-1]:R[1])" << 3 << 2 << "=SUM(4:4)+SUM($2:$2)+SUM(3:5)";
        QTest::newRow("whole columns") << "=VLOOKUP(RC1,Sheet2!C1:C2,2,FALSE)+SUM(C)" << 3 << 2
                                       << "=VLOOKUP($A4,Sheet2!$A:$B,2,FALSE)+SUM(C:C)";
        QTest::newRow("sheet-qualified, quoted sheet")
            << "=Sheet1!RC+'R1C1 sheet'!R[1]C" << 0 << 0 << "=Sheet1!A1+'R1C1 sheet'!A2";
        QTest::newRow("string literals untouched")
            << "=IF(RC=\"RC[1]\",\"say \"\"R1C1\"\"\",RC)" << 0 << 0
            << "=IF(A1=\"RC[1]\",\"say \"\"R1C1\"\"\",A1)";
        QTest::newRow("functions and names starting with R or C")
            << "=ROUND(RC4,2)+COUNT(CR)+RC2C+R1C1X+RATE.X(1)" << 0 << 0
            << "=ROUND($D1,2)+COUNT(CR)+RC2C+R1C1X+RATE.X(1)";
        QTest::newRow("numbers and errors")
            << "=1.5E+3+R0C1+#REF!" << 0 << 0 << "=1.5E+3+R0C1+#REF!";
        QTest::newRow("wraps past the grid edge") << "=R[-1]C[-1]" << 0 << 0 << "=XFD1048576";
        QTest::newRow("unclosed bracket") << "=R[1" << 0 << 0 << "=R[1";
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

QTEST_GUILESS_MAIN(TestSpreadsheetMlFormula)
#include "test_spreadsheetml_formula.moc"
