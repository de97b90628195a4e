// What assistive technology reads of the main window: names, descriptions and tooltips for
// the picture buttons, names for the boxes and lists, the web link as a link, and the red
// prompt announced each time it appears.
#pragma once

#include <functional>

class QAccessibleEvent;

namespace quillmark::app {

class Form1;

// Names the controls of `form` (called once, by its constructor).
void describeForAssistiveTechnology(Form1& form);

// Where the prompt's announcements go: QAccessible::updateAccessibility, which passes them
// on only while assistive technology listens; a test without a screen reader listens here.
using AnnouncementSink = std::function<void(QAccessibleEvent& event)>;
void setAnnouncementSink(AnnouncementSink sink);

}  // namespace quillmark::app
