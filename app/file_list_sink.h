// Where a folder walk delivers its files: the window's file list, one entry per file as it is
// found, with an event pass after every step so the window stays usable during a long walk.
#pragma once

#include <QElapsedTimer>
#include <functional>

#include "folder_scan.h"

class QListWidget;

namespace quillmark::app {

class FileListSink final : public search::ScanSink {
public:
    // `superseded` tells when a newer folder choice (or the window closing) has made this
    // walk pointless; from then on nothing more is appended and the walk stops.
    FileListSink(QListWidget& fileList, std::function<bool()> superseded);
    ~FileListSink() override;
    FileListSink(const FileListSink&) = delete;
    FileListSink& operator=(const FileListSink&) = delete;

    void append(const std::string& path) override;
    void processEvents() override;
    bool abandoned() const override;

private:
    QListWidget& fileList_;
    std::function<bool()> superseded_;
    QElapsedTimer sinceShown_;  // when the list was last let through to the screen
};

}  // namespace quillmark::app
