// Takes the window's pictures for the documentation: idle, in the middle of a run and with
// results, over a folder given on the command line (examples/ and the keyword "Berlin").
// Built on request only: make quillmark-screenshot-tour; run it under Xvfb, with
// QT_SCALE_FACTOR=2 for the pictures of a screen scaled to 200%.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
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
    form.setWorkbookSearch([&](const std::string& path, const std::string& word) {
        if (++searched == 3) save(form, output + "/window-mid-run.png");
        return quillmark::search::FindinExcel(path, word);
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
    // The keyword box's Search button as the Tab ring reaches it, with its focus mark.
    form.activateWindow();
    QTest::qWaitForWindowActive(&form);
    form.Image2()->setFocus(Qt::TabFocusReason);
    QTest::qWait(100);
    save(form, output + "/window-keyboard.png");
    return 0;
}
