// The window's keys. Shortcuts belong to the window (Qt::WindowShortcut), so they are dead
// while the folder picker, a dialog or the menu has the keyboard; the other keys are read by
// event filters on the controls they belong to.
#include "app/keyboard_access.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <vector>

#include "app/controls.h"
#include "app/form1.h"

namespace quillmark::app {

namespace {

bool plainTab(const QKeyEvent& key, bool& forward) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    if (key.key() == Qt::Key_Backtab ||
        (key.key() == Qt::Key_Tab && (key.modifiers() & Qt::ShiftModifier))) {
        forward = false;
        return true;
    }
    forward = true;
    return key.key() == Qt::Key_Tab;
}

class KeyboardAccess : public QObject {
  public:
    explicit KeyboardAccess(Form1& form) : QObject(&form), form_(form) {
        // The boxes and lists first, in reading order, then
        // the picture buttons left to right and top to bottom. Image2 and Image4 share a place
        // and are never shown together. Picture1 is no stop, but Tab from it joins the ring.
        ring_ = {form.Text1(),  form.Text2(),  form.List1(),  form.ListView1(), form.Picture1(),
                 form.Image1(), form.Image2(), form.Image4(), form.Image5(),    form.Image3()};
        for (QWidget* control : ring_) control->installEventFilter(this);
        addShortcuts();
        connect(form.Text2(), &QLineEdit::returnPressed, this, [this] {
            // Enter is a Search click, and Search is hidden while a run goes on.
            if (form_.Image2()->isVisibleTo(&form_)) form_.Image2_Click();
        });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* control = static_cast<QWidget*>(watched);
        switch (event->type()) {
            case QEvent::KeyPress:
                return keyPressed(control, *static_cast<QKeyEvent*>(event));
            case QEvent::Hide:
                // Search and Stop swap under a focused one: the focus moves across with them.
                if (isSearchOrStop(control) && control->hasFocus()) handOverTo_ = twinOf(control);
                break;
            case QEvent::Show:
                if (control == handOverTo_ ||
                    (isSearchOrStop(control) && twinOf(control)->hasFocus()))
                    control->setFocus(Qt::TabFocusReason);
                if (control == handOverTo_) handOverTo_ = nullptr;
                break;
            default:
                break;
        }
        return false;
    }

  private:
    void addShortcuts() {
        const auto shortcut = [this](QKeySequence keys, auto handler) {
            auto* added = new QShortcut(keys, &form_);
            added->setContext(Qt::WindowShortcut);
            connect(added, &QShortcut::activated, this, handler);
        };
        shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { form_.Image1_Click(); });
        shortcut(QKeySequence(Qt::Key_Escape), [this] {
            if (form_.Image4()->isVisibleTo(&form_)) form_.Image4_Click();  // only in a run
        });
    }

    bool keyPressed(QWidget* control, const QKeyEvent& key) {
        bool forward = true;
        if (plainTab(key, forward)) return moveFocus(control, forward);
        if (control != form_.ListView1()) return false;
        if (key.matches(QKeySequence::Copy)) {
            QGuiApplication::clipboard()->setText(selectedRowsAsText(*form_.ListView1()));
            return true;
        }
        if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
            if (!form_.ListView1()->selectedItems().isEmpty()) form_.ListView1_DblClick();
            return true;
        }
        return false;
    }

    bool moveFocus(QWidget* from, bool forward) {
        const auto count = static_cast<int>(ring_.size());
        int at = 0;
        while (at < count && ring_[static_cast<std::size_t>(at)] != from) ++at;
        for (int step = 1; step <= count; ++step) {
            const int next = ((forward ? at + step : at - step) % count + count) % count;
            QWidget* candidate = ring_[static_cast<std::size_t>(next)];
            if (candidate == form_.Picture1() || !candidate->isVisible() || !candidate->isEnabled())
                continue;
            candidate->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
        return false;
    }

    bool isSearchOrStop(const QWidget* control) const {
        return control == form_.Image2() || control == form_.Image4();
    }
    QWidget* twinOf(const QWidget* control) const {
        return control == form_.Image2() ? form_.Image4() : form_.Image2();
    }

    Form1& form_;
    std::vector<QWidget*> ring_;
    QWidget* handOverTo_ = nullptr;
};

}  // namespace

QString selectedRowsAsText(const QTreeWidget& results) {
    QString text;
    for (int row = 0; row < results.topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = results.topLevelItem(row);
        if (item->isSelected())
            text += item->text(0) + QLatin1Char('\t') + item->text(1) + QLatin1Char('\n');
    }
    return text;
}

QObject* installKeyboardAccess(Form1& form) {
    return new KeyboardAccess(form);
}

}  // namespace quillmark::app
