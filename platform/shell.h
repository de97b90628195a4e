// The desktop shell's "open" action: a file with the application the desktop associates
// with it, or a web address in the default browser. The window only ever asks; it never
// looks at the outcome.
#pragma once

#include <string>

namespace quillmark::platform {

class Shell {
  public:
    virtual ~Shell() = default;
    // Opens the file at `pathBytes` (the file system's exact bytes) with its default application.
    virtual void openFile(const std::string& pathBytes) = 0;
    // Opens a web address such as "http://host/page.html" in the default browser.
    virtual void openUrl(const std::string& url) = 0;
};

// The desktop's own shell (Qt's desktop services).
Shell& desktopShell();

// A file: address for exact path bytes. Every byte outside the unreserved set and "/" is
// percent-encoded, so a name that is not valid UTF-8 still leads to the very same file.
std::string fileUrlForPath(const std::string& pathBytes);

}  // namespace quillmark::platform
