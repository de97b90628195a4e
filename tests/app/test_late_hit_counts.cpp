// A row's hits counted the first time its tooltip is asked for: the tooltip says they are being
// counted, then shows them (also while the mouse stays on the row), or shows them at once when
// the run kept them all; a row gone before the count answers gets nothing; closing while
// counting returns at once with no thread left.
#include <QCursor>
#include <QElapsedTimer>

#include "form1_harness.h"

using harness::hover;
using harness::SlowSearch;
using harness::threadsOfThisProcess;
using harness::Tree;
using harness::Window;
using quillmark::search::SearchOptions;
using quillmark::search::SheetMatch;
using quillmark::search::WorkbookSearchResult;

namespace {

const QString kCounting = QStringLiteral("counting the other hits…");

// The counts begun, as "path|keyword".
std::vector<std::string> countsBegun(const SlowSearch& search) {
    std::vector<std::string> begun;
    for (const SlowSearch::Call& call : search.calls(true))
        begun.push_back(call.path + "|" + call.keyword);
    return begun;
}

WorkbookSearchResult salesHits(int count) {
    WorkbookSearchResult result;
    result.sheets = {SheetMatch{"Sales", {}, 0}};
    for (int index = 1; index <= count; ++index)
        result.sheets[0].hits.push_back(
            {"C" + std::to_string(index), "hit " + std::to_string(index)});
    return result;
}

// A window whose run (on two workers) and counts go through `search`, with one row for
// /books/b1.xlsx found for "hit": the run's search answers at once with `found`, by default its
// first hit only.
struct CountingWindow : Window {
    explicit CountingWindow(SlowSearch& search,
                            SheetMatch found = SheetMatch{"Sales", {{"C1", "hit 1"}}, 0, false}) {
        search.delayFor = [](const std::string&) { return std::chrono::milliseconds(0); };
        search.found.sheets = {std::move(found)};
        form.setSearchJobs(2);
        form.setWorkbookSearch(std::ref(search));
        show();
        fill({"/books/b1.xlsx"});
        form.Text2()->setText("hit");
        form.Image2_Click();
    }
    QTreeWidget& view() { return *form.ListView1(); }
};

}  // namespace

Q_DECLARE_METATYPE(WorkbookSearchResult)

class TestLateHitCounts : public QObject {
    Q_OBJECT

  private slots:
    void theTooltipSaysCountingThenShowsTheCount_data();
    void theTooltipSaysCountingThenShowsTheCount();
    void aRowGoneBeforeTheAnswerGetsNothing_data();
    void aRowGoneBeforeTheAnswerGetsNothing();
    void closingWhileCountingReturnsAtOnceWithNoThreadLeft();
};

// The Path cell asks for nothing; the Sheet cell's first request begins the one count, whose
// answer shows at once where the mouse rests on the row, and at the next request elsewhere. A
// row whose hits the run kept all is counted never.
void TestLateHitCounts::theTooltipSaysCountingThenShowsTheCount_data() {
    QTest::addColumn<bool>("allKept");
    QTest::addColumn<WorkbookSearchResult>("counted");
    QTest::addColumn<bool>("mouseOnRow");
    QTest::addColumn<QString>("tooltip");
    const QString three = "Sales!C1  hit 1\nSales!C2  hit 2\nSales!C3  hit 3";
    QTest::newRow("three hits") << false << salesHits(3) << true << three;
    QTest::newRow("three hits, the mouse away") << false << salesHits(3) << false << three;
    WorkbookSearchResult gone;
    gone.failure = quillmark::automation::engineFailure(
        quillmark::Failure{quillmark::FailureKind::Unreadable, "no such file"});
    QTest::newRow("no longer readable: the first hit stays")
        << false << gone << true << "Sales!C1  hit 1\nthe other hits could not be counted";
    QTest::newRow("all kept by the run: shown at once") << true << gone << true << three;
}

