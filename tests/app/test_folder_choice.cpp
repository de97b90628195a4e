// The folder choice: the picker's Cancel and confirm, the scan it starts over a real folder,
// a Search, a second choice or the close handled while a scan lets events through, and
// names that are not valid UTF-8 kept byte for byte from the file list to the shell.
#include <QApplication>
#include <QFileDialog>
#include <QScopeGuard>
#include <QTimer>

#include "form1_harness.h"

using harness::Tree;
using harness::Window;
using quillmark::app::DialogFolderPicker;
using Paths = std::vector<std::string>;

class TestFolderChoice : public QObject {
    Q_OBJECT

  private slots:
    void confirmScansTheFolderAndCancelChangesNothing();
    void aClickInTheScansFirstPass_data();
    void aClickInTheScansFirstPass();
    void aNameThatIsNotUtf8IsShownAndKeptExactly();
    void dialogYieldsTheFolderInViewThePickedFilesOrNothing();
};

// A result row left from earlier, to see whether a folder choice empties the results.
static void addLeftoverResult(Window& window) {
    window.form.ListView1()->addTopLevelItem(
        quillmark::app::makeResultsRow("/earlier/book.xlsx", "Sheet1"));
}

// A confirmed choice lists the folder's workbooks and empties the results; Cancel changes
// nothing; both hide the prompt; choosing again lists afresh, and empties the results even
// when nothing is found.
void TestFolderChoice::confirmScansTheFolderAndCancelChangesNothing() {
    Window window;
    window.show();
    Tree tree;
    // Within a folder, names come in the listing's order (letter case folded).
    const Paths expected = {tree.file("a.xls"), tree.file("B.XLSX"), tree.file("old.xls.bak"),
                            tree.file("sub/c.xlsm")};
    tree.file("notes.txt");
    for (const std::optional<std::string>& choice :
         {std::optional(tree.root()), std::optional<std::string>(), std::optional(tree.root())}) {
        addLeftoverResult(window);
        window.form.scantip()->setVisible(true);
        window.chooseFolder(choice);
        QVERIFY(!window.form.scantip()->isVisible());
        QCOMPARE(window.form.Text1()->text(), QFile::decodeName(tree.root().c_str()));
        QCOMPARE(window.fileList(), expected);
        QCOMPARE(window.form.ListView1()->topLevelItemCount(), choice ? 0 : 1);
        // The folder choice leaves the Search/Stop pair alone.
        QVERIFY(window.searchShown());
        window.form.ListView1()->clear();
    }
    QVERIFY(window.form.Text1()->text().endsWith('/'));
    Tree empty;
    empty.file("readme.txt");
    addLeftoverResult(window);
    window.chooseFolder(empty.root());
    QCOMPARE(window.form.List1()->count(), 0);
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), 0);
}

// A click handled in the scan's first event pass, after the first entry was added: Search
// searches the entries so far, and the scan then runs to its end and empties the results once
// it returns; a second choice supersedes the scan; the close stops the walk at its next look and
// the choice does nothing more.
void TestFolderChoice::aClickInTheScansFirstPass_data() {
    QTest::addColumn<QString>("click");
    QTest::newRow("Search") << "search";
    QTest::newRow("a second folder choice") << "folder";
    QTest::newRow("the close") << "close";
}

