// The keyword matcher: part-of-cell matching, Unicode case folding, wildcards and escapes.
#include <QtTest>

#include "engine/cell/number_text.h"
#include "engine/core/matcher.h"

using quillmark::engine::Matcher;

class TestMatcher : public QObject {
    Q_OBJECT

  private slots:
    void matches_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        // clang-format off
        QTest::newRow("part of a cell") << "tot" << "Grand total" << true;
        QTest::newRow("ascii case") << "TOTAL" << "grand Total:" << true;
        QTest::newRow("absent") << "total" << "tota l" << false;
        QTest::newRow("cyrillic upper vs lower") << "МОСКВА" << "г. москва" << true;
        QTest::newRow("accented upper vs lower") << "CAFÉ" << "Le café" << true;
        QTest::newRow("accent is not ignored") << "CAFE" << "café" << false;
        QTest::newRow("greek final sigma folds") << "ΟΔΟΣ" << "οδος" << true;
        QTest::newRow("cjk") << "日本" << "日本語" << true;
        QTest::newRow("kelvin sign folds to k") << "k" << "5 \u212A" << true;
        QTest::newRow("question mark is one character") << "h?llo" << "say hallo" << true;
        QTest::newRow("question mark needs a character") << "hello?" << "hello" << false;
        QTest::newRow("question mark on non-ascii") << "caf?" << "CAFÉ" << true;
        QTest::newRow("star spans") << "wor*ld" << "words of the world" << true;
        QTest::newRow("star in order") << "b*a" << "a then b" << false;
        QTest::newRow("star alone matches any text") << "*" << "x" << true;
        QTest::newRow("star alone and empty cell") << "*" << "" << false;
        QTest::newRow("escaped star is literal") << "~*" << "5*3" << true;
        QTest::newRow("escaped star needs a star") << "~*" << "53" << false;
        QTest::newRow("escaped question mark") << "why~?" << "why?" << true;
        QTest::newRow("escaped question mark literal only") << "why~?" << "whys" << false;
        QTest::newRow("escaped tilde") << "a~~b" << "a~b" << true;
        QTest::newRow("number text") << "3.14" << "3.14159" << true;
        QTest::newRow("formula text") << "sum(" << "=SUM(A1:A2)" << true;
        QTest::newRow("invalid utf-8 in text") << "ok" << "\xff\xfe ok" << true;
        // clang-format on
    }

    void matches() {
        QFETCH(QString, keyword);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        Matcher matcher(keyword.toStdString());
        QCOMPARE(matcher.matches(text.toStdString()), expected);
    }

    void emptyKeywordMatchesNothing() {
        Matcher matcher("");
        QVERIFY(matcher.matchesNothing());
        QVERIFY(!matcher.matches("anything"));
    }

    void starAloneStillReadsCells() {
        // Readers skip a sheet at once when the keyword can match nothing; "*" can match.
        QVERIFY(!Matcher("*").matchesNothing());
        QVERIFY(!Matcher("**").matchesNothing());
    }

    void invalidUtf8CountsAsReplacementCharacter() {
        Matcher matcher("a?b");
        QVERIFY(
            matcher.matches("a\xff"
                            "b"));
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
