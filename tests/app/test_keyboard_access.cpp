// The window from the keyboard: each key runs its one handler and nothing else (the Search
// prompts come from Enter too, the results' Enter opens and Copy copies), no key reaches the
// window from the open menu or the non-modal dialog of workbooks not searched during a run,
// the Tab ring, and the picture buttons' Space and Enter with their focus mark. Keys go
// through the window system layer, to whichever control has the focus, as a real keyboard's do.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QWindow>

#include "app/keyboard_access.h"
#include "app/menu_form.h"
#include "form1_harness.h"

using harness::Window;

namespace {

void press(Window& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.form.windowHandle(), key, modifiers);
}

QWidget* focused() {
    return QApplication::focusWidget();
}

}  // namespace

class TestKeyboardAccess : public QObject {
    Q_OBJECT

  private slots:
    void eachKeyRunsItsHandlerOnly_data();
    void eachKeyRunsItsHandlerOnly();
    void keysAreDeadWhereTheWindowHasNoKeyboard_data();
    void keysAreDeadWhereTheWindowHasNoKeyboard();
    void tabRingVisitsBoxesListsThenButtons();
    void focusMarkAndHandover();
};

// What one key does with the focus on one control: two files and three rows (the last current,
// the first selected too) are in place and the keyword box is empty. Effects: the picker
// asked, a search, a file opened (the current row's), the selected rows copied, the prompt,
// the program ended, the menu shown.
void TestKeyboardAccess::eachKeyRunsItsHandlerOnly_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("effects");
    const int none = Qt::NoModifier, ctrl = Qt::ControlModifier;
    // clang-format off
    QTest::newRow("Ctrl+O in the keyword box") << "Text2" << int(Qt::Key_O) << ctrl << "picker";
    QTest::newRow("Ctrl+O on the results") << "ListView1" << int(Qt::Key_O) << ctrl << "picker";
    QTest::newRow("Enter in the keyword box") << "Text2" << int(Qt::Key_Return) << none << "prompt";
    QTest::newRow("keypad Enter in the keyword box") << "Text2" << int(Qt::Key_Enter) << none << "prompt";
    QTest::newRow("Enter in the folder box") << "Text1" << int(Qt::Key_Return) << none << "";
    QTest::newRow("Enter on the results") << "ListView1" << int(Qt::Key_Return) << none << "open";
    QTest::newRow("Escape outside a run") << "Text2" << int(Qt::Key_Escape) << none << "";
    QTest::newRow("Ctrl+C on the results") << "ListView1" << int(Qt::Key_C) << ctrl << "copy";
    QTest::newRow("Ctrl+C in the keyword box") << "Text2" << int(Qt::Key_C) << ctrl << "";
    // clang-format on
    const QString pressed[] = {"picker", "prompt", "quit", "menu"};
    for (int index = 0; const char* button : {"Image1", "Image2", "Image3", "Image5"}) {
        QTest::addRow("%s Space", button) << button << int(Qt::Key_Space) << none << pressed[index];
        QTest::addRow("%s Enter", button)
            << button << int(Qt::Key_Return) << none << pressed[index];
        ++index;
    }
}

void TestKeyboardAccess::eachKeyRunsItsHandlerOnly() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, effects);
    Window window;
    window.showActive();
    window.fill(2);
    auto* results = window.form.ListView1();
    for (const char* path : {"/books/book1.xlsx", "/books/book2.xlsx", "/books/book3.xlsx"})
        results->addTopLevelItem(quillmark::app::makeResultsRow(path, "Sheet1,Sheet3"));
    results->setCurrentItem(results->topLevelItem(2));
    results->topLevelItem(0)->setSelected(true);  // as a Ctrl-click does, out of order
    QGuiApplication::clipboard()->clear();
    bool menuShown = false;
    QTimer::singleShot(300, &window.form, [&] {  // the menu pops up modally: note it and close it
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuShown = true;
            menu->close();
        }
    });
    window.form.findChild<QWidget*>(focus)->setFocus(Qt::TabFocusReason);
    press(window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents();

    QStringList seen;
    if (window.pickerCalls) seen << QString("picker").repeated(window.pickerCalls);
    if (!window.calls.empty()) seen << "search";
    if (window.shell.files == std::vector<std::string>{"/books/book3.xlsx"}) seen << "open";
    // The selected rows, copied in list order.
    if (QGuiApplication::clipboard()->text() ==
        "/books/book1.xlsx\tSheet1,Sheet3\n/books/book3.xlsx\tSheet1,Sheet3\n")
        seen << "copy";
    if (window.form.scantip()->isVisible()) seen << "prompt";
    if (window.quitRequests) seen << QString("quit").repeated(window.quitRequests);
    if (menuShown && window.form.cd()) seen << "menu";
    QCOMPARE(seen.join(' '), effects);
    QCOMPARE(results->topLevelItemCount(), 3);  // no key touches the results
    QCOMPARE(window.shell.files.size(), std::size_t(effects == "open"));
    QVERIFY(window.form.Image2()->isVisibleTo(&window.form));
}

