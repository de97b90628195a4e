// The main window as it first appears: every control under its name with the layout's
// geometry, texts, colours and fonts; what Form_Load sets up; stacking, tab order, focus;
// and the artwork the window is drawn with.
#include <QApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>

#include "app/form1_layout.h"
#include "app/menu_form.h"
#include "form1_harness.h"

using harness::Window;
using quillmark::app::ControlLabel;
using quillmark::app::ControlPlace;
using quillmark::app::Form1;
using quillmark::app::form1Layout;
using quillmark::app::ImageButton;

class TestForm1Layout : public QObject {
    Q_OBJECT

  private slots:
    void controlsSitWhereTheLayoutPutsThem();
    void firstDisplayShowsTheStartState();
    void windowOutlineAndColumns();
    void longResultPathsWrapInsideTheirColumn();
    void labelsAskForYaHeiWithACjkFallback();
    void childWindowsLieAboveTheDrawnElements();
    void tabOrderAndFocusStartInText1();
    void titleBarTakesTheHighlightColour();
    void formLoadEmptiesTheResultsList();
    void picturesHaveTheirExactSizes();
};

// Every control once, where the layout table puts it (whole pixels: twips divide by 15),
// and no named control outside the table but the outline Form_Load places.
void TestForm1Layout::controlsSitWhereTheLayoutPutsThem() {
    Window window;
    window.show();
    QSet<QWidget*> placed;
    for (const ControlPlace& place : form1Layout()) {
        const QRect& twips = place.twips;
        for (int value : {twips.x(), twips.y(), twips.width(), twips.height()})
            QCOMPARE(value % 15, 0);
        QList<QWidget*> found;
        for (QWidget* control : window.form.findChildren<QWidget*>(place.name))
            if (place.index < 0 || control->property("index").toInt() == place.index)
                found << control;
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()->geometry(), QRect(twips.topLeft() / 15, twips.size() / 15));
        placed << found.first();
    }
    for (QWidget* control : window.form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!control->objectName().isEmpty() && control != window.form.Shape1(2))
            QVERIFY2(placed.contains(control), qPrintable(control->objectName()));
}

