// The search run on worker threads: rows come in file-list order whatever order the searches
// end in; Stop leaves exactly the rows up to the awaited workbook; a keyword edited mid-run
// reaches the searches started after it; a folder choice mid-run; and with the real engine the
// rows and counted tooltips of a search for every hit, then clicks, paints and the close
// answered inside a large workbook's search.
#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
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

}  // namespace

class TestSearchThreads : public QObject {
    Q_OBJECT

  private slots:
    void rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne_data();
    void rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne();
    void aKeywordEditReachesTheSearchesStartedAfterIt();
    void theRealEngineGivesRowsAndTooltipsThenAnswersPaintsAndCloses();
};

// Delays per workbook in milliseconds, and what is done once workbook 2 is awaited: Stop when
// the ones after it have ended, or a folder choice of four new workbooks.
void TestSearchThreads::rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne_data() {
    QTest::addColumn<QList<int>>("delays");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("rows");  // short names; "all" for every workbook
    // clang-format off
    QTest::newRow("later ones end first") << QList<int>{120, 90, 60, 30, 10, 5} << "" << "all";
    QTest::newRow("one slow in the middle") << QList<int>{5, 5, 150, 5, 5, 5} << "" << "all";
    QTest::newRow("even") << QList<int>{20, 20, 20, 20, 20, 20} << "" << "all";
    QTest::newRow("Stop keeps the rows up to the awaited one") << QList<int>{10, 300, 10, 10, 10, 10, 10, 10} << "stop" << "book1 book2";
    QTest::newRow("a folder choice: on by position in the new list") << QList<int>{30, 150, 30, 30, 30} << "folder" << "n3 n4";
    // clang-format on
}

void TestSearchThreads::rowsComeInListOrderAndTheMarkIsOnTheAwaitedOne() {
    QFETCH(QList<int>, delays);
    QFETCH(QString, action);
    QFETCH(QString, rows);
    SlowSearch search;
    ThreadedWindow window(search);
    window.show();
    const Paths paths = window.fill(static_cast<int>(delays.size()));
    std::map<std::string, int> delayOf;
    for (std::size_t index = 0; index < paths.size(); ++index)
        delayOf[paths[index]] = delays[static_cast<int>(index)];
    search.delayFor = [delayOf](const std::string& path) {
        return std::chrono::milliseconds(delayOf.count(path) ? delayOf.at(path) : 30);
    };
    Tree other;
    Paths refilled;
    for (const char* name : {"n1.xls", "n2.xls", "n3.xls", "n4.xls"})
        refilled.push_back(other.file(name));
    window.form.Text2()->setText("total");
    // Every workbook matches: while workbook k is awaited, exactly k rows are shown (and k + 1
    // in the one event pass after its answer, before the mark moves on).
    bool markFollowsRows = true, acted = false, stopShownAtOnce = false;
    int samples = 0;
    Every sample([&] {
        const int marked = window.form.List1()->currentRow();
        if (marked < 0 || acted) return;
        const int shown = window.form.ListView1()->topLevelItemCount();
        if (shown == marked) ++samples;
        if (shown != marked && shown != marked + 1) markFollowsRows = false;
        if (marked != 1 || action.isEmpty()) return;
        if (action == "folder") {
            acted = true;
            window.chooseFolder(other.root());
        } else if (search.calls().size() > 4) {  // workbooks after the awaited one are done
            acted = true;
            window.form.Image4_Click();
            stopShownAtOnce = window.searchShown() && !window.form.Running();
        }
    });
    window.form.Image2_Click();
    QStringList expected = rows.split(' ');
    if (rows == "all")
        for (expected.clear(); const std::string& path : paths)
            expected << harness::shortName(QString::fromStdString(path));
    for (QString& row : expected) row += "|Sheet1";
    QCOMPARE(window.results(true), expected);
    QVERIFY(samples > 0);
    QVERIFY(markFollowsRows);
    // None still under way, and nothing arrives later either.
    for (const auto& call : search.calls()) QVERIFY(call.finished);
    QTest::qWait(50);
    QCOMPARE(window.results().size(), expected.size());
    QVERIFY(window.searchShown());
    if (action == "stop") QVERIFY(stopShownAtOnce);
    if (action == "folder") {
        QCOMPARE(window.fileList(), refilled);
        for (const auto& call : search.calls())
            QVERIFY(call.path != paths[4]);  // not gone on in the old list
    }
    if (action.isEmpty()) QCOMPARE(search.calls().size(), paths.size());
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

void TestSearchThreads::theRealEngineGivesRowsAndTooltipsThenAnswersPaintsAndCloses() {
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
    window.form.setSearchJobs(2);
    std::atomic<int> cutShort = 0;  // searches that returned with their cancel token set
    window.form.setWorkbookSearch(
        [&](const std::string& path, const std::string& keyword, const SearchOptions& options) {
            auto result = quillmark::search::searchWorkbook(path, keyword, options);
            if (options.cancel && options.cancel->cancelled()) ++cutShort;
            return result;
        });
    window.show();
    window.fill(paths);
    window.form.Text2()->setText("sales");
    const int threadsBefore = threadsOfThisProcess();
    window.form.Image2_Click();
    QCOMPARE(window.results(), rows);
    QCOMPARE(cutShort.load(), 0);
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

    // Inside the first large workbook's search the list repaints, the link opens and the close
    // cuts the searches under way short.
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } painted;
    window.form.List1()->viewport()->installEventFilter(&painted);
    QElapsedTimer closedAt;
    QStringList rowsAtClose;
    int paintsMidRun = 0;
    bool linkOpenedMidRun = false;
    QTimer::singleShot(1, &window.form, [&] {
        const int before = painted.paints;
        window.form.List1()->viewport()->update();
        QTest::mouseClick(window.form.tamberly(), Qt::LeftButton);
        QTest::qWait(3);
        paintsMidRun = painted.paints - before;
        linkOpenedMidRun = !window.shell.urls.empty();
        rowsAtClose = window.results();
        closedAt.start();
        QTest::mouseClick(window.form.Image3(), Qt::LeftButton);
    });
    window.form.Image2_Click();
    qInfo("real engine: the run returned %lld ms after the close", closedAt.elapsed());
    QCOMPARE(window.quitRequests, 1);
    QVERIFY(!window.form.isVisible());
    QVERIFY(paintsMidRun > 0);
    QVERIFY(linkOpenedMidRun);
    QVERIFY(cutShort > 0);
    QVERIFY(rowsAtClose.size() < 2 * rows.size());
    QCOMPARE(window.results(), rowsAtClose);          // nothing added after the close
    QCOMPARE(threadsOfThisProcess(), threadsBefore);  // the run's workers are gone
}

QTEST_MAIN(TestSearchThreads)
#include "test_search_threads.moc"
