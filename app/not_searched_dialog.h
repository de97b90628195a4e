// The small dialog behind the menu item "Workbooks not searched…": every workbook of the runs
// since the last folder choice that could not be searched, with the reason, and a button that
// copies the list to the clipboard.
#pragma once

#include <QDialog>
#include <vector>

#include "app/form1.h"

class QPushButton;
class QTreeWidget;

namespace quillmark::app {

class NotSearchedDialog : public QDialog {
    Q_OBJECT
  public:
    NotSearchedDialog(const std::vector<NotSearched>& workbooks, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }
    QPushButton* copyButton() const { return copy_; }
    // The list as the clipboard gets it: "path<TAB>reason" lines.
    QString listText() const { return text_; }

  private:
    QTreeWidget* list_;
    QPushButton* copy_;
    QString text_;
};

}  // namespace quillmark::app
