// What the window tests share: a loaded Form1 whose outside calls (folder picker, workbook
// search, shell, quitting) are answered and recorded by the test, a slow stand-in search for
// the worker threads, and small real folders.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/folder_picker.h"
#include "app/form1.h"
#include "app/path_text.h"
#include "platform/shell.h"
#include "search/workbook_search.h"

namespace harness {

using quillmark::app::Form1;

// Records what the window asks the shell to open.
class RecordingShell : public quillmark::platform::Shell {
  public:
    void openFile(const std::string& pathBytes) override { files.push_back(pathBytes); }
    void openUrl(const std::string& url) override { urls.push_back(url); }
    std::vector<std::string> files;
    std::vector<std::string> urls;
};

// Answers folder choices from a queue: a folder, or nothing for Cancel; counts the choices.
class ScriptedPicker : public quillmark::app::FolderPicker {
  public:
    ScriptedPicker(std::deque<std::optional<std::string>>& answers, int& calls)
        : answers_(answers), calls_(calls) {}
    std::optional<std::string> pickFolder(QWidget*) override {
        ++calls_;
        if (answers_.empty()) return std::nullopt;
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

  private:
    std::deque<std::optional<std::string>>& answers_;
    int& calls_;
};

// One workbook search call as the run made it.
struct SearchCall {
    std::string path;
    std::string keyword;
    bool hitsAsked = false;  // first hits asked for, with a cancel token
};

// A file's name without its folder and extension: "book2" for /books/book2.xlsx.
inline QString shortName(const QString& path) {
    return QFileInfo(path).baseName();
}

// A result matching the sheets named in `names` ("A,B"; empty: no match), without hits.
inline quillmark::search::WorkbookSearchResult sheetsResult(const std::string& names) {
    quillmark::search::WorkbookSearchResult result;
    for (const QString& name : QString::fromStdString(names).split(',', Qt::SkipEmptyParts))
        result.sheets.push_back({name.toStdString(), {}, 0});
    return result;
}

// A Form1 with every outside call in the test's hands.
struct Window {
    Window() {
        form.setShell(shell);
        form.setFolderPicker(std::make_unique<ScriptedPicker>(pickerAnswers, pickerCalls));
        form.setQuitApplication([this] { ++quitRequests; });
        // The window's own thread searches, so an answer may look at the window and queue
        // clicks as a user's would arrive between workbooks.
        form.setSearchJobs(0);
        form.setWorkbookSearch([this](const std::string& path, const std::string& keyword,
                                      const quillmark::search::SearchOptions& options) {
            calls.push_back({path, keyword, options.collectHits && options.cancel});
            const int call = static_cast<int>(calls.size());
            return sheetsResult(answer ? answer(call, path, keyword) : std::string());
        });
    }

    // Shows the window (which runs Form_Load) and waits until it is exposed.
    void show() {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // Shown and active, so keys reach it through the window system.
    void showActive() {
        show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }

    // Shown, with /books/book1.xlsx ... book`files`.xlsx listed and `keyword` typed.
    void ready(int files, const QString& keyword) {
        show();
        fill(files);
        form.Text2()->setText(keyword);
    }

    // Whether Search shows and Stop does not, as outside a run.
    bool searchShown() const { return form.Image2()->isVisible() && !form.Image4()->isVisible(); }

    // A folder choice confirmed with `folder`, or cancelled with nothing.
    void chooseFolder(std::optional<std::string> folder) {
        pickerAnswers.push_back(std::move(folder));
        form.Image1_Click();
    }

    // Puts /books/book1.xlsx ... book`count`.xlsx into the file list as a scan would.
    std::vector<std::string> fill(int count) {
        std::vector<std::string> paths;
        for (int index = 1; index <= count; ++index)
            paths.push_back("/books/book" + std::to_string(index) + ".xlsx");
        fill(paths);
        return paths;
    }

    // Puts `paths` into the file list as a scan would.
    void fill(const std::vector<std::string>& paths) {
        for (const std::string& path : paths)
            form.List1()->addItem(quillmark::app::makeFileListItem(path));
    }

    // Entries of the file list, as the exact bytes they hold.
    std::vector<std::string> fileList() const {
        std::vector<std::string> paths;
        for (int row = 0; row < form.List1()->count(); ++row)
            paths.push_back(quillmark::app::pathBytesOf(*form.List1()->item(row)));
        return paths;
    }

    // The results list as "path|sheets" lines, or with each file's short name.
    QStringList results(bool shortNames = false) const {
        QStringList rows;
        auto* view = form.ListView1();
        for (int row = 0; row < view->topLevelItemCount(); ++row) {
            const QString path = view->topLevelItem(row)->text(0);
            rows << (shortNames ? shortName(path) : path) + "|" + view->topLevelItem(row)->text(1);
        }
        return rows;
    }

    Form1 form;
    RecordingShell shell;
    std::deque<std::optional<std::string>> pickerAnswers;
    int pickerCalls = 0;
    std::vector<SearchCall> calls;
    // The answer for the n-th search call (1-based); none answers "" (no match).
    std::function<std::string(int call, const std::string& path, const std::string& keyword)>
        answer;
    int quitRequests = 0;
};

// A workbook search that takes its time on the worker that calls it, cut short by the cancel
// token: a run's search (first hits only) takes `delayFor(path)` and answers `found`; a count
// of every hit takes `countTime` and answers `counted`.
class SlowSearch {
  public:
    struct Call {
        std::string path;
        std::string keyword;
        bool count = false;
        bool cancelled = false;
        bool finished = false;
    };