void TestLateHitCounts::theTooltipSaysCountingThenShowsTheCount() {
    QFETCH(bool, allKept);
    QFETCH(WorkbookSearchResult, counted);
    QFETCH(bool, mouseOnRow);
    QFETCH(QString, tooltip);
    SlowSearch search;
    search.counted = counted;
    CountingWindow window(search, allKept ? salesHits(3).sheets[0]
                                          : SheetMatch{"Sales", {{"C1", "hit 1"}}, 0, false});
    QCOMPARE(window.results(), QStringList{"/books/b1.xlsx|Sales"});
    QCOMPARE(hover(window.view(), 0, 0), QString());
    QCoreApplication::processEvents();
    QVERIFY(countsBegun(search).empty());

    const QRect cell = window.view().visualRect(window.view().model()->index(0, 1));
    QCursor::setPos(mouseOnRow ? window.view().viewport()->mapToGlobal(cell.center())
                               : window.form.mapToGlobal(QPoint(300, 10)));
    for (int ask = 0; ask < 3; ++ask)
        QCOMPARE(hover(window.view(), 0), allKept ? tooltip : "Sales!C1  hit 1\n" + kCounting);
    QTRY_COMPARE(window.view().topLevelItem(0)->toolTip(1), tooltip);
    QCOMPARE(QToolTip::isVisible() && QToolTip::text() == tooltip, mouseOnRow);
    QCOMPARE(hover(window.view(), 0), tooltip);
    QCOMPARE(countsBegun(search),
             allKept ? std::vector<std::string>() : std::vector<std::string>{"/books/b1.xlsx|hit"});
}

void TestLateHitCounts::aRowGoneBeforeTheAnswerGetsNothing_data() {
    QTest::addColumn<bool>("folderChoice");
    QTest::newRow("a folder choice") << true;
    QTest::newRow("the list cleared") << false;
}

void TestLateHitCounts::aRowGoneBeforeTheAnswerGetsNothing() {
    QFETCH(bool, folderChoice);
    SlowSearch search;
    search.counted = salesHits(2);
    search.countTime = std::chrono::milliseconds(150);
    CountingWindow window(search);
    hover(window.view(), 0);
    QTRY_VERIFY(!countsBegun(search).empty());
    Tree tree;
    if (folderChoice) {
        tree.file("next.xlsx");
        window.chooseFolder(tree.root());
        QCOMPARE(window.results(), QStringList());
    } else {
        window.view().clear();
    }
    // A new row for the same workbook, asked for nothing yet, keeps its own tooltip.
    window.view().addTopLevelItem(quillmark::app::makeResultsRow("/books/b1.xlsx", "Sales"));
    window.view().topLevelItem(0)->setToolTip(1, "Sales!C1  hit 1\n" + kCounting);
    QTRY_VERIFY(search.calls(true).back().finished);
    QTest::qWait(50);  // room for an answer to arrive
    QCOMPARE(window.view().topLevelItem(0)->toolTip(1), "Sales!C1  hit 1\n" + kCounting);
    QCOMPARE(search.calls(true).back().cancelled,
             folderChoice);  // a folder choice cancels the count
}

void TestLateHitCounts::closingWhileCountingReturnsAtOnceWithNoThreadLeft() {
    SlowSearch search;
    search.countTime = std::chrono::seconds(20);
    CountingWindow window(search);
    const int threadsBefore = threadsOfThisProcess();  // the run's workers have ended
    hover(window.view(), 0);
    QTRY_VERIFY(!countsBegun(search).empty());
    QElapsedTimer closing;
    closing.start();
    window.form.Image3_Click();
    qInfo("closed %lld ms after the click, while counting", closing.elapsed());
    QVERIFY(closing.elapsed() < 1000);  // 200 ms asked for; the margin is for loaded machines
    QCOMPARE(window.quitRequests, 1);
    QVERIFY(search.calls(true).back().cancelled);
    hover(window.view(), 0);  // asked after the close: nothing more is counted
    QTest::qWait(20);
    QCOMPARE(countsBegun(search).size(), std::size_t(1));
    QCOMPARE(threadsOfThisProcess(), threadsBefore);
}

QTEST_MAIN(TestLateHitCounts)
#include "test_late_hit_counts.moc"
