// The dialog "Send method": three routes for a mailing run, exactly one chosen. The dialog
// lives as long as the program, so the last choice is offered again at the next run.
#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace quillet {

class LogoPicture;
class UserInterface;

class TSelectMailServerForm : public QDialog {
    Q_OBJECT
public:
    TSelectMailServerForm(UserInterface& ui, QWidget* parent = nullptr);

    int ShowModal();

    LogoPicture* Image1;
    QRadioButton* DefaultSMTPButton;
    QRadioButton* AllServersButton;
    QRadioButton* BuildInServersButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    UserInterface& ui_;
};

} // namespace quillet
