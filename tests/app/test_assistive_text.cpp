// What a screen reader finds in the window: every control named, the picture buttons as
// push buttons with a description, a tooltip and a press action that is their click, the
// link as a link, and the prompt announced each time a Search leaves it showing, with no run.
#include <QAccessible>
#include <QAccessibleActionInterface>

#include "app/assistive_text.h"
#include "form1_harness.h"

using harness::Window;

namespace {

// Every accessibility event the window sends, as (kind, object name, name read then).
struct Heard {
    QAccessible::Event kind;
    QString object;
    QString name;
};
std::vector<Heard>* heard = nullptr;

void listen(QAccessibleEvent& event) {
    if (!heard || !event.object()) return;
    QAccessibleInterface* iface = event.accessibleInterface();
    heard->push_back({event.type(), event.object()->objectName(),
                      iface ? iface->text(QAccessible::Name) : QString()});
}

QAccessibleInterface* accessible(Window& window, const QString& name) {
    return QAccessible::queryAccessibleInterface(window.form.findChild<QWidget*>(name));
}

}  // namespace

class TestAssistiveText : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { quillmark::app::setAnnouncementSink(&listen); }
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void promptIsAnnouncedEachTimeItShows();
};

// Each control's name; the picture buttons (those with a tooltip here) are also focusable push
// buttons with a description, a tooltip and a press action.
void TestAssistiveText::everyControlIsNamed_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tip");
    // clang-format off
    QTest::newRow("folder box") << "Text1" << "Folder" << "";
    QTest::newRow("keyword box") << "Text2" << "Keyword" << "";
    QTest::newRow("file list") << "List1" << "Workbooks in the folder" << "";
    QTest::newRow("results") << "ListView1" << "Search results" << "";
    QTest::newRow("title") << "Label10" << "Tamberly Quillmark" << "";
    QTest::newRow("title bar") << "Picture1" << "Title bar" << "";
    QTest::newRow("link") << "tamberly" << "Learn More About EXCEL" << "";
    QTest::newRow("prompt") << "scantip" << "Please scan the folder first" << "";
    QTest::newRow("folder button") << "Image1" << "Choose folder" << "Choose folder (Ctrl+O)";
    QTest::newRow("search button") << "Image2" << "Search" << "Search (Enter)";
    QTest::newRow("stop button") << "Image4" << "Stop" << "Stop (Esc)";
    QTest::newRow("menu button") << "Image5" << "Menu" << "Help";
    QTest::newRow("close button") << "Image3" << "Close" << "Close";
    // clang-format on
}

void TestAssistiveText::everyControlIsNamed() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, tip);
    Window window;
    window.show();
    QAccessibleInterface* iface = accessible(window, control);
    QVERIFY(iface && iface->isValid());
    QCOMPARE(iface->text(QAccessible::Name), name);
    if (control == "tamberly") {  // a link, whose press opens its page
        QCOMPARE(iface->role(), QAccessible::Link);
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(window.shell.urls,
                 std::vector<std::string>{quillmark::app::Form1::linkPageAddress()});
    }
    if (tip.isEmpty()) return;
    QCOMPARE(iface->role(), QAccessible::Button);
    QVERIFY(iface->state().focusable);
    QVERIFY(!iface->text(QAccessible::Description).isEmpty());
    QCOMPARE(window.form.findChild<QWidget*>(control)->toolTip(), tip);
    QAccessibleActionInterface* actions = iface->actionInterface();
    QVERIFY(actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    if (control != "Image3") return;  // pressing the others opens dialogs and menus
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(window.quitRequests, 1);
}

void TestAssistiveText::promptIsAnnouncedEachTimeItShows() {
    std::vector<Heard> events;
    heard = &events;
    Window window;
    window.show();
    const auto alerts = [&] {
        QStringList said;
        for (const Heard& event : events)
            if (event.kind == QAccessible::Alert && event.object == "scantip") said << event.name;
        return said;
    };
    // No keyword comes before no files; either prompt starts no run.
    const auto promptedOnly = [&] {
        QTest::qWait(1);
        return window.form.scantip()->isVisible() && window.calls.empty() && window.searchShown();
    };
    window.form.Image2()->clicked();  // no keyword, no files
    QVERIFY(promptedOnly());
    window.fill(1);
    window.form.Image2()->clicked();  // no keyword: the same prompt again, said again
    QVERIFY(promptedOnly());
    window.form.List1()->clear();
    window.form.Text2()->setText("total");
    window.form.Text2()->returnPressed();  // no files
    QVERIFY(promptedOnly());
    window.fill(1);
    window.form.Image2()->clicked();  // a run: the prompt goes, nothing is said
    QTest::qWait(1);
    heard = nullptr;
    QCOMPARE(alerts(), (QStringList{"Please enter keyword", "Please enter keyword",
                                    "Please scan the folder first"}));
}

QTEST_MAIN(TestAssistiveText)
#include "test_assistive_text.moc"
