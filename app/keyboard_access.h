// The main window from the keyboard alone: shortcuts for the folder choice, the search run
// and Stop, Enter and Copy on the results, and one Tab ring through the boxes, the lists and
// the picture buttons. Every key runs an existing handler; none adds behaviour of its own.
#pragma once

#include <QObject>
#include <QString>

class QTreeWidget;

namespace quillmark::app {

class Form1;

// Wires the keys into `form` (called once, by its constructor).
// The returned object belongs to `form`; the form deletes it first when it goes, before its
// controls, so that no key or focus event reaches a half-destroyed form.
QObject* installKeyboardAccess(Form1& form);

// The selected results rows as text, in list order: path TAB sheets, one line each.
QString selectedRowsAsText(const QTreeWidget& results);

}  // namespace quillmark::app
