// The group and recipient actions of the main window: rows and enabled states, new/edit/delete
// of groups and recipients with their messages, enable/disable, copy and move through the Select
// Group dialog and by dropping rows on a group.
#include "AddressBookWindow.h"

#include "addressbook/AddressValidity.h"

#include "project/ProgramFolder.h"
#include "widgets/Icons.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

using namespace quillet;
using namespace quillet::test;

class GroupAndRecipientActionsTests : public QObject {
    Q_OBJECT
private slots:
    void groupSelectionFillsTheSortedRowsAndTheActions()
    {
        AddressBookWindow w;
        QVERIFY(!w.action("EditGroupAction")->isEnabled());
        w.selectGroup(0);
        QCOMPARE(w.rows(), (QStringList{"abc@x/False/1", "mid@x/True/3", "zed@x/True/0"}));
        for (const char* name : {"EditGroupAction", "DeleteGroupAction", "NewRecipientAction", "SelectAllAction",
                                 "EMailToGroupAction", "ExportToAHTMLAction"})
            QVERIFY2(w.action(name)->isEnabled(), name);
        QVERIFY(w.list()->isColumnHidden(4));
        // The icon follows the "Enabled" text whenever a row is drawn.
        const QIcon disabled = w.model().index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(disabled.cacheKey(), stateIcon(StateIcon::DisabledRecipient).cacheKey());
        // The status bar counts the group's recipients and the selected ones.
        QLabel* counts = w.form->statusPanel(1);
        QCOMPARE(counts->text(), QString("3 recipients, 0 selected"));
        w.selectRows({0, 2});
        QCOMPARE(counts->text(), QString("3 recipients, 2 selected"));
        // A double-click on a row edits that recipient.
        w.selectRows({1});
        QString editing;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            editing = static_cast<TEditRecipientForm&>(d).EMailEdit->text();
            return int(mrCancel);
        });
        emit w.list()->doubleClicked(w.model().index(1, 0));
        QCOMPARE(editing, QString("mid@x"));
        w.selectGroup(1);
        QCOMPARE(counts->text(), QString("1 recipient, 0 selected"));
        w.selectGroup(2); // "friends" differs from "Friends" in case only
        QCOMPARE(w.rows(), QStringList{});
        QCOMPARE(counts->text(), QString("0 recipients, 0 selected"));
        w.groups()->clearSelection();
        QVERIFY(!w.action("ExportToAHTMLAction")->isEnabled());
        QCOMPARE(counts->text(), QString());
    }

    void newGroupAndEditGroupMessages()
    {
        AddressBookWindow w;
        QString offeredName;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEditGroupParamsForm&>(d);
            offeredName = form.GroupNameEdit->text();
            form.GroupNameEdit->setText("Work");
            return int(mrOk);
        });
        w.action("NewRecipientGroupAction")->trigger();
        QCOMPARE(offeredName, QString("New group"));
        QCOMPARE(w.lastMessage().text, QString("Group with \"Work\" name already exist."));
        QCOMPARE(w.lastMessage().caption, QString("Error"));
        QCOMPARE(w.groups()->topLevelItemCount(), 3);
        QVERIFY(!w.project().changed());

        w.ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TEditGroupParamsForm&>(d).DescriptionEdit->setText("new one");
            return int(mrOk);
        });
        w.action("NewRecipientGroupAction")->trigger();
        QCOMPARE(w.groups()->topLevelItemCount(), 4);
        QCOMPARE(w.groups()->topLevelItem(3)->text(0), QString("New group"));
        QCOMPARE(w.groups()->selectedItems().size(), 0); // the new group is not selected
        QVERIFY(w.project().changed());

        w.action("EditGroupAction")->setEnabled(true); // emptying lists leaves actions enabled
        w.action("EditGroupAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Have not selected group"));

        w.selectGroup(0);
        w.ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TEditGroupParamsForm&>(d).GroupNameEdit->setText("Work");
            return int(mrOk);
        });
        w.action("EditGroupAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("I can't rename. Group with \"Work\" name already exist."));

        w.ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TEditGroupParamsForm&>(d).GroupNameEdit->setText("Pals");
            return int(mrOk);
        });
        w.action("EditGroupAction")->trigger();
        QCOMPARE(w.groups()->topLevelItem(0)->text(0), QString("Pals"));
        QCOMPARE(w.project().recipients[1].Group.str(), std::string("Pals"));
        QCOMPARE(w.project().recipients[2].Group.str(), std::string("Work"));
        QCOMPARE(w.model().rowCount(), 3); // the rows stay
    }

    void deleteGroupAsksAndRemovesItsRecipients()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        w.ui.messageAnswers.push_back(mrCancel);
        w.action("DeleteGroupAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Are you sure that you want delete \"Friends\" group?"));
        QCOMPARE(w.lastMessage().caption, QString("Warning"));
        QCOMPARE(w.lastMessage().buttons, MessageButtons::OkCancel);
        QCOMPARE(w.project().recipients.size(), std::size_t(4));

        w.ui.messageAnswers.push_back(mrOk);
        w.action("DeleteGroupAction")->trigger();
        QCOMPARE(w.recordEmails(), QStringList{"boss@w"});
        QCOMPARE(w.groups()->topLevelItemCount(), 2);
        QCOMPARE(w.model().rowCount(), 0);
        QVERIFY(w.project().changed());
    }

    void newRecipientSortingFirstThenEdited()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        w.ui.dialogScripts.push_back([](QDialog& d) {
            auto& form = static_cast<TEditRecipientForm&>(d);
            form.EMailEdit->setText("aaa@x");
            form.ParamValue[3]->setText("v4");
            return int(mrOk);
        });
        w.action("NewRecipientAction")->trigger();
        QCOMPARE(w.rows().first(), QString("aaa@x/True/4"));
        QCOMPARE(w.project().recipients[4].Group.str(), std::string("Friends"));

        w.selectRows({0});
        int pageShown = -1;
        QString shownParam;
        w.controller->editRecipientForm().PageControl->setCurrentIndex(1);
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEditRecipientForm&>(d);
            pageShown = form.PageControl->currentIndex();
            shownParam = form.ParamValue[3]->text();
            form.EMailEdit->setText("zzz@x");
            form.PageControl->setCurrentIndex(1);
            return int(mrOk);
        });
        w.action("EditRecipientAction")->trigger();
        QCOMPARE(pageShown, 0);
        QCOMPARE(shownParam, QString("v4"));
        QCOMPARE(w.recordEmails(), (QStringList{"zed@x", "abc@x", "boss@w", "mid@x", "zzz@x"}));
        QCOMPARE(w.rows().last(), QString("zzz@x/True/4"));

        // Cancel leaves record, row and flag untouched.
        w.project().setChanged(false);
        w.ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TEditRecipientForm&>(d).EMailEdit->setText("changed@x");
            return int(mrCancel);
        });
        w.action("EditRecipientAction")->trigger();
        QCOMPARE(w.project().recipients[4].EMail.str(), std::string("zzz@x"));
        QVERIFY(!w.project().changed());

        w.controller->editRecipientForm().HelpButton->click();
        QCOMPARE(w.ui.opened.last(), QString::fromStdString(helpFolder() + "/l1.htm"));
    }

    void anInvalidAddressIsKeptOnlyWhenTheUserSaysSo()
    {
        AddressBookWindow w;
        w.selectGroup(1);
        bool stayedOpen = false;
        w.ui.messageAnswers = {mrNo, mrYes};
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEditRecipientForm&>(d);
            form.EMailEdit->setText("not an email");
            form.OKButton->click(); // No: back to the dialog
            stayedOpen = d.result() != QDialog::Accepted;
            form.OKButton->click(); // Yes: kept as typed
            return d.result() == QDialog::Accepted ? int(mrOk) : int(mrCancel);
        });
        w.action("NewRecipientAction")->trigger();
        QVERIFY(stayedOpen);
        QCOMPARE(w.ui.messages().size(), std::size_t(2));
        QCOMPARE(w.lastMessage().text,
                 QString("Invalid e-mail address \"not an email\": %1.\nKeep it anyway?")
                     .arg(QString::fromLatin1(describeAddressProblem(addressProblem("not an email")).data())));
        QCOMPARE(w.lastMessage().buttons, MessageButtons::YesNo);
        QCOMPARE(w.project().recipients.back().EMail.str(), std::string("not an email"));
    }

    void deleteRowsWhoseRecordsStandInOppositeOrder()
    {
        AddressBookWindow w;
        // Rows emptied by a group change leave the recipient actions enabled.
        w.selectGroup(0);
        w.selectRows({0});
        w.selectGroup(1);
        QVERIFY(w.action("DeleteRecipientAction")->isEnabled());
        w.action("DeleteRecipientAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Have not selected recipient"));
        w.action("EditRecipientAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Have not selected recipient"));

        w.selectGroup(0); // abc(1) mid(3) zed(0)

        w.selectRows({0});
        w.ui.messageAnswers.push_back(mrCancel);
        w.action("DeleteRecipientAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Are you sure that you want delete \"abc@x\" recipient?"));

        w.selectRows({1, 2}); // mid (record 3) and zed (record 0)
        w.ui.messageAnswers.push_back(mrOk);
        w.action("DeleteRecipientAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Are you sure that you want delete all selected recipients?"));
        QCOMPARE(w.recordEmails(), (QStringList{"abc@x", "boss@w"}));
        QCOMPARE(w.rows(), QStringList{"abc@x/False/0"});
        QVERIFY(w.project().changed());
    }

    void enableDisableFlipsEachRowAndFollowsTheFirst()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        w.selectRows({0, 1}); // abc disabled, mid enabled
        QVERIFY(!w.action("EnableRecipientAction")->isChecked());
        QVERIFY(w.action("CopyToGroupAction")->isEnabled());
        w.action("EnableRecipientAction")->trigger();
        QCOMPARE(w.rows(), (QStringList{"abc@x/True/1", "mid@x/False/3", "zed@x/True/0"}));
        QVERIFY(w.action("EnableRecipientAction")->isChecked());
        QVERIFY(w.project().changed());
        const QIcon icon = w.model().index(1, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(icon.cacheKey(), stateIcon(StateIcon::DisabledRecipient).cacheKey());

        w.project().setChanged(false);
        w.selectGroup(2); // no rows, the action stays enabled
        w.action("EnableRecipientAction")->trigger();
        QVERIFY(w.project().changed()); // even with nothing selected
        w.selectGroup(0);

        w.action("SelectAllAction")->trigger();
        QCOMPARE(w.controller->selectedRows().size(), std::size_t(3));
    }

    void moveAndCopyThroughTheSelectGroupDialog()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        w.selectRows({0});
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); }); // OK, nothing chosen
        w.action("MoveToGroupAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Have not selected group"));
        QVERIFY(!w.project().changed());

        int groupsOffered = 0;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TSelectGroupForm&>(d);
            groupsOffered = form.GroupListView->topLevelItemCount();
            form.GroupListView->setCurrentItem(form.GroupListView->topLevelItem(1));
            return int(mrOk);
        });
        w.action("MoveToGroupAction")->trigger();
        QCOMPARE(groupsOffered, 3);
        QCOMPARE(w.project().recipients[1].Group.str(), std::string("Work"));
        QCOMPARE(w.rows(), (QStringList{"mid@x/True/3", "zed@x/True/0"}));

        // Copy into the own group doubles the rows.
        w.selectRows({0, 1});
        w.ui.dialogScripts.push_back([](QDialog& d) {
            auto& form = static_cast<TSelectGroupForm&>(d);
            form.GroupListView->setCurrentItem(form.GroupListView->topLevelItem(0));
            return int(mrOk);
        });
        w.action("CopyToGroupAction")->trigger();
        QCOMPARE(w.rows(), (QStringList{"mid@x/True/3", "mid@x/True/4", "zed@x/True/0", "zed@x/True/5"}));
    }

    void droppingRowsOnAGroupOffersTheDragMenu()
    {
        AddressBookWindow w;
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.controller->GroupListViewDragOver(w.list()));
        QVERIFY(!w.controller->GroupListViewDragOver(w.groups()));
        QVERIFY(!w.controller->GroupListViewDragOver(nullptr));

        w.selectGroup(0);
        w.selectRows({2}); // zed
        // Below the last group row: no menu.
        w.controller->GroupListViewDragDrop(QPoint(5, w.groups()->viewport()->height() - 2));
        QCOMPARE(int(w.ui.prompts.size()), 0);

        const QPoint onWork = w.groups()->visualItemRect(w.groups()->topLevelItem(1)).center();
        w.ui.popupAnswers.push_back("Cancel");
        w.controller->GroupListViewDragDrop(onWork);
        QCOMPARE(w.ui.prompts.back().kind, QString("popup"));
        QCOMPARE(w.project().recipients[0].Group.str(), std::string("Friends"));

        QStringList entries;
        for (QAction* a : w.controller->dragPopupMenu().actions())
            entries << (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(entries, (QStringList{"Copy recipient", "Move recipient", "-", "Cancel"}));

        w.ui.popupAnswers.push_back("Copy recipient");
        w.controller->GroupListViewDragDrop(onWork);
        QCOMPARE(w.project().recipients[0].Group.str(), std::string("Work"));
        QCOMPARE(w.project().recipients[4].Group.str(), std::string("Friends"));
        QCOMPARE(w.rows(), (QStringList{"abc@x/False/1", "mid@x/True/3", "zed@x/True/4"}));

        w.selectRows({0});
        w.ui.popupAnswers.push_back("Move recipient");
        w.controller->GroupListViewDragDrop(onWork);
        QCOMPARE(w.project().recipients[1].Group.str(), std::string("Work"));
        QCOMPARE(w.rows(), (QStringList{"mid@x/True/3", "zed@x/True/4"}));
        QCOMPARE(int(w.ui.messages().size()), 0); // no dialog, no message
    }

    void projectReplacementEmptiesTheRows()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        w.form->beginProjectReplace();
        QCOMPARE(w.model().rowCount(), 0);
        w.project().clearContents();
        w.form->endProjectReplace();
        QCOMPARE(w.model().rowCount(), 0);
        QCOMPARE(w.groups()->topLevelItemCount(), 0);
    }
};

QUILLET_APP_TEST_MAIN(GroupAndRecipientActionsTests)
#include "GroupAndRecipientActionsTests.moc"
