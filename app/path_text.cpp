// Path bytes beside their display text in list items.
#include "app/path_text.h"

#include <QByteArray>
#include <QListWidgetItem>
#include <QTreeWidgetItem>

namespace quillmark::app {

namespace {

QByteArray toByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toStdString(const QVariant& value) {
    const QByteArray bytes = value.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

QString displayTextForPath(const std::string& pathBytes) {
    // QString::fromUtf8 replaces every invalid sequence with U+FFFD.
    return QString::fromUtf8(pathBytes.data(), static_cast<qsizetype>(pathBytes.size()));
}

QListWidgetItem* makeFileListItem(const std::string& pathBytes) {
    auto* item = new QListWidgetItem(displayTextForPath(pathBytes));
    item->setData(kPathBytesRole, toByteArray(pathBytes));
    return item;
}

QTreeWidgetItem* makeResultsRow(const std::string& pathBytes, const std::string& sheetNames) {
    auto* row = new QTreeWidgetItem;
    row->setText(0, displayTextForPath(pathBytes));
    row->setData(0, kPathBytesRole, toByteArray(pathBytes));
    row->setText(1,
                 QString::fromUtf8(sheetNames.data(), static_cast<qsizetype>(sheetNames.size())));
    return row;
}

std::string pathBytesOf(const QListWidgetItem& item) {
    return toStdString(item.data(kPathBytesRole));
}

std::string pathBytesOf(const QTreeWidgetItem& row) {
    return toStdString(row.data(0, kPathBytesRole));
}

}  // namespace quillmark::app
