// The search run: its prompts and their order, the Search/Stop swap, rows as answers come,
// results kept across runs, Stop between workbooks, the keyword read afresh, failing
// workbooks, a folder choice or a second Search click inside a run's event pass, the
// progress mark, lists past 16-bit sizes, and opening a result.
#include <QElapsedTimer>
#include <QScreen>

#include "form1_harness.h"

using harness::inNextEventPass;
using harness::Tree;
using harness::Window;
using Paths = std::vector<std::string>;

class TestSearchRun : public QObject {
    Q_OBJECT

  private slots:
    void promptsBeforeARun_data();
    void promptsBeforeARun();
    void aRunHidesAnEarlierPrompt();
    void aMatchingWorkbookAddsOneRowWithItsSheets();
    void rowsReachTheScreenDuringARunAndAfterIt();
    void duringARunStopShowsAndTheWorkbookIsMarked();
    void twoRunsKeepEachOthersRows();
    void stopDuringWorkbookKEndsAfterIt();
    void keywordEditedMidRunReachesTheNextWorkbooks();
    void aFailingWorkbookIsSkipped();
    void folderChoiceMidRunEndsAtTheShorterList();
    void folderChoiceMidRunGoesOnByPosition();
    void searchClickInTheStopPassStartsNoNestedRun();
    void filesAndRowsPastSixteenBits();
    void doubleClickOpensTheSelectedRow();
    void doubleClickWithoutRowsOrSelectionDoesNothing();
};

static std::string matchAll(int, const std::string&, const std::string&) {
    return "Sheet1";
}

// No keyword comes before no files; either prompt starts no run.
void TestSearchRun::promptsBeforeARun_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("no keyword, no files") << "" << 0 << "Please enter keyword";
    QTest::newRow("no keyword") << "" << 2 << "Please enter keyword";
    QTest::newRow("no files") << "total" << 0 << "Please scan the folder first";
}

void TestSearchRun::promptsBeforeARun() {
    QFETCH(QString, keyword);
    QFETCH(int, files);
    QFETCH(QString, prompt);
    Window window;
    window.show();
    window.fill(files);
    window.form.Text2()->setText(keyword);
    window.form.Image2_Click();
    QVERIFY(window.form.scantip()->isVisible());
    QCOMPARE(window.form.scantip()->text(), prompt);
    QVERIFY(window.calls.empty());
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
}

void TestSearchRun::aRunHidesAnEarlierPrompt() {
    Window window;
    window.show();
    window.form.Image2_Click();  // "Please enter keyword"
    window.fill(1);
    window.form.Text2()->setText("total");
    bool promptShownDuringRun = true;
    window.answer = [&](int, const std::string&, const std::string&) {
        promptShownDuringRun = window.form.scantip()->isVisible();
        return std::string();
    };
    window.form.Image2_Click();
    QVERIFY(!promptShownDuringRun);
    QVERIFY(!window.form.scantip()->isVisible());
}

void TestSearchRun::aMatchingWorkbookAddsOneRowWithItsSheets() {
    Window window;
    window.show();
    const Paths paths = window.fill(1);
    window.form.Text2()->setText(" total ");
    window.answer = [](int, const std::string&, const std::string&) { return "Sales,Notes"; };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{1});
    QCOMPARE(window.calls[0].keyword, std::string(" total "));  // passed on untrimmed
    QCOMPARE(window.results(), QStringList{"/books/book1.xlsx|Sales,Notes"});
    QCOMPARE(quillmark::app::pathBytesOf(*window.form.ListView1()->topLevelItem(0)), paths[0]);
}

// What the window system was last given to show of the results' rows (below the header).
static QImage resultRowsOnScreen(Window& window) {
    QWidget* rows = window.form.ListView1()->viewport();
    const QRect area(rows->mapTo(&window.form, QPoint(0, 0)), rows->size());
    return window.form.screen()->grabWindow(window.form.winId()).toImage().copy(area);
}

// Whether the image holds text: some pixel far darker than the light background.
static bool showsText(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 96) return true;
    return false;
}

