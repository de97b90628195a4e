// A row's hits counted the first time its tooltip is asked for: the tooltip says they are being
// counted, then shows them (also while the mouse stays on the row); a row gone before the count
// answers gets nothing; closing while counting returns at once with no thread left; and with
// the real engine the run's rows and the counted tooltips are those of a search for every hit.
#include <QCursor>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/hits_tooltip.h"
#include "form1_harness.h"

using harness::threadsOfThisProcess;
using harness::Tree;
using harness::Window;
using quillmark::search::SearchOptions;
using quillmark::search::SheetMatch;
using quillmark::search::WorkbookSearchResult;

namespace {

const QString kCounting = QStringLiteral("counting the other hits…");

// A workbook search as the window's run and its counts call it: the run (first hits only)
// answers at once with one hit on "Sales"; a count takes `countTime`, cut short by its cancel
// token, and answers `counted`.
class SlowCount {
  public:
    std::chrono::milliseconds countTime{300};
    WorkbookSearchResult counted;

    WorkbookSearchResult operator()(const std::string& path, const std::string& keyword,
                                    const SearchOptions& options) {
        if (options.firstHitOnly) {
            WorkbookSearchResult first;
            first.sheets = {SheetMatch{"Sales", {{"C1", "hit 1"}}, 0, false}};
            return first;
        }
        std::unique_lock lock(mutex_);
        countsBegun_.push_back(path + "|" + keyword);
        countFinished_ = false;
        const auto until = std::chrono::steady_clock::now() + countTime;
        while (std::chrono::steady_clock::now() < until && !options.cancel->cancelled())
            changed_.wait_for(lock, std::chrono::milliseconds(2));
        countCancelled_ = options.cancel->cancelled();
        countFinished_ = true;
        return counted;
    }

