#include "TSelectGroupForm.h"

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

    OKButton = new QPushButton("OK");
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel");
    CancelButton->setObjectName("CancelButton");
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(GroupListView, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupListView);
    layout->addLayout(buttons);
    resize(360, 280);
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
