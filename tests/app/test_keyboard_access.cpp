// The window from the keyboard: each key runs its one handler and nothing else (the Search
// prompts come from Enter too), a run cannot be started twice, no key reaches the
// window under a modal dialog or the open menu, nor from the non-modal dialog of workbooks
// not searched during a run, the Tab ring, the picture buttons' Space and Enter with their
// focus mark, and the results' Enter and Copy. Keys go through the window system layer, to
// whichever control has the focus, as a real keyboard's do.
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

void showActive(Window& window) {
    window.show();
    window.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.form));
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
    void enterDuringARunStartsNoSecondRunAndEscapeStopsIt();
    void keysAreDeadUnderAModalDialog();
    void keysAreDeadWhileTheMenuIsOpen();
    void keysInTheNotSearchedDialogLeaveTheRunAlone();
    void tabRingVisitsBoxesListsThenButtons();
    void buttonsPressWithSpaceAndEnter_data();
    void buttonsPressWithSpaceAndEnter();
    void focusMarkShowsOnlyWhileFocusedAndMouseTakesNoFocus();
    void searchAndStopHandTheFocusAcross();
    void copyGivesSelectedRowsAsLines();
};

void TestKeyboardAccess::eachKeyRunsItsHandlerOnly_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("pickerCalls");
    QTest::addColumn<int>("searchCalls");
    QTest::addColumn<int>("filesOpened");
    QTest::addColumn<bool>("prompt");
    const int none = Qt::NoModifier, ctrl = Qt::ControlModifier;
    // Two files and two rows (the second selected) are in place; the keyword box is empty.
    // clang-format off
    QTest::newRow("Ctrl+O in the keyword box") << "Text2" << int(Qt::Key_O) << ctrl << 1 << 0 << 0 << false;
    QTest::newRow("Ctrl+O on the results") << "ListView1" << int(Qt::Key_O) << ctrl << 1 << 0 << 0 << false;
    QTest::newRow("Enter in the keyword box") << "Text2" << int(Qt::Key_Return) << none << 0 << 0 << 0 << true;
    QTest::newRow("keypad Enter in the keyword box") << "Text2" << int(Qt::Key_Enter) << none << 0 << 0 << 0 << true;
    QTest::newRow("Enter in the folder box") << "Text1" << int(Qt::Key_Return) << none << 0 << 0 << 0 << false;
    QTest::newRow("Enter on the results") << "ListView1" << int(Qt::Key_Return) << none << 0 << 0 << 1 << false;
    QTest::newRow("Escape outside a run") << "Text2" << int(Qt::Key_Escape) << none << 0 << 0 << 0 << false;
    QTest::newRow("Ctrl+C on the results") << "ListView1" << int(Qt::Key_C) << ctrl << 0 << 0 << 0 << false;
    // clang-format on
}

void TestKeyboardAccess::eachKeyRunsItsHandlerOnly() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Window window;
    showActive(window);
    window.fill(2);
    auto* results = window.form.ListView1();
    results->addTopLevelItem(quillmark::app::makeResultsRow("/books/book1.xlsx", "Sheet1"));
    results->addTopLevelItem(quillmark::app::makeResultsRow("/books/book2.xlsx", "Sheet2"));
    results->setCurrentItem(results->topLevelItem(1));
    window.form.findChild<QWidget*>(focus)->setFocus();
    int asked = 0;
    struct CountingPicker : quillmark::app::FolderPicker {
        explicit CountingPicker(int& calls) : calls(calls) {}
        std::optional<std::string> pickFolder(QWidget*) override { return ++calls, std::nullopt; }
        int& calls;
    };
    window.form.setFolderPicker(std::make_unique<CountingPicker>(asked));

    press(window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents();

    QFETCH(int, pickerCalls);
    QFETCH(int, searchCalls);
    QFETCH(int, filesOpened);
    QFETCH(bool, prompt);
    QCOMPARE(asked, pickerCalls);
    QCOMPARE(static_cast<int>(window.calls.size()), searchCalls);
    QCOMPARE(static_cast<int>(window.shell.files.size()), filesOpened);
    QCOMPARE(window.form.scantip()->isVisible(), prompt);
    if (filesOpened) QCOMPARE(window.shell.files.front(), std::string("/books/book2.xlsx"));
    QCOMPARE(results->topLevelItemCount(), 2);  // no key touches the results
    QCOMPARE(window.quitRequests, 0);
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
}

