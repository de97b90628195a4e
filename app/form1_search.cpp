// Form1's search workflow: the folder choice that fills the file list, the search run over
// it with its Stop button, and opening a found workbook.
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>

#include "app/controls.h"
#include "app/file_list_sink.h"
#include "app/form1.h"
#include "app/hit_counts.h"
#include "app/hits_tooltip.h"
#include "app/not_searched_dialog.h"
#include "app/path_text.h"
#include "search/failure_text.h"
#include "search/folder_scan.h"

namespace quillmark::app {

namespace {

constexpr const char* kFolderBytesProperty = "folderBytes";

}  // namespace

// Folder choice.

void Form1::Image1_Click() {
    scantip_->setVisible(false);  // first, whatever the picker's outcome
    const std::optional<std::string> folder = picker_->pickFolder(this);
    if (!folder || closing_) return;
    hitCounts_->cancelPending();  // the rows they are for are about to go

    text1_->setText(displayTextForPath(*folder));
    text1_->setProperty(kFolderBytesProperty, QByteArray::fromStdString(*folder));
    list1_->clear();
    notSearched_.clear();

    // A folder choice made while this walk lets events through supersedes it: the older walk
    // then stops appending, so the list holds exactly the newest folder's files.
    const std::uint64_t thisScan = ++scanNumber_;
    FileListSink sink(*list1_, [this, thisScan] { return closing_ || thisScan != scanNumber_; });
    search::SearchFiles(folderInText1(), search::kWorkbookPattern, sink, *fileSystem_);
    if (sink.abandoned()) return;  // the newer choice (or the close) owns the lists now

    listView1_->clear();
}

std::string Form1::folderInText1() const {
    // The text box shows the folder; its exact bytes ride beside the text.
    const QString shown = text1_->text();
    const QByteArray bytes = text1_->property(kFolderBytesProperty).toByteArray();
    if (displayTextForPath(bytes.toStdString()) == shown) return bytes.toStdString();
    return shown.toStdString();
}

// Search run.

void Form1::Image2_Click() {
    // A Search click handled in the same event pass as a Stop click would start a run inside
    // the first one's pass; the first run is ending as asked, so this click is let go.
    if (runUnderWay_) return;

    if (text2_->text().isEmpty()) {
        scantip_->setVisible(true);
        scantip_->setText(QStringLiteral("Please enter keyword"));
        return;
    }
    scantip_->setVisible(false);
    if (list1_->count() == 0) {
        scantip_->setText(QStringLiteral("Please scan the folder first"));
        scantip_->setVisible(true);
        return;
    }

    showSearchButton(false);
    scantip_->setVisible(false);
    hitCounts_->cancelPending();  // the run's workers come first
    running_ = true;
    runUnderWay_ = true;

    runSearches(list1_->count());

    listView1_->setUpdatesEnabled(true);
    if (closing_) return;
    runUnderWay_ = false;
    clearProgressMark();
    showSearchButton(true);
}

// The workers search ahead of the awaited workbook while this thread takes the answers in
// list order and lets events through as it waits. Each search takes Text2 as it is when the
// search begins: every edit is handed to the workers at once. A matching sheet is read up to
// its first hit only; the row's other hits are counted when its tooltip is asked for.
void Form1::runSearches(int total) {
    search::SearchOptions options;
    options.collectHits = true;
    options.firstHitOnly = true;
    const auto wake = [this] {
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    };
    search::OrderedSearch searches(searchJobs_, workbookSearch_, text2_->text().toStdString(),
                                   options, wake);
    const auto newKeyword = [&searches](const QString& text) {
        searches.setKeyword(text.toStdString());
    };
    const QMetaObject::Connection edits = connect(text2_, &QLineEdit::textChanged, newKeyword);
    int next = 0;  // the next position to start
    // A folder choice during the run may leave a shorter list: the loop ends where it does.
    for (int position = 0; position < total && position < list1_->count(); ++position) {
        markWorkbookInProgress(position);
        const std::uint64_t scan = scanNumber_;
        startSearches(searches, next, total);
        while (!searches.frontReady() && !closing_ && scan == scanNumber_) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (scan == scanNumber_) startSearches(searches, next, total);
        }
        if (closing_) break;  // the searches' end cancels what runs and waits for it
        if (scan == scanNumber_) {
            takeAnswer(searches);
            letResultsThroughAtTimes();
            QCoreApplication::processEvents();  // one pass: Stop, edits and the window get a turn
            if (closing_) break;
        }
        // A folder choice refilled the list: what was started from the old one is dropped (its
        // rows would be emptied by the choice anyway), and the run goes on by position.
        if (scan != scanNumber_) {
            searches.dropAll();
            next = position + 1;
        }
        if (!running_) break;
    }
    disconnect(edits);
}

void Form1::startSearches(search::OrderedSearch& searches, int& next, int total) {
    // Only a folder choice changes the list during a run, and it drops what was handed in.
    while (running_ && next < total && next < list1_->count() && searches.wantsMore())
        searches.submit(pathBytesOf(*list1_->item(next++)));
}

void Form1::takeAnswer(search::OrderedSearch& searches) {
    search::OrderedSearch::Answer answer = searches.takeFront();
    if (answer.result.failure)
        notSearched_.push_back({answer.path, search::failureText(*answer.result.failure)});
    const std::string sheets = search::sheetNameList(answer.result);
    if (sheets.empty()) return;
    QTreeWidgetItem* row = makeResultsRow(answer.path, sheets);
    row->setToolTip(1, hitsToolTip(answer.result));
    if (hitsLeftUncounted(answer.result)) hitCounts_->countLater(*row, answer.keyword);
    listView1_->addTopLevelItem(row);
}

void Form1::markWorkbookInProgress(int position) {
    list1_->setCurrentRow(position);
    list1_->scrollToItem(list1_->item(position));
    // The search that follows holds the thread until it answers, so a slow workbook would
    // show the previous mark; paint it at once, but at most every few dozen milliseconds:
    // painting for every quick workbook would cost more than searching it.
    if (markPaints_.due()) list1_->viewport()->repaint();
}

void Form1::letResultsThroughAtTimes() {
    // Painting the results after every workbook would cost more than searching most of them
    // (each row's text is laid out again); a few times a second the rows still appear as found.
    listView1_->setUpdatesEnabled(resultsPaints_.due());
}

void Form1::clearProgressMark() {
    list1_->clearSelection();
    list1_->setCurrentRow(-1);
}

void Form1::Image4_Click() {
    running_ = false;
    showSearchButton(true);
}

void Form1::notSearched_Click() {
    // Not modal: a run going on behind it keeps taking answers.
    auto* dialog = new NotSearchedDialog(notSearched_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// Opening a result.

void Form1::ListView1_DblClick() {
    if (listView1_->topLevelItemCount() == 0) return;
    QTreeWidgetItem* row = listView1_->currentItem();
    if (!row || !row->isSelected()) {
        const QList<QTreeWidgetItem*> selected = listView1_->selectedItems();
        row = selected.isEmpty() ? nullptr : selected.first();
    }
    if (!row) return;  // rows but none selected: nothing to open
    shell_->openFile(pathBytesOf(*row));
}

}  // namespace quillmark::app