void TestFolderChoice::aClickInTheScansFirstPass() {
    QFETCH(QString, click);
    Window window;
    window.show();
    Tree tree;
    const Paths all = {tree.file("a.xls"), tree.file("b.xls"), tree.file("c.xls"),
                       tree.file("sub/d.xls")};
    Tree second;
    const Paths other = {second.file("b1.xlsx"), second.file("sub/b2.xlsx")};
    addLeftoverResult(window);
    window.form.Text2()->setText("total");
    window.answer = [](int, const std::string&, const std::string&) { return "Sheet1"; };
    Paths listedAtTheClick;
    harness::inNextEventPass(&window.form, [&] {
        listedAtTheClick = window.fileList();
        if (click == "search") window.form.Image2_Click();
        if (click == "folder") window.chooseFolder(second.root());
        if (click == "close") window.form.Image3_Click();
    });

    window.chooseFolder(tree.root());

    QCOMPARE(listedAtTheClick, Paths{all[0]});
    QCOMPARE(window.calls.size(), std::size_t(click == "search"));
    if (click == "search") QCOMPARE(window.calls[0].path, all[0]);
    QCOMPARE(window.fileList(), click == "close" ? Paths{all[0]} : click == "folder" ? other : all);
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), click == "close" ? 1 : 0);
    QCOMPARE(window.quitRequests, int(click == "close"));
    if (click == "close") {
        QVERIFY(!window.form.isVisible());
        return;
    }
    QCOMPARE(window.form.Text1()->text(),
             QFile::decodeName((click == "folder" ? second : tree).root().c_str()));
    QVERIFY(window.searchShown());
}

void TestFolderChoice::aNameThatIsNotUtf8IsShownAndKeptExactly() {
    Window window;
    window.show();
    Tree tree;
    const std::string odd = tree.file("caf\xE9-sales.xlsx");  // Latin-1 e acute: invalid UTF-8
    // Qt cannot name this file to remove it with the folder, so it goes by its bytes.
    const auto removeOdd = qScopeGuard([&] { ::unlink(odd.c_str()); });
    window.chooseFolder(tree.root());
    QCOMPARE(window.fileList(), Paths{odd});
    const QString shown = window.form.List1()->item(0)->text();
    QVERIFY(shown.endsWith(QString::fromUtf8("caf\xEF\xBF\xBD-sales.xlsx")));  // U+FFFD

    window.form.Text2()->setText("x");
    window.answer = [](int, const std::string&, const std::string&) { return "Sheet1"; };
    window.form.Image2_Click();
    QCOMPARE(window.calls.at(0).path, odd);  // the search got the exact bytes

    auto* row = window.form.ListView1()->topLevelItem(0);
    QCOMPARE(row->text(0), shown);
    window.form.ListView1()->setCurrentItem(row);
    window.form.ListView1_DblClick();
    QCOMPARE(window.shell.files, Paths{odd});  // and so did the shell
}

// Runs the real picker and lets `answer` work the dialog once it is up.
static std::optional<std::string> runDialog(std::function<void(QFileDialog&)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*dialog);
        }
    });
    poll->start(10);
    QWidget owner;
    return DialogFolderPicker().pickFolder(&owner);
}

// The dialog opens modal with the preset name and yields the folder in view; a file picked
// in it stands for its folder; Cancel yields nothing.
void TestFolderChoice::dialogYieldsTheFolderInViewThePickedFilesOrNothing() {
    Tree tree;
    const std::string book = tree.file("sub/book.xlsx");
    QString nameBox;
    bool modal = false;
    const auto inView = runDialog([&](QFileDialog& dialog) {
        if (auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit")) nameBox = edit->text();
        modal = dialog.isModal();
        dialog.setDirectory(QFile::decodeName(tree.root().c_str()));
        dialog.selectFile("Select a folder");
        QMetaObject::invokeMethod(&dialog, "accept");  // as the Open button does
    });
    QCOMPARE(nameBox, QString("Select a folder"));
    QVERIFY(modal);
    QCOMPARE(inView, std::optional<std::string>(tree.root()));
    const auto ofFile = runDialog([&](QFileDialog& dialog) {
        dialog.selectFile(QFile::decodeName(book.c_str()));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    QCOMPARE(ofFile, std::optional<std::string>(tree.root() + "sub/"));
    QVERIFY(!runDialog([](QFileDialog& dialog) { dialog.reject(); }).has_value());
}

QTEST_MAIN(TestFolderChoice)
#include "test_folder_choice.moc"
