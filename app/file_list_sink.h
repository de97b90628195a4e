// Where a folder walk delivers its files: the window's file list, one entry per file as it is
// found, with an event pass after every step so the window stays usable during a long walk.
#pragma once

#include <QObject>
#include <functional>

#include "app/repaint_throttle.h"
#include "search/folder_scan.h"

class QListWidget;

namespace quillmark::app {

// Holds back the list's own timers (its delayed layout above all) between the moments the list
// is let through to the screen. Laying the list out after every append measures the newest
// entry's text each time, which costs several times the walk itself.
class LayoutDeferral final : public QObject {
  public:
    bool deferring = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

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
    RepaintThrottle screenUpdates_;  // when the list is let through to the screen
    LayoutDeferral layoutDeferral_;
};

}  // namespace quillmark::app