void TestForm1Layout::firstDisplayShowsTheStartState() {
    Window window;
    window.show();
    Form1& form = window.form;
    QCOMPARE(form.Label10()->text(), QString("Tamberly Quillmark"));
    QCOMPARE(form.Text1()->text(), QString("Select one fold"));
    QVERIFY(form.Text2()->text().isEmpty());
    QVERIFY(form.List1()->isVisible() && form.List1()->count() == 0);
    QCOMPARE(form.ListView1()->headerItem()->text(0), QString("Path"));
    QCOMPARE(form.ListView1()->headerItem()->text(1), QString("Sheet"));
    QVERIFY(form.Image2()->isVisible());
    QVERIFY(!form.Image4()->isVisible() && !form.scantip()->isVisible() &&
            !form.hand()->isVisible());
    QCOMPARE(form.scantip()->text(), QString("Please scan the folder first"));
    QCOMPARE(form.scantip()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(form.tamberly()->text(), QString("Learn More About EXCEL"));
    QVERIFY(!form.tamberly()->font().underline());
    QCOMPARE(form.Label1(0)->text(), QString("Path"));
    QCOMPARE(form.Label1(1)->text(), QString("keyword"));
    QCOMPARE(form.Image5()->toolTip(), QString("Help"));
    QVERIFY(!form.Running());
    QVERIFY(form.cd() == nullptr);
    // The link's pointer is the hand picture.
    const QCursor pointer = form.tamberly()->cursor();
    QCOMPARE(pointer.shape(), Qt::BitmapCursor);
    QCOMPARE(pointer.pixmap().toImage(), form.hand()->pixmap().toImage());
}

// Borderless, fixed and centred; the outline one twip in from the edge; the results list's
// columns exactly half the list each.
void TestForm1Layout::windowOutlineAndColumns() {
    Window window;
    window.show();
    Form1& form = window.form;
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(form.size(), QSize(612, 355));
    QCOMPARE(form.maximumSize(), QSize(612, 355));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY((form.frameGeometry().center() - screenCentre).manhattanLength() <= 1);
    QCOMPARE(form.Shape1(2)->twipGeometry(), QRectF(1, 1, 9180 - 2, 5325 - 2));
    QCOMPARE(form.Shape1(2)->geometry(), QRect(0, 0, 612, 355));
    QCOMPARE(form.Shape1(2)->outlineColour(), QColor(16, 152, 248));
    QCOMPARE(form.Shape1(0)->outlineColour(), QColor(192, 192, 192));
    for (int index = 0; index < 3; ++index) {
        QCOMPARE(form.Shape1(index)->objectName(), QString("Shape1"));
        QCOMPARE(form.Shape1(index)->property("index").toInt(), index);
    }
    // The outline is drawn on the window's very edge at the bottom and sides.
    const QImage drawn = form.grab().toImage();
    QCOMPARE(drawn.pixelColor(0, 200), QColor(16, 152, 248));
    QCOMPARE(drawn.pixelColor(611, 200), QColor(16, 152, 248));
    QCOMPARE(drawn.pixelColor(300, 354), QColor(16, 152, 248));

    auto* view = form.ListView1();
    QCOMPARE(form.columnWidthTwips(0), 4387.5);
    QCOMPARE(form.columnWidthTwips(1), 4387.5);
    // On screen the halves are whole pixels that add up to the whole control.
    const int first = view->header()->sectionSize(0);
    const int second = view->header()->sectionSize(1);
    QCOMPARE(first + second, view->width());
    QVERIFY(std::abs(first - view->width() / 2.0) <= 0.5);
    QVERIFY(std::abs(second - view->width() / 2.0) <= 0.5);
    QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestForm1Layout::longResultPathsWrapInsideTheirColumn() {
    Window window;
    window.show();
    auto* view = window.form.ListView1();
    view->addTopLevelItem(quillmark::app::makeResultsRow("/a.xlsx", "Sheet1"));
    view->addTopLevelItem(quillmark::app::makeResultsRow(
        "/reports/2024 regional breakdown with a long folder name/northern region/"
        "customers-with-a-long-file-name.xlsx",
        "Sheet1"));
    QTRY_VERIFY(view->visualItemRect(view->topLevelItem(1)).height() >=
                2 * view->visualItemRect(view->topLevelItem(0)).height());
    QVERIFY(!view->horizontalScrollBar()->isVisible());
}

void TestForm1Layout::labelsAskForYaHeiWithACjkFallback() {
    Window window;
    const auto expect = [](QWidget* control, double points, int weight) {
        const QFont font = control->font();
        QCOMPARE(font.families().value(0), QString("Microsoft YaHei"));
        QVERIFY(font.families().contains("Noto Sans CJK SC"));
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.weight(), weight);
    };
    expect(window.form.Label10(), 10.5, QFont::Bold);
    expect(window.form.tamberly(), 9, QFont::Bold);
    expect(window.form.scantip(), 9, QFont::Normal);
}

void TestForm1Layout::childWindowsLieAboveTheDrawnElements() {
    Window window;
    window.show();
    Form1& form = window.form;
    // A text box inside its frame, and the title bar over the outline, take the clicks.
    QCOMPARE(form.childAt(QPoint(100, 60)), form.Text1());
    QCOMPARE(form.childAt(QPoint(100, 92)), form.Text2());
    QCOMPARE(form.childAt(QPoint(300, 0)), form.Picture1());
    QCOMPARE(form.childAt(QPoint(100, 200))->parentWidget(), form.ListView1());  // viewport
    // Outlines never catch the mouse: the bare window is under them.
    QCOMPARE(form.childAt(QPoint(0, 200)), nullptr);
    QCOMPARE(form.childAt(QPoint(65, 52)), nullptr);
    const QObjectList stacking = form.children();
    const auto level = [&](QObject* control) { return stacking.indexOf(control); };
    for (QWidget* child :
         {static_cast<QWidget*>(form.Text1()), static_cast<QWidget*>(form.Text2()),
          static_cast<QWidget*>(form.List1()), static_cast<QWidget*>(form.ListView1()),
          static_cast<QWidget*>(form.Picture1())}) {
        for (QWidget* drawn :
             {static_cast<QWidget*>(form.Shape1(0)), static_cast<QWidget*>(form.Shape1(2)),
              static_cast<QWidget*>(form.Image1()), static_cast<QWidget*>(form.Label1(0)),
              static_cast<QWidget*>(form.tamberly())})
            QVERIFY(level(child) > level(drawn));
    }
}

void TestForm1Layout::tabOrderAndFocusStartInText1() {
    Window window;
    window.show();
    Form1& form = window.form;
    QCOMPARE(form.focusWidget(), form.Text1());
    QList<QWidget*> order;
    QWidget* next = form.Text1();
    do {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->window() == &form &&
            next != &form)
            order << next;
        next = next->nextInFocusChain();
    } while (next != form.Text1());
    const QList<QWidget*> expected = {form.Text1(), form.Text2(), form.List1(), form.ListView1(),
                                      form.Picture1()};
    QCOMPARE(order, expected);
}