// Rows are painted a few times a second rather than after every workbook; they still show
// while the run goes on, and the results list paints as usual once it ends.
void TestSearchRun::rowsReachTheScreenDuringARunAndAfterIt() {
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form));
    window.fill(30);
    window.form.Text2()->setText("total");
    bool shownMidRun = false;
    window.answer = [&](int call, const std::string&, const std::string&) {
        QTest::qSleep(5);  // 20 workbooks take longer than the painting interval
        if (call == 25) shownMidRun = showsText(resultRowsOnScreen(window));
        return std::string("Sheet1");
    };
    QVERIFY(!showsText(resultRowsOnScreen(window)));
    window.form.Image2_Click();
    QVERIFY(shownMidRun);
    QCOMPARE(window.results().size(), 30);
    QVERIFY(window.form.ListView1()->updatesEnabled());
}

void TestSearchRun::duringARunStopShowsAndTheWorkbookIsMarked() {
    Window window;
    window.show();
    window.fill(3);
    window.form.Text2()->setText("total");
    struct Seen {
        bool searchShown, stopShown, running;
        int markedRow;
        bool markedSelected;
        int rowsSoFar;
    };
    std::vector<Seen> seen;
    window.answer = [&](int call, const std::string&, const std::string&) {
        auto* list = window.form.List1();
        seen.push_back({window.form.Image2()->isVisible(), window.form.Image4()->isVisible(),
                        window.form.Running(), list->currentRow(),
                        list->currentItem() && list->currentItem()->isSelected(),
                        window.form.ListView1()->topLevelItemCount()});
        return call == 2 ? std::string() : std::string("Sheet1");
    };
    window.form.Image2_Click();
    QCOMPARE(seen.size(), std::size_t{3});
    for (int index = 0; index < 3; ++index) {
        QVERIFY(!seen[index].searchShown && seen[index].stopShown && seen[index].running);
        QCOMPARE(seen[index].markedRow, index);
        QVERIFY(seen[index].markedSelected);
    }
    // Rows arrive as the answers come, not at the end.
    QCOMPARE(seen[1].rowsSoFar, 1);
    QCOMPARE(seen[2].rowsSoFar, 1);
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
    QVERIFY(window.form.List1()->selectedItems().isEmpty());
    QCOMPARE(window.form.List1()->currentRow(), -1);
}

void TestSearchRun::twoRunsKeepEachOthersRows() {
    Window window;
    window.show();
    window.fill(3);
    window.answer = [](int, const std::string& path, const std::string& keyword) {
        if (keyword == "alpha" && path != "/books/book3.xlsx") return std::string("A");
        if (keyword == "beta" && path == "/books/book2.xlsx") return std::string("B");
        return std::string();
    };
    window.form.Text2()->setText("alpha");
    window.form.Image2_Click();
    window.form.Text2()->setText("beta");
    window.form.Image2_Click();
    const QStringList expected = {"/books/book1.xlsx|A", "/books/book2.xlsx|A",
                                  "/books/book2.xlsx|B"};
    QCOMPARE(window.results(), expected);
}

void TestSearchRun::stopDuringWorkbookKEndsAfterIt() {
    Window window;
    window.show();
    window.fill(5);
    window.form.Text2()->setText("total");
    bool searchShownAtOnce = false;
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 3) {
            inNextEventPass(&window.form, [&] {
                window.form.Image4_Click();
                searchShownAtOnce =
                    window.form.Image2()->isVisible() && !window.form.Image4()->isVisible();
            });
        }
        return std::string("Sheet1");
    };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{3});  // 4 and 5 never searched
    QCOMPARE(window.results().size(), 3);           // the row of workbook 3 is kept
    QCOMPARE(window.results().last(), QString("/books/book3.xlsx|Sheet1"));
    QVERIFY(searchShownAtOnce);
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
    QVERIFY(!window.form.Running());
    QVERIFY(window.form.ListView1()->updatesEnabled());  // a stopped run paints as usual
}

void TestSearchRun::keywordEditedMidRunReachesTheNextWorkbooks() {
    Window window;
    window.show();
    window.fill(4);
    window.form.Text2()->setText("old");
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 2) inNextEventPass(&window.form, [&] { window.form.Text2()->setText("new"); });
        return std::string();
    };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{4});
    QCOMPARE(window.calls[1].keyword, std::string("old"));
    QCOMPARE(window.calls[2].keyword, std::string("new"));
    QCOMPARE(window.calls[3].keyword, std::string("new"));
}

