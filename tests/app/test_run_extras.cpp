// What a run shows beyond its rows: the hits tooltip text of a row's Sheet cell, and the dialog
// listing the workbooks that could not be searched since the last folder choice.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include "app/hits_tooltip.h"
#include "app/not_searched_dialog.h"
#include "form1_harness.h"

using harness::Tree;
using harness::Window;
using quillmark::FailureKind;
using quillmark::search::WorkbookSearchResult;

namespace {

// A result matching `sheet` with `count` hits C1, C2, ... whose texts are "text N", plus
// `more` hits counted but not kept.
quillmark::search::SheetMatch sheetWithHits(const std::string& sheet, int count,
                                            std::uint64_t more = 0) {
    quillmark::search::SheetMatch match{sheet, {}, more};
    for (int index = 1; index <= count; ++index)
        match.hits.push_back({"C" + std::to_string(index), "text " + std::to_string(index)});
    return match;
}

WorkbookSearchResult failed(FailureKind kind, const std::string& reason) {
    WorkbookSearchResult result;
    result.failure = quillmark::automation::engineFailure(quillmark::Failure{kind, reason});
    return result;
}

}  // namespace

Q_DECLARE_METATYPE(quillmark::search::WorkbookSearchResult)

class TestRunExtras : public QObject {
    Q_OBJECT

  private slots:
    void theTooltipListsTheFirstHits_data();
    void theTooltipListsTheFirstHits();
    void theDialogListsWhatCouldNotBeSearchedSinceTheFolderChoice();
};

void TestRunExtras::theTooltipListsTheFirstHits_data() {
    QTest::addColumn<WorkbookSearchResult>("result");
    QTest::addColumn<QString>("tooltip");
    WorkbookSearchResult two;
    two.sheets = {sheetWithHits("Sales", 1), sheetWithHits("Notes", 1)};
    QTest::newRow("one per line, sheet by sheet") << two << "Sales!C1  text 1\nNotes!C1  text 1";
    WorkbookSearchResult many;
    many.sheets = {sheetWithHits("S", 8), sheetWithHits("T", 4, 90)};
    QString lines;
    for (int index = 1; index <= 8; ++index) lines += QString("S!C%1  text %1\n").arg(index);
    lines += "T!C1  text 1\nT!C2  text 2\nand 92 more";
    QTest::newRow("ten lines, the rest counted") << many << lines;
    WorkbookSearchResult counted;
    counted.sheets = {sheetWithHits("S", 1, 5)};
    QTest::newRow("texts not kept are counted") << counted << "S!C1  text 1\nand 5 more";
    WorkbookSearchResult longText;
    longText.sheets = {{"S", {{"A1", "first line\nsecond\tline " + std::string(80, 'x')}}, 0}};
    QTest::newRow("one short line")
        << longText << "S!A1  first line second line " + QString(36, 'x') + QChar(0x2026);
    WorkbookSearchResult noHits;
    noHits.sheets = {{"S", {}, 0}};
    QTest::newRow("no hits kept: no tooltip") << noHits << QString();
}

void TestRunExtras::theTooltipListsTheFirstHits() {
    QFETCH(WorkbookSearchResult, result);
    QFETCH(QString, tooltip);
    QCOMPARE(quillmark::app::hitsToolTip(result), tooltip);
}

void TestRunExtras::theDialogListsWhatCouldNotBeSearchedSinceTheFolderChoice() {
    Window window;
    window.ready(3, "total");
    int call = 0;
    window.form.setWorkbookSearch(
        [&call](const std::string&, const std::string&, const quillmark::search::SearchOptions&) {
            ++call;
            if (call == 1) return failed(FailureKind::Encrypted, "encrypted with a password");
            if (call == 3) return failed(FailureKind::Truncated, "the file ends inside a record");
            if (call == 5) return failed(FailureKind::TooLarge, "larger than 1 GiB");
            return harness::sheetsResult("Sheet1");
        });
    window.form.Image2_Click();
    window.form.Image2_Click();  // two runs add up, as their rows do
    QCOMPARE(window.results(), (QStringList{"/books/book2.xlsx|Sheet1", "/books/book1.xlsx|Sheet1",
                                            "/books/book3.xlsx|Sheet1"}));
    quillmark::app::NotSearchedDialog dialog(window.form.notSearched());
    QCOMPARE(dialog.list()->topLevelItemCount(), 3);
    QCOMPARE(dialog.list()->topLevelItem(1)->text(0), QString("/books/book3.xlsx"));
    QCOMPARE(dialog.list()->topLevelItem(1)->text(1),
             QString("truncated: the file ends inside a record"));
    const QString listed =
        "/books/book1.xlsx\tencrypted with a password\n"
        "/books/book3.xlsx\ttruncated: the file ends inside a record\n"
        "/books/book2.xlsx\tlarger than 1 GiB\n";
    QCOMPARE(dialog.listText(), listed);
    QVERIFY(dialog.copyButton()->isEnabled());
    dialog.copyButton()->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), listed);

    Tree empty;
    empty.file("only.xls");
    window.chooseFolder(empty.root());
    QVERIFY(window.form.notSearched().empty());
    quillmark::app::NotSearchedDialog emptied(window.form.notSearched());
    QVERIFY(emptied.findChild<QLabel*>("summary")->text().startsWith("Every workbook"));
    QVERIFY(!emptied.copyButton()->isEnabled());
}

QTEST_MAIN(TestRunExtras)
#include "test_run_extras.moc"