void TestForm1Layout::titleBarTakesTheHighlightColour() {
    Window window;
    window.show();
    Form1& form = window.form;
    const QPoint bareTitleBar(300, 10);
    QCOMPARE(form.grab().toImage().pixelColor(bareTitleBar),
             form.palette().color(QPalette::Highlight));
    // A desktop with another highlight colour gets a title bar of that colour.
    QPalette palette = form.palette();
    palette.setColor(QPalette::Highlight, QColor(120, 40, 160));
    form.setPalette(palette);
    QCOMPARE(form.grab().toImage().pixelColor(bareTitleBar), QColor(120, 40, 160));
    // The title-bar pictures blend in: their black surround shows the bar's own colour.
    QCOMPARE(form.grab().toImage().pixelColor(QPoint(562, 2)), QColor(120, 40, 160));
}

void TestForm1Layout::formLoadEmptiesTheResultsList() {
    Window window;
    new QTreeWidgetItem(window.form.ListView1(), QStringList{"left over", "Sheet1"});
    window.show();
    QCOMPARE(window.form.ListView1()->topLevelItemCount(), 0);
    QCOMPARE(window.form.ListView1()->columnCount(), 2);
}

void TestForm1Layout::picturesHaveTheirExactSizes() {
    Window window;
    const struct {
        ImageButton* image;
        const char* resource;
        QSize size;
    } pictures[] = {
        {window.form.Image1(), ":/artwork/folder.jpg", {30, 26}},
        {window.form.Image2(), ":/artwork/search.jpg", {30, 27}},
        {window.form.Image4(), ":/artwork/stop.jpg", {32, 26}},
        {window.form.Image5(), ":/artwork/help.jpg", {20, 20}},
        {window.form.Image3(), ":/artwork/close.jpg", {48, 19}},
    };
    for (const auto& picture : pictures) {
        QImageReader reader(picture.resource);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), picture.size);
        QCOMPARE(picture.image->picture().size(), picture.size);
        QCOMPARE(picture.image->size(), picture.size);  // the layout shows it at its own size
    }
    QImageReader hand(":/artwork/hand.ico");
    QCOMPARE(hand.imageCount(), 1);
    QCOMPARE(hand.size(), QSize(32, 32));
    // The window icon: 16, 32 and 48 pixels, each at three colour depths, all readable.
    QImageReader icon(":/artwork/quillmark.ico");
    QCOMPARE(icon.imageCount(), 9);
    for (int index = 0; index < 9; ++index) {
        QVERIFY(icon.jumpToImage(index));
        QVERIFY(!icon.read().isNull());
    }
    QVERIFY(window.form.windowIcon().availableSizes().contains(QSize(48, 48)));
}

QTEST_MAIN(TestForm1Layout)
#include "test_form1_layout.moc"
