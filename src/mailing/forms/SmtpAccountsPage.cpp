#include "SmtpAccountsPage.h"

#include "MailingWindowTexts.h"
#include "TSMTPPropForm.h"
#include "project/Project.h"
#include "widgets/Icons.h"
#include "widgets/ListViews.h"
#include "widgets/Shell.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QAction>
#include <QTreeWidget>

namespace quillet {

SmtpAccountsPage::SmtpAccountsPage(Shell& shell, TSMTPPropForm& dialog) : main_(shell), dialog_(dialog)
{
    SMTPList =
        makeList("SMTPList",
                 {"SMTP Server", "User name", "Password", "Port", "From name", "From address", "Reply to", "Enabled"},
                 false, {100, 100, 1, 100, 100, 100, 100, 70}, -1);
    makePopupMenu(main_, "SMTPPopup", SMTPList,
                  {ActionId::NewSMTPAction, ActionId::EditSMTPAction, ActionId::DelSMTPAction, std::nullopt,
                   ActionId::EnableSMTPAction});
    QObject::connect(SMTPList, &QTreeWidget::itemSelectionChanged, SMTPList, [this] { SMTPListSelectItem(); });
    // A double-click on a row edits that account.
    QObject::connect(SMTPList, &QTreeWidget::itemDoubleClicked, SMTPList,
                     [this] { main_.action(ActionId::EditSMTPAction)->trigger(); });
}

SmtpAccountsPage::~SmtpAccountsPage()
{
    QObject::disconnect(SMTPList, nullptr, nullptr, nullptr);
}

QWidget* SmtpAccountsPage::view() const
{
    return SMTPList;
}

void SmtpAccountsPage::showAccounts()
{
    SMTPList->clear();
    QList<QTreeWidgetItem*> rows;
    for (const SmtpAccount& account : main_.project().accounts) {
        auto* row = new QTreeWidgetItem;
        fillRow(*row, account);
        rows << row;
    }
    SMTPList->addTopLevelItems(rows);
    // No row is selected in a fresh list: the account actions follow.
    SMTPListSelectItem();
}

void SmtpAccountsPage::fillRow(QTreeWidgetItem& row, const SmtpAccount& account) const
{
    const std::string* texts[] = {&account.host,     &account.user,        &account.password, &account.port,
                                  &account.fromName, &account.fromAddress, &account.replyTo,  &account.enabled};
    for (int column = 0; column < 8; ++column)
        row.setText(column, toQt(*texts[column]));
    row.setIcon(0, serverIcon(account.enabled == kTrue));
}

int SmtpAccountsPage::selectedIndex() const
{
    QTreeWidget* list = SMTPList;
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
    main_.ui().messageBox(main_.dialogParent(), texts::kNoSmtpSelected, texts::kErrorCaption, MessageIcon::Information,
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
    SMTPList->addTopLevelItem(row);
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
    fillRow(*SMTPList->topLevelItem(index), account);
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
    if (main_.ui().messageBox(main_.dialogParent(), question, texts::kWarningCaption, MessageIcon::Information,
                              MessageButtons::OkCancel) != mrOk)
        return;
    accounts.erase(accounts.begin() + index);
    delete SMTPList->takeTopLevelItem(index);
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
    fillRow(*SMTPList->topLevelItem(index), account);
    main_.project().setChanged();
}

void SmtpAccountsPage::SMTPListSelectItem()
{
    const int index = selectedIndex();
    const bool selected = index >= 0;
    for (const ActionId id : {ActionId::EditSMTPAction, ActionId::DelSMTPAction, ActionId::EnableSMTPAction})
        main_.action(id)->setEnabled(selected);
    if (selected)
        main_.action(ActionId::EnableSMTPAction)->setChecked(main_.project().accounts[index].enabled == kTrue);
}

} // namespace quillet
