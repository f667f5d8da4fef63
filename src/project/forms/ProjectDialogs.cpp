// The small project dialogs: New project, Project properties, and the default project question.
#include "TDefaultProjectMessageForm.h"
#include "TNewProjectForm.h"
#include "TProjectPropertiesForm.h"

#include "widgets/LogoPicture.h"
#include "ProjectFormTexts.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/HeadingLabel.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillet {

namespace {

} // namespace

TNewProjectForm::TNewProjectForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TNewProjectForm");
    setWindowTitle(texts::kNewProjectCaption);
    Image1 = new LogoPicture(this);
    auto* form = new QFormLayout;
    createEdits(form);
    auto* right = new QVBoxLayout;
    right->addWidget(headingLabel(texts::kGeneralHeading));
    right->addLayout(form);
    right->addStretch();
    right->addWidget(makeOkCancelButtonBox(*this));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(right, 1);
    resize(520, 260);
    focusOnShow(*this, NameEdit);
}

TProjectPropertiesForm::TProjectPropertiesForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TProjectPropertiesForm");
    setWindowTitle(texts::kProjectPropertiesCaption);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(headingLabel(texts::kGeneralHeading));
    auto* form = new QFormLayout;
    createEdits(form);
    pageLayout->addLayout(form);
    pageLayout->addStretch();
    PageControl->addTab(page, texts::kGeneralPage);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addWidget(makeOkCancelButtonBox(*this));
    resize(420, 260);
    focusOnShow(*this, NameEdit);
}

TDefaultProjectMessageForm::TDefaultProjectMessageForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TDefaultProjectMessageForm");
    setWindowTitle(texts::kDefaultMessageCaption);
    auto* picture = new QLabel;
    picture->setObjectName("Image1");
    picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    MessageLabel = new QLabel(texts::kDefaultProjectExists);
    MessageLabel->setObjectName("MessageLabel");
    MessageLabel->setWordWrap(true);
    OpenButton = new QPushButton("Open");
    OpenButton->setObjectName("OpenButton");
    OpenButton->setDefault(true);
    OverwriteButton = new QPushButton("Overwrite");
    OverwriteButton->setObjectName("OverwriteButton");
    OverwriteButton->setAutoDefault(false);
    connect(OpenButton, &QPushButton::clicked, this, [this] { done(1); });
    connect(OverwriteButton, &QPushButton::clicked, this, [this] { done(2); });

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(MessageLabel, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OpenButton);
    buttons->addWidget(OverwriteButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(380, 150);
}

} // namespace quillet
