#include "TPropertiesForm.h"

#include "ProjectFormTexts.h"
#include "widgets/FirstField.h"

#include "widgets/DialogButtons.h"
#include "widgets/HeadingLabel.h"
#include "project/settings/SettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QStyle>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

QLineEdit* addEdit(QFormLayout* form, const char* label, const char* name, const char* text = "")
{
    auto* edit = new QLineEdit(QString::fromLatin1(text));
    edit->setObjectName(name);
    form->addRow(QString::fromLatin1(label), edit);
    return edit;
}

QWidget* page(QFormLayout*& form)
{
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    auto* picture = new QLabel;
    picture->setObjectName("Image1");
    picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    QLabel* heading = headingLabel(texts::kServerOptionsHeading);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(heading, 1);
    layout->addLayout(top);
    form = new QFormLayout;
    layout->addLayout(form);
    layout->addStretch();
    return widget;
}

int portOr(const QLineEdit* edit, int fallback)
{
    bool ok = false;
    const int port = edit->text().toInt(&ok, 10);
    return ok ? port : fallback;
}

} // namespace

TPropertiesForm::TPropertiesForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TPropertiesForm");
    setWindowTitle(texts::kPropertiesCaption);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");

    QFormLayout* form = nullptr;
    QWidget* first = page(form);
    SMTPEdit = addEdit(form, "SMTP Server", "SMTPEdit");
    PortEdit = addEdit(form, "Port", "PortEdit", texts::kDefaultPort);
    SendFromEdit = addEdit(form, "Send From", "SendFromEdit");
    UserNameEdit = addEdit(form, "User name", "UserNameEdit");
    PasswordEdit = addEdit(form, "Passwod", "PasswordEdit");
    SecurityCombo = new QComboBox;
    SecurityCombo->setObjectName("SecurityCombo");
    for (const texts::SecurityChoice& choice : texts::kSecurityChoices)
        SecurityCombo->addItem(QString::fromLatin1(choice.text), QString::fromLatin1(choice.value));
    SecurityCombo->setToolTip(texts::kSecurityHint);
    form->addRow(QString::fromLatin1(texts::kSecurityLabel), SecurityCombo);
    TlsCaFileEdit = new QLineEdit;
    TlsCaFileEdit->setObjectName("TlsCaFileEdit");
    TlsCaFileEdit->setToolTip(texts::kCaFileHint);
    TlsCaFileButton = new QToolButton;
    TlsCaFileButton->setObjectName("TlsCaFileButton");
    TlsCaFileButton->setText("...");
    auto* caFileRow = new QHBoxLayout;
    caFileRow->addWidget(TlsCaFileEdit, 1);
    caFileRow->addWidget(TlsCaFileButton);
    form->addRow(QString::fromLatin1(texts::kCaFileLabel), caFileRow);
    PlainAuthCheck = new QCheckBox(QString::fromLatin1(texts::kPlainAuthOption));
    PlainAuthCheck->setObjectName("PlainAuthCheck");
    PlainAuthCheck->setToolTip(texts::kPlainAuthHint);
    form->addRow(QString(), PlainAuthCheck);
    PinList = new QListWidget;
    PinList->setObjectName("PinList");
    PinList->setToolTip(texts::kPinsHint);
    PinList->setMaximumHeight(PinList->fontMetrics().height() * 5);
    RemovePinButton = new QPushButton(texts::kRemovePin);
    RemovePinButton->setObjectName("RemovePinButton");
    RemovePinButton->setAutoDefault(false);
    connect(RemovePinButton, &QPushButton::clicked, this, [this] { RemovePinButtonClick(); });
    auto* pinRow = new QHBoxLayout;
    pinRow->addWidget(PinList, 1);
    pinRow->addWidget(RemovePinButton, 0, Qt::AlignTop);
    form->addRow(QString::fromLatin1(texts::kPinsLabel), pinRow);
    PageControl->addTab(first, texts::kDefaultServerPage);

    QWidget* second = page(form);
    BuildInPortEdit = addEdit(form, "Port", "BuildInPortEdit", texts::kDefaultBuiltInPort);
    BuildInFromEdit = addEdit(form, "Send From", "BuildInFromEdit");
    PageControl->addTab(second, texts::kBuiltInServerPage);

    auto* third = new QWidget;
    auto* thirdLayout = new QVBoxLayout(third);
    thirdLayout->addWidget(headingLabel(texts::kMessageOptionsHeading));
    auto* codePageForm = new QFormLayout;
    CodePageBox = new QComboBox;
    CodePageBox->setObjectName("CodePageBox");
    for (const texts::CodePageCaption& item : texts::kCodePageCaptions)
        CodePageBox->addItem(QString::fromLatin1(item.caption), QString::fromLatin1(item.choice));
    codePageForm->addRow(QString::fromLatin1(texts::kCodePageLabel), CodePageBox);
    thirdLayout->addLayout(codePageForm);
    auto* note = new QLabel(QString::fromLatin1(texts::kCodePageNote));
    note->setObjectName("CodePageNote");
    note->setWordWrap(true);
    thirdLayout->addWidget(note);
    FromSenderCheck = new QCheckBox(QString::fromLatin1(texts::kFromSenderOption));
    FromSenderCheck->setObjectName("FromSenderCheck");
    PreflightCheck = new QCheckBox(QString::fromLatin1(texts::kPreflightOption));
    PreflightCheck->setObjectName("PreflightCheck");
    PreflightCheck->setChecked(true);
    thirdLayout->addWidget(FromSenderCheck);
    thirdLayout->addWidget(PreflightCheck);
    thirdLayout->addStretch();
    PageControl->addTab(third, texts::kMessagePage);

    QDialogButtonBox* buttons = makeOkCancelButtonBox(*this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addWidget(buttons);
    resize(440, 340);
    focusOnShow(*this, [this]() -> QWidget* {
        return PageControl->currentIndex() == kBuiltInServerPage ? BuildInPortEdit : SMTPEdit;
    });
}

