#include "TEditGroupParamsForm.h"

#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/HeadingLabel.h"
#include "widgets/LogoPicture.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

TEditGroupParamsForm::TEditGroupParamsForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TEditGroupParamsForm");
    setWindowTitle("Edit group parameters");

    Image1 = new LogoPicture(this);
    QLabel* heading = headingLabel("Edit group parameters");

    GroupNameEdit = new QLineEdit;
    GroupNameEdit->setObjectName("GroupNameEdit");
    GroupNameEdit->setMaxLength(255);
    DescriptionEdit = new QLineEdit;
    DescriptionEdit->setObjectName("DescriptionEdit");
    DescriptionEdit->setMaxLength(255);
    auto* fields = new QFormLayout;
    fields->addRow("Group name", GroupNameEdit);
    fields->addRow("Description", DescriptionEdit);

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Cancel);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    auto* right = new QVBoxLayout;
    right->addWidget(heading);
    right->addLayout(fields);
    right->addStretch();
    right->addLayout(buttons.row);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(right, 1);
    focusOnShow(*this, GroupNameEdit);
}

} // namespace quillet
