#include "TEditRecipientForm.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/AddressValidity.h"
#include "widgets/DesktopOpen.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/HeadingLabel.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"
#include "project/ProgramFolder.h"
#include "widgets/LogoPicture.h"

#include <QCheckBox>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillet {

namespace {

QLineEdit* edit(const QString& name)
{
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
}

} // namespace

TEditRecipientForm::TEditRecipientForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TEditRecipientForm");
    setWindowTitle("Edit recipient");

    PageControl = new QTabWidget;
    PageControl->setObjectName("PageControl");

    auto* general = new QWidget;
    general->setObjectName("GeneralPage");
    EMailEdit = edit("EMailEdit");
    NameEdit = edit("NameEdit");
    SurNameEdit = edit("SurNameEdit");
    EnabledCheckBox = new QCheckBox("Enabled");
    EnabledCheckBox->setObjectName("EnabledCheckBox");
    EnabledCheckBox->setChecked(true);
    auto* generalFields = new QFormLayout;
    generalFields->addRow("E-mail", EMailEdit);
    generalFields->addRow("Name", NameEdit);
    generalFields->addRow("Surname", SurNameEdit);
    generalFields->addRow(QString(), EnabledCheckBox);
    auto* generalRight = new QVBoxLayout;
    generalRight->addWidget(headingLabel("General recipient options"));
    generalRight->addLayout(generalFields);
    generalRight->addStretch();
    auto* generalLayout = new QHBoxLayout(general);
    generalLayout->addWidget(new LogoPicture);
    generalLayout->addLayout(generalRight, 1);
    PageControl->addTab(general, "General");

    auto* parameters = new QWidget;
    parameters->setObjectName("ParametersPage");
    auto* grid = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        ParamName[i] = edit(QString("ParamName%1").arg(i + 1));
        ParamValue[i] = edit(QString("ParamValue%1").arg(i + 1));
        grid->addWidget(new QLabel(QString("Parameter name %1").arg(i + 1)), 2 * i, 0);
        grid->addWidget(new QLabel(QString("Parameter value %1").arg(i + 1)), 2 * i, 1);
        grid->addWidget(ParamName[i], 2 * i + 1, 0);
        grid->addWidget(ParamValue[i], 2 * i + 1, 1);
    }
    auto* parametersRight = new QVBoxLayout;
    parametersRight->addWidget(headingLabel("Recipient parameters"));
    parametersRight->addLayout(grid);
    parametersRight->addStretch();
    auto* parametersLayout = new QHBoxLayout(parameters);
    parametersLayout->addWidget(new LogoPicture);
    parametersLayout->addLayout(parametersRight, 1);
    PageControl->addTab(parameters, "Parameters");

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Cancel);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    HelpButton = new QPushButton("Help");
    HelpButton->setObjectName("HelpButton");
    HelpButton->setAutoDefault(false);
    connect(HelpButton, &QPushButton::clicked, this, &TEditRecipientForm::HelpButtonClick);
    buttons.row->addWidget(HelpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addLayout(buttons.row);
    focusOnShow(*this, [this]() -> QWidget* {
        PageControl->setCurrentIndex(0);
        return EMailEdit;
    });
}

void TEditRecipientForm::clearFields()
{
    EMailEdit->clear();
    NameEdit->clear();
    SurNameEdit->clear();
    EnabledCheckBox->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        ParamName[i]->clear();
        ParamValue[i]->clear();
    }
}

void TEditRecipientForm::setRecord(const RecipientRecord& record)
{
    EMailEdit->setText(toQt(record.EMail.str()));
    NameEdit->setText(toQt(record.Name.str()));
    SurNameEdit->setText(toQt(record.Surname.str()));
    EnabledCheckBox->setChecked(record.enabled());
    for (int i = 0; i < 4; ++i) {
        ParamName[i]->setText(toQt(record.paramName(i).str()));
        ParamValue[i]->setText(toQt(record.paramValue(i).str()));
    }
}

RecipientRecord TEditRecipientForm::record() const
{
    RecipientRecord r;
    r.EMail.set(fromQt(EMailEdit->text()));
    r.Name.set(fromQt(NameEdit->text()));
    r.Surname.set(fromQt(SurNameEdit->text()));
    r.Enabled = EnabledCheckBox->isChecked() ? 1 : 0;
    for (int i = 0; i < 4; ++i) {
        r.paramName(i).set(fromQt(ParamName[i]->text()));
        r.paramValue(i).set(fromQt(ParamValue[i]->text()));
    }
    return r;
}

// OK with an address that is not valid asks first; No leaves the dialog open on the address.
void TEditRecipientForm::done(int result)
{
    if (result == QDialog::Accepted) {
        const std::string address = fromQt(EMailEdit->text());
        if (const AddressProblem problem = addressProblem(address); problem != AddressProblem::None) {
            const QString question = toQt(texts::keepInvalidAddressQuestion(address, describeAddressProblem(problem)));
            if (ui_.messageBox(this, question, toQt(std::string(texts::kWarningCaption)), MessageIcon::Warning,
                               MessageButtons::YesNo) != mrYes) {
                PageControl->setCurrentIndex(0);
                EMailEdit->setFocus();
                EMailEdit->selectAll();
                return;
            }
        }
    }
    QDialog::done(result);
}

void TEditRecipientForm::prepareToShow()
{
    PageControl->setCurrentIndex(0);
}

void TEditRecipientForm::showEvent(QShowEvent* event)
{
    prepareToShow();
    QDialog::showEvent(event);
}

void TEditRecipientForm::HelpButtonClick()
{
    openHelpPage(ui_, this, QFile::decodeName(QByteArray::fromStdString(helpFolder() + "/l1.htm")));
}

} // namespace quillet