QString TPropertiesForm::defaultServerHost() const
{
    return SMTPEdit->text();
}
int TPropertiesForm::defaultServerPort() const
{
    return portOr(PortEdit, texts::kDefaultPortNumber);
}
QString TPropertiesForm::defaultServerUser() const
{
    return UserNameEdit->text();
}
QString TPropertiesForm::defaultServerPassword() const
{
    return PasswordEdit->text();
}
QString TPropertiesForm::defaultServerSender() const
{
    return SendFromEdit->text();
}
int TPropertiesForm::builtInServerPort() const
{
    return portOr(BuildInPortEdit, texts::kDefaultBuiltInPortNumber);
}
QString TPropertiesForm::builtInServerSender() const
{
    return BuildInFromEdit->text();
}
QString TPropertiesForm::connectionSecurity() const
{
    return SecurityCombo->currentData().toString();
}
QString TPropertiesForm::trustedCertificatesFile() const
{
    return TlsCaFileEdit->text();
}

void TPropertiesForm::setConnectionSecurity(const QString& value)
{
    // A stored text that is not a choice reads as automatic, as the mailing run takes it.
    SecurityCombo->setCurrentIndex(std::max(0, SecurityCombo->findData(value.toLower())));
}

void TPropertiesForm::loadServerSettings()
{
    loadServerSettings(SettingsStore());
}

void TPropertiesForm::loadServerSettings(const SettingsStore& store)
{
    const ServerSettings server = store.readServer();
    SMTPEdit->setText(server.server);
    PortEdit->setText(server.port);
    SendFromEdit->setText(server.from);
    UserNameEdit->setText(server.userName);
    PasswordEdit->setText(server.password);
    const SecuritySettings security = store.readSecurity();
    setConnectionSecurity(security.security);
    TlsCaFileEdit->setText(security.caFile);
    PlainAuthCheck->setChecked(security.allowPlainAuth);
}

void TPropertiesForm::writeServerSettings(SettingsStore& store) const
{
    ServerSettings server;
    server.server = SMTPEdit->text();
    server.port = PortEdit->text();
    server.from = SendFromEdit->text();
    server.userName = UserNameEdit->text();
    server.password = PasswordEdit->text();
    store.writeServer(server);
    store.writeSecurityChoice(connectionSecurity(), trustedCertificatesFile(), PlainAuthCheck->isChecked());
    for (const auto& [host, port] : removedPins_)
        store.removePin(host, port);
}

void TPropertiesForm::loadPins(const SettingsStore& store)
{
    PinList->clear();
    removedPins_.clear();
    for (const StoredPin& pin : store.pins()) {
        auto* item = new QListWidgetItem(QString("%1:%2  %3").arg(pin.host).arg(pin.port).arg(pin.fingerprint));
        item->setData(Qt::UserRole, pin.host);
        item->setData(Qt::UserRole + 1, pin.port);
        PinList->addItem(item);
    }
    RemovePinButton->setEnabled(PinList->count() > 0);
}

void TPropertiesForm::RemovePinButtonClick()
{
    QListWidgetItem* item = PinList->currentItem();
    if (!item)
        return;
    removedPins_.emplace_back(item->data(Qt::UserRole).toString(), item->data(Qt::UserRole + 1).toInt());
    delete item;
    RemovePinButton->setEnabled(PinList->count() > 0);
}

void TPropertiesForm::loadMessageSettings(const SettingsStore& store)
{
    const MessageSettings message = store.readMessageSettings();
    const int index = CodePageBox->findData(message.codePage.toLower());
    CodePageBox->setCurrentIndex(index < 0 ? 0 : index);
    FromSenderCheck->setChecked(message.fromSender);
    PreflightCheck->setChecked(!message.skipPreflight);
}

void TPropertiesForm::writeMessageSettings(SettingsStore& store) const
{
    MessageSettings message;
    message.codePage = CodePageBox->currentData().toString();
    message.fromSender = FromSenderCheck->isChecked();
    message.skipPreflight = !PreflightCheck->isChecked();
    store.writeMessageSettings(message);
}

void TPropertiesForm::selectPage(int page)
{
    if (page >= 0 && page < PageControl->count())
        PageControl->setCurrentIndex(page);
}

} // namespace quillet
