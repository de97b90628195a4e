// The search run on worker threads: the window answers clicks, paints and closes while slow
// workbooks are searched; rows come in file-list order whatever order the searches end in;
// Stop leaves exactly the rows up to the awaited workbook; a keyword edited mid-run reaches the
// searches started after it; a folder choice mid-run; and with the real engine the rows and
// counted tooltips of a search for every hit, and the close in a large workbook's search.
#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>
#include <fstream>
#include <map>

#include "app/hits_tooltip.h"
#include "form1_harness.h"

using harness::SlowSearch;
using harness::threadsOfThisProcess;
using harness::Tree;
using harness::Window;
using quillmark::search::SearchOptions;
using quillmark::search::WorkbookSearchResult;
using Paths = std::vector<std::string>;

namespace {

// A window whose run uses two workers and `search`.
struct ThreadedWindow : Window {
    explicit ThreadedWindow(SlowSearch& search) {
        form.setSearchJobs(2);
        form.setWorkbookSearch(std::ref(search));
    }
};

// Calls `check` on the window's thread every few milliseconds while the run goes on.
struct Every {
    explicit Every(std::function<void()> check) {
        QObject::connect(&timer, &QTimer::timeout, std::move(check));
        timer.start(3);
    }
    QTimer timer;
};

QStringList rowsFor(const Paths& paths) {
    QStringList rows;
    for (const std::string& path : paths) rows << QString::fromStdString(path) + "|Sheet1";
    return rows;
}

}  // namespace

class TestSearchThreads : public QObject {
    Q_OBJECT

  private slots:
    void theWindowAnswersPaintsAndClosesWhileItSearches();
    void rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne_data();
    void rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne();
    void stopLeavesExactlyTheRowsUpToTheAwaitedWorkbook();
    void aKeywordEditReachesTheSearchesStartedAfterIt();
    void aFolderChoiceMidRunGoesOnByPositionInTheNewList();
    void theRealEngineGivesTheRowsAndTooltipsOfAFullSearchAndCloses();
};

void TestSearchThreads::theWindowAnswersPaintsAndClosesWhileItSearches() {
    SlowSearch search;
    QElapsedTimer closedAt;
    int threadsBefore = 0;
    {
        ThreadedWindow window(search);
        window.show();
        window.fill(4);
        window.form.Text2()->setText("total");
        struct PaintCount : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint) ++paints;
                return false;
            }
        } painted;
        window.form.List1()->viewport()->installEventFilter(&painted);
        int paintsMidRun = 0;
        bool linkOpenedMidRun = false;
        QTimer::singleShot(100, &window.form, [&] {  // inside the first, 300 ms, search
            const int before = painted.paints;
            window.form.List1()->viewport()->update();
            QTest::mouseClick(window.form.tamberly(), Qt::LeftButton);
            QTest::qWait(20);
            paintsMidRun = painted.paints - before;
            linkOpenedMidRun = !window.shell.urls.empty();
            closedAt.start();
            QTest::mouseClick(window.form.Image3(), Qt::LeftButton);
        });
        threadsBefore = threadsOfThisProcess();
        window.form.Image2_Click();
        QCOMPARE(threadsOfThisProcess(), threadsBefore);  // the run's workers are gone
        qInfo("the run returned %lld ms after the close click", closedAt.elapsed());
        // Both 300 ms searches under way were cut short, not waited out.
        for (const auto& call : search.calls()) QVERIFY(call.cancelled && call.finished);
        QVERIFY(paintsMidRun > 0);
        QVERIFY(linkOpenedMidRun);
        QCOMPARE(window.quitRequests, 1);
        QVERIFY(!window.form.isVisible());
        QCOMPARE(window.form.ListView1()->topLevelItemCount(), 0);  // nothing more was added
    }
    QCOMPARE(search.active(), 0);
}

void TestSearchThreads::rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne_data() {
    QTest::addColumn<QList<int>>("delays");  // milliseconds, per workbook
    QTest::newRow("later ones end first") << QList<int>{120, 90, 60, 30, 10, 5};
    QTest::newRow("one slow in the middle") << QList<int>{5, 5, 150, 5, 5, 5};
    QTest::newRow("even") << QList<int>{20, 20, 20, 20, 20, 20};
}

