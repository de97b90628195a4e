// The hidden form `cd`: it is never shown and exists only to own the pop-up menu of the
// main window's menu button: "About App" and "Workbooks not searched…".
#pragma once

#include <QWidget>

class QAction;
class QMenu;

namespace quillmark::app {

class MenuForm : public QWidget {
    Q_OBJECT
  public:
    explicit MenuForm(QWidget* parent = nullptr);

    QMenu* cd() const { return cd_; }
    QAction* aap() const { return aap_; }
    QAction* notSearched() const { return notSearched_; }

  private:
    QMenu* cd_;
    QAction* aap_;
    QAction* notSearched_;
};

}  // namespace quillmark::app
