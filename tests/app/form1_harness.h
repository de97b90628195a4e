// What the window tests share: a loaded Form1 whose outside calls (folder picker, workbook
// search, shell, quitting) are answered and recorded by the test, and small real folders.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
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

// Answers folder choices from a queue: a folder, or nothing for Cancel.
class ScriptedPicker : public quillmark::app::FolderPicker {
  public:
    explicit ScriptedPicker(std::deque<std::optional<std::string>>& answers) : answers_(answers) {}
    std::optional<std::string> pickFolder(QWidget*) override {
        if (answers_.empty()) return std::nullopt;
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

  private:
    std::deque<std::optional<std::string>>& answers_;
};

// One workbook search call as the run made it.
struct SearchCall {
    std::string path;
    std::string keyword;
};

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
        form.setFolderPicker(std::make_unique<ScriptedPicker>(pickerAnswers));
        form.setQuitApplication([this] { ++quitRequests; });
        // The window's own thread searches, so an answer may look at the window and queue
        // clicks as a user's would arrive between workbooks.
        form.setSearchJobs(0);
        form.setWorkbookSearch([this](const std::string& path, const std::string& keyword,
                                      const quillmark::search::SearchOptions&) {
            calls.push_back({path, keyword});
            const int call = static_cast<int>(calls.size());
            if (result) return result(call, path, keyword);
            return sheetsResult(answer ? answer(call, path, keyword) : std::string());
        });
    }

    // Shows the window (which runs Form_Load) and waits until it is exposed.
    void show() {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // A folder choice confirmed with `folder`, or cancelled with nothing.
    void chooseFolder(std::optional<std::string> folder) {
        pickerAnswers.push_back(std::move(folder));
        form.Image1_Click();
    }

    // Puts /books/book1.xlsx ... book`count`.xlsx into the file list as a scan would.
    std::vector<std::string> fill(int count) {
        std::vector<std::string> paths;
        for (int index = 1; index <= count; ++index) {
            paths.push_back("/books/book" + std::to_string(index) + ".xlsx");
            form.List1()->addItem(quillmark::app::makeFileListItem(paths.back()));
        }
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

    // The results list as "path|sheets" lines.
    QStringList results() const {
        QStringList rows;
        auto* view = form.ListView1();
        for (int row = 0; row < view->topLevelItemCount(); ++row)
            rows << view->topLevelItem(row)->text(0) + "|" + view->topLevelItem(row)->text(1);
        return rows;
    }

    Form1 form;
    RecordingShell shell;
    std::deque<std::optional<std::string>> pickerAnswers;
    std::vector<SearchCall> calls;
    // The answer for the n-th search call (1-based); none answers "" (no match).
    std::function<std::string(int call, const std::string& path, const std::string& keyword)>
        answer;
    // When set, the whole result of the n-th call, in place of `answer`.
    std::function<quillmark::search::WorkbookSearchResult(int call, const std::string& path,
                                                          const std::string& keyword)>
        result;
    int quitRequests = 0;
};

// Sets `window` up to search `paths` for `keyword` on two workers with the real engine, shown
// and ready for the Search click.
inline void useRealEngine(Window& window, const std::vector<std::string>& paths,
                          const char* keyword) {
    window.form.setSearchJobs(2);
    window.form.setWorkbookSearch(&quillmark::search::searchWorkbook);
    window.show();
    window.fill(paths);
    window.form.Text2()->setText(keyword);
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
