#include "TAboutForm.h"

#include "AppTexts.h"
#include "widgets/HeadingLabel.h"
#include "widgets/LogoPicture.h"

#include <BuildRevision.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TAboutForm");
    setWindowTitle(texts::kAboutCaption);

    Image1 = new LogoPicture(this);
    QLabel* name = headingLabel(texts::kProgramTitle, 6);
    VersionLabel = new QLabel(QString(texts::kAboutVersion).arg(QUILLET_VERSION, QUILLET_REVISION));
    VersionLabel->setObjectName("VersionLabel");
    Memo1 = new QPlainTextEdit(texts::kAboutText);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);

    OKButton = new QPushButton("OK");
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    EMailButton = new QPushButton("E-Mail");
    EMailButton->setObjectName("EMailButton");
    EMailButton->setAutoDefault(false);
    HomePageButton = new QPushButton("Home Page");
    HomePageButton->setObjectName("HomePageButton");
    HomePageButton->setAutoDefault(false);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(EMailButton, &QPushButton::clicked, this, &TAboutForm::mailToUsRequested);
    connect(HomePageButton, &QPushButton::clicked, this, &TAboutForm::homePageRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(EMailButton);
    buttons->addWidget(HomePageButton);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto* right = new QVBoxLayout;
    right->addWidget(name);
    right->addWidget(VersionLabel);
    right->addWidget(Memo1, 1);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(right, 1);
    resize(520, 260);
}

} // namespace quillet