void TestKeyboardAccess::keysAreDeadWhereTheWindowHasNoKeyboard_data() {
    QTest::addColumn<bool>("menu");
    QTest::newRow("the open menu") << true;
    QTest::newRow("the dialog of workbooks not searched, mid-run") << false;
}

// Ctrl+O, Enter and Escape pressed where the menu or a dialog holds the keyboard: the
// window's shortcuts belong to it alone. A modal dialog shuts the window's keys out whatever
// their reach, so only these holders tell a window's shortcut from an application-wide one.
void TestKeyboardAccess::keysAreDeadWhereTheWindowHasNoKeyboard() {
    QFETCH(bool, menu);
    Window window;
    window.showActive();
    window.ready(4, "total");
    window.form.Text2()->setFocus();
    bool keysPressed = false;
    const auto pressKeys = [&](QWindow* holder) {
        keysPressed = true;
        QTest::keyClick(holder, Qt::Key_O, Qt::ControlModifier);
        if (menu) {  // at the window beneath, whose keys the menu takes; one Return only,
                     // which marks the menu's first item (a second would choose it)
            QTest::keyClick(window.form.windowHandle(), Qt::Key_O, Qt::ControlModifier);
            QTest::keyClick(window.form.windowHandle(), Qt::Key_Return);
        }
        QTest::keyClick(holder, Qt::Key_Escape);  // closes the holder
    };
    if (menu) {
        QTimer::singleShot(300, &window.form, [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                pressKeys(popup->windowHandle());
                popup->close();
            }
        });
        window.form.Image5_Click();
    } else {
        window.answer = [&](int call, const std::string&, const std::string&) {
            if (call != 2) return std::string();
            window.form.notSearched_Click();  // not modal: the run goes on behind it
            auto* dialog = window.form.findChild<QDialog*>();
            if (dialog && QTest::qWaitForWindowActive(dialog)) pressKeys(dialog->windowHandle());
            return std::string();
        };
        window.form.Image2_Click();
    }
    QVERIFY(keysPressed);
    QCOMPARE(window.pickerCalls, 0);
    QCOMPARE(window.calls.size(), std::size_t(menu ? 0 : 4));  // Escape did not stop the run
    QVERIFY(!window.form.scantip()->isVisible());
}

void TestKeyboardAccess::tabRingVisitsBoxesListsThenButtons() {
    Window window;
    window.showActive();
    quillmark::app::Form1& form = window.form;
    const QList<QWidget*> ring = {form.Text2(),  form.List1(),  form.ListView1(), form.Image1(),
                                  form.Image2(), form.Image5(), form.Image3(),    form.Text1()};
    QCOMPARE(focused(), form.Text1());
    const auto visited = [&](Qt::KeyboardModifiers modifiers) {  // one round of Tab presses
        QList<QWidget*> seen;
        for (int step = 0; step < ring.size(); ++step, seen << focused())
            press(window, Qt::Key_Tab, modifiers);
        return seen;
    };
    QCOMPARE(visited(Qt::NoModifier), ring);
    QList<QWidget*> reversed(ring.rbegin() + 1, ring.rend());
    QCOMPARE(visited(Qt::ShiftModifier), reversed << form.Text1());
    // In a run the Stop button takes the Search button's place in the ring.
    form.Image2()->hide();
    form.Image4()->show();
    form.Image1()->setFocus();
    press(window, Qt::Key_Tab);
    QCOMPARE(focused(), form.Image4());
}

// The picture buttons' mark shows only while they have the focus; a mouse click takes none;
// Space on Search hands the focus to Stop for the run and back after it.
void TestKeyboardAccess::focusMarkAndHandover() {
    Window window;
    window.showActive();
    for (quillmark::app::ImageButton* button : {window.form.Image1(), window.form.Image5()}) {
        const QImage plain = button->grab().toImage();
        button->setFocus(Qt::TabFocusReason);
        const QImage marked = button->grab().toImage();
        QVERIFY(marked != plain);
        // The mark is a ring near the edge: the picture's middle is untouched.
        const QPoint middle(button->width() / 2, button->height() / 2);
        QCOMPARE(marked.pixelColor(middle), plain.pixelColor(middle));
        window.form.Text2()->setFocus();
        QCOMPARE(button->grab().toImage(), plain);
    }
    QTest::mouseClick(window.form.Image2(), Qt::LeftButton);
    QCOMPARE(focused(), window.form.Text2());
    QVERIFY(window.form.scantip()->isVisible());  // the handler ran: no keyword yet

    window.fill(4);
    window.form.Text2()->setText("total");
    QWidget* focusMidRun = nullptr;
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 2) {
            focusMidRun = focused();
            press(window, Qt::Key_Space);  // Space on the Stop button now under the focus
        }
        return std::string();
    };
    window.form.Image2()->setFocus(Qt::TabFocusReason);
    press(window, Qt::Key_Space);
    QCOMPARE(focusMidRun, window.form.Image4());
    QCOMPARE(window.calls.size(), std::size_t(2));
    QCOMPARE(focused(), window.form.Image2());
}

QTEST_MAIN(TestKeyboardAccess)
#include "test_keyboard_access.moc"
