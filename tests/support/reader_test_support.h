// Small helpers the engine's reader tests share: opening bytes in memory, and a first-match
// answer and a sheet list written as text so data-driven rows can compare them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/workbook.h"

namespace quillmark::engine::testing {

// "row,column" of the first match, "none", or "fail:" and the failure's kind.
inline QString describe(const Outcome<std::optional<CellPosition>>& found) {
    if (!found) return QString("fail:") + failureKindName(found.failure().kind);
    if (!found.value()) return "none";
    return QString("%1,%2").arg(found.value()->row).arg(found.value()->column);
}

// The workbook's sheet names in order, a hidden one marked " (hidden)".
inline QStringList sheetNames(const WorkbookReader& reader) {
    QStringList names;
    for (const SheetInfo& sheet : reader.sheets())
        names << QString::fromStdString(sheet.name) + (sheet.hidden ? " (hidden)" : "");
    return names;
}

// Opens a workbook held in memory, named `name` (which names a plain text file's sheet).
inline ReaderOutcome openBytes(const QByteArray& bytes, std::string_view name) {
    return openWorkbookData(memoryData(std::vector<std::uint8_t>(bytes.begin(), bytes.end())),
                            name);
}

}  // namespace quillmark::engine::testing
