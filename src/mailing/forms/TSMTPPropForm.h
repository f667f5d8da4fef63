// The dialog of one SMTP account, "SMTP properties": two pages of fields, Help, OK and Cancel.
// Created once and never cleared: it opens with whatever its fields held when it last closed,
// always on its first page.
#pragma once

#include "project/ProjectRecords.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quillet {

class UserInterface;

class TSMTPPropForm : public QDialog {
    Q_OBJECT
public:
    TSMTPPropForm(UserInterface& ui, QWidget* parent = nullptr);

    // Brings the first page to front and shows the dialog modally; returns the modal result.
    int ShowModal();

    // Fills the fields from an account (the check box ticked exactly when its text is "True").
    void setAccount(const SmtpAccount& account);
    // The eight values as a row stores them; throws UnrepresentableText for untypable text.
    SmtpAccount account() const;

    QTabWidget* PageControl1;
    QLineEdit* SMTPServerEdit;
    QLineEdit* NameEdit;
    QLineEdit* PasswordEdit;
    QLineEdit* PortEdit;
    QCheckBox* EnabledCheckBox;
    QLineEdit* FromEdit;
    QLineEdit* FromAddrEdit;
    QLineEdit* ReplyToEdit;
    QPushButton* HelpButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void HelpButtonClick();

    UserInterface& ui_;
    QLabel* generalPicture_;
    QLabel* advancedPicture_;
};

} // namespace quillet
