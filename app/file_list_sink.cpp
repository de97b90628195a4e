// The file list as the folder walk's sink.
#include "file_list_sink.h"

#include <QCoreApplication>
#include <QListWidget>

#include "path_text.h"

namespace quillmark::app {

FileListSink::FileListSink(QListWidget& fileList, std::function<bool()> superseded)
    : fileList_(fileList), superseded_(std::move(superseded)) {}

void FileListSink::append(const std::string& path) {
    if (abandoned()) return;
    fileList_.addItem(makeFileListItem(path));
}

void FileListSink::processEvents() {
    QCoreApplication::processEvents();
}

bool FileListSink::abandoned() const {
    return superseded_();
}

}  // namespace quillmark::app
