// The main window from the keyboard alone: shortcuts for the folder choice, the search run
// and Stop, Enter and Copy on the results, and one Tab ring through the boxes, the lists and
// the picture buttons. Every key runs an existing handler; none adds behaviour of its own.
#pragma once

#include <QString>

class QTreeWidget;

namespace quillmark::app {

class Form1;

// Wires the keys into `form` (called once, by its constructor).
void installKeyboardAccess(Form1& form);

// The selected results rows as text, in list order: path TAB sheets, one line each.
QString selectedRowsAsText(const QTreeWidget& results);

}  // namespace quillmark::app
