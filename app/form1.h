// The main window `Form1`: a borderless window of fixed size with its own title bar, the
// folder and keyword rows, the file list, the results list, a prompt and a web link. Every
// control keeps its name (objectName) and is reachable through an accessor of that name.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/folder_picker.h"
#include "app/repaint_throttle.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "search/ordered_search.h"
#include "search/workbook_search.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace quillmark::app {

class ControlLabel;
class HitCounts;
class ImageButton;
class MenuForm;
class RectangleShape;
class ResultsList;
class TitleBar;

using search::WorkbookSearch;

// A workbook a run could not search, and why.
struct NotSearched {
    std::string path;
    std::string reason;
};

class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: the outline, the results list's report view and columns, the Search/Stop
    // pair and the link's hand pointer. Runs once, on the way to the first show.
    void Form_Load();
    // The first show runs Form_Load and centres the window on the screen.
    void setVisible(bool visible) override;

    // Commands, as the controls' clicks run them.
    void Image1_Click();        // folder choice and scan
    void Image2_Click();        // search run
    void Image4_Click();        // stop request
    void ListView1_DblClick();  // open the selected result
    void Image3_Click();        // close: ends the program
    void Image5_Click();        // menu button: pops up the menu of `cd`
    void tamberly_Click();      // web link
    void aap_Click();           // menu item "About App"
    void notSearched_Click();   // menu item "Workbooks not searched…"

    // Seams: what the window calls outside itself. Each has a working default.
    // The run's workbook search, which also counts a row's hits when its tooltip is asked for.
    void setWorkbookSearch(WorkbookSearch search);
    // Worker threads of a run (0: the window's own thread searches).
    void setSearchJobs(unsigned jobs) { searchJobs_ = jobs; }
    void setFolderPicker(std::unique_ptr<FolderPicker> picker) { picker_ = std::move(picker); }
    void setShell(platform::Shell& shell) { shell_ = &shell; }
    void setFileSystem(platform::FileSystem& fileSystem) { fileSystem_ = &fileSystem; }
    void setQuitApplication(std::function<void()> quit) { quitApplication_ = std::move(quit); }

    // The controls, by name.
    TitleBar* Picture1() const { return picture1_; }
    ImageButton* Image1() const { return image1_; }
    ImageButton* Image2() const { return image2_; }
    ImageButton* Image3() const { return image3_; }
    ImageButton* Image4() const { return image4_; }
    ImageButton* Image5() const { return image5_; }
    ControlLabel* Label10() const { return label10_; }
    ControlLabel* Label1(int index) const { return label1_.at(static_cast<std::size_t>(index)); }
    RectangleShape* Shape1(int index) const { return shape1_.at(static_cast<std::size_t>(index)); }
    ResultsList* ListView1() const { return listView1_; }
    QListWidget* List1() const { return list1_; }
    QLineEdit* Text1() const { return text1_; }
    QLineEdit* Text2() const { return text2_; }
    QLabel* hand() const { return hand_; }
    ControlLabel* tamberly() const { return tamberly_; }
    ControlLabel* scantip() const { return scantip_; }
    MenuForm* cd() const { return cd_; }  // null until the menu button is first clicked

    // The stop-request flag of the search run.
    bool Running() const { return running_; }
    // The workbooks of the runs since the last folder choice that could not be searched.
    const std::vector<NotSearched>& notSearched() const { return notSearched_; }
    // A results column's width as set at start-up, in twips (half the list's width).
    double columnWidthTwips(int column) const;

    // The addresses the link and the menu item open.
    static std::string linkPageAddress();
    static std::string aboutPageAddress();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void createControls();
    void createTitleBar();
    void createDrawnElements();
    void createChildWindows();
    void connectHandlers();
    void centreOnScreen();
    void bringForward();

    void setUpResultsList();
    std::string folderInText1() const;
    void showSearchButton(bool searchShown);
    void markWorkbookInProgress(int position);
    void clearProgressMark();
    void letResultsThroughAtTimes();
    void runSearches(int total);
    void startSearches(search::OrderedSearch& searches, int& next, int total);
    void takeAnswer(search::OrderedSearch& searches);

    // Controls.
    TitleBar* picture1_ = nullptr;
    ImageButton* image5_ = nullptr;
    ImageButton* image3_ = nullptr;
    ControlLabel* label10_ = nullptr;
    ResultsList* listView1_ = nullptr;
    QListWidget* list1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLabel* hand_ = nullptr;
    ControlLabel* tamberly_ = nullptr;
    ImageButton* image4_ = nullptr;
    ControlLabel* scantip_ = nullptr;
    std::array<RectangleShape*, 3> shape1_{};
    ImageButton* image2_ = nullptr;
    ImageButton* image1_ = nullptr;
    std::array<ControlLabel*, 2> label1_{};
    MenuForm* cd_ = nullptr;

    // State.
    bool loaded_ = false;
    bool running_ = false;           // stop request: set by a run, cleared by Stop
    bool runUnderWay_ = false;       // a run's loop is active (guards against a nested run)
    RepaintThrottle markPaints_;     // when the progress mark is painted at once
    RepaintThrottle resultsPaints_;  // when the results are let through to the screen
    bool closing_ = false;           // the close button was clicked: every loop winds down
    std::uint64_t scanNumber_ = 0;   // the latest folder choice; older walks are superseded
    std::array<double, 2> columnWidthTwips_{};
    std::vector<NotSearched> notSearched_;

    // Seams.
    WorkbookSearch workbookSearch_;
    QObject* keyboardAccess_ = nullptr;     // deleted before the controls it watches
    std::unique_ptr<HitCounts> hitCounts_;  // rows' hits counted when their tooltip is asked for
    unsigned searchJobs_;
    std::unique_ptr<FolderPicker> picker_;
    platform::Shell* shell_;
    platform::FileSystem* fileSystem_;
    std::function<void()> quitApplication_;
};

}  // namespace quillmark::app