void TestKeyboardAccess::enterDuringARunStartsNoSecondRunAndEscapeStopsIt() {
    Window window;
    showActive(window);
    window.fill(5);
    window.form.Text2()->setText("total");
    window.form.Text2()->setFocus();
    bool searchShownMidRun = true;
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 1) {
            searchShownMidRun = window.form.Image2()->isVisible();
            press(window, Qt::Key_Return);  // arrives in the run's event pass
        }
        if (call == 3) press(window, Qt::Key_Escape);
        return std::string();
    };
    press(window, Qt::Key_Return);
    QVERIFY(!searchShownMidRun);
    QCOMPARE(window.calls.size(), std::size_t(3));  // one run, stopped after workbook 3
    QVERIFY(window.form.Image2()->isVisible() && !window.form.Image4()->isVisible());
    QVERIFY(!window.form.Running());
}

void TestKeyboardAccess::keysAreDeadUnderAModalDialog() {
    Window window;
    showActive(window);
    window.fill(3);
    window.form.Text2()->setText("total");
    window.form.Text2()->setFocus();
    int pickerCalls = 0;
    struct ModalPicker : quillmark::app::FolderPicker {
        ModalPicker(Window& window, int& calls) : window(window), calls(calls) {}
        std::optional<std::string> pickFolder(QWidget* owner) override {
            ++calls;
            QDialog dialog(owner);
            dialog.setWindowModality(Qt::ApplicationModal);
            QTimer::singleShot(0, &dialog, [&] {
                QVERIFY(QTest::qWaitForWindowActive(&dialog));
                // At the window beneath: blocked; at the dialog's own focus: not the window's.
                for (QWindow* target : {window.form.windowHandle(), dialog.windowHandle()}) {
                    QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
                    QTest::keyClick(target, Qt::Key_Return);
                }
                dialog.reject();
            });
            dialog.exec();
            return std::nullopt;
        }
        Window& window;
        int& calls;
    };
    window.form.setFolderPicker(std::make_unique<ModalPicker>(window, pickerCalls));
    press(window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(pickerCalls, 1);
    QVERIFY(window.calls.empty());
    QVERIFY(!window.form.scantip()->isVisible());
    QCOMPARE(window.form.List1()->count(), 3);  // the cancelled choice left the list alone
}

void TestKeyboardAccess::keysAreDeadWhileTheMenuIsOpen() {
    Window window;
    showActive(window);
    window.fill(3);
    window.form.Text2()->setText("total");
    window.form.Text2()->setFocus();
    window.pickerAnswers.push_back(std::nullopt);  // taken only if Ctrl+O got through
    bool menuShown = false;
    QTimer::singleShot(300, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        menuShown = true;
        // At the window beneath (the menu takes its keys) and at the menu itself; one Return
        // only, which marks the menu's first item (a second would choose it, as menus do).
        for (QWindow* target : {window.form.windowHandle(), menu->windowHandle()})
            QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(window.form.windowHandle(), Qt::Key_Return);
        menu->close();
    });
    window.form.Image5_Click();
    QVERIFY(menuShown);
    QCOMPARE(window.pickerAnswers.size(), std::size_t(1));
    QVERIFY(window.calls.empty());
    QVERIFY(!window.form.scantip()->isVisible());
}

void TestKeyboardAccess::keysInTheNotSearchedDialogLeaveTheRunAlone() {
    Window window;
    showActive(window);
    window.fill(4);
    window.form.Text2()->setText("total");
    window.pickerAnswers.push_back(std::nullopt);
    bool dialogHadTheKeys = false;
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call != 2) return std::string();
        // The dialog is not modal: a run goes on behind it, and its keys stay its own.
        window.form.notSearched_Click();
        auto* dialog = window.form.findChild<QDialog*>();
        if (!dialog || !QTest::qWaitForWindowActive(dialog)) return std::string();
        dialogHadTheKeys = true;
        QTest::keyClick(dialog->windowHandle(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);  // closes the dialog only
        return std::string();
    };
    window.form.Image2_Click();
    QVERIFY(dialogHadTheKeys);
    QCOMPARE(window.calls.size(), std::size_t(4));  // Escape there did not stop the run
    QCOMPARE(window.pickerAnswers.size(), std::size_t(1));
}

