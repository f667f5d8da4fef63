#include "TOpenWizardForm.h"

#include "widgets/ClickLabel.h"
#include "widgets/LogoPicture.h"
#include "ProjectFormTexts.h"
#include "widgets/HeadingLabel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

TOpenWizardForm::TOpenWizardForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TOpenWizardForm");
    setWindowTitle(texts::kOpenWizardCaption);

    Image1 = new LogoPicture(this);
    QLabel* heading = headingLabel(texts::kOpenWizardHeading, 2);

    auto* choices = new QGridLayout;
    int row = 0;
    auto addChoice = [&](const char* buttonName, const char* labelName, const char* text, QPushButton*& button,
                         ClickLabel*& label, void (TOpenWizardForm::*chosen)()) {
        button = new QPushButton(">");
        button->setObjectName(buttonName);
        button->setFixedSize(24, 24);
        button->setAutoDefault(false);
        label = new ClickLabel(text);
        label->setObjectName(labelName);
        choices->addWidget(button, row, 0);
        choices->addWidget(label, row, 1);
        ++row;
        connect(button, &QPushButton::clicked, this, chosen);
        connect(label, &ClickLabel::clicked, this, chosen);
    };
    addChoice("OpenLastButton", "LastProjectLabel", texts::kOpenLastLabel, OpenLastButton, LastProjectLabel,
              &TOpenWizardForm::openLastChosen);
    addChoice("CreateDefaultButton", "CreateDefaultLabel", texts::kCreateDefaultLabel, CreateDefaultButton,
              CreateDefaultLabel, &TOpenWizardForm::createDefaultChosen);
    addChoice("CreateNewButton", "CreateNewLabel", texts::kCreateNewLabel, CreateNewButton, CreateNewLabel,
              &TOpenWizardForm::createNewChosen);
    addChoice("OpenDefaultButton", "OpenDefaultLabel", texts::kOpenDefaultLabel, OpenDefaultButton, OpenDefaultLabel,
              &TOpenWizardForm::openDefaultChosen);
    addChoice("OpenExistingButton", "OpenExistingLabel", texts::kOpenExistingLabel, OpenExistingButton,
              OpenExistingLabel, &TOpenWizardForm::openExistingChosen);
    choices->setColumnStretch(1, 1);

    OKButton = new QPushButton("OK");
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    // "OK" leaves the dialog without a choice: the caller then opens the default project.
    connect(OKButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* right = new QVBoxLayout;
    right->addWidget(heading);
    right->addSpacing(12);
    right->addLayout(choices);
    right->addStretch();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(OKButton);
    right->addLayout(buttonRow);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(right, 1);
    setFixedSize(sizeHint().expandedTo(QSize(420, 240)));
}

void TOpenWizardForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    (OpenLastButton->isEnabled() ? OpenLastButton : CreateDefaultButton)->setFocus();
}

void TOpenWizardForm::setLastProjectEnabled(bool enabled)
{
    OpenLastButton->setEnabled(enabled);
    LastProjectLabel->setEnabled(enabled);
}

} // namespace quillet
