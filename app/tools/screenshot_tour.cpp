// Takes the window's pictures for the documentation: idle, in the middle of a run, with
// results, a row's hits tooltip, the workbooks-not-searched dialog and the keyboard's focus
// mark, over a folder given on the command line (examples/ with a few unreadable workbooks
// beside, and the keyword "Berlin"). Built on request only: make quillmark-screenshot-tour;
// run it under Xvfb, with QT_SCALE_FACTOR=2 for the pictures of a screen scaled to 200%.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "app/controls.h"
#include "app/folder_picker.h"
#include "app/form1.h"
#include "search/workbook_search.h"

namespace {

class FixedFolder : public quillmark::app::FolderPicker {
  public:
    explicit FixedFolder(std::string folder) : folder_(std::move(folder)) {}
    std::optional<std::string> pickFolder(QWidget*) override { return folder_; }

  private:
    std::string folder_;
};

void save(QWidget& window, const QString& path) {
    if (!window.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER KEYWORD OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = QFile::encodeName(QDir(argv[1]).absolutePath()).toStdString() + "/";
    const QString keyword = QString::fromLocal8Bit(argv[2]);
    const QString output = QString::fromLocal8Bit(argv[3]);

    quillmark::app::Form1 form;
    form.setFolderPicker(std::make_unique<FixedFolder>(folder));
    int searched = 0;
    form.setSearchJobs(0);  // searched on this thread, so the picture is taken mid-run
    form.setWorkbookSearch([&](const std::string& path, const std::string& word,
                               const quillmark::search::SearchOptions& options) {
        if (++searched == 3) save(form, output + "/window-mid-run.png");
        return quillmark::search::searchWorkbook(path, word, options);
    });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) std::fprintf(stderr, "window not exposed\n");
    QTest::qWait(200);
    save(form, output + "/window-idle.png");

    form.Image1_Click();
    form.Text2()->setText(keyword);
    form.Image2_Click();
    QTest::qWait(100);
    form.ListView1()->setCurrentItem(form.ListView1()->topLevelItem(0));
    QTest::qWait(100);
    save(form, output + "/window-results.png");

    // The tooltip is a window of its own: take the screen around the results list.
    auto* view = form.ListView1();
    if (view->topLevelItemCount() > 0 && !view->topLevelItem(0)->toolTip(1).isEmpty()) {
        const QRect cell = view->visualRect(view->model()->index(0, 1));
        QTest::mouseMove(view->viewport(), cell.center());
        QHelpEvent hover(QEvent::ToolTip, cell.center(),
                         view->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(view->viewport(), &hover);
        QTest::qWait(300);
        const QRect area(view->mapToGlobal(QPoint(0, 0)), QSize(view->width() + 360, 260));
        if (!form.screen()
                 ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                 .save(output + "/window-hits-tooltip.png"))
            std::fprintf(stderr, "cannot write the tooltip picture\n");
    } else {
        std::fprintf(stderr, "no hits in the first row: no tooltip picture\n");
    }

    form.notSearched_Click();
    QTest::qWait(200);
    if (auto* dialog = form.findChild<QDialog*>())
        save(*dialog, output + "/window-not-searched.png");

    // The keyword box's Search button as the Tab ring reaches it, with its focus mark.
    form.activateWindow();
    QTest::qWaitForWindowActive(&form);
    form.Image2()->setFocus(Qt::TabFocusReason);
    QTest::qWait(100);
    save(form, output + "/window-keyboard.png");
    return 0;
}
