// The window's search run, timed: Form1 on the offscreen platform fills its file list through
// the folder choice (answered with FOLDER instead of a dialog), takes KEYWORD in Text2 and runs
// Search, with the engine's own workbook search behind it. What it adds over quillmark-find
// --jobs N is the window's share: list updates, the progress mark, an event pass per workbook and
// handing the searches to its workers.
//
// Usage: bench_window_run FOLDER KEYWORD [JOBS]   (JOBS: the run's workers; default one a core)
// Prints the results rows (path<TAB>sheets) on standard output, and one line of timings on
// standard error: workbooks, results, scan and search seconds (wall), and the CPU they took.
#include <sys/resource.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/folder_picker.h"
#include "app/form1.h"
#include "search/workbook_search.h"

namespace quillmark::bench {
namespace {

// Answers the folder choice with one folder, as the dialog would after the user picked it.
class FixedFolderPicker final : public app::FolderPicker {
  public:
    explicit FixedFolderPicker(std::string folder) : folder_(std::move(folder)) {}
    std::optional<std::string> pickFolder(QWidget*) override { return folder_; }

  private:
    std::string folder_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& value) { return value.tv_sec + value.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace
}  // namespace quillmark::bench

int main(int argc, char** argv) {
    using namespace quillmark;
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: bench_window_run FOLDER KEYWORD [JOBS]\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '/') folder += '/';
    app::Form1 form;
    form.setFolderPicker(std::make_unique<bench::FixedFolderPicker>(folder));
    if (argc == 4) form.setSearchJobs(static_cast<unsigned>(std::stoul(argv[3])));
    form.show();
    QApplication::processEvents();

    double cpuStart = bench::cpuSeconds();
    auto scanStart = std::chrono::steady_clock::now();
    form.Image1_Click();
    double scanSeconds = bench::secondsSince(scanStart);

    form.Text2()->setText(QString::fromUtf8(argv[2]));
    auto searchStart = std::chrono::steady_clock::now();
    form.Image2_Click();  // returns when the run has gone through the whole list
    double searchSeconds = bench::secondsSince(searchStart);
    double cpu = bench::cpuSeconds() - cpuStart;

    QTreeWidget& results = *form.ListView1();
    for (int row = 0; row < results.topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = results.topLevelItem(row);
        std::cout << item->text(0).toStdString() << '\t' << item->text(1).toStdString() << '\n';
    }
    std::fprintf(stderr,
                 "workbooks %d  results %d  scan %.3f s  search %.3f s  scan+search %.3f s  "
                 "cpu %.3f s\n",
                 form.List1()->count(), results.topLevelItemCount(), scanSeconds, searchSeconds,
                 scanSeconds + searchSeconds, cpu);
    return 0;
}
