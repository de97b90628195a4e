// The file list as the folder walk's sink: what reaches the screen while a walk appends, and
// the list's own behaviour once the walk is over.
#include <QScrollBar>

#include "app/file_list_sink.h"
#include "form1_harness.h"

using harness::onScreen;
using harness::showsText;

namespace {

void appendBooks(quillmark::app::FileListSink& sink, int count) {
    for (int index = 0; index < count; ++index) {
        sink.append("/data/book-" + std::to_string(index) + ".xlsx");
        sink.processEvents();
    }
}

}  // namespace

class TestFileListSink : public QObject {
    Q_OBJECT

  private slots:
    // Each append discards the list's layout; the pass that lets the list through to the
    // screen must paint the entries, not an empty list still waiting to be laid out. Between
    // screen updates the layout waits, but a question about where an entry is gets a laid-out
    // answer; after the walk the list lays itself out again unaided.
    void theEntriesReachTheScreenAndTheListStaysUsable() {
        quillmark::app::Form1 form;  // the window's own file list, as it is set up there
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QListWidget& list = *form.List1();
        QVERIFY(!showsText(onScreen(list)));
        {
            quillmark::app::FileListSink sink(list, [] { return false; });
            appendBooks(sink, 300);
            QTest::qWait(80);  // past the refresh interval: the next pass shows the list
            appendBooks(sink, 1);
            QVERIFY(showsText(onScreen(list)));
            appendBooks(sink, 200);
            const QRect first = list.visualItemRect(list.item(0));
            QVERIFY(!first.isEmpty());
            QCOMPARE(list.indexAt(first.center()).row(), 0);
        }
        QTRY_VERIFY(list.verticalScrollBar()->maximum() > 0);
        const int maximumAfterWalk = list.verticalScrollBar()->maximum();
        for (int index = 0; index < 200; ++index) list.addItem(QStringLiteral("later"));
        QTRY_VERIFY(list.verticalScrollBar()->maximum() > maximumAfterWalk);
    }
};

QTEST_MAIN(TestFileListSink)
#include "test_file_list_sink.moc"