void TestKeyboardAccess::tabRingVisitsBoxesListsThenButtons() {
    Window window;
    showActive(window);
    quillmark::app::Form1& form = window.form;
    const QList<QWidget*> ring = {form.Text2(),  form.List1(),  form.ListView1(), form.Image1(),
                                  form.Image2(), form.Image5(), form.Image3(),    form.Text1()};
    QCOMPARE(focused(), form.Text1());
    QList<QWidget*> forward;
    for (int step = 0; step < ring.size(); ++step) {
        press(window, Qt::Key_Tab);
        forward << focused();
    }
    QCOMPARE(forward, ring);
    QList<QWidget*> backward;
    for (int step = 0; step < ring.size(); ++step) {
        press(window, Qt::Key_Tab, Qt::ShiftModifier);
        backward << focused();
    }
    const QList<QWidget*> reversed = {form.Image3(),    form.Image5(), form.Image2(), form.Image1(),
                                      form.ListView1(), form.List1(),  form.Text2(),  form.Text1()};
    QCOMPARE(backward, reversed);
    // In a run the Stop button takes the Search button's place in the ring.
    form.Image2()->hide();
    form.Image4()->show();
    form.Image1()->setFocus();
    press(window, Qt::Key_Tab);
    QCOMPARE(focused(), form.Image4());
}

void TestKeyboardAccess::buttonsPressWithSpaceAndEnter_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    for (const char* button : {"Image1", "Image2", "Image3", "Image5"}) {
        QTest::addRow("%s Space", button) << button << int(Qt::Key_Space);
        QTest::addRow("%s Enter", button) << button << int(Qt::Key_Return);
    }
}

void TestKeyboardAccess::buttonsPressWithSpaceAndEnter() {
    QFETCH(QString, button);
    QFETCH(int, key);
    Window window;
    showActive(window);
    bool menuShown = false;
    if (button == "Image5")  // the menu pops up modally: note it and close it
        QTimer::singleShot(300, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menuShown = true;
                menu->close();
            }
        });
    window.pickerAnswers.push_back(std::nullopt);  // taken only if the picker is asked
    window.form.findChild<QWidget*>(button)->setFocus(Qt::TabFocusReason);
    press(window, Qt::Key(key));
    QCoreApplication::processEvents();
    QCOMPARE(window.pickerAnswers.empty(), button == "Image1");
    QCOMPARE(window.form.scantip()->isVisible(), button == "Image2");
    QCOMPARE(window.quitRequests, button == "Image3" ? 1 : 0);
    QCOMPARE(menuShown, button == "Image5");
    QCOMPARE(window.form.cd() != nullptr, button == "Image5");
}

void TestKeyboardAccess::focusMarkShowsOnlyWhileFocusedAndMouseTakesNoFocus() {
    Window window;
    showActive(window);
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
    // A mouse click runs the handler but leaves the focus where it was.
    QTest::mouseClick(window.form.Image2(), Qt::LeftButton);
    QCOMPARE(focused(), window.form.Text2());
    QVERIFY(window.form.scantip()->isVisible());
}

void TestKeyboardAccess::searchAndStopHandTheFocusAcross() {
    Window window;
    showActive(window);
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

void TestKeyboardAccess::copyGivesSelectedRowsAsLines() {
    Window window;
    showActive(window);
    auto* results = window.form.ListView1();
    const char* paths[] = {"/a/one.xlsx", "/a/two.xls", "/a/three.ods"};
    for (const char* path : paths)
        results->addTopLevelItem(quillmark::app::makeResultsRow(path, "Sheet1,Sheet3"));
    results->setFocus();
    // Selected out of order with Ctrl-clicks: copied in list order.
    results->topLevelItem(2)->setSelected(true);
    results->topLevelItem(0)->setSelected(true);
    QGuiApplication::clipboard()->clear();
    press(window, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString("/a/one.xlsx\tSheet1,Sheet3\n/a/three.ods\tSheet1,Sheet3\n"));
    QCOMPARE(quillmark::app::selectedRowsAsText(*results).count('\n'), 2);
    QVERIFY(window.shell.files.empty());
}

QTEST_MAIN(TestKeyboardAccess)
#include "test_keyboard_access.moc"
