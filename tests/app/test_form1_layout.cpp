// The main window as it first appears: every control under its name at its place in pixels,
// what Form_Load sets up, the outline, columns and title bar as drawn, what takes the mouse,
// and the artwork the window is drawn with.
#include <QApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QScreen>
#include <QScrollBar>

#include "app/form1_layout.h"
#include "form1_harness.h"

using harness::Window;
using quillmark::app::ControlPlace;
using quillmark::app::Form1;
using quillmark::app::form1Layout;
using quillmark::app::ImageButton;

class TestForm1Layout : public QObject {
    Q_OBJECT

  private slots:
    void controlsSitAtTheirPlacesAndTakeTheMouse();
    void firstDisplayShowsTheStartState();
    void windowOutlineAndColumns();
    void longResultPathsWrapInsideTheirColumn();
    void labelsAskForYaHeiWithACjkFallback();
    void titleBarTakesTheHighlightColour();
    void iconsHaveTheirSizes();
};

// Every named control once, at its place in whole pixels (the layout's twips over 15; the
// title bar's controls within it), and no other; each picture button as large as its picture;
// what takes the mouse where.
void TestForm1Layout::controlsSitAtTheirPlacesAndTakeTheMouse() {
    Window window;
    window.show();
    const struct {
        const char* name;
        int index;
        QRect pixels;
    } places[] = {
        {"hand", -1, {0, 0, 32, 32}},      {"tamberly", -1, {14, 332, 278, 23}},
        {"Image4", -1, {230, 86, 32, 26}}, {"scantip", -1, {64, 112, 161, 17}},
        {"Shape1", 0, {64, 51, 161, 27}},  {"Shape1", 1, {64, 84, 161, 27}},
        {"Shape1", 2, {0, 0, 612, 355}},   {"Image2", -1, {232, 84, 30, 27}},
        {"Image1", -1, {232, 51, 30, 26}}, {"Label1", 0, {16, 56, 49, 17}},
        {"Label1", 1, {16, 88, 49, 17}},   {"Picture1", -1, {0, 0, 617, 25}},
        {"Image5", -1, {528, 0, 20, 20}},  {"Image3", -1, {560, 0, 48, 19}},
        {"Label10", -1, {8, 1, 191, 25}},  {"ListView1", -1, {16, 128, 585, 201}},
        {"List1", -1, {271, 42, 329, 74}}, {"Text2", -1, {72, 88, 145, 17}},
        {"Text1", -1, {72, 56, 145, 17}},
    };
    QSet<QWidget*> placed;
    for (const auto& place : places) {
        QList<QWidget*> found;
        for (QWidget* control : window.form.findChildren<QWidget*>(place.name))
            if (place.index < 0 || control->property("index").toInt() == place.index)
                found << control;
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()->geometry(), place.pixels);
        if (auto* image = qobject_cast<ImageButton*>(found.first()))
            QCOMPARE(image->picture().size(), place.pixels.size());  // shown at its own size
        placed << found.first();
    }
    // The window is built from the layout's table: the same places, in twips that divide by 15.
    for (const ControlPlace& place : form1Layout()) {
        const auto row = std::find_if(std::begin(places), std::end(places), [&](const auto& row) {
            return row.index == place.index && QString(row.name) == place.name;
        });
        QVERIFY2(row != std::end(places), place.name);
        QCOMPARE(place.twips, QRect(row->pixels.topLeft() * 15, row->pixels.size() * 15));
    }
    for (QWidget* parent : std::initializer_list<QWidget*>{&window.form, window.form.Picture1()})
        for (QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!control->objectName().isEmpty())
                QVERIFY2(placed.contains(control), qPrintable(control->objectName()));
    // A text box inside its frame, and the title bar over the outline, take the clicks;
    // outlines never catch the mouse: the bare window is under them.
    Form1& form = window.form;
    QCOMPARE(form.childAt(QPoint(100, 60)), form.Text1());
    QCOMPARE(form.childAt(QPoint(100, 92)), form.Text2());
    QCOMPARE(form.childAt(QPoint(300, 0)), form.Picture1());
    QCOMPARE(form.childAt(QPoint(100, 200))->parentWidget(), form.ListView1());  // viewport
    QCOMPARE(form.childAt(QPoint(0, 200)), nullptr);
    QCOMPARE(form.childAt(QPoint(65, 52)), nullptr);
}

