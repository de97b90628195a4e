// Where each of Form1's controls sits, in twips as the window's layout was drawn (15 to a
// pixel at 96 dpi; every value divides exactly). The window is built from this table and the
// tests hold the shown window against it.
#pragma once

#include <QRect>
#include <span>

namespace quillmark::app {

struct ControlPlace {
    const char* name;
    int index;  // the control array index, or -1 for a control that stands alone
    QRect twips;
};

std::span<const ControlPlace> form1Layout();

// The place of `name` (with `index` in a control array), in pixels.
QRect placeOf(const char* name, int index = -1);

}  // namespace quillmark::app
