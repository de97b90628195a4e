// The search run: at every workbook Stop in Search's place, the entry marked and
// the rows so far shown; rows kept across runs; Stop, a keyword edit, a folder choice, a second
// Search click or the close inside a run's event pass; lists past 16-bit sizes; opening a result.
#include <QElapsedTimer>
#include <QMap>

#include "form1_harness.h"

using harness::inNextEventPass;
using harness::shortName;
using harness::Tree;
using harness::Window;
using Paths = std::vector<std::string>;

class TestSearchRun : public QObject {
    Q_OBJECT

  private slots:
    void scriptedRuns_data();
    void scriptedRuns();
    void rowsReachTheScreenDuringARunAndAfterIt();
    void filesAndRowsPastSixteenBits();
    void doubleClickOpensTheSelectedRowOnly();
};

static std::string matchAll(int, const std::string&, const std::string&) {
    return "Sheet1";
}

// A run over /books/book1.xlsx ... with the sheets each call answers (";" between calls, none
// past the list) and what is done in the event pass after call k ("k:action", ";" between
// them; a key goes to the keyword box). Searched workbooks are listed by short name, with
// "/keyword" where the typed one was not used.
void TestSearchRun::scriptedRuns_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QString>("actions");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<QString>("rows");
    // clang-format off
    QTest::newRow("a match lists its sheets; the keyword goes untrimmed") << 1 << " total " << "Sales,Notes" << "" << "book1" << "book1|Sales,Notes";
    QTest::newRow("rows as the answers come, none without a match") << 3 << "total" << "S;;S" << "" << "book1 book2 book3" << "book1|S book3|S";
    QTest::newRow("Stop during workbook 3 keeps its row") << 5 << "total" << "S;S;S;S;S" << "3:stop" << "book1 book2 book3" << "book1|S book2|S book3|S";
    QTest::newRow("a keyword edit reaches the next workbooks") << 4 << "old" << "" << "2:keyword new" << "book1 book2 book3/new book4/new" << "";
    QTest::newRow("a folder choice: the run ends at the shorter list") << 5 << "total" << "S;S;S;S;S" << "2:folder 1" << "book1 book2" << "";
    QTest::newRow("a folder choice: the run goes on by position") << 5 << "total" << "S;S;S;S" << "2:folder 4" << "book1 book2 n3 n4" << "n3|S n4|S";
    QTest::newRow("Enter in a run starts no second run, Escape stops it") << 5 << "total" << "" << "1:key Return;3:key Escape" << "book1 book2 book3" << "";
    QTest::newRow("Search in Stop's pass starts no nested run") << 4 << "total" << "" << "1:stop search" << "book1" << "";
    QTest::newRow("the close ends the run and the program") << 3 << "total" << "S;S;S" << "1:close" << "book1" << "book1|S";
    // clang-format on
}

