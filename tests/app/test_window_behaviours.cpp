// The window's own chrome: dragging by the background, the title and the title bar (never
// while maximised, never from other controls), the link's underline and address, the menu
// button with its hidden form and one item, and the close button ending everything at once,
// also in the middle of a scan or a run. Mouse input goes through the window system layer,
// as a real pointer's would.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "app/menu_form.h"
#include "form1_harness.h"

using harness::inNextEventPass;
using harness::Tree;
using harness::Window;
using quillmark::app::Form1;
using quillmark::app::MenuForm;

class TestWindowBehaviours : public QObject {
    Q_OBJECT

  private slots:
    void dragsByItsCaptionSurfaces_data();
    void dragsByItsCaptionSurfaces();
    void otherControlsDoNotDrag_data();
    void otherControlsDoNotDrag();
    void noDragWhileMaximised();
    void movingWithoutAButtonMovesNothing();
    void linkUnderlinesUntilThePointerCrossesTheBackground();
    void linkOpensTheLinkPage();
    void menuButtonCreatesTheMenuFormOnceAndOffersAboutApp();
    void closeEndsTheProgramMidRun();
    void closeEndsTheProgramMidScan();
};

// Mouse input at window positions, as the window system delivers it.
struct Pointer {
    explicit Pointer(Form1& form) : form(form) {}
    QWindow* window() const { return form.windowHandle(); }
    // A point given in global coordinates, expressed in the window's own at this moment.
    QPoint local(QPoint global) const { return global - form.pos(); }
    void press(QPoint global) { QTest::mousePress(window(), Qt::LeftButton, {}, local(global)); }
    void move(QPoint global) { QTest::mouseMove(window(), local(global)); }
    void release(QPoint global) {
        QTest::mouseRelease(window(), Qt::LeftButton, {}, local(global));
    }
    QPoint over(QWidget* control, QPoint inside = QPoint(5, 5)) const {
        return control->mapToGlobal(inside);
    }
    Form1& form;
};

// Presses at `start`, moves the pointer three times by (10, 5) and releases there.
static void dragFrom(Pointer& pointer, QPoint start) {
    pointer.press(start);
    for (int step = 1; step <= 3; ++step) pointer.move(start + step * QPoint(10, 5));
    pointer.release(start + QPoint(30, 15));
}

static QWidget* control(Form1& form, const QString& name) {
    if (name == "background") return &form;
    return form.findChild<QWidget*>(name);
}

static QPoint pressPoint(Form1& form, const QString& name) {
    // A spot of bare window between the file list and the results list.
    if (name == "background") return form.mapToGlobal(QPoint(400, 122));
    return control(form, name)->mapToGlobal(QPoint(5, 5));
}

void TestWindowBehaviours::dragsByItsCaptionSurfaces_data() {
    QTest::addColumn<QString>("surface");
    QTest::newRow("background") << "background";
    QTest::newRow("title label") << "Label10";
    QTest::newRow("title bar") << "Picture1";
}

void TestWindowBehaviours::dragsByItsCaptionSurfaces() {
    QFETCH(QString, surface);
    Window window;
    window.show();
    Pointer pointer(window.form);
    const QPoint before = window.form.pos();
    dragFrom(pointer, pressPoint(window.form, surface));
    // Where the platform has no move of its own, the window keeps its offset to the pointer
    // from the first move after the drag began (here the second of three) to the release.
    QCOMPARE(window.form.pos(), before + QPoint(10, 5));
    pointer.move(pointer.over(window.form.Label10()) + QPoint(40, 0));
    QCOMPARE(window.form.pos(), before + QPoint(10, 5));
}

void TestWindowBehaviours::otherControlsDoNotDrag_data() {
    QTest::addColumn<QString>("surface");
    for (const char* name : {"Text1", "List1", "Image1", "Label1", "tamberly", "Image5"})
        QTest::newRow(name) << name;
}

void TestWindowBehaviours::otherControlsDoNotDrag() {
    QFETCH(QString, surface);
    Window window;
    window.show();
    window.form.setShell(window.shell);
    Pointer pointer(window.form);
    const QPoint before = window.form.pos();
    QTimer closeAnyMenu;  // Image5 pops up its menu on the release
    connect(&closeAnyMenu, &QTimer::timeout, [] {
        if (auto* popup = QApplication::activePopupWidget()) popup->close();
    });
    closeAnyMenu.start(10);
    dragFrom(pointer, pressPoint(window.form, surface));
    QCOMPARE(window.form.pos(), before);
}

void TestWindowBehaviours::noDragWhileMaximised() {
    Window window;
    window.show();
    window.form.setWindowState(Qt::WindowMaximized);
    QTRY_VERIFY(window.form.isMaximized());
    QTest::qWait(50);  // the window system places the maximised window
    Pointer pointer(window.form);
    const QPoint before = window.form.pos();
    for (const char* surface : {"background", "Label10", "Picture1"}) {
        dragFrom(pointer, pressPoint(window.form, surface));
        QCOMPARE(window.form.pos(), before);
    }
}

void TestWindowBehaviours::movingWithoutAButtonMovesNothing() {
    Window window;
    window.show();
    Pointer pointer(window.form);
    const QPoint before = window.form.pos();
    const QPoint start = pressPoint(window.form, "background");
    for (int step = 0; step < 4; ++step) pointer.move(start + step * QPoint(6, 3));
    pointer.move(pressPoint(window.form, "Label10"));
    pointer.move(pressPoint(window.form, "Label10") + QPoint(30, 0));
    QCOMPARE(window.form.pos(), before);
}

