#include "SmtpAccountsPage.h"

#include "MailingWindowTexts.h"
#include "TSMTPPropForm.h"
#include "app/TOrvQuilletForm.h"
#include "app/TextBoundary.h"

#include <QAction>
#include <QTreeWidget>

namespace quillet {

namespace {

constexpr int kDisabledServerIcon = 3;
constexpr int kEnabledServerIcon = 4;

} // namespace

SmtpAccountsPage::SmtpAccountsPage(TOrvQuilletForm& mainWindow, TSMTPPropForm& dialog)
    : main_(mainWindow), dialog_(dialog)
{
}

void SmtpAccountsPage::fillRow(QTreeWidgetItem& row, const SmtpAccount& account) const
{
    const std::string* texts[] = {&account.host,     &account.user,        &account.password, &account.port,
                                  &account.fromName, &account.fromAddress, &account.replyTo,  &account.enabled};
    for (int column = 0; column < 8; ++column)
        row.setText(column, toQt(*texts[column]));
    row.setIcon(0, main_.stateIcon(account.enabled == kTrue ? kEnabledServerIcon : kDisabledServerIcon));
}

int SmtpAccountsPage::selectedIndex() const
{
    QTreeWidget* list = main_.smtpList();
    const auto selected = list->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int index = list->indexOfTopLevelItem(selected.first());
    return index >= 0 && index < int(main_.project().accounts.size()) ? index : -1;
}

bool SmtpAccountsPage::requireSelection(int index)
{
    if (index >= 0)
        return true;
    main_.ui().messageBox(&main_, texts::kNoSmtpSelected, texts::kErrorCaption, MessageIcon::Information,
                          MessageButtons::Ok);
    return false;
}

void SmtpAccountsPage::NewSMTPActionExecute()
{
    // The dialog is not filled: it offers what it held when it last closed.
    if (dialog_.ShowModal() != mrOk)
        return;
    const SmtpAccount account = dialog_.account();
    main_.project().accounts.push_back(account);
    auto* row = new QTreeWidgetItem;
    fillRow(*row, account);
    main_.smtpList()->addTopLevelItem(row);
    main_.project().setChanged();
}

void SmtpAccountsPage::EditSMTPActionExecute()
{
    const int index = selectedIndex();
    if (!requireSelection(index))
        return;
    dialog_.setAccount(main_.project().accounts[index]);
    if (dialog_.ShowModal() != mrOk)
        return;
    const SmtpAccount account = dialog_.account();
    main_.project().accounts[index] = account;
    fillRow(*main_.smtpList()->topLevelItem(index), account);
    main_.project().setChanged();
    SMTPListSelectItem();
}

void SmtpAccountsPage::DelSMTPActionExecute()
{
    const int index = selectedIndex();
    if (!requireSelection(index))
        return;
    auto& accounts = main_.project().accounts;
    const QString question = texts::kDeleteSmtpPrefix + toQt(accounts[index].host) + texts::kDeleteSmtpSuffix;
    if (main_.ui().messageBox(&main_, question, texts::kWarningCaption, MessageIcon::Information,
                              MessageButtons::OkCancel) != mrOk)
        return;
    accounts.erase(accounts.begin() + index);
    delete main_.smtpList()->takeTopLevelItem(index);
    main_.project().setChanged();
    SMTPListSelectItem();
}

void SmtpAccountsPage::EnableSMTPActionExecute()
{
    const int index = selectedIndex();
    if (!requireSelection(index))
        return;
    SmtpAccount& account = main_.project().accounts[index];
    account.enabled = std::string(account.enabled == kTrue ? kFalse : kTrue);
    fillRow(*main_.smtpList()->topLevelItem(index), account);
    main_.project().setChanged();
}

void SmtpAccountsPage::SMTPListSelectItem()
{
    const int index = selectedIndex();
    const bool selected = index >= 0;
    for (const char* name : {"EditSMTPAction", "DelSMTPAction", "EnableSMTPAction"})
        main_.action(name)->setEnabled(selected);
    if (selected)
        main_.action("EnableSMTPAction")->setChecked(main_.project().accounts[index].enabled == kTrue);
}

} // namespace quillet
