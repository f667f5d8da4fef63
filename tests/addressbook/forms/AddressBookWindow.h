// A main window over a small project for the address-book window tests, with helpers that
// select groups and rows and read the recipient list as the user sees it.
#pragma once

#include "app/AppTestEnvironment.h"

#include "addressbook/forms/AddressBookController.h"
#include "addressbook/forms/RecipientListModel.h"
#include "addressbook/forms/TEMailFoundedForm.h"
#include "addressbook/forms/TEditGroupParamsForm.h"
#include "addressbook/forms/TEditRecipientForm.h"
#include "addressbook/forms/TFindEMailForm.h"
#include "addressbook/forms/TFindForm.h"
#include "addressbook/forms/TSelectGroupForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>
#include <QTreeWidget>

namespace quillet::test {

inline RecipientRecord makeRecipient(const char* email, const char* group, bool enabled = true, const char* name = "")
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Group.set(group);
    r.Enabled = enabled ? 1 : 0;
    return r;
}

// Runs the event loop until the review dialog's scan has ended (at most 20 s).
inline bool waitForScan(TEMailFoundedForm& form)
{
    return QTest::qWaitFor([&] { return !form.scanning(); }, 20000);
}

struct AddressBookWindow {
    FreshProgram program;
    ScriptedUserInterface ui;
    std::unique_ptr<TOrvQuilletForm> form;
    AddressBookController* controller = nullptr;

    AddressBookWindow()
    {
        form = std::make_unique<TOrvQuilletForm>(ui);
        controller = form->findChild<AddressBookController*>("AddressBookController");
        Project& p = project();
        p.groups = {{"Friends", "close ones"}, {"Work", "colleagues"}, {"friends", "lower case"}};
        p.recipients = {makeRecipient("zed@x", "Friends"), makeRecipient("abc@x", "Friends", false),
                        makeRecipient("boss@w", "Work"), makeRecipient("mid@x", "Friends")};
        form->addressBook().showGroups();
        form->resize(800, 500);
    }

    Project& project() { return form->project(); }
    QTreeWidget* groups() { return form->groupListView(); }
    QTreeView* list() { return form->recipientListView(); }
    RecipientListModel& model() { return controller->recipientModel(); }
    QAction* action(const char* name) { return form->action(name); }

    void selectGroup(int row) { groups()->setCurrentItem(groups()->topLevelItem(row)); }
    void selectRows(std::initializer_list<int> rows)
    {
        list()->selectionModel()->clearSelection();
        for (int row : rows)
            list()->selectionModel()->select(model().index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The rows as "e-mail/enabled text/record index".
    QStringList rows()
    {
        QStringList result;
        for (int row = 0; row < model().rowCount(); ++row)
            result << model().index(row, 0).data().toString() + "/" + model().index(row, 3).data().toString() + "/" +
                          model().index(row, 4).data().toString();
        return result;
    }
    QStringList recordEmails()
    {
        QStringList result;
        for (const RecipientRecord& r : project().recipients)
            result << QString::fromStdString(r.EMail.str());
        return result;
    }
    RecordedPrompt lastMessage() { return ui.messages().empty() ? RecordedPrompt{} : ui.messages().back(); }
};

} // namespace quillet::test
