// The workbooks-not-searched dialog.
#include "app/not_searched_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/path_text.h"

namespace quillmark::app {

NotSearchedDialog::NotSearchedDialog(const std::vector<NotSearched>& workbooks, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("notSearchedDialog"));
    setWindowTitle(QStringLiteral("Workbooks not searched"));
    resize(560, 300);
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("summary"));
    summary->setText(workbooks.empty()
                         ? QStringLiteral("Every workbook of the searches since the last folder "
                                          "choice could be searched.")
                         : QStringLiteral("%1 workbooks of the searches since the last folder "
                                          "choice could not be searched:")
                               .arg(workbooks.size()));
    summary->setWordWrap(true);
    layout->addWidget(summary);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Reason")});
    list_->header()->setStretchLastSection(true);
    QStringList lines;
    for (const NotSearched& workbook : workbooks) {
        const QString path = displayTextForPath(workbook.path);
        const QString reason = QString::fromStdString(workbook.reason);
        list_->addTopLevelItem(new QTreeWidgetItem({path, reason}));
        lines << path + '\t' + reason;
    }
    list_->resizeColumnToContents(0);
    list_->setVisible(!workbooks.empty());
    layout->addWidget(list_);
    text_ = lines.isEmpty() ? QString() : lines.join('\n') + '\n';

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    copy_ = buttons->addButton(QStringLiteral("Copy list"), QDialogButtonBox::ActionRole);
    copy_->setEnabled(!workbooks.empty());
    connect(copy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(text_); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    if (!workbooks.empty()) layout->setStretchFactor(list_, 1);
}

}  // namespace quillmark::app