void TestWindowBehaviours::linkUnderlinesUntilThePointerCrossesTheBackground() {
    Window window;
    window.show();
    Pointer pointer(window.form);
    auto underlined = [&] { return window.form.tamberly()->font().underline(); };
    QVERIFY(!underlined());
    pointer.move(pointer.over(window.form.tamberly(), QPoint(20, 10)));
    QVERIFY(underlined());
    // Other controls leave it as it is: only the bare background clears it.
    pointer.move(pointer.over(window.form.Label10()));
    QVERIFY(underlined());
    pointer.move(pointer.over(window.form.Label1(0)));
    pointer.move(pointer.over(window.form.Text2()));
    QVERIFY(underlined());
    pointer.move(pressPoint(window.form, "background"));
    QVERIFY(!underlined());
    // Crossing an outline is crossing the background: the shapes take no mouse.
    pointer.move(pointer.over(window.form.tamberly(), QPoint(20, 10)));
    QVERIFY(underlined());
    pointer.move(window.form.mapToGlobal(QPoint(0, 200)));
    QVERIFY(!underlined());
}

void TestWindowBehaviours::linkOpensTheLinkPage() {
    Window window;
    window.show();
    Pointer pointer(window.form);
    const QPoint link = pointer.over(window.form.tamberly(), QPoint(20, 10));
    pointer.press(link);
    pointer.release(link);
    const std::vector<std::string> expected = {"http://" QUILLMARK_WEB_HOST "/do/excel.html"};
    QCOMPARE(window.shell.urls, expected);
}

void TestWindowBehaviours::menuButtonCreatesTheMenuFormOnceAndOffersAboutApp() {
    Window window;
    window.show();
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &other);
    Pointer pointer(window.form);
    const QPoint button = pointer.over(window.form.Image5());

    // Whether the window had been brought forward by the time its menu showed.
    bool activated = false;
    struct ActivationWatch : QObject {
        bool& activated;
        explicit ActivationWatch(bool& flag) : activated(flag) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::WindowActivate) activated = true;
            return false;
        }
    } watch(activated);
    window.form.installEventFilter(&watch);
    struct Seen {
        bool forwardBeforeMenu = false;
        QString menuName;
        QStringList items;
    } seen;
    bool chooseAboutApp = true;
    QTimer workTheMenu;
    connect(&workTheMenu, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        seen.forwardBeforeMenu = activated;
        seen.menuName = menu->objectName();
        seen.items.clear();
        for (QAction* item : menu->actions()) seen.items << item->text();
        if (chooseAboutApp) menu->actions().value(0)->trigger();
        menu->close();
    });
    workTheMenu.start(10);

    pointer.press(button);
    pointer.release(button);
    QVERIFY(seen.forwardBeforeMenu);
    QCOMPARE(seen.menuName, QString("cd"));
    QCOMPARE(seen.items, (QStringList{"About App", "Workbooks not searched…"}));
    const std::vector<std::string> expected = {"http://" QUILLMARK_WEB_HOST
                                               "/apps/quillmark/index.html?v=1.0"};
    QCOMPARE(window.shell.urls, expected);

    MenuForm* firstForm = window.form.cd();
    QVERIFY(firstForm != nullptr);
    QCOMPARE(firstForm->windowTitle(), QString("Form2"));
    QVERIFY(!firstForm->isVisible());
    QCOMPARE(firstForm->aap()->objectName(), QString("aap"));

    chooseAboutApp = false;
    pointer.press(button);
    pointer.release(button);
    QCOMPARE(window.form.cd(), firstForm);
    QCOMPARE(window.form.findChildren<MenuForm*>().size(), 1);
    QCOMPARE(window.shell.urls.size(), std::size_t{1});  // closing the menu opens nothing
}

void TestWindowBehaviours::closeEndsTheProgramMidRun() {
    Window window;
    window.show();
    for (const char* path : {"/a.xls", "/b.xls", "/c.xls"})
        window.form.List1()->addItem(quillmark::app::makeFileListItem(path));
    window.form.Text2()->setText("total");
    Pointer pointer(window.form);
    window.answer = [&](int call, const std::string&, const std::string&) {
        if (call == 1) {
            inNextEventPass(&window.form, [&] {
                const QPoint close = pointer.over(window.form.Image3());
                pointer.press(close);
                pointer.release(close);
            });
        }
        return std::string("Sheet1");
    };
    window.form.Image2_Click();
    QCOMPARE(window.calls.size(), std::size_t{1});
    QCOMPARE(window.quitRequests, 1);
    QVERIFY(!window.form.isVisible());
}

void TestWindowBehaviours::closeEndsTheProgramMidScan() {
    Window window;
    window.show();
    Tree tree;
    const std::string first = tree.file("a.xls");
    for (const char* name : {"b.xls", "c.xls", "sub/d.xls"}) tree.file(name);
    window.form.ListView1()->addTopLevelItem(
        quillmark::app::makeResultsRow("/earlier/book.xlsx", "Sheet1"));
    inNextEventPass(&window.form, [&] { window.form.Image3_Click(); });
    window.chooseFolder(tree.root());
    // The walk stopped at its next look, and the folder choice did nothing more.
    QCOMPARE(window.fileList(), std::vector<std::string>{first});
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), 1);
    QCOMPARE(window.quitRequests, 1);
    QVERIFY(!window.form.isVisible());
}

QTEST_MAIN(TestWindowBehaviours)
#include "test_window_behaviours.moc"