void TestSearchRun::scriptedRuns() {
    QFETCH(int, files);
    QFETCH(QString, keyword);
    QFETCH(QString, answers);
    QFETCH(QString, actions);
    Window window;
    window.showActive();
    window.fill(files);
    window.form.Image2_Click();  // "Please enter keyword", which the run hides
    window.form.Text2()->setText(keyword);
    QMap<int, QString> actionAt;
    for (const QString& action : actions.split(';', Qt::SkipEmptyParts))
        actionAt[action.section(':', 0, 0).toInt()] = action.section(':', 1);
    Tree folder;
    Paths refilled;
    bool searchShownAtStop = false;
    int rowsSoFar = 0;
    const auto act = [&](const QString& command) {
        if (command.startsWith("stop")) {
            window.form.Image4_Click();
            searchShownAtStop = window.searchShown();
        }
        if (command == "stop search") window.form.Image2_Click();
        if (command.startsWith("keyword ")) window.form.Text2()->setText(command.mid(8));
        if (command.startsWith("key ")) {
            window.form.Text2()->setFocus();
            const auto key = command.endsWith("Return") ? Qt::Key_Return : Qt::Key_Escape;
            QTest::keyClick(window.form.windowHandle(), key);
            searchShownAtStop = window.searchShown();
        }
        if (command.startsWith("folder ")) {
            for (int index = 1; index <= command.mid(7).toInt(); ++index)
                refilled.push_back(folder.file("n" + std::to_string(index) + ".xls"));
            rowsSoFar = 0;
            window.chooseFolder(folder.root());
        }
        if (command == "close") window.form.Image3_Click();
    };
    // At every workbook: its entry marked and selected, Stop in Search's place, the stop flag
    // up, no prompt, and the rows of the answers so far on the list.
    const auto state = [](int row, bool selected, bool stop, bool running, bool prompt, int rows) {
        return QString("mark %1 selected %2 Stop %3 running %4 prompt %5 rows %6")
            .arg(row)
            .arg(selected)
            .arg(stop)
            .arg(running)
            .arg(prompt)
            .arg(rows);
    };
    QStringList seen, expectedSeen;
    window.answer = [&](int call, const std::string&, const std::string&) {
        const auto* list = window.form.List1();
        seen << state(list->currentRow(), list->currentItem() && list->currentItem()->isSelected(),
                      !window.searchShown(), window.form.Running(),
                      window.form.scantip()->isVisible(),
                      window.form.ListView1()->topLevelItemCount());
        expectedSeen << state(call - 1, true, true, true, false, rowsSoFar);
        const QString sheets = answers.section(';', call - 1, call - 1);
        if (!sheets.isEmpty()) ++rowsSoFar;
        if (actionAt.contains(call))
            inNextEventPass(&window.form, [&, command = actionAt[call]] { act(command); });
        return sheets.toStdString();
    };
    window.form.Image2_Click();

    QFETCH(QString, searched);
    QFETCH(QString, rows);
    QStringList searchedNames;
    for (const harness::SearchCall& call : window.calls) {
        const QString other = QString::fromStdString(call.keyword);
        searchedNames << shortName(QString::fromStdString(call.path)) +
                             (other == keyword ? QString() : "/" + other);
        QVERIFY(call.hitsAsked);
    }
    QCOMPARE(searchedNames.join(' '), searched);
    QCOMPARE(window.results(true).join(' '), rows);
    QCOMPARE(seen, expectedSeen);
    if (actions.endsWith("close")) {
        QCOMPARE(window.quitRequests, 1);
        QVERIFY(!window.form.isVisible());
        return;
    }
    if (!refilled.empty()) QCOMPARE(window.fileList(), refilled);
    if (actions.contains("stop") || actions.contains("Escape"))
        QVERIFY(searchShownAtStop && !window.form.Running());
    // The run is over: Search back, no mark, the results painted as usual; the next click
    // searches the whole list again and adds its rows to those there.
    QVERIFY(window.searchShown());
    QVERIFY(window.form.List1()->selectedItems().isEmpty());
    QCOMPARE(window.form.List1()->currentRow(), -1);
    QVERIFY(window.form.ListView1()->updatesEnabled());
    QStringList again = window.results();
    for (const std::string& path : window.fileList())
        again << QString::fromStdString(path) + "|Sheet1";
    window.answer = matchAll;
    window.form.Image2_Click();
    QCOMPARE(window.results(), again);
}

// Rows are painted a few times a second rather than after every workbook; they still show
// while the run goes on, and the results list paints as usual once it ends.
void TestSearchRun::rowsReachTheScreenDuringARunAndAfterIt() {
    Window window;
    window.ready(30, "total");
    QWidget* rows = window.form.ListView1()->viewport();  // below the header
    bool shownMidRun = false;
    window.answer = [&](int call, const std::string&, const std::string&) {
        QTest::qSleep(5);  // 20 workbooks take longer than the painting interval
        if (call == 25) shownMidRun = harness::showsText(harness::onScreen(*rows));
        return std::string("Sheet1");
    };
    QVERIFY(!harness::showsText(harness::onScreen(*rows)));
    window.form.Image2_Click();
    QVERIFY(shownMidRun);
    QCOMPARE(window.results().size(), 30);
    QVERIFY(window.form.ListView1()->updatesEnabled());
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
    window.form.ListView1()->setCurrentItem(window.form.ListView1()->topLevelItem(kCount - 1));
    window.form.ListView1_DblClick();
    QCOMPARE(window.shell.files, Paths{paths.back()});
}

// A double click opens the selected row's workbook; without rows, or with none selected, it
// opens nothing.
void TestSearchRun::doubleClickOpensTheSelectedRowOnly() {
    Window window;
    window.show();
    auto* view = window.form.ListView1();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    window.form.ListView1_DblClick();
    const Paths paths = window.fill(3);
    window.form.Text2()->setText("total");
    window.answer = matchAll;
    window.form.Image2_Click();
    view->clearSelection();
    view->setCurrentItem(nullptr);
    window.form.ListView1_DblClick();
    QVERIFY(window.shell.files.empty());
    const QPoint second = view->visualItemRect(view->topLevelItem(1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(window.shell.files, Paths{paths[1]});
    QVERIFY(window.shell.urls.empty());
}

QTEST_MAIN(TestSearchRun)
#include "test_search_run.moc"