void TestSearchRun::aFailingWorkbookIsSkipped() {
    Window window;
    window.show();
    window.fill(3);
    window.form.Text2()->setText("total");
    // A workbook that cannot be searched answers nothing, like one without the keyword.
    window.answer = [](int call, const std::string&, const std::string&) {
        return call == 2 ? std::string() : std::string("Sheet1");
    };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{3});
    const QStringList expected = {"/books/book1.xlsx|Sheet1", "/books/book3.xlsx|Sheet1"};
    QCOMPARE(window.results(), expected);
}

void TestSearchRun::folderChoiceMidRunEndsAtTheShorterList() {
    Window window;
    window.show();
    window.fill(5);
    Tree smaller;
    const std::string only = smaller.file("only.xlsx");
    window.form.Text2()->setText("total");
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 2) inNextEventPass(&window.form, [&] { window.chooseFolder(smaller.root()); });
        return std::string("Sheet1");
    };
    window.form.Image2_Click();
    // Position 2 lies past the refilled list of one: the run ends there.
    QCOMPARE(window.calls.size(), std::size_t{2});
    QCOMPARE(window.fileList(), Paths{only});
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), 0);  // emptied by the folder choice
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
}

void TestSearchRun::folderChoiceMidRunGoesOnByPosition() {
    Window window;
    window.show();
    window.fill(5);
    Tree other;
    const Paths refilled = {other.file("n1.xls"), other.file("n2.xls"), other.file("n3.xls"),
                            other.file("n4.xls")};
    window.form.Text2()->setText("total");
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 2) inNextEventPass(&window.form, [&] { window.chooseFolder(other.root()); });
        return std::string();
    };
    window.form.Image2_Click();
    Paths searched;
    for (const auto& call : window.calls) searched.push_back(call.path);
    const Paths expected = {"/books/book1.xlsx", "/books/book2.xlsx", refilled[2], refilled[3]};
    QCOMPARE(searched, expected);
}

void TestSearchRun::searchClickInTheStopPassStartsNoNestedRun() {
    Window window;
    window.show();
    window.fill(4);
    window.form.Text2()->setText("total");
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 1) {
            inNextEventPass(&window.form, [&] {
                window.form.Image4_Click();
                window.form.Image2_Click();  // Search is visible again within the same pass
            });
        }
        return std::string();
    };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{1});  // the first run ended as asked
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());

    window.answer = nullptr;
    window.form.Image2_Click();  // and Search is ready again
    QCOMPARE(window.calls.size(), std::size_t{5});
}

void TestSearchRun::filesAndRowsPastSixteenBits() {
    constexpr int kCount = 100000;
    Window window;
    window.form.Form_Load();  // never shown: nothing to paint, the counting is what matters
    const Paths paths = window.fill(kCount);
    window.form.Text2()->setText("total");
    window.answer = matchAll;
    QElapsedTimer timer;
    timer.start();
    window.form.Image2_Click();
    qInfo("%d workbooks searched, %d rows added in %lld ms", kCount,
          window.form.ListView1()->topLevelItemCount(), timer.elapsed());
    QCOMPARE(window.calls.size(), std::size_t{kCount});
    QCOMPARE(window.calls.back().path, paths.back());
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), kCount);
    auto* last = window.form.ListView1()->topLevelItem(kCount - 1);
    QCOMPARE(quillmark::app::pathBytesOf(*last), paths.back());
    window.form.ListView1()->setCurrentItem(last);
    window.form.ListView1_DblClick();
    QCOMPARE(window.shell.files, Paths{paths.back()});
}

void TestSearchRun::doubleClickOpensTheSelectedRow() {
    Window window;
    window.show();
    const Paths paths = window.fill(3);
    window.form.Text2()->setText("total");
    window.answer = matchAll;
    window.form.Image2_Click();
    auto* view = window.form.ListView1();
    const QPoint second = view->visualItemRect(view->topLevelItem(1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(window.shell.files, Paths{paths[1]});
    QVERIFY(window.shell.urls.empty());
}

void TestSearchRun::doubleClickWithoutRowsOrSelectionDoesNothing() {
    Window window;
    window.show();
    auto* view = window.form.ListView1();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    window.form.ListView1_DblClick();
    QVERIFY(window.shell.files.empty());

    window.fill(2);
    window.form.Text2()->setText("total");
    window.answer = matchAll;
    window.form.Image2_Click();
    view->clearSelection();
    view->setCurrentItem(nullptr);
    window.form.ListView1_DblClick();
    QVERIFY(window.shell.files.empty());
}

QTEST_MAIN(TestSearchRun)
#include "test_search_run.moc"
