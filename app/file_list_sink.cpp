// The file list as the folder walk's sink.
#include "file_list_sink.h"

#include <QCoreApplication>
#include <QListWidget>

#include "path_text.h"

namespace quillmark::app {

namespace {
// About 25 screen updates a second: the list still visibly fills as the walk goes.
constexpr qint64 kListRefreshMilliseconds = 40;
}  // namespace

FileListSink::FileListSink(QListWidget& fileList, std::function<bool()> superseded)
    : fileList_(fileList), superseded_(std::move(superseded)) {
    sinceShown_.start();
}

FileListSink::~FileListSink() { fileList_.setUpdatesEnabled(true); }

void FileListSink::append(const std::string& path) {
    if (abandoned()) return;
    fileList_.addItem(makeFileListItem(path));
}

void FileListSink::processEvents() {
    // Painting the growing list on every pass would cost far more than the walk itself, so
    // the list is let through to the screen a few times a second; every other control paints
    // as usual, and handlers always see every entry appended so far.
    const bool showNow = sinceShown_.hasExpired(kListRefreshMilliseconds);
    fileList_.setUpdatesEnabled(showNow);
    QCoreApplication::processEvents();
    if (showNow) sinceShown_.start();
}

bool FileListSink::abandoned() const {
    return superseded_();
}

}  // namespace quillmark::app
