// The folder walk: every file under a folder whose name matches a pattern, in walk order
// (a folder's own matching files first, then each subfolder's whole subtree, depth first).
#pragma once

#include <string>

#include "platform/file_system.h"

namespace quillmark::search {

// The files a folder's workbooks are told by: every name that contains "xls" in any case.
inline constexpr const char* kWorkbookPattern = "*xls*";

// Where the walk delivers what it finds, and how it lets the caller breathe.
class ScanSink {
  public:
    virtual ~ScanSink() = default;
    virtual void append(const std::string& path) = 0;  // folder path + name, exact bytes
    virtual void processEvents() = 0;                  // once after each file and entry
    // A superseded walk stops here; checked after every event pass.
    virtual bool abandoned() const { return false; }
};

// Walks `path` (ending with the separator) and appends every matching regular file. Each
// real folder is entered once, however many links lead to it; the walk ends at once when
// the sink reports it abandoned. A missing or unreadable folder contributes nothing.
void SearchFiles(const std::string& path, const std::string& fileType, ScanSink& sink,
                 platform::FileSystem& fileSystem = platform::nativeFileSystem());

}  // namespace quillmark::search
