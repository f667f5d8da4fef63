#include "TSelectMailServerForm.h"

#include "MailingWindowTexts.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/LogoPicture.h"
#include "widgets/UserInterface.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillet {

TSelectMailServerForm::TSelectMailServerForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TSelectMailServerForm");
    setWindowTitle(texts::kSendMethodCaption);

    Image1 = new LogoPicture;
    Image1->setObjectName("Image1");

    DefaultSMTPButton = new QRadioButton("Use default mail server only");
    AllServersButton = new QRadioButton("Use default server with SMTP servers list");
    BuildInServersButton = new QRadioButton("Use build-in mail server");
    DefaultSMTPButton->setObjectName("DefaultSMTPButton");
    AllServersButton->setObjectName("AllServersButton");
    BuildInServersButton->setObjectName("BuildInServersButton");
    auto* group = new QButtonGroup(this);
    group->addButton(DefaultSMTPButton);
    group->addButton(AllServersButton);
    group->addButton(BuildInServersButton);
    DefaultSMTPButton->setChecked(true);

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Default);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel("Select send method:"));
    column->addWidget(DefaultSMTPButton);
    column->addWidget(AllServersButton);
    column->addWidget(BuildInServersButton);
    column->addStretch();
    column->addLayout(buttons.row);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(column);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    focusOnShow(*this, [this]() -> QWidget* {
        for (QRadioButton* b : {DefaultSMTPButton, AllServersButton, BuildInServersButton})
            if (b->isChecked())
                return b;
        return DefaultSMTPButton;
    });
}

int TSelectMailServerForm::ShowModal()
{
    // The picture is read again at every showing; a missing or unreadable file shows none.
    Image1->reload();
    return ui_.showModal(*this);
}

} // namespace quillet