void TestSearchThreads::rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne() {
    QFETCH(QList<int>, delays);
    SlowSearch search;
    ThreadedWindow window(search);
    window.show();
    const Paths paths = window.fill(static_cast<int>(delays.size()));
    std::map<std::string, int> delayOf;
    for (std::size_t index = 0; index < paths.size(); ++index)
        delayOf[paths[index]] = delays[static_cast<int>(index)];
    search.delayFor = [delayOf](const std::string& path) {
        return std::chrono::milliseconds(delayOf.at(path));
    };
    window.form.Text2()->setText("total");
    // Every workbook matches: while workbook k is awaited, exactly k rows are shown (and k + 1
    // in the one event pass after its answer, before the mark moves on).
    bool markFollowsRows = true;
    int samples = 0;
    Every sample([&] {
        const int marked = window.form.List1()->currentRow();
        if (marked < 0) return;
        const int rows = window.form.ListView1()->topLevelItemCount();
        if (rows == marked) ++samples;
        if (rows != marked && rows != marked + 1) markFollowsRows = false;
    });
    window.form.Image2_Click();
    QCOMPARE(window.results(), rowsFor(paths));
    QVERIFY(samples > 0);
    QVERIFY(markFollowsRows);
    QCOMPARE(search.calls().size(), paths.size());
}

void TestSearchThreads::stopLeavesExactlyTheRowsUpToTheAwaitedWorkbook() {
    SlowSearch search;
    ThreadedWindow window(search);
    window.show();
    const Paths paths = window.fill(8);
    // Workbook 2 is slow; the ones after it end long before it.
    search.delayFor = [&](const std::string& path) {
        return std::chrono::milliseconds(path == paths[1] ? 300 : 10);
    };
    window.form.Text2()->setText("total");
    bool stopShownAtOnce = false;
    Every stopWhenLaterOnesEnded([&] {
        if (window.form.List1()->currentRow() != 1 || !window.form.Running()) return;
        if (!search.started(paths[4])) return;  // workbooks after the awaited one are done
        window.form.Image4_Click();
        stopShownAtOnce = window.form.Image2()->isVisible() && !window.form.Image4()->isVisible();
    });
    window.form.Image2_Click();
    QCOMPARE(window.results(), rowsFor({paths[0], paths[1]}));
    QVERIFY(stopShownAtOnce);
    QVERIFY(!window.form.Running());
    QCOMPARE(search.active(), 0);
    QTest::qWait(50);  // nothing arrives later either
    QCOMPARE(window.results().size(), 2);
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
}

void TestSearchThreads::aKeywordEditReachesTheSearchesStartedAfterIt() {
    SlowSearch search;
    search.delayFor = [](const std::string&) { return std::chrono::milliseconds(40); };
    ThreadedWindow window(search);
    window.show();
    const Paths paths = window.fill(6);
    window.form.Text2()->setText("old");
    std::size_t startedBeforeEdit = 0;
    Every edit([&] {
        if (window.form.List1()->currentRow() != 2 || window.form.Text2()->text() == "new") return;
        startedBeforeEdit = search.calls().size();
        window.form.Text2()->setText("new");
    });
    window.form.Image2_Click();
    const auto calls = search.calls();
    QCOMPARE(calls.size(), paths.size());
    // Two workers, awaiting the third workbook: three or four had begun, and a worker that was
    // just beginning one may still have taken the old keyword; every later one has the new.
    QVERIFY(startedBeforeEdit >= 3 && startedBeforeEdit <= 4);
    for (std::size_t index = 0; index < calls.size(); ++index) {
        QCOMPARE(calls[index].path, paths[index]);  // begun in list order
        if (index < startedBeforeEdit) QCOMPARE(calls[index].keyword, std::string("old"));
        if (index >= startedBeforeEdit + 2) QCOMPARE(calls[index].keyword, std::string("new"));
        if (index > 0 && calls[index - 1].keyword == "new")
            QCOMPARE(calls[index].keyword, std::string("new"));
    }
}

