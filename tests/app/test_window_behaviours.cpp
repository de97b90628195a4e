// The window's own chrome: dragging by the background, the title and the title bar (never
// while maximised, never from other controls), the link's underline and address, the menu
// button with its hidden form and two items.
// Mouse input goes through the window system layer, as a real pointer's would.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "app/menu_form.h"
#include "app/not_searched_dialog.h"
#include "form1_harness.h"

using harness::Window;
using quillmark::app::Form1;
using quillmark::app::MenuForm;

class TestWindowBehaviours : public QObject {
    Q_OBJECT

  private slots:
    void dragsOnlyByItsCaptionSurfaces_data();
    void dragsOnlyByItsCaptionSurfaces();
    void linkUnderlinesUntilThePointerCrossesTheBackgroundAndOpensItsPage();
    void menuButtonCreatesTheMenuFormOnceWithItsTwoItems();
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

static QPoint pressPoint(Form1& form, const QString& name) {
    // A spot of bare window between the file list and the results list.
    if (name == "background") return form.mapToGlobal(QPoint(400, 122));
    return form.findChild<QWidget*>(name)->mapToGlobal(QPoint(5, 5));
}

void TestWindowBehaviours::dragsOnlyByItsCaptionSurfaces_data() {
    QTest::addColumn<QString>("surface");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("moves");
    for (const char* name : {"background", "Label10", "Picture1"}) {
        QTest::addRow("%s dragged", name) << name << "drag" << true;
        QTest::addRow("%s dragged, maximised", name) << name << "maximised" << false;
        QTest::addRow("%s, no button", name) << name << "hover" << false;
    }
    for (const char* name : {"Text1", "List1", "Image1", "Label1", "tamberly", "Image5"})
        QTest::addRow("%s dragged", name) << name << "drag" << false;
}

void TestWindowBehaviours::dragsOnlyByItsCaptionSurfaces() {
    QFETCH(QString, surface);
    QFETCH(QString, how);
    QFETCH(bool, moves);
    Window window;
    window.show();
    if (how == "maximised") {
        window.form.setWindowState(Qt::WindowMaximized);
        QTRY_VERIFY(window.form.isMaximized());
        QTest::qWait(50);  // the window system places the maximised window
    }
    Pointer pointer(window.form);
    const QPoint before = window.form.pos();
    QTimer closeAnyMenu;  // Image5 pops up its menu on the release
    connect(&closeAnyMenu, &QTimer::timeout, [] {
        if (auto* popup = QApplication::activePopupWidget()) popup->close();
    });
    closeAnyMenu.start(10);
    const QPoint start = pressPoint(window.form, surface);
    if (how == "hover")
        for (int step = 0; step < 4; ++step) pointer.move(start + step * QPoint(10, 5));
    else
        dragFrom(pointer, start);
    // Where the platform has no move of its own, the window keeps its offset to the pointer
    // from the first move after the drag began (here the second of three) to the release.
    const QPoint after = before + (moves ? QPoint(10, 5) : QPoint());
    QCOMPARE(window.form.pos(), after);
    pointer.move(pointer.over(window.form.Label10()) + QPoint(40, 0));
    QCOMPARE(window.form.pos(), after);
}

void TestWindowBehaviours::linkUnderlinesUntilThePointerCrossesTheBackgroundAndOpensItsPage() {
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
    QVERIFY(window.shell.urls.empty());
    const QPoint link = pointer.over(window.form.tamberly(), QPoint(20, 10));
    pointer.press(link);
    pointer.release(link);
    const std::vector<std::string> expected = {"http://" QUILLMARK_WEB_HOST "/do/excel.html"};
    QCOMPARE(window.shell.urls, expected);
}

// Each press brings the window forward and pops up the one menu: the first chooses About App,
// the second the dialog of workbooks not searched, the third closes it unchosen.
void TestWindowBehaviours::menuButtonCreatesTheMenuFormOnceWithItsTwoItems() {
    Window window;
    window.show();
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &other);
    struct ActivationWatch : QObject {
        bool activated = false;
        bool eventFilter(QObject*, QEvent* event) override {
            activated |= event->type() == QEvent::WindowActivate;
            return false;
        }
    } watch;
    window.form.installEventFilter(&watch);
    bool forwardBeforeMenu = false;
    QStringList seen;  // per menu: its name and items
    int choice = 0;
    QTimer workTheMenu;
    connect(&workTheMenu, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        forwardBeforeMenu = watch.activated;
        QStringList items{menu->objectName()};
        for (QAction* item : menu->actions()) items << item->text();
        seen << items.join('|');
        if (QAction* chosen = menu->actions().value(choice)) chosen->trigger();
        menu->close();
    });
    workTheMenu.start(10);
    Pointer pointer(window.form);
    const std::vector<std::string> about = {"http://" QUILLMARK_WEB_HOST
                                            "/apps/quillmark/index.html?v=1.0"};
    MenuForm* firstForm = nullptr;
    for (const int next : {0, 1, -1}) {
        choice = next;
        pointer.press(pointer.over(window.form.Image5()));
        pointer.release(pointer.over(window.form.Image5()));
        if (choice == 0) {
            QVERIFY(forwardBeforeMenu);
            firstForm = window.form.cd();
            QVERIFY(firstForm && !firstForm->isVisible());
        }
        auto* dialog = window.form.findChild<quillmark::app::NotSearchedDialog*>();
        QCOMPARE(dialog && dialog->isVisible(), choice == 1);
        if (dialog) dialog->close();
        QCOMPARE(window.shell.urls, about);  // the dialog and an unchosen menu open nothing
    }
    QCOMPARE(seen, QStringList(3, "cd|About App|Workbooks not searched…"));
    QCOMPARE(window.form.cd(), firstForm);
    QCOMPARE(window.form.findChildren<MenuForm*>().size(), 1);
}

QTEST_MAIN(TestWindowBehaviours)
#include "test_window_behaviours.moc"
