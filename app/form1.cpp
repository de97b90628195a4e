// Form1's start-up and its window behaviours: the outline and results list set up at load,
// the first show, dragging, the web link, the menu button and the close button.
#include "app/form1.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cmath>

#include "app/assistive_text.h"
#include "app/controls.h"
#include "app/hit_counts.h"
#include "app/keyboard_access.h"
#include "app/menu_form.h"
#include "app/moveit.h"
#include "search/workbook_search.h"

namespace quillmark::app {

namespace {

// The hand pointer's hot spot: the tip of the pointing finger in the artwork.
constexpr QPoint kHandHotSpot(11, 1);

// How long the menu button waits for the window system to bring the window forward.
constexpr std::chrono::milliseconds kActivationWait(200);

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent),
      workbookSearch_(&search::searchWorkbook),
      searchJobs_(search::searchJobsForThisMachine()),
      picker_(std::make_unique<DialogFolderPicker>()),
      shell_(&platform::desktopShell()),
      fileSystem_(&platform::nativeFileSystem()),
      quitApplication_([] { QCoreApplication::quit(); }) {
    createControls();
    connectHandlers();
    keyboardAccess_ = installKeyboardAccess(*this);
    hitCounts_ = std::make_unique<HitCounts>(*listView1_, workbookSearch_);
    describeForAssistiveTechnology(*this);
}

Form1::~Form1() {
    delete keyboardAccess_;
    hitCounts_.reset();  // its worker ends before the list it answers to goes
}

void Form1::setWorkbookSearch(WorkbookSearch search) {
    workbookSearch_ = search;
    hitCounts_->setSearch(std::move(search));
}

void Form1::connectHandlers() {
    connect(image1_, &ImageButton::clicked, this, &Form1::Image1_Click);
    connect(image2_, &ImageButton::clicked, this, &Form1::Image2_Click);
    connect(image4_, &ImageButton::clicked, this, &Form1::Image4_Click);
    connect(image3_, &ImageButton::clicked, this, &Form1::Image3_Click);
    connect(image5_, &ImageButton::clicked, this, &Form1::Image5_Click);
    connect(listView1_, &ResultsList::doubleClickedAnywhere, this, &Form1::ListView1_DblClick);
    connect(picture1_, &TitleBar::mouseMoved, this, [this] { MoveForm(*this); });
    connect(label10_, &ControlLabel::mouseMoved, this, [this] { MoveForm(*this); });
    connect(tamberly_, &ControlLabel::mouseMoved, this, [this] {
        QFont font = tamberly_->font();
        font.setUnderline(true);
        tamberly_->setFont(font);
    });
    connect(tamberly_, &ControlLabel::clicked, this, &Form1::tamberly_Click);
}

void Form1::Form_Load() {
    loaded_ = true;
    // The outline follows the window's edge, one twip in on every side.
    const double outerWidth = frameGeometry().width() * kTwipsPerPixel;
    const double outerHeight = frameGeometry().height() * kTwipsPerPixel;
    shape1_[2]->setTwipGeometry(QRectF(1, 1, outerWidth - 2, outerHeight - 2));

    listView1_->clear();
    setUpResultsList();

    showSearchButton(true);
    tamberly_->setCursor(QCursor(hand_->pixmap(), kHandHotSpot.x(), kHandHotSpot.y()));
}

void Form1::setUpResultsList() {
    // Report view with two columns of half the control's width each; several rows can be
    // selected and long texts wrap inside their column.
    listView1_->setRootIsDecorated(false);
    listView1_->setAllColumnsShowFocus(true);
    listView1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView1_->setWordWrap(true);
    listView1_->setTextElideMode(Qt::ElideNone);
    // No frame, so the two halves fill the view exactly; and no horizontal scroll bar when
    // the vertical one takes its strip from the second half, whose texts wrap anyway.
    listView1_->setFrameShape(QFrame::NoFrame);
    listView1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listView1_->header()->setStretchLastSection(false);
    listView1_->header()->setSectionsMovable(false);

    listView1_->setColumnCount(2);
    listView1_->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Sheet")});
    const double controlWidthTwips = listView1_->width() * kTwipsPerPixel;
    columnWidthTwips_ = {controlWidthTwips * 0.5, controlWidthTwips * 0.5};
    // Pixels are whole: the first half rounds down, the second takes the rest.
    const int firstPixels = static_cast<int>(std::floor(columnWidthTwips_[0] / kTwipsPerPixel));
    listView1_->header()->resizeSection(0, firstPixels);
    listView1_->header()->resizeSection(1, listView1_->width() - firstPixels);
}

double Form1::columnWidthTwips(int column) const {
    return columnWidthTwips_.at(static_cast<std::size_t>(column));
}

void Form1::setVisible(bool visible) {
    if (visible && !loaded_) {
        Form_Load();
        centreOnScreen();
    }
    QWidget::setVisible(visible);
}

void Form1::centreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect placed = frameGeometry();
    placed.moveCenter(screen->availableGeometry().center());
    move(placed.topLeft());
}

void Form1::showSearchButton(bool searchShown) {
    image2_->setVisible(searchShown);
    image4_->setVisible(!searchShown);
}

// Window behaviours.

void Form1::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    MoveForm(*this);
    QFont font = tamberly_->font();
    font.setUnderline(false);
    tamberly_->setFont(font);
}

std::string Form1::linkPageAddress() {
    return "http://" QUILLMARK_WEB_HOST "/do/excel.html";
}

std::string Form1::aboutPageAddress() {
    return "http://" QUILLMARK_WEB_HOST "/apps/quillmark/index.html?v=1.0";
}

void Form1::tamberly_Click() {
    shell_->openUrl(linkPageAddress());
}

void Form1::aap_Click() {
    shell_->openUrl(aboutPageAddress());
}

void Form1::bringForward() {
    raise();
    activateWindow();
    const auto forward = [this] {
        return windowHandle() && QGuiApplication::focusWindow() == windowHandle();
    };
    if (forward()) return;
    // Activation arrives later from the window system, and a pop-up opened before it lands
    // would swallow it: wait for it a moment, letting no user input through meanwhile.
    QEventLoop activation;
    QTimer::singleShot(kActivationWait, &activation, &QEventLoop::quit);
    connect(qApp, &QGuiApplication::focusWindowChanged, &activation, [&] {
        if (forward()) activation.quit();
    });
    activation.exec(QEventLoop::ExcludeUserInputEvents);
}

void Form1::Image5_Click() {
    bringForward();
    if (!cd_) {
        cd_ = new MenuForm(this);  // hidden for good; it only owns the menu
        connect(cd_->aap(), &QAction::triggered, this, &Form1::aap_Click);
        connect(cd_->notSearched(), &QAction::triggered, this, &Form1::notSearched_Click);
    }
    cd_->cd()->exec(QCursor::pos());
}

void Form1::Image3_Click() {
    // Every loop in progress (a scan's walk, a run) sees the flag at its next event pass and
    // returns without touching anything more, so the program ends at once.
    closing_ = true;
    running_ = false;
    hitCounts_->stop();  // a count under way is cancelled; nothing is counted after it
    close();
    quitApplication_();
}

}  // namespace quillmark::app
