// The page "SMTP Servers" of the main window: the project's accounts as rows of SMTPList, in
// project order, and the actions Create, Edit, Delete and Enable/Disable. The project's account
// list is the store; every change updates it and its row together and sets the changed flag.
#pragma once

#include "project/ProjectRecords.h"

class QTreeWidgetItem;

namespace quillet {

class TOrvQuilletForm;
class TSMTPPropForm;

class SmtpAccountsPage {
public:
    SmtpAccountsPage(TOrvQuilletForm& mainWindow, TSMTPPropForm& dialog);

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

    TOrvQuilletForm& main_;
    TSMTPPropForm& dialog_;
};

} // namespace quillet