    std::vector<std::string> countsBegun() const {
        std::lock_guard lock(mutex_);
        return countsBegun_;
    }
    bool finished() const {
        std::lock_guard lock(mutex_);
        return countFinished_;
    }
    bool cancelled() const {
        std::lock_guard lock(mutex_);
        return countCancelled_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> countsBegun_;
    bool countFinished_ = false;
    bool countCancelled_ = false;
};

WorkbookSearchResult salesHits(int count) {
    WorkbookSearchResult result;
    result.sheets = {SheetMatch{"Sales", {}, 0}};
    for (int index = 1; index <= count; ++index)
        result.sheets[0].hits.push_back(
            {"C" + std::to_string(index), "hit " + std::to_string(index)});
    return result;
}

// Asks for the tooltip of `row`'s `column` as a resting mouse does; answers what it shows.
QString hover(QTreeWidget& view, int row, int column = 1) {
    QToolTip::hideText();
    const QPoint at = view.visualRect(view.model()->index(row, column)).center();
    QHelpEvent event(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// A window whose run (on two workers) and counts go through `search`, with one row for
// /books/b1.xlsx found for "hit".
struct CountingWindow : Window {
    explicit CountingWindow(SlowCount& search) {
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
    void theCountIsAskedForOnceAndShownWhereTheMouseRests();
    void aRowGoneBeforeTheAnswerGetsNothing_data();
    void aRowGoneBeforeTheAnswerGetsNothing();
    void closingWhileCountingReturnsAtOnceWithNoThreadLeft();
    void theRealEngineGivesTheRowsAndTooltipsOfAFullSearch();
};

void TestLateHitCounts::theTooltipSaysCountingThenShowsTheCount_data() {
    QTest::addColumn<WorkbookSearchResult>("counted");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("three hits") << salesHits(3)
                                << "Sales!C1  hit 1\nSales!C2  hit 2\nSales!C3  hit 3";
    WorkbookSearchResult many = salesHits(10);
    many.sheets[0].moreHits = 40;
    QString lines;
    for (int index = 1; index <= 10; ++index) lines += QString("Sales!C%1  hit %1\n").arg(index);
    QTest::newRow("capped, the rest counted") << many << lines + "and 40 more";
    WorkbookSearchResult gone;
    gone.failure = quillmark::automation::engineFailure(
        quillmark::Failure{quillmark::FailureKind::Unreadable, "no such file"});
    QTest::newRow("no longer readable: the first hit stays")
        << gone << "Sales!C1  hit 1\nthe other hits could not be counted";
}

void TestLateHitCounts::theTooltipSaysCountingThenShowsTheCount() {
    QFETCH(WorkbookSearchResult, counted);
    QFETCH(QString, tooltip);
    SlowCount search;
    search.counted = counted;
    CountingWindow window(search);
    QCOMPARE(window.results(), QStringList{"/books/b1.xlsx|Sales"});
    QVERIFY(search.countsBegun().empty());  // nothing counted until someone asks

    QCOMPARE(hover(window.view(), 0), "Sales!C1  hit 1\n" + kCounting);
    QTRY_COMPARE(window.view().topLevelItem(0)->toolTip(1), tooltip);
    QCOMPARE(hover(window.view(), 0), tooltip);
    QCOMPARE(search.countsBegun(), std::vector<std::string>{"/books/b1.xlsx|hit"});
}

void TestLateHitCounts::theCountIsAskedForOnceAndShownWhereTheMouseRests() {
    SlowCount search;
    search.counted = salesHits(2);
    CountingWindow window(search);
    QCOMPARE(hover(window.view(), 0, 0), QString());  // the Path cell asks for nothing
    QCoreApplication::processEvents();
    QVERIFY(search.countsBegun().empty());

    const QRect cell = window.view().visualRect(window.view().model()->index(0, 1));
    QCursor::setPos(window.view().viewport()->mapToGlobal(cell.center()));
    for (int ask = 0; ask < 3; ++ask) hover(window.view(), 0);
    // The answer is shown without another request, the mouse being still on the row.
    QTRY_COMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(),
                 QString("Sales!C1  hit 1\nSales!C2  hit 2"));
    QCOMPARE(search.countsBegun().size(), std::size_t(1));
}

void TestLateHitCounts::aRowGoneBeforeTheAnswerGetsNothing_data() {
    QTest::addColumn<bool>("folderChoice");
    QTest::newRow("a folder choice") << true;
    QTest::newRow("the list cleared") << false;
}

void TestLateHitCounts::aRowGoneBeforeTheAnswerGetsNothing() {
    QFETCH(bool, folderChoice);
    SlowCount search;
    search.counted = salesHits(2);
    search.countTime = std::chrono::milliseconds(150);
    CountingWindow window(search);
    hover(window.view(), 0);
    QTRY_VERIFY(!search.countsBegun().empty());
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
    QTRY_VERIFY(search.finished());
    QTest::qWait(50);  // room for an answer to arrive
    QCOMPARE(window.view().topLevelItem(0)->toolTip(1), "Sales!C1  hit 1\n" + kCounting);
    QCOMPARE(search.cancelled(), folderChoice);  // a folder choice cancels the count
}

void TestLateHitCounts::closingWhileCountingReturnsAtOnceWithNoThreadLeft() {
    SlowCount search;
    search.countTime = std::chrono::seconds(20);
    CountingWindow window(search);
    const int threadsBefore = threadsOfThisProcess();  // the run's workers have ended
    {
        hover(window.view(), 0);
        QTRY_VERIFY(!search.countsBegun().empty());
        QElapsedTimer closing;
        closing.start();
        window.form.Image3_Click();
        qInfo("closed %lld ms after the click, while counting", closing.elapsed());
        QVERIFY(closing.elapsed() < 1000);  // 200 ms asked for; the margin is for loaded machines
        QCOMPARE(window.quitRequests, 1);
        QVERIFY(search.cancelled());
        hover(window.view(), 0);  // asked after the close: nothing more is counted
        QTest::qWait(20);
        QCOMPARE(search.countsBegun().size(), std::size_t(1));
    }
    QCOMPARE(threadsOfThisProcess(), threadsBefore);
}

void TestLateHitCounts::theRealEngineGivesTheRowsAndTooltipsOfAFullSearch() {
    Tree tree;
    const std::string data = QUILLMARK_TEST_DATA "/every_format/";
    const std::string many = tree.file("many.txt");
    {
        std::ofstream out(many, std::ios::binary);
        for (int row = 0; row < 300; ++row) out << "item " << row << "\tsales " << row << "\n";
    }
    const std::vector<std::string> paths = {data + "book.xlsx", data + "book.xls", many,
                                            data + "book.ods", data + "book.xlsb"};
    QStringList rows;
    QStringList tooltips;  // as a run that lists every hit at once gave them
    SearchOptions everyHit;
    everyHit.collectHits = true;
    for (const std::string& path : paths) {
        const std::string sheets = quillmark::search::FindinExcel(path, "sales");
        if (sheets.empty()) continue;
        rows << QString::fromStdString(path + "|" + sheets);
        tooltips << quillmark::app::hitsToolTip(
            quillmark::search::searchWorkbook(path, "sales", everyHit));
    }
    QVERIFY(rows.size() >= 2);

    Window window;
    harness::useRealEngine(window, paths, "sales");
    window.form.Image2_Click();
    QCOMPARE(window.results(), rows);
    QTreeWidget& view = *window.form.ListView1();
    for (int row = 0; row < view.topLevelItemCount(); ++row) {
        const QString first = hover(view, row);
        QVERIFY(first.endsWith(kCounting));  // the run read each matching sheet to its first hit
        QCOMPARE(first.section('\n', 0, 0), tooltips[row].section('\n', 0, 0));
        QTRY_COMPARE(view.topLevelItem(row)->toolTip(1), tooltips[row]);
    }
}

QTEST_MAIN(TestLateHitCounts)
#include "test_late_hit_counts.moc"
