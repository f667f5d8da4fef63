// The dialog "Send method": three routes for a mailing run, exactly one chosen. The dialog
// lives as long as the program, so the last choice is offered again at the next run.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

namespace quillet {

class UserInterface;

class TSelectMailServerForm : public QDialog {
    Q_OBJECT
public:
    TSelectMailServerForm(UserInterface& ui, QWidget* parent = nullptr);

    // Folder that holds the picture file read each time the dialog is shown.
    void setProgramFolder(const QString& folder);
    int ShowModal();

    QLabel* Image1;
    QRadioButton* DefaultSMTPButton;
    QRadioButton* AllServersButton;
    QRadioButton* BuildInServersButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    UserInterface& ui_;
    QString programFolder_;
};

} // namespace quillet
