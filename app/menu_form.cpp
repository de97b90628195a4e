// The hidden menu form.
#include "app/menu_form.h"

#include <QAction>
#include <QMenu>

namespace quillmark::app {

MenuForm::MenuForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("cd"));
    setWindowTitle(QStringLiteral("Form2"));
    resize(4560 / 15, 3030 / 15);  // client area 4560 x 3030 twips
    cd_ = new QMenu(QStringLiteral("cd"), this);
    cd_->setObjectName(QStringLiteral("cd"));
    aap_ = cd_->addAction(QStringLiteral("About App"));
    aap_->setObjectName(QStringLiteral("aap"));
    notSearched_ = cd_->addAction(QStringLiteral("Workbooks not searched…"));
    notSearched_->setObjectName(QStringLiteral("notSearched"));
}

}  // namespace quillmark::app
