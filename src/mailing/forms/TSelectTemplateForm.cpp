#include "TSelectTemplateForm.h"

#include "MailingWindowTexts.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/UserInterface.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet {

TSelectTemplateForm::TSelectTemplateForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TSelectTemplateForm");
    setWindowTitle(texts::kSelectTemplateCaption);

    TemplateListView = new QTreeWidget;
    TemplateListView->setObjectName("TemplateListView");
    TemplateListView->setHeaderLabels({"Message name", "Message Subject"});
    TemplateListView->setColumnWidth(0, 150);
    TemplateListView->header()->setStretchLastSection(true);
    TemplateListView->setRootIsDecorated(false);
    TemplateListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    TemplateListView->setSelectionMode(QAbstractItemView::SingleSelection);
    TemplateListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TemplateListView->setMouseTracking(true);
    TemplateListView->viewport()->setCursor(Qt::PointingHandCursor);
    TemplateListView->setMinimumSize(420, 240);
    connect(TemplateListView, &QTreeWidget::itemDoubleClicked, this, [this] { OKButtonClick(); });

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Default, [this] { OKButtonClick(); });
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TemplateListView);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    focusOnShow(*this, TemplateListView);
}

int TSelectTemplateForm::ShowModal(const std::vector<TemplateRowText>& rows)
{
    chosenIndex = 0;
    TemplateListView->clear();
    for (const auto& row : rows) {
        auto* item = new QTreeWidgetItem(TemplateListView, QStringList{row.name, row.subject});
        item->setIcon(0, row.icon);
    }
    return ui_.showModal(*this);
}

void TSelectTemplateForm::OKButtonClick()
{
    QTreeWidgetItem* selected = nullptr;
    const auto items = TemplateListView->selectedItems();
    if (!items.isEmpty())
        selected = items.first();
    chosenIndex = selected ? TemplateListView->indexOfTopLevelItem(selected) : -1;
    accept();
}

} // namespace quillet
