// The shell "open" action through Qt's desktop services (xdg-open and friends on Linux,
// the shell's open verb on Windows, Launch Services on macOS).
#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

#include "platform/shell.h"

namespace quillmark::platform {

std::string fileUrlForPath(const std::string& pathBytes) {
    const QByteArray bytes(pathBytes.data(), static_cast<qsizetype>(pathBytes.size()));
    return "file://" + bytes.toPercentEncoding("/").toStdString();
}

namespace {

class DesktopShell final : public Shell {
  public:
    void openFile(const std::string& pathBytes) override {
        // Built from the encoded form so the bytes reach the handler unchanged.
        QDesktopServices::openUrl(
            QUrl::fromEncoded(QByteArray::fromStdString(fileUrlForPath(pathBytes))));
    }

    void openUrl(const std::string& url) override {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    }
};

}  // namespace

Shell& desktopShell() {
    static DesktopShell shell;
    return shell;
}

}  // namespace quillmark::platform
