#include "DialogButtons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>

namespace quillet {

DialogButtons makeOkCancelButtons(QDialog& dialog, CancelOnEnter cancelOnEnter, std::function<void()> onOk)
{
    DialogButtons buttons;
    buttons.ok = new QPushButton("OK");
    buttons.ok->setObjectName("OKButton");
    buttons.ok->setDefault(true);
    buttons.cancel = new QPushButton("Cancel");
    buttons.cancel->setObjectName("CancelButton");
    if (cancelOnEnter == CancelOnEnter::Default)
        buttons.cancel->setAutoDefault(false);
    if (onOk)
        QObject::connect(buttons.ok, &QPushButton::clicked, &dialog, std::move(onOk));
    else
        QObject::connect(buttons.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(buttons.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    buttons.row = new QHBoxLayout;
    buttons.row->addStretch();
    buttons.row->addWidget(buttons.ok);
    buttons.row->addWidget(buttons.cancel);
    return buttons;
}

QDialogButtonBox* makeOkCancelButtonBox(QDialog& dialog)
{
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("CancelButton");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

} // namespace quillet
