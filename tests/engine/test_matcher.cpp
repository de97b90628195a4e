// The keyword matcher: part-of-cell matching, Unicode case folding, wildcards and escapes.
#include <QtTest>

#include "engine/cell/number_text.h"
#include "engine/core/matcher.h"

using quillmark::engine::Matcher;

class TestMatcher : public QObject {
    Q_OBJECT

  private slots:
    void matches_data() {
        // Bytes as the readers hand them on, so that text that is no UTF-8 stays so.
        QTest::addColumn<QByteArray>("keyword");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("expected");
        // clang-format off
        QTest::newRow("part of a cell") << QByteArray("tot") << QByteArray("Grand total") << true;
        QTest::newRow("ascii case") << QByteArray("TOTAL") << QByteArray("grand Total:") << true;
        QTest::newRow("absent") << QByteArray("total") << QByteArray("tota l") << false;
        QTest::newRow("cyrillic upper vs lower") << QByteArray("МОСКВА") << QByteArray("г. москва") << true;
        QTest::newRow("accented upper vs lower") << QByteArray("CAFÉ") << QByteArray("Le café") << true;
        QTest::newRow("accent is not ignored") << QByteArray("CAFE") << QByteArray("café") << false;
        QTest::newRow("greek final sigma folds") << QByteArray("ΟΔΟΣ") << QByteArray("οδος") << true;
        QTest::newRow("cjk") << QByteArray("日本") << QByteArray("日本語") << true;
        QTest::newRow("kelvin sign folds to k") << QByteArray("k") << QByteArray("5 \u212A") << true;
        QTest::newRow("question mark is one character") << QByteArray("h?llo") << QByteArray("say hallo") << true;
        QTest::newRow("question mark needs a character") << QByteArray("hello?") << QByteArray("hello") << false;
        QTest::newRow("question mark on non-ascii") << QByteArray("caf?") << QByteArray("CAFÉ") << true;
        QTest::newRow("star spans") << QByteArray("wor*ld") << QByteArray("words of the world") << true;
        QTest::newRow("star in order") << QByteArray("b*a") << QByteArray("a then b") << false;
        QTest::newRow("star alone matches any text") << QByteArray("*") << QByteArray("x") << true;
        QTest::newRow("star alone and empty cell") << QByteArray("*") << QByteArray("") << false;
        QTest::newRow("escaped star is literal") << QByteArray("~*") << QByteArray("5*3") << true;
        QTest::newRow("escaped star needs a star") << QByteArray("~*") << QByteArray("53") << false;
        QTest::newRow("escaped question mark") << QByteArray("why~?") << QByteArray("why?") << true;
        QTest::newRow("escaped question mark literal only") << QByteArray("why~?") << QByteArray("whys") << false;
        QTest::newRow("escaped tilde") << QByteArray("a~~b") << QByteArray("a~b") << true;
        QTest::newRow("number text") << QByteArray("3.14") << QByteArray("3.14159") << true;
        QTest::newRow("formula text") << QByteArray("sum(") << QByteArray("=SUM(A1:A2)") << true;
        QTest::newRow("empty keyword matches nothing") << QByteArray("") << QByteArray("anything") << false;
        QTest::newRow("stars alone still read cells") << QByteArray("**") << QByteArray("x") << true;
        QTest::newRow("invalid utf-8 is one character") << QByteArray("a?b") << QByteArray("a\xff" "b") << true;
        QTest::newRow("invalid utf-8 in text") << QByteArray("ok") << QByteArray("\xff\xfe ok") << true;
        // clang-format on
    }

    // Readers skip a sheet at once when the keyword can match nothing: only the empty one.
    void matches() {
        QFETCH(QByteArray, keyword);
        QFETCH(QByteArray, text);
        QFETCH(bool, expected);
        Matcher matcher(keyword.toStdString());
        QCOMPARE(matcher.matches(text.toStdString()), expected);
        QCOMPARE(matcher.matchesNothing(), keyword.isEmpty());
    }

    void numberText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("integer") << 2008.0 << "2008";
        QTest::newRow("short decimal") << 3.14 << "3.14";
        QTest::newRow("binary fraction") << 0.1 + 0.2 << "0.3";
        QTest::newRow("negative") << -0.5 << "-0.5";
        QTest::newRow("fifteen digits") << 1.0 / 3.0 << "0.333333333333333";
        QTest::newRow("large") << 1e20 << "1E+20";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("round hundred") << 100.0 << "100";
        QTest::newRow("round thousands") << 1200.0 << "1200";
        QTest::newRow("million") << 1e6 << "1000000";
        QTest::newRow("small") << 0.00012 << "0.00012";
        QTest::newRow("tiny") << 1.5e-7 << "1.5E-07";
        QTest::newRow("fifteen digit integer") << 123456789012345.0 << "123456789012345";
        QTest::newRow("sixteen digits round") << 1234567890123456.0 << "1.23456789012346E+15";
        QTest::newRow("negative large") << -2.5e20 << "-2.5E+20";
        // clang-format on
    }

    void numberText() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(quillmark::engine::numberText(value)), expected);
    }
};

QTEST_GUILESS_MAIN(TestMatcher)
#include "test_matcher.moc"
