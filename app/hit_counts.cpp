// Late hit counting: tooltip requests on the results list ask for a row's count once; the
// worker's answer comes back through the event loop and is put on the row if it is still there.
#include "app/hit_counts.h"

#include <QCursor>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>

#include "app/hits_tooltip.h"
#include "app/path_text.h"

namespace quillmark::app {

namespace {

constexpr int kSheetColumn = 1;  // the column whose cells carry the hits tooltip

search::SearchOptions countOptions() {
    search::SearchOptions options;
    options.collectHits = true;  // every hit, capped as a run's hits are
    return options;
}

}  // namespace

HitCounts::HitCounts(QTreeWidget& view, search::WorkbookSearch search)
    : view_(view),
      queue_(std::move(search), countOptions(),
             [this](std::uint64_t id, search::WorkbookSearchResult result) {
                 // Posted to this object: dropped with it if the window goes first.
                 QMetaObject::invokeMethod(
                     this, [this, id, result = std::move(result)] { answer(id, result); },
                     Qt::QueuedConnection);
             }) {
    view_.viewport()->installEventFilter(this);
}

HitCounts::~HitCounts() {
    queue_.stop();  // before the posted answers are discarded with this object
}

void HitCounts::countLater(QTreeWidgetItem& row, const std::string& keyword) {
    row.setData(kSheetColumn, kCountIdRole, QVariant::fromValue<qulonglong>(++lastId_));
    row.setData(kSheetColumn, kCountKeywordRole, QByteArray::fromStdString(keyword));
}

void HitCounts::cancelPending() {
    asked_.clear();
    queue_.cancelAll();
}

bool HitCounts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched == view_.viewport()) {
        const QPoint at = static_cast<QHelpEvent*>(event)->pos();
        if (view_.columnAt(at.x()) == kSheetColumn)
            if (QTreeWidgetItem* row = view_.itemAt(at)) ask(*row);
    }
    return false;  // the tooltip shows what the row has meanwhile
}

void HitCounts::ask(QTreeWidgetItem& row) {
    const QVariant id = row.data(kSheetColumn, kCountIdRole);
    if (!id.isValid() || !asked_.insert(id.toULongLong()).second) return;
    const QByteArray keyword = row.data(kSheetColumn, kCountKeywordRole).toByteArray();
    queue_.submit(id.toULongLong(), pathBytesOf(row), keyword.toStdString());
}

void HitCounts::answer(std::uint64_t id, const search::WorkbookSearchResult& result) {
    // A count cancelled after its answer was posted, or a row cleared meanwhile, gets nothing.
    if (asked_.erase(id) == 0) return;
    QTreeWidgetItem* row = rowWithId(id);
    if (row == nullptr) return;
    const QString counted = hitsToolTip(result);
    // A workbook that cannot be read again (changed, removed) keeps the hits the run found.
    row->setToolTip(kSheetColumn,
                    counted.isEmpty() ? uncountedToolTip(row->toolTip(kSheetColumn)) : counted);
    row->setData(kSheetColumn, kCountIdRole, QVariant());
    row->setData(kSheetColumn, kCountKeywordRole, QVariant());
    showIfHovered(*row);
}

QTreeWidgetItem* HitCounts::rowWithId(std::uint64_t id) const {
    for (int position = 0; position < view_.topLevelItemCount(); ++position) {
        QTreeWidgetItem* row = view_.topLevelItem(position);
        const QVariant rowId = row->data(kSheetColumn, kCountIdRole);
        if (rowId.isValid() && rowId.toULongLong() == id) return row;
    }
    return nullptr;
}

void HitCounts::showIfHovered(QTreeWidgetItem& row) {
    QWidget* viewport = view_.viewport();
    const QPoint at = viewport->mapFromGlobal(QCursor::pos());
    if (!view_.isVisible() || !viewport->rect().contains(at)) return;
    if (view_.itemAt(at) != &row || view_.columnAt(at.x()) != kSheetColumn) return;
    const QRect cell = view_.visualItemRect(&row);
    QToolTip::showText(QCursor::pos(), row.toolTip(kSheetColumn), viewport, cell);
}

QString uncountedToolTip(const QString& shown) {
    QStringList lines = shown.split('\n');
    if (!lines.isEmpty()) lines.removeLast();  // the line saying they are being counted
    lines << QStringLiteral("the other hits could not be counted");
    return lines.join('\n');
}

}  // namespace quillmark::app
