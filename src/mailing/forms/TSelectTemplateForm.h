// The dialog "Select Template": a copy of the main window's template rows from which the send
// window picks one. OK records the selected row's position (-1 when none is selected).
#pragma once

#include <QDialog>
#include <QIcon>

class QPushButton;
class QTreeWidget;

namespace quillet {

class UserInterface;

struct TemplateRowText {
    QString name;
    QString subject;
    QIcon icon;
};

class TSelectTemplateForm : public QDialog {
    Q_OBJECT
public:
    TSelectTemplateForm(UserInterface& ui, QWidget* parent = nullptr);

    // Sets the chosen index to 0, replaces the list by the given rows and shows the dialog
    // modally; returns the modal result.
    int ShowModal(const std::vector<TemplateRowText>& rows);

    int chosenIndex = -1;

    QTreeWidget* TemplateListView;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();

    UserInterface& ui_;
};

} // namespace quillet
