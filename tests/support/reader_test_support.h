// Small helpers the engine's reader tests share: opening bytes in memory, and a first-match
// answer written as text so data-driven rows can compare it.
#pragma once

#include <QByteArray>
#include <QString>
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

// Opens a workbook held in memory, named `name` (which names a plain text file's sheet).
inline ReaderOutcome openBytes(const QByteArray& bytes, std::string_view name) {
    return openWorkbookData(memoryData(std::vector<std::uint8_t>(bytes.begin(), bytes.end())),
                            name);
}

}  // namespace quillmark::engine::testing
