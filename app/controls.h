// The small control kinds the main window is made of, beyond Qt's own: picture buttons,
// labels that report the mouse, the title bar, outline shapes and the results list.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QRectF>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QWidget>

namespace quillmark::app {

// A picture shown at its own pixel size that reports a click (press and release on it, or
// Space or Enter while it has the keyboard focus, which it is given only from the keyboard).
// On a screen scaled above 100% it draws the picture's twice-size twin (name@2x) when there
// is one, so the artwork stays sharp.
// A picture drawn with screen blending shows its black background as the surface beneath
// and its white as white, with grey as the blend between: exactly a white glyph whose
// coverage is the picture's brightness, so one picture sits on any title-bar colour.
class ImageButton : public QWidget {
    Q_OBJECT
  public:
    explicit ImageButton(QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture);
    // The picture in `file` and its twice-size twin beside it, if present.
    void setPictureFile(const QString& file);
    const QPixmap& picture() const { return picture_; }
    const QPixmap& sharperPicture() const { return sharper_; }
    void setScreenBlend(bool screenBlend) { screenBlend_ = screenBlend; }

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void paintFocusMark(QPainter& painter) const;

    QPixmap picture_;
    QPixmap sharper_;
    bool screenBlend_ = false;
    bool spaceDown_ = false;
    bool pressed_ = false;
};

// A label that keeps its mouse events to itself (as a control does) and reports them.
class ControlLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ControlLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void mouseMoved();
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// The title bar: a solid band in the palette's highlight colour that holds other controls
// and reports mouse moves over its bare surface.
class TitleBar : public QWidget {
    Q_OBJECT
  public:
    explicit TitleBar(QWidget* parent = nullptr);

  signals:
    void mouseMoved();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A rectangle outline drawn on the window surface. Its place is kept in twips, the layout's
// own unit, so an outline one twip in from the edge keeps that exact value; the drawn line
// sits on the nearest pixels. Mouse events pass through it to the window beneath.
class RectangleShape : public QWidget {
    Q_OBJECT
  public:
    RectangleShape(const QColor& outline, QWidget* parent = nullptr);
    void setTwipGeometry(const QRectF& twips);
    QRectF twipGeometry() const { return twips_; }
    QColor outlineColour() const { return outline_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor outline_;
    QRectF twips_;
};

// Measures each cell as its text wraps inside its column (at word boundaries, or anywhere in a
// long path), so a wrapped row is as tall as its lines.
class WrappingItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit WrappingItemDelegate(QTreeView* view);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    QTreeView* view_;
};

// The results list in report view; reports a double-click anywhere in it, on a row or not.
class ResultsList : public QTreeWidget {
    Q_OBJECT
  public:
    explicit ResultsList(QWidget* parent = nullptr);

  signals:
    void doubleClickedAnywhere();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Layout unit conversion: 15 twips to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;
QRect pixelsFromTwips(int left, int top, int width, int height);

}  // namespace quillmark::app
