// The file dialog that serves as the folder picker.
#include "app/folder_picker.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace quillmark::app {

namespace {

// The folder part of a confirmed name, ending with "/": the name itself when it is a folder
// (a typed folder name), otherwise everything before its last part.
QString folderOf(const QString& confirmed) {
    if (QFileInfo(confirmed).isDir()) {
        return confirmed.endsWith(QLatin1Char('/')) ? confirmed : confirmed + QLatin1Char('/');
    }
    return confirmed.left(confirmed.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

std::optional<std::string> DialogFolderPicker::pickFolder(QWidget* owner) {
    QFileDialog dialog(owner);
    // Qt's own dialog: a native one may refuse a name that does not exist.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // the folder must exist, the name need not
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.selectFile(QString::fromLatin1(kPresetFolderName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList confirmed = dialog.selectedFiles();
    if (confirmed.isEmpty()) return std::nullopt;
    const QString folder = folderOf(confirmed.first());
    if (folder.isEmpty()) return std::nullopt;
    return QFile::encodeName(folder).toStdString();
}

}  // namespace quillmark::app
