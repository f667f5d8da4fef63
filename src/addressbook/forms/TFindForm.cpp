#include "TFindForm.h"

#include "widgets/FirstField.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillet {

TFindForm::TFindForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TFindForm");
    setWindowTitle("Find");
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    FindEdit = new QLineEdit;
    FindEdit->setObjectName("FindEdit");
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(new QLabel("Text to find"));
    textRow->addWidget(FindEdit, 1);

    CaseSensitiveBox = new QCheckBox("Case sensitive");
    CaseSensitiveBox->setObjectName("CaseSensitiveBox");
    FindExactlyBox = new QCheckBox("Find exactly");
    FindExactlyBox->setObjectName("FindExactlyBox");
    auto* options = new QGroupBox("Options");
    options->setObjectName("GroupBox1");
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(CaseSensitiveBox);
    optionsLayout->addWidget(FindExactlyBox);

    CurrentGroupButton = new QRadioButton("Current group");
    CurrentGroupButton->setObjectName("CurrentGroupButton");
    CurrentGroupButton->setChecked(true);
    GlobalButton = new QRadioButton("Global");
    GlobalButton->setObjectName("GlobalButton");
    auto* where = new QGroupBox("Where");
    where->setObjectName("CurrentGroup");
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(CurrentGroupButton);
    whereLayout->addWidget(GlobalButton);

    auto* frames = new QHBoxLayout;
    frames->addWidget(options);
    frames->addWidget(where);

    FindButton = new QPushButton("Find");
    FindButton->setObjectName("FindButton");
    FindButton->setDefault(true);
    FindNextButton = new QPushButton("Find next");
    FindNextButton->setObjectName("FindNextButton");
    CancelButton = new QPushButton("Close");
    CancelButton->setObjectName("CancelButton");
    connect(FindButton, &QPushButton::clicked, this, &TFindForm::FindButtonClick);
    connect(FindNextButton, &QPushButton::clicked, this, &TFindForm::FindNextButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(FindButton);
    buttons->addWidget(FindNextButton);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(textRow);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    focusOnShow(*this, FindEdit);
}

void TFindForm::FindButtonClick()
{
    if (onSearch)
        onSearch(true);
}

void TFindForm::FindNextButtonClick()
{
    if (onSearch)
        onSearch(false);
}

} // namespace quillet
