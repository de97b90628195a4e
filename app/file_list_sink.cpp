// The file list as the folder walk's sink.
#include "app/file_list_sink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>

#include "app/path_text.h"

namespace quillmark::app {

bool LayoutDeferral::eventFilter(QObject* watched, QEvent* event) {
    // A held-back timer fires again on the next pass; anything that asks the list where its
    // entries are (a click, a scroll) lays it out first whatever the timers do.
    if (deferring && event->type() == QEvent::Timer) return true;
    return QObject::eventFilter(watched, event);
}

FileListSink::FileListSink(QListWidget& fileList, std::function<bool()> superseded)
    : fileList_(fileList), superseded_(std::move(superseded)) {
    screenUpdates_.restart();  // the first entries are shown once the interval has passed
    fileList_.installEventFilter(&layoutDeferral_);
}

FileListSink::~FileListSink() {
    fileList_.removeEventFilter(&layoutDeferral_);
    fileList_.setUpdatesEnabled(true);
}

void FileListSink::append(const std::string& path) {
    if (abandoned()) return;
    fileList_.addItem(makeFileListItem(path));
}

void FileListSink::processEvents() {
    // Painting the growing list on every pass would cost far more than the walk itself, so
    // the list is let through to the screen a few times a second; every other control paints
    // as usual, and handlers always see every entry appended so far.
    const bool showNow = screenUpdates_.due();
    fileList_.setUpdatesEnabled(showNow);
    layoutDeferral_.deferring = !showNow;
    // Every append discards the list's layout; lay it out here so this pass paints the
    // entries rather than an empty list waiting for its layout timer.
    if (showNow) fileList_.doItemsLayout();
    QCoreApplication::processEvents();
}

bool FileListSink::abandoned() const {
    return superseded_();
}

}  // namespace quillmark::app
