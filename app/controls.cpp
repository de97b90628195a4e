// The main window's own control kinds.
#include "app/controls.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace quillmark::app {

QRect pixelsFromTwips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

// ImageButton

ImageButton::ImageButton(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
}

void ImageButton::setPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void ImageButton::setPictureFile(const QString& file) {
    setPicture(QPixmap(file));
    const QFileInfo name(file);
    const QString twin = name.path() + QLatin1Char('/') + name.completeBaseName() +
                         QStringLiteral("@2x.") + name.suffix();
    sharper_ = QFileInfo::exists(twin) ? QPixmap(twin) : QPixmap();  // read at pixel ratio 2
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (screenBlend_) painter.setCompositionMode(QPainter::CompositionMode_Screen);
    // The device painted on may be finer than the widget's screen (a grab or a render into a
    // high-resolution image): its own ratio decides which picture is drawn.
    const QPaintDevice* target =
        painter.paintEngine() ? painter.paintEngine()->paintDevice() : this;
    const qreal ratio = target ? target->devicePixelRatio() : devicePixelRatioF();
    if (ratio > 1 && !sharper_.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);  // 150%: a clean scale-down
        painter.drawPixmap(QRect(QPoint(0, 0), picture_.size()), sharper_);
    } else {
        painter.drawPixmap(0, 0, picture_);  // own size, never stretched
    }
    if (hasFocus()) paintFocusMark(painter);
}

void ImageButton::paintFocusMark(QPainter& painter) const {
    // A white ring that follows the picture's rounded shape: inside the edge of a button
    // tile, at the very edge of a title-bar glyph's cell (drawn white over the bar's colour).
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = screenBlend_ ? 0.75 : 2.5;
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 3, 3);
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) emit clicked();
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void ImageButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:  // pressed down now, clicked on release, as a push button is
            if (!event->isAutoRepeat()) spaceDown_ = true;
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            if (!event->isAutoRepeat()) emit clicked();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void ImageButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space) return QWidget::keyReleaseEvent(event);
    event->accept();
    if (event->isAutoRepeat() || !spaceDown_) return;
    spaceDown_ = false;
    emit clicked();
}

void ImageButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void ImageButton::focusOutEvent(QFocusEvent* event) {
    spaceDown_ = false;
    QWidget::focusOutEvent(event);
    update();
}

// ControlLabel

ControlLabel::ControlLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAttribute(Qt::WA_NoMousePropagation);
}

void ControlLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ControlLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) emit clicked();
}

void ControlLabel::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit mouseMoved();
}

// TitleBar

TitleBar::TitleBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Highlight);  // follows the desktop's highlight colour
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TitleBar::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit mouseMoved();
}

// RectangleShape

RectangleShape::RectangleShape(const QColor& outline, QWidget* parent)
    : QWidget(parent), outline_(outline) {
    // A drawn shape is no control: the window beneath gets its mouse events.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RectangleShape::setTwipGeometry(const QRectF& twips) {
    twips_ = twips;
    const auto pixels = [](double value) {
        return static_cast<int>(std::lround(value / kTwipsPerPixel));
    };
    setGeometry(pixels(twips.left()), pixels(twips.top()), pixels(twips.width()),
                pixels(twips.height()));
}

void RectangleShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(outline_, 1));
    painter.setBrush(Qt::NoBrush);
    // Centred on the edge pixels' middles, so at any scale the line is one pixel of the
    // layout wide and lies wholly inside.
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

// WrappingItemDelegate

WrappingItemDelegate::WrappingItemDelegate(QTreeView* view)
    : QStyledItemDelegate(view), view_(view) {}

QSize WrappingItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!view_->wordWrap()) return size;
    // The text's room: the column less the margins the style keeps on either side.
    const QStyle* style = view_->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
    const int room = view_->columnWidth(index.column()) - 2 * margin;
    if (room <= 0) return size;
    QTextLayout layout(index.data(Qt::DisplayRole).toString(), option.font);
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrapping);
    layout.beginLayout();
    int lines = 0;
    while (layout.createLine().isValid()) {
        layout.lineAt(lines).setLineWidth(room);
        ++lines;
    }
    layout.endLayout();
    const int lineHeight = QFontMetrics(option.font).lineSpacing();
    size.setHeight(std::max(size.height(), lines * lineHeight + 2 * margin));
    return size;
}

// ResultsList

ResultsList::ResultsList(QWidget* parent) : QTreeWidget(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setItemDelegate(new WrappingItemDelegate(this));
}

void ResultsList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    emit doubleClickedAnywhere();
}

}  // namespace quillmark::app
