// "Edit recipient": the e-mail, name, surname and enabled state on the page "General" and the
// four parameter name/value pairs on the page "Parameters". It always opens on "General".
// "Help" opens the recipient help page and leaves the dialog open.
#pragma once

#include "project/ProjectRecords.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quillet {

class UserInterface;

class TEditRecipientForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditRecipientForm(UserInterface& ui, QWidget* parent = nullptr);

    // Empties every edit and ticks "Enabled" (a new recipient).
    void clearFields();
    // Fills all twelve controls from the record.
    void setRecord(const RecipientRecord& record);
    // The record the controls describe (Group left empty); texts are cut to 255 bytes.
    // Throws UnrepresentableText when a text cannot be stored in the code page.
    RecipientRecord record() const;
    // Called before every showing: the page "General" comes first.
    void prepareToShow();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EMailEdit = nullptr;
    QLineEdit* NameEdit = nullptr;
    QLineEdit* SurNameEdit = nullptr;
    QCheckBox* EnabledCheckBox = nullptr;
    QLineEdit* ParamName[4] = {};
    QLineEdit* ParamValue[4] = {};
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;

    // OK with an address that is not valid asks whether to keep it; No keeps the dialog open.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void HelpButtonClick();
    UserInterface& ui_;
};

} // namespace quillet
