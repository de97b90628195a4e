// Array formulas: stored once in the first cell of a range and shown by every cell of it, in
// each format that stores them that way (tests/data/edge, made by make_edges.py).
#include <QtTest>
#include <string>

#include "engine/cell/a1_reference.h"
#include "engine/core/matcher.h"
#include "engine/workbook.h"

using namespace quillmark::engine;

namespace {

// Every hit of the first sheet as "C3 text", in row-major order.
class HitLines final : public HitSink {
  public:
    bool take(const CellHit& hit) override {
        std::string line;
        appendColumnLetters(hit.cell.column, line);
        line += std::to_string(hit.cell.row + 1) + " " + std::string(hit.text);
        lines << QString::fromStdString(line);
        return true;
    }
    QStringList lines;
};

}  // namespace

class TestArrayFormulas : public QObject {
    Q_OBJECT

  private slots:
    void everyCellOfTheRangeShowsTheFormula_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("hits");
        const QStringList sum{"C1 =SUM(A1:A3*B1:B3)", "C2 =SUM(A1:A3*B1:B3)",
                              "C3 =SUM(A1:A3*B1:B3)"};
        const QStringList transpose{"E1 =TRANSPOSE(A1:B2)", "F1 =TRANSPOSE(A1:B2)",
                                    "E2 =TRANSPOSE(A1:B2)", "F2 =TRANSPOSE(A1:B2)"};
        const QStringList values{"C1 20", "C2 20", "C3 20", "C4 20"};
        for (const char* file : {"array-formulas.xlsx", "array-formulas.fods"}) {
            QTest::addRow("%s: column range", file) << file << "sum" << sum;
            QTest::addRow("%s: two by two, not below it", file) << file << "transpose" << transpose;
            QTest::addRow("%s: values still first", file) << file << "20" << values;
        }
    }

    void everyCellOfTheRangeShowsTheFormula() {
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        QFETCH(QStringList, hits);
        auto opened =
            openWorkbook(std::string(QUILLMARK_TEST_DATA) + "/edge/" + file.toStdString());
        QVERIFY2(opened.ok(), opened ? "" : opened.failure().reason.c_str());
        HitLines found;
        QVERIFY(opened.value()->findCells(0, Matcher(keyword.toStdString()), found).ok());
        QCOMPARE(found.lines, hits);
    }
};

QTEST_GUILESS_MAIN(TestArrayFormulas)
#include "test_array_formulas.moc"
