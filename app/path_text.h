// Paths travel as the file system's exact bytes; lists show them as text. These helpers keep
// the two side by side in an item, so a name that is not valid UTF-8 is shown legibly and
// still leads back to the very same file.
#pragma once

#include <QString>
#include <Qt>
#include <string>

class QListWidgetItem;
class QTreeWidgetItem;

namespace quillmark::app {

// The item data role that holds a path's exact bytes (a QByteArray).
inline constexpr int kPathBytesRole = Qt::UserRole + 1;

// The path as a person reads it: UTF-8 decoded, each invalid sequence shown as U+FFFD.
QString displayTextForPath(const std::string& pathBytes);

// A file-list entry showing the path and holding its bytes.
QListWidgetItem* makeFileListItem(const std::string& pathBytes);

// A results row: the path in column "Path" (its bytes beside it), the sheet names in "Sheet".
QTreeWidgetItem* makeResultsRow(const std::string& pathBytes, const std::string& sheetNames);

// The exact bytes an item holds (column 0 of a results row).
std::string pathBytesOf(const QListWidgetItem& item);
std::string pathBytesOf(const QTreeWidgetItem& row);

}  // namespace quillmark::app
