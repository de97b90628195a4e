// Dragging a borderless window by its own surfaces.
#pragma once

class QWidget;

namespace quillmark::app {

// Called on every mouse move over the surfaces that act as a caption. While the left button
// is held it hands the drag to the window system's own move where the platform offers one,
// and otherwise makes the window follow the pointer until the button is released. Does
// nothing while the form is maximised or the left button is up.
void MoveForm(QWidget& form);

}  // namespace quillmark::app
