// The page "SMTP Servers" of the main window: its list SMTPList (built here, placed by the main
// window) with the project's accounts as rows, in project order, and the actions Create, Edit, Delete and Enable/Disable. The project's account
// list is the store; every change updates it and its row together and sets the changed flag.
#pragma once

#include "project/ProjectRecords.h"

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace quillet {

class Shell;
class TSMTPPropForm;

class SmtpAccountsPage {
public:
    SmtpAccountsPage(Shell& shell, TSMTPPropForm& dialog);
    // The list stays with the main window a little longer; it no longer calls the page.
    ~SmtpAccountsPage();

    QWidget* view() const;
    QTreeWidget* list() const { return SMTPList; }
    // Rebuilds the rows from the project's accounts.
    void showAccounts();

    void NewSMTPActionExecute();
    void EditSMTPActionExecute();
    void DelSMTPActionExecute();
    void EnableSMTPActionExecute();
    void SMTPListSelectItem();

    // Writes an account's eight texts into a row and picks its icon from the enabled text.
    void fillRow(QTreeWidgetItem& row, const SmtpAccount& account) const;

private:
    // Position of the selected row, -1 when none is selected (or it has no account).
    int selectedIndex() const;
    bool requireSelection(int index);

    Shell& main_;
    TSMTPPropForm& dialog_;
    QTreeWidget* SMTPList = nullptr;
};

} // namespace quillet