void TestSearchThreads::aFolderChoiceMidRunGoesOnByPositionInTheNewList() {
    SlowSearch search;
    ThreadedWindow window(search);
    window.show();
    const Paths old = window.fill(5);
    search.delayFor = [&](const std::string& path) {
        return std::chrono::milliseconds(path == old[1] ? 150 : 30);
    };
    Tree other;
    const Paths refilled = {other.file("n1.xls"), other.file("n2.xls"), other.file("n3.xls"),
                            other.file("n4.xls")};
    window.form.Text2()->setText("total");
    bool chosen = false;
    Every choose([&] {
        if (chosen || window.form.List1()->currentRow() != 1) return;
        chosen = true;
        window.chooseFolder(other.root());
    });
    window.form.Image2_Click();
    // The awaited workbook (position 1) counts as searched; the run goes on at position 2.
    QCOMPARE(window.results(), rowsFor({refilled[2], refilled[3]}));
    QCOMPARE(window.fileList(), refilled);
    for (const auto& call : search.calls()) {
        const bool fromOld = std::find(old.begin(), old.end(), call.path) != old.end();
        if (fromOld) QVERIFY(call.path != old[4]);
    }
    QCOMPARE(search.active(), 0);
}

// A plain-text workbook of `rows` rows under an .xls name, with `keyword` in its last row.
static std::string writeLargeWorkbook(Tree& tree, const std::string& name, int rows,
                                      const std::string& keyword) {
    const std::string path = tree.file(name);
    std::ofstream out(path, std::ios::binary);
    for (int row = 0; row < rows; ++row)
        out << "item " << row << "\tcount\t" << row * 7 << "\tnote for row " << row << "\n";
    out << "last\t" << keyword << "\n";
    return path;
}

void TestSearchThreads::theRealEngineGivesTheRowsAndTooltipsOfAFullSearchAndCloses() {
    Tree tree;
    const std::string data = QUILLMARK_TEST_DATA "/every_format/";
    const std::string big = writeLargeWorkbook(tree, "big.xls", 400000, "sales");
    const std::string many = tree.file("many.txt");
    {
        std::ofstream out(many, std::ios::binary);
        for (int row = 0; row < 300; ++row) out << "item " << row << "\tsales " << row << "\n";
    }
    const Paths paths = {data + "book.xlsx", big, data + "book.xls", many, data + "book.ods",
                         data + "book.xlsb", big};
    QStringList rows;
    QStringList tooltips;  // as a search for every hit on the window's own thread gives them
    SearchOptions everyHit;
    everyHit.collectHits = true;
    for (const std::string& path : paths) {
        const std::string sheets = quillmark::search::FindinExcel(path, "sales");
        if (sheets.empty()) continue;
        rows << QString::fromStdString(path + "|" + sheets);
        tooltips << (path == big ? QString()  // not counted below: slow
                                 : quillmark::app::hitsToolTip(
                                       quillmark::search::searchWorkbook(path, "sales", everyHit)));
    }
    QVERIFY(rows.size() >= 4);

    Window window;
    harness::useRealEngine(window, paths, "sales");
    const int threadsBefore = threadsOfThisProcess();
    window.form.Image2_Click();
    QCOMPARE(window.results(), rows);
    QTreeWidget& view = *window.form.ListView1();
    // The mouse rests on the first row: another row's count answers without showing there.
    QCursor::setPos(
        view.viewport()->mapToGlobal(view.visualRect(view.model()->index(0, 1)).center()));
    for (int row = 0; row < view.topLevelItemCount(); ++row) {
        if (tooltips[row].isEmpty()) continue;
        const QString first = harness::hover(view, row);
        // The run read each matching sheet to its first hit; the rest is counted on asking.
        QVERIFY(first.endsWith(QString("counting the other hits…")));
        QCOMPARE(first.section('\n', 0, 0), tooltips[row].section('\n', 0, 0));
        QTRY_COMPARE(view.topLevelItem(row)->toolTip(1), tooltips[row]);
        QCOMPARE(QToolTip::text() == tooltips[row], row == 0);
    }

    QElapsedTimer closedAt;
    QStringList rowsAtClose;
    QTimer::singleShot(30, &window.form, [&] {  // inside the first large workbook's search
        rowsAtClose = window.results();
        closedAt.start();
        window.form.Image3_Click();
    });
    window.form.Image2_Click();
    qInfo("real engine: the run returned %lld ms after the close", closedAt.elapsed());
    QCOMPARE(window.quitRequests, 1);
    QVERIFY(rowsAtClose.size() < 2 * rows.size());
    QCOMPARE(window.results(), rowsAtClose);  // nothing added after the close
    QCOMPARE(threadsOfThisProcess(), threadsBefore);
}

QTEST_MAIN(TestSearchThreads)
#include "test_search_threads.moc"