    std::function<std::chrono::milliseconds(const std::string& path)> delayFor =
        [](const std::string&) { return std::chrono::milliseconds(300); };
    quillmark::search::WorkbookSearchResult found = sheetsResult("Sheet1");
    std::chrono::milliseconds countTime{300};
    quillmark::search::WorkbookSearchResult counted;

    quillmark::search::WorkbookSearchResult operator()(
        const std::string& path, const std::string& keyword,
        const quillmark::search::SearchOptions& options) {
        std::unique_lock lock(mutex_);
        const std::size_t index = calls_.size();
        const bool count = !options.firstHitOnly;
        calls_.push_back({path, keyword, count});
        const auto until = std::chrono::steady_clock::now() + (count ? countTime : delayFor(path));
        while (std::chrono::steady_clock::now() < until && !options.cancel->cancelled())
            changed_.wait_for(lock, std::chrono::milliseconds(2));
        calls_[index].cancelled = options.cancel->cancelled();
        calls_[index].finished = true;
        return count ? counted : found;
    }

    std::vector<Call> calls(bool counts = false) const {
        std::lock_guard lock(mutex_);
        std::vector<Call> chosen;
        for (const Call& call : calls_)
            if (call.count == counts) chosen.push_back(call);
        return chosen;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

// Asks for the tooltip of `row`'s `column` as a resting mouse does; answers what it shows.
inline QString hover(QTreeWidget& view, int row, int column = 1) {
    QToolTip::hideText();
    const QPoint at = view.visualRect(view.model()->index(row, column)).center();
    QHelpEvent event(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// What the window system was last given to show of `widget` (not a fresh rendering).
inline QImage onScreen(QWidget& widget) {
    QWidget& window = *widget.window();
    const QRect area(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    return window.screen()->grabWindow(window.winId()).toImage().copy(area);
}

// Whether the image holds text: some pixel far darker than a light background.
inline bool showsText(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 96) return true;
    return false;
}

// The threads this process runs now.
inline int threadsOfThisProcess() {
    return static_cast<int>(
        QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs `action` in the next event pass, as a click handled there would.
inline void inNextEventPass(QObject* context, std::function<void()> action) {
    QMetaObject::invokeMethod(context, std::move(action), Qt::QueuedConnection);
}

// A real folder tree under a temporary folder; paths end with "/" for folders.
class Tree {
  public:
    Tree() { QVERIFY(directory.isValid()); }

    std::string root() const { return QFile::encodeName(directory.path()).toStdString() + "/"; }

    // Creates an empty file at `relative` (exact bytes; its folders must be plain names,
    // made on the way) and answers its full path.
    std::string file(const std::string& relative) {
        const std::string path = root() + relative;
        const auto slash = relative.rfind('/');
        if (slash != std::string::npos)
            QDir().mkpath(QFile::decodeName((root() + relative.substr(0, slash)).c_str()));
        const int descriptor = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (descriptor < 0)
            qWarning("cannot create %s", path.c_str());
        else
            ::close(descriptor);
        return path;
    }

    QTemporaryDir directory;
};

}  // namespace harness
