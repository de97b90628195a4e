// Form1's controls, made from the window's fixed layout table.
#include "app/form1_layout.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/controls.h"
#include "app/form1.h"

// Resources in a static library have to be registered by hand.
static void registerArtwork() {
    Q_INIT_RESOURCE(quillmark);
}

namespace quillmark::app {

namespace {

constexpr ControlPlace kLayout[] = {
    {"hand", -1, {0, 0, 480, 480}},
    {"tamberly", -1, {210, 4980, 4170, 345}},
    {"Image4", -1, {3450, 1290, 480, 390}},
    {"scantip", -1, {960, 1680, 2415, 255}},
    {"Shape1", 1, {960, 1260, 2415, 405}},
    {"Shape1", 0, {960, 765, 2415, 405}},
    {"Image2", -1, {3480, 1260, 450, 405}},
    {"Image1", -1, {3480, 765, 450, 390}},
    {"Label1", 0, {240, 840, 735, 255}},
    {"Label1", 1, {240, 1320, 735, 255}},
    {"Picture1", -1, {0, 0, 9255, 375}},
    {"Image5", -1, {7920, 0, 300, 300}},
    {"Image3", -1, {8400, 0, 720, 285}},
    {"Label10", -1, {120, 15, 2865, 375}},
    {"ListView1", -1, {240, 1920, 8775, 3015}},
    {"List1", -1, {4065, 630, 4935, 1110}},
    {"Text2", -1, {1080, 1320, 2175, 255}},
    {"Text1", -1, {1080, 840, 2175, 255}},
};

QRect twipsOf(const char* name, int index) {
    for (const ControlPlace& place : kLayout)
        if (place.index == index && std::string_view(place.name) == name) return place.twips;
    return {};
}

const QColor kWindowBackground(245, 245, 245);
const QColor kTitleText(255, 255, 255);
const QColor kLinkText(255, 128, 128);
const QColor kPromptText(255, 0, 0);
const QColor kOutline(16, 152, 248);
const QColor kBoxFrame(192, 192, 192);

// Microsoft YaHei where it is installed, else a CJK-capable face that Linux desktops carry.
QFont yaHei(double points, QFont::Weight weight) {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("Noto Sans")});
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

void setColour(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
}

template <class Control>
Control* named(Control* control, const char* name, QRect pixels) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(pixels);
    return control;
}

ImageButton* imageButton(QWidget* parent, const char* name, const char* picture, QRect pixels) {
    auto* image = named(new ImageButton(parent), name, pixels);
    image->setPictureFile(QString::fromLatin1(picture));
    return image;
}

ControlLabel* transparentLabel(QWidget* parent, const char* name, const QString& caption,
                               const QColor& colour, const QFont& font, QRect pixels) {
    auto* label = named(new ControlLabel(caption, parent), name, pixels);
    setColour(*label, QPalette::WindowText, colour);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* borderlessTextBox(QWidget* parent, const char* name, const QString& text, QRect pixels) {
    auto* box = named(new QLineEdit(text, parent), name, pixels);
    box->setFrame(false);
    box->setAttribute(Qt::WA_NoMousePropagation);
    setColour(*box, QPalette::Base, kWindowBackground);
    return box;
}

}  // namespace

std::span<const ControlPlace> form1Layout() {
    return kLayout;
}

QRect placeOf(const char* name, int index) {
    const QRect twips = twipsOf(name, index);
    return pixelsFromTwips(twips.x(), twips.y(), twips.width(), twips.height());
}

void Form1::createControls() {
    registerArtwork();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/artwork/quillmark.ico")));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(9180 / kTwipsPerPixel, 5325 / kTwipsPerPixel);
    setAutoFillBackground(true);
    setColour(*this, QPalette::Window, kWindowBackground);
    setFont(yaHei(9, QFont::Normal));
    setMouseTracking(true);  // background moves clear the link's underline

    // Drawn elements first and child windows last: later siblings stack above earlier ones,
    // so the text boxes and lists lie above the labels, pictures and outlines.
    createDrawnElements();
    createChildWindows();
}

