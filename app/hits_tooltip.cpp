// Formatting of the hits tooltip.
#include "app/hits_tooltip.h"

#include <QStringList>
#include <cstdint>

namespace quillmark::app {

namespace {

constexpr int kLinesShown = 10;
constexpr int kTextCharacters = 60;

// One line of at most kTextCharacters: line breaks and tabs become spaces, the rest an ellipsis.
QString oneShortLine(const std::string& text) {
    QString line = QString::fromStdString(text).simplified();
    if (line.size() > kTextCharacters) line = line.left(kTextCharacters - 1) + QChar(0x2026);
    return line;
}

}  // namespace

QString hitsToolTip(const search::WorkbookSearchResult& result) {
    QStringList lines;
    std::uint64_t notShown = 0;
    for (const search::SheetMatch& sheet : result.sheets) {
        notShown += sheet.moreHits;
        for (const search::CellHit& hit : sheet.hits) {
            if (lines.size() == kLinesShown) {
                ++notShown;
                continue;
            }
            lines << QString::fromStdString(sheet.name + "!" + hit.cell) + "  " +
                         oneShortLine(hit.text);
        }
    }
    if (lines.isEmpty()) return {};
    if (hitsLeftUncounted(result))
        lines << QStringLiteral("counting the other hits…");
    else if (notShown > 0)
        lines << QStringLiteral("and %1 more").arg(notShown);
    return lines.join('\n');
}

bool hitsLeftUncounted(const search::WorkbookSearchResult& result) {
    for (const search::SheetMatch& sheet : result.sheets)
        if (!sheet.hitsCounted) return true;
    return false;
}

}  // namespace quillmark::app
