// The start-up dialog "Select project": five choices, each a small button with a clickable label
// beside it. The lifecycle binds the choices; each closes the dialog with modal result 1 when it
// is done, while the dialog's only push button "OK" closes it with modal result 2 (cancel), as
// does its close box.
#pragma once

#include <QDialog>

class QPushButton;

namespace quillet {

class ClickLabel;
class LogoPicture;

class TOpenWizardForm : public QDialog {
    Q_OBJECT
public:
    explicit TOpenWizardForm(QWidget* parent = nullptr);

    // Enables or disables the choice "Open last used project" (label and button).
    void setLastProjectEnabled(bool enabled);

    LogoPicture* Image1 = nullptr;
    QPushButton* OpenLastButton = nullptr;
    ClickLabel* LastProjectLabel = nullptr;
    QPushButton* CreateDefaultButton = nullptr;
    ClickLabel* CreateDefaultLabel = nullptr;
    QPushButton* CreateNewButton = nullptr;
    ClickLabel* CreateNewLabel = nullptr;
    QPushButton* OpenDefaultButton = nullptr;
    ClickLabel* OpenDefaultLabel = nullptr;
    QPushButton* OpenExistingButton = nullptr;
    ClickLabel* OpenExistingLabel = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    // The first choice that can be taken has the keyboard focus.
    void showEvent(QShowEvent* event) override;

signals:
    void openLastChosen();
    void createDefaultChosen();
    void createNewChosen();
    void openDefaultChosen();
    void openExistingChosen();
};

} // namespace quillet
