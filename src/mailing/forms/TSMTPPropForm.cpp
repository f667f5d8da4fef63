#include "TSMTPPropForm.h"

#include "MailingWindowTexts.h"
#include "widgets/DesktopOpen.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/HeadingLabel.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"
#include "project/ProgramFolder.h"

#include <QCheckBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillet {

namespace {

QWidget* makePage(QLabel*& picture, const QString& heading, QFormLayout*& form)
{
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    picture = new QLabel;
    picture->setFixedWidth(64);
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    row->addWidget(picture);
    auto* column = new QVBoxLayout;
    column->addWidget(headingLabel(heading));
    form = new QFormLayout;
    column->addLayout(form);
    column->addStretch();
    row->addLayout(column);
    return page;
}

} // namespace

TSMTPPropForm::TSMTPPropForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TSMTPPropForm");
    setWindowTitle(texts::kSmtpPropertiesCaption);

    PageControl1 = new QTabWidget;
    PageControl1->setObjectName("PageControl1");

    QFormLayout* general = nullptr;
    PageControl1->addTab(makePage(generalPicture_, "General SMTP options", general), "General");
    SMTPServerEdit = new QLineEdit;
    NameEdit = new QLineEdit;
    PasswordEdit = new QLineEdit; // shown in clear, as the account list stores it
    PortEdit = new QLineEdit("25");
    EnabledCheckBox = new QCheckBox("Enabled");
    EnabledCheckBox->setChecked(true);
    general->addRow("SMTP Server", SMTPServerEdit);
    general->addRow("User name", NameEdit);
    general->addRow("Password", PasswordEdit);
    general->addRow("Port", PortEdit);
    general->addRow(QString(), EnabledCheckBox);

    QFormLayout* advanced = nullptr;
    PageControl1->addTab(makePage(advancedPicture_, "Advanced options", advanced), "Advanced");
    FromEdit = new QLineEdit;
    FromAddrEdit = new QLineEdit;
    ReplyToEdit = new QLineEdit;
    advanced->addRow("From Name", FromEdit);
    advanced->addRow("From Address", FromAddrEdit);
    advanced->addRow("Reply to", ReplyToEdit);

    SMTPServerEdit->setObjectName("SMTPServerEdit");
    NameEdit->setObjectName("NameEdit");
    PasswordEdit->setObjectName("PasswordEdit");
    PortEdit->setObjectName("PortEdit");
    EnabledCheckBox->setObjectName("EnabledCheckBox");
    FromEdit->setObjectName("FromEdit");
    FromAddrEdit->setObjectName("FromAddrEdit");
    ReplyToEdit->setObjectName("ReplyToEdit");

    HelpButton = new QPushButton("Help");
    HelpButton->setAutoDefault(false);
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });
    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Default);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    buttons.row->insertWidget(0, HelpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    focusOnShow(*this, SMTPServerEdit);
}

int TSMTPPropForm::ShowModal()
{
    const QPixmap logo(QString::fromStdString(logoPath()));
    const QPixmap small = logo.isNull() ? logo : logo.scaledToWidth(56, Qt::SmoothTransformation);
    generalPicture_->setPixmap(small);
    advancedPicture_->setPixmap(small);
    PageControl1->setCurrentIndex(0);
    return ui_.showModal(*this);
}

void TSMTPPropForm::setAccount(const SmtpAccount& account)
{
    SMTPServerEdit->setText(toQt(account.host));
    NameEdit->setText(toQt(account.user));
    PasswordEdit->setText(toQt(account.password));
    PortEdit->setText(toQt(account.port));
    FromEdit->setText(toQt(account.fromName));
    FromAddrEdit->setText(toQt(account.fromAddress));
    ReplyToEdit->setText(toQt(account.replyTo));
    EnabledCheckBox->setChecked(account.enabled == kTrue);
}

SmtpAccount TSMTPPropForm::account() const
{
    SmtpAccount account;
    account.host = fromQt(SMTPServerEdit->text());
    account.user = fromQt(NameEdit->text());
    account.password = fromQt(PasswordEdit->text());
    account.port = fromQt(PortEdit->text());
    account.fromName = fromQt(FromEdit->text());
    account.fromAddress = fromQt(FromAddrEdit->text());
    account.replyTo = fromQt(ReplyToEdit->text());
    account.enabled = std::string(EnabledCheckBox->isChecked() ? kTrue : kFalse);
    return account;
}

void TSMTPPropForm::HelpButtonClick()
{
    openHelpPage(ui_, this, QFile::decodeName(QByteArray::fromStdString(helpFolder())) + "/" + texts::kSmtpHelpPage);
}

} // namespace quillet
