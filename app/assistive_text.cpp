// The window's controls as a screen reader meets them. The picture buttons and the web link
// are plain widgets to Qt, so they get accessible interfaces of their own: a push button and
// a link, each with a press action that is the control's click.
#include "app/assistive_text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "app/controls.h"
#include "app/form1.h"

namespace quillmark::app {

namespace {

constexpr const char* kRoleProperty = "quillmarkAccessibleRole";

AnnouncementSink& announcementSink() {
    static AnnouncementSink sink = [](QAccessibleEvent& event) {
        QAccessible::updateAccessibility(&event);
    };
    return sink;
}

// A picture button or the link: its role, its name (the label's text for the link) and a
// press action that clicks it.
class PressableControl : public QAccessibleWidget {
  public:
    PressableControl(QWidget* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    QString text(QAccessible::Text kind) const override {
        const QString own = QAccessibleWidget::text(kind);
        if (kind == QAccessible::Name && own.isEmpty())
            if (const auto* label = qobject_cast<const QLabel*>(widget())) return label->text();
        return own;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.focusable = role() == QAccessible::Button;  // the Tab ring reaches the buttons
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != pressAction()) return QAccessibleWidget::doAction(action);
        if (auto* button = qobject_cast<ImageButton*>(widget())) emit button->clicked();
        if (auto* label = qobject_cast<ControlLabel*>(widget())) emit label->clicked();
    }
};

QAccessibleInterface* pressableFactory(const QString&, QObject* object) {
    auto* control = qobject_cast<QWidget*>(object);
    if (!control) return nullptr;
    const QVariant role = control->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new PressableControl(control, static_cast<QAccessible::Role>(role.toInt()));
}

// Gives `control` its own interface, replacing one Qt may have made while building it.
void makePressable(QWidget* control, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(&pressableFactory);
        return true;
    }();
    (void)installed;
    control->setProperty(kRoleProperty, static_cast<int>(role));
    QAccessibleInterface* existing = QAccessible::queryAccessibleInterface(control);
    if (existing && !dynamic_cast<PressableControl*>(existing))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
}

void nameButton(ImageButton* button, const QString& name, const QString& description,
                const QString& tip) {
    makePressable(button, QAccessible::Button);
    button->setAccessibleName(name);
    button->setAccessibleDescription(description);
    if (button->toolTip().isEmpty()) button->setToolTip(tip);
}

// Announces the prompt when it is shown, and again when a Search click leaves it showing
// (its text may be the same as before, which Qt alone would not report).
class PromptAnnouncer : public QObject {
  public:
    PromptAnnouncer(Form1& form) : QObject(&form), prompt_(form.scantip()) {
        prompt_->installEventFilter(this);
        connect(form.Image2(), &ImageButton::clicked, this, &PromptAnnouncer::announceIfShown);
        connect(form.Text2(), &QLineEdit::returnPressed, this, &PromptAnnouncer::announceIfShown);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) announceIfShown();
        return false;
    }

  private:
    void announceIfShown() {
        if (queued_) return;
        queued_ = true;
        // In the next event pass: the handler that shows the prompt sets its text after.
        QTimer::singleShot(0, this, [this] {
            queued_ = false;
            if (!prompt_->isVisible()) return;
            QAccessibleEvent named(prompt_, QAccessible::NameChanged);
            announcementSink()(named);
            QAccessibleEvent alert(prompt_, QAccessible::Alert);
            announcementSink()(alert);
        });
    }

    QLabel* prompt_;
    bool queued_ = false;
};

}  // namespace

void setAnnouncementSink(AnnouncementSink sink) {
    announcementSink() = std::move(sink);
}

void describeForAssistiveTechnology(Form1& form) {
    nameButton(form.Image1(), QStringLiteral("Choose folder"),
               QStringLiteral("Choose the folder whose workbooks are listed and searched"),
               QStringLiteral("Choose folder (Ctrl+O)"));
    nameButton(form.Image2(), QStringLiteral("Search"),
               QStringLiteral("Search the listed workbooks for the keyword"),
               QStringLiteral("Search (Enter)"));
    nameButton(form.Image4(), QStringLiteral("Stop"),
               QStringLiteral("Stop the search after the current workbook"),
               QStringLiteral("Stop (Esc)"));
    nameButton(form.Image5(), QStringLiteral("Menu"), QStringLiteral("Open the menu"),
               QStringLiteral("Menu"));
    nameButton(form.Image3(), QStringLiteral("Close"), QStringLiteral("Close Quillmark"),
               QStringLiteral("Close"));

    form.Text1()->setAccessibleName(QStringLiteral("Folder"));
    form.Text2()->setAccessibleName(QStringLiteral("Keyword"));
    form.List1()->setAccessibleName(QStringLiteral("Workbooks in the folder"));
    form.ListView1()->setAccessibleName(QStringLiteral("Search results"));
    form.ListView1()->setAccessibleDescription(
        QStringLiteral("Workbooks holding the keyword and their sheets; Enter opens one"));
    form.scantip()->setAccessibleDescription(QStringLiteral("Prompt"));
    form.Picture1()->setAccessibleName(QStringLiteral("Title bar"));

    makePressable(form.tamberly(), QAccessible::Link);
    form.tamberly()->setAccessibleDescription(QStringLiteral("Opens a web page about Excel"));
    new PromptAnnouncer(form);
}

}  // namespace quillmark::app