// Form_Load empties the results list of anything put there before.
void TestForm1Layout::firstDisplayShowsTheStartState() {
    Window window;
    new QTreeWidgetItem(window.form.ListView1(), QStringList{"left over", "Sheet1"});
    window.show();
    Form1& form = window.form;
    QCOMPARE(form.Text1()->text(), QString("Select one fold"));
    QVERIFY(form.Text2()->text().isEmpty() && form.List1()->count() == 0);
    QCOMPARE(form.ListView1()->topLevelItemCount(), 0);
    QCOMPARE(form.ListView1()->columnCount(), 2);
    const QTreeWidgetItem* header = form.ListView1()->headerItem();
    QCOMPARE(header->text(0) + "|" + header->text(1), QString("Path|Sheet"));
    QCOMPARE(form.Label1(0)->text() + "|" + form.Label1(1)->text(), QString("Path|keyword"));
    QVERIFY(form.Image2()->isVisible() && form.List1()->isVisible());
    QVERIFY(!form.Image4()->isVisible() && !form.scantip()->isVisible() &&
            !form.hand()->isVisible());
    QVERIFY(!form.Running() && form.cd() == nullptr);
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
    // The outline is drawn on the window's very edge at the bottom and sides; the text boxes'
    // frames along their tops, each shape in its own colour.
    const QImage drawn = form.grab().toImage();
    QCOMPARE(form.Shape1(2)->outlineColour(), QColor(16, 152, 248));
    for (const QPoint edge : {QPoint(0, 200), QPoint(611, 200), QPoint(300, 354)})
        QCOMPARE(drawn.pixelColor(edge), form.Shape1(2)->outlineColour());
    QCOMPARE(drawn.pixelColor(150, 51), form.Shape1(0)->outlineColour());
    QCOMPARE(drawn.pixelColor(150, 84), form.Shape1(1)->outlineColour());

    auto* view = form.ListView1();
    QCOMPARE(form.columnWidthTwips(0), 4387.5);
    QCOMPARE(form.columnWidthTwips(1), 4387.5);
    // On screen the halves are whole pixels that add up to the whole control.
    const int first = view->header()->sectionSize(0);
    const int second = view->header()->sectionSize(1);
    QCOMPARE(first + second, view->width());
    QVERIFY(std::abs(first - second) <= 1);
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
    const std::tuple<QWidget*, double, int> labels[] = {{window.form.Label10(), 10.5, QFont::Bold},
                                                        {window.form.tamberly(), 9, QFont::Bold},
                                                        {window.form.scantip(), 9, QFont::Normal}};
    for (const auto& [label, points, weight] : labels) {
        const QFont font = label->font();
        QCOMPARE(font.families().value(0), QString("Microsoft YaHei"));
        QVERIFY(font.families().contains("Noto Sans CJK SC"));
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.weight(), weight);
    }
}

// The bar, drawn above the outline, takes the desktop's highlight colour; the title-bar
// pictures blend in: their black surround shows the bar's own colour.
void TestForm1Layout::titleBarTakesTheHighlightColour() {
    Window window;
    window.show();
    Form1& form = window.form;
    for (const QPoint bare : {QPoint(300, 10), QPoint(300, 0)})
        QCOMPARE(form.grab().toImage().pixelColor(bare), form.palette().color(QPalette::Highlight));
    QPalette palette = form.palette();
    palette.setColor(QPalette::Highlight, QColor(120, 40, 160));
    form.setPalette(palette);
    for (const QPoint bare : {QPoint(300, 10), QPoint(562, 2)})
        QCOMPARE(form.grab().toImage().pixelColor(bare), QColor(120, 40, 160));
}

// The hand pointer one 32-pixel picture; the window icon 16, 32 and 48 pixels, each at three
// colour depths, all readable.
void TestForm1Layout::iconsHaveTheirSizes() {
    Window window;
    QImageReader hand(":/artwork/hand.ico");
    QCOMPARE(hand.imageCount(), 1);
    QCOMPARE(hand.size(), QSize(32, 32));
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
