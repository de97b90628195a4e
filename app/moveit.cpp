// MoveForm: the window system's move where there is one, our own pointer-following otherwise.
#include "app/moveit.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace quillmark::app {

namespace {

// Moves the form with the pointer until the left button comes up. Watches the mouse events of
// the whole application, because the pointer may leave the surface that started the drag.
// The window is placed absolutely from an anchor, so an event seen twice (by the window and
// by the widget) moves nothing twice. The anchor is where the pointer is as the drag starts;
// where the platform cannot tell that (the pointer it reports lies outside the window the
// pointer is moving over), it is the first move the drag sees.
class PointerDrag final : public QObject {
  public:
    static constexpr const char* kName = "moveit pointer drag";

    explicit PointerDrag(QWidget& form) : QObject(&form), form_(form) {
        setObjectName(kName);
        const QPoint pointer = QCursor::pos();
        if (form.frameGeometry().contains(pointer)) anchor(pointer);
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PointerDrag() override {
        if (auto* application = QCoreApplication::instance()) application->removeEventFilter(this);
    }

    bool active() const { return !ended_; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (ended_) return false;
        if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!(mouse->buttons() & Qt::LeftButton) || form_.isMaximized()) {
                end();
            } else {
                follow(mouse->globalPosition().toPoint());
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) end();
        }
        return false;  // the events go on to their receivers as usual
    }

  private:
    void anchor(QPoint pointer) {
        anchored_ = true;
        pointerStart_ = pointer;
        formStart_ = form_.pos();
    }

    void follow(QPoint pointer) {
        if (!anchored_) return anchor(pointer);
        form_.move(formStart_ + (pointer - pointerStart_));
    }

    void end() {
        ended_ = true;
        deleteLater();
    }

    QWidget& form_;
    bool anchored_ = false;
    bool ended_ = false;
    QPoint pointerStart_;
    QPoint formStart_;
};

bool dragUnderWay(QWidget& form) {
    const auto children =
        form.findChildren<QObject*>(PointerDrag::kName, Qt::FindDirectChildrenOnly);
    for (auto* child : children) {
        if (auto* drag = dynamic_cast<PointerDrag*>(child); drag && drag->active()) return true;
    }
    return false;
}

}  // namespace

void MoveForm(QWidget& form) {
    if (form.isMaximized()) return;
    // Without the button held a system move would start a drag nobody asked for.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) return;
    if (dragUnderWay(form)) return;
    if (QWindow* window = form.windowHandle(); window && window->startSystemMove()) return;
    new PointerDrag(form);
}

}  // namespace quillmark::app
