#include "TSelectGroupForm.h"

#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet {

TSelectGroupForm::TSelectGroupForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TSelectGroupForm");
    setWindowTitle("Select Group");

    GroupListView = new QTreeWidget;
    GroupListView->setObjectName("GroupListView");
    GroupListView->setHeaderLabels({"Group name", "Description"});
    GroupListView->setRootIsDecorated(false);
    GroupListView->setSelectionMode(QAbstractItemView::SingleSelection);
    GroupListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    GroupListView->setColumnWidth(0, 150);
    GroupListView->header()->setStretchLastSection(true);

    // A list dialog: Enter means OK, wherever the focus is.
    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Default);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    connect(GroupListView, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupListView);
    layout->addLayout(buttons.row);
    resize(360, 280);
    focusOnShow(*this, GroupListView);
}

void TSelectGroupForm::copyGroupsFrom(const QTreeWidget& source)
{
    GroupListView->clear();
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < source.topLevelItemCount(); ++i)
        rows << source.topLevelItem(i)->clone();
    GroupListView->addTopLevelItems(rows);
}

int TSelectGroupForm::selectedGroup() const
{
    const auto selected = GroupListView->selectedItems();
    return selected.isEmpty() ? -1 : GroupListView->indexOfTopLevelItem(selected.first());
}

} // namespace quillet
