// Late hit counting for the results list: a run finds each matching sheet's first hit only,
// and a row's other hits are counted the first time its tooltip is asked for, on one worker
// thread, so the run costs no more than its rows and the tooltip fills in a moment later.
#pragma once

#include <QObject>
#include <cstdint>
#include <set>
#include <string>

#include "search/search_queue.h"
#include "search/workbook_search.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace quillmark::app {

// The Sheet column's data roles of a row whose hits are still to be counted: its id (rows
// are found by it, as the list may be cleared meanwhile) and the keyword's bytes.
inline constexpr int kCountIdRole = Qt::UserRole + 2;
inline constexpr int kCountKeywordRole = Qt::UserRole + 3;

class HitCounts : public QObject {
    Q_OBJECT
  public:
    // Watches `view`'s tooltip requests; `search` counts (the run's own workbook search).
    HitCounts(QTreeWidget& view, search::WorkbookSearch search);
    ~HitCounts() override;

    void setSearch(search::WorkbookSearch search) { queue_.setSearch(std::move(search)); }
    // Marks `row` as one whose other hits of `keyword` are counted when asked for (in the
    // workbook whose path the row holds).
    void countLater(QTreeWidgetItem& row, const std::string& keyword);
    // Cancels the counts asked for and not answered (a new run, a folder choice); their rows
    // are counted again when next asked for.
    void cancelPending();
    // Cancels and waits for the worker (the window closing); nothing is counted after it.
    void stop() { queue_.stop(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ask(QTreeWidgetItem& row);
    void answer(std::uint64_t id, const search::WorkbookSearchResult& result);
    QTreeWidgetItem* rowWithId(std::uint64_t id) const;
    void showIfHovered(QTreeWidgetItem& row);

    QTreeWidget& view_;
    std::uint64_t lastId_ = 0;
    std::set<std::uint64_t> asked_;  // counts under way
    search::SearchQueue queue_;      // last: it stops before the rest goes
};

// The tooltip of a row whose count failed: the first hits it showed, and why no more.
QString uncountedToolTip(const QString& shown);

}  // namespace quillmark::app