void Form1::createDrawnElements() {
    hand_ = named(new QLabel(this), "hand", placeOf("hand"));
    hand_->setPixmap(QPixmap(QStringLiteral(":/artwork/hand.ico")));
    hand_->setVisible(false);  // only a holder for the link's pointer picture

    tamberly_ = transparentLabel(this, "tamberly", QStringLiteral("Learn More About EXCEL"),
                                 kLinkText, yaHei(9, QFont::Bold), placeOf("tamberly"));
    tamberly_->setMouseTracking(true);

    image4_ = imageButton(this, "Image4", ":/artwork/stop.jpg", placeOf("Image4"));
    image4_->setVisible(false);

    scantip_ = transparentLabel(this, "scantip", QStringLiteral("Please scan the folder first"),
                                kPromptText, yaHei(9, QFont::Normal), placeOf("scantip"));
    scantip_->setVisible(false);

    // Shape1(2) is placed by Form_Load; Shape1(1) and Shape1(0) frame the two text boxes.
    shape1_[2] = named(new RectangleShape(kOutline, this), "Shape1", QRect());
    shape1_[1] = named(new RectangleShape(kBoxFrame, this), "Shape1", QRect());
    shape1_[1]->setTwipGeometry(QRectF(twipsOf("Shape1", 1)));
    shape1_[0] = named(new RectangleShape(kBoxFrame, this), "Shape1", QRect());
    shape1_[0]->setTwipGeometry(QRectF(twipsOf("Shape1", 0)));
    for (int index = 0; index < 3; ++index) shape1_[index]->setProperty("index", index);

    image2_ = imageButton(this, "Image2", ":/artwork/search.jpg", placeOf("Image2"));
    image1_ = imageButton(this, "Image1", ":/artwork/folder.jpg", placeOf("Image1"));

    const QString captions[] = {QStringLiteral("Path"), QStringLiteral("keyword")};
    for (int index : {1, 0}) {
        auto* label =
            named(new ControlLabel(captions[index], this), "Label1", placeOf("Label1", index));
        label->setProperty("index", index);
        label->setAutoFillBackground(true);  // opaque, in the button face colour
        label->setBackgroundRole(QPalette::Button);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label1_[static_cast<std::size_t>(index)] = label;
    }
}

void Form1::createTitleBar() {
    picture1_ = named(new TitleBar(this), "Picture1", placeOf("Picture1"));
    picture1_->setMouseTracking(true);
    picture1_->setFocusPolicy(Qt::TabFocus);

    image5_ = imageButton(picture1_, "Image5", ":/artwork/help.jpg", placeOf("Image5"));
    image5_->setScreenBlend(true);
    image5_->setToolTip(QStringLiteral("Help"));
    image3_ = imageButton(picture1_, "Image3", ":/artwork/close.jpg", placeOf("Image3"));
    image3_->setScreenBlend(true);

    label10_ = transparentLabel(picture1_, "Label10", QStringLiteral("Tamberly Quillmark"),
                                kTitleText, yaHei(10.5, QFont::Bold), placeOf("Label10"));
    label10_->setMouseTracking(true);
}

void Form1::createChildWindows() {
    createTitleBar();

    listView1_ = named(new ResultsList(this), "ListView1", placeOf("ListView1"));

    list1_ = named(new QListWidget(this), "List1", placeOf("List1"));
    list1_->setAttribute(Qt::WA_NoMousePropagation);
    // One entry's size stands for all, so laying out even a long list is a quick pass over
    // its rows; a folder walk lays it out only when it lets the list through to the screen.
    list1_->setUniformItemSizes(true);
    setColour(*list1_, QPalette::Base, kWindowBackground);

    text2_ = borderlessTextBox(this, "Text2", QString(), placeOf("Text2"));
    text1_ = borderlessTextBox(this, "Text1", QStringLiteral("Select one fold"), placeOf("Text1"));
    text1_->setReadOnly(true);  // only the folder choice writes it

    setTabOrder(text1_, text2_);
    setTabOrder(text2_, list1_);
    setTabOrder(list1_, listView1_);
    setTabOrder(listView1_, picture1_);
    text1_->setFocus();
}

}  // namespace quillmark::app
