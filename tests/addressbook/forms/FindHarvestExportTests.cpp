// The Find window, harvesting addresses from a text file and exporting a group to HTML, driven
// through the main window's actions with scripted dialogs.
#include "AddressBookWindow.h"

#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QLabel>
#include <QStringListModel>
#include <QTest>

using namespace quillet;
using namespace quillet::test;

namespace {

void search(AddressBookWindow& w, const QString& text, bool next = false)
{
    w.controller->findForm().FindEdit->setText(text);
    (next ? w.controller->findForm().FindNextButton : w.controller->findForm().FindButton)->click();
}

QStringList selectedEmails(AddressBookWindow& w)
{
    QStringList result;
    for (int row : w.controller->selectedRows())
        result << w.model().index(row, 0).data().toString();
    return result;
}

} // namespace

class FindHarvestExportTests : public QObject {
    Q_OBJECT
private slots:
    void findShowsHitsAndReportsTheEnd()
    {
        AddressBookWindow w;
        w.action("FindRecipientAction")->trigger();
        TFindForm& find = w.controller->findForm();
        QVERIFY(find.isVisible());
        QVERIFY(!find.isModal());
        QVERIFY(find.windowFlags() & Qt::WindowStaysOnTopHint);

        // No group selected: the scope falls back to Global.
        search(w, "X");
        QVERIFY(find.GlobalButton->isChecked());
        QCOMPARE(w.groups()->currentItem()->text(0), QString("Friends"));
        QCOMPARE(selectedEmails(w), QStringList{"zed@x"});
        search(w, "X");
        QCOMPARE(selectedEmails(w), QStringList{"zed@x"}); // "Find" again: the same first hit
        // Each hit replaces the selection and is the current row; past the last one the search
        // wraps to the first without a word.
        search(w, "X", true);
        QCOMPARE(selectedEmails(w), QStringList{"abc@x"});
        QCOMPARE(w.list()->currentIndex().row(), w.controller->selectedRows().front());
        search(w, "X", true);
        QCOMPARE(selectedEmails(w), QStringList{"mid@x"});
        search(w, "X", true);
        QCOMPARE(selectedEmails(w), QStringList{"zed@x"});
        QVERIFY(w.ui.messages().empty());
        search(w, "nobody");
        QCOMPARE(w.lastMessage().text, QString("Search string \"nobody\" not found"));
        QCOMPARE(w.lastMessage().caption, QString("Information"));
        QCOMPARE(w.lastMessage().icon, MessageIcon::Information);

        // Global: a hit in another group selects that group first.
        search(w, "boss");
        QCOMPARE(w.groups()->currentItem()->text(0), QString("Work"));
        QCOMPARE(selectedEmails(w), QStringList{"boss@w"});

        // Current group: the hit must be in the selected group.
        find.CurrentGroupButton->setChecked(true);
        search(w, "zed");
        QCOMPARE(w.lastMessage().text, QString("Search string \"zed\" not found"));
        find.CancelButton->click();
        QVERIFY(!find.isVisible());
        w.action("FindRecipientAction")->trigger();
        QCOMPARE(find.FindEdit->text(), QString("zed")); // the state survives
    }

    void aHitFarDownIsScrolledIntoView()
    {
        AddressBookWindow w;
        for (int i = 0; i < 500; ++i)
            w.project().recipients.push_back(
                makeRecipient(qPrintable(QString("user%1@x").arg(i, 3, 10, QChar('0'))), "Work"));
        w.form->show();
        w.selectGroup(1);
        w.selectRows({0});
        search(w, "user400");
        QCOMPARE(selectedEmails(w), QStringList{"user400@x"});
        const QRect shown = w.list()->visualRect(w.list()->currentIndex());
        QVERIFY(w.list()->viewport()->rect().contains(shown));
    }

    void twoSameAddressesSelectTheFirstRow()
    {
        AddressBookWindow w;
        w.project().recipients.push_back(makeRecipient("Twin@x", "Work", true, "first"));
        w.project().recipients.push_back(makeRecipient("twin@X", "Work", true, "second"));
        w.selectGroup(1);
        TFindForm& find = w.controller->findForm();
        find.FindExactlyBox->setChecked(true);
        search(w, "second");
        const auto rows = w.controller->selectedRows();
        QCOMPARE(int(rows.size()), 1);
        QCOMPARE(w.model().recordIndex(rows.front()), std::size_t(4)); // the first such row
    }

    void harvestingAddsTheReviewedEntries()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        const QString file = w.program.path("page.html");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("<a href=\"mailto:one@a.com\">one@a.com</a>\r\ntwo@b.com,three@c.com\r\n");
        }
        // A file that does not exist.
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            static_cast<TFindEMailForm&>(d).FileNameEdit->setText(file + ".missing");
            return int(mrOk);
        });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("File is not exists"));
        QCOMPARE(w.lastMessage().caption, QString("Error"));

        QStringList found;
        QString chosenGroup, keptName;
        int firstChoice = -1;
        QList<bool> buttonStates;
        bool animationHidden = false;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TFindEMailForm&>(d);
            keptName = form.FileNameEdit->text();
            firstChoice = form.GroupComboBox->currentIndex();
            form.FileNameEdit->setText(file);
            form.GroupComboBox->setCurrentIndex(1);
            chosenGroup = form.GroupComboBox->currentText();
            return int(mrOk);
        });
        w.ui.inputAnswers.push_back(QString("edited@a.com"));
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEMailFoundedForm&>(d);
            waitForScan(form); // as the user waits for "OK"
            found = form.foundedEntries->stringList();
            buttonStates << form.EditButton->isEnabled();
            form.FoundedListBox->setCurrentIndex(form.foundedEntries->index(0));
            buttonStates << form.EditButton->isEnabled() << form.DeleteButton->isEnabled();
            form.EditButton->click();
            form.FoundedListBox->setCurrentIndex(form.foundedEntries->index(1));
            form.DeleteButton->click();
            buttonStates << form.EditButton->isEnabled() << form.DeleteButton->isEnabled();
            animationHidden = form.Animate1->isHidden();
            return int(mrOk);
        });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(keptName, file + ".missing"); // kept from the previous use
        QCOMPARE(firstChoice, 0);
        QCOMPARE(buttonStates, (QList<bool>{false, true, true, false, false}));
        QVERIFY(animationHidden);
        QCOMPARE(found, (QStringList{"one@a.com", "one@a.com", "two@b.com", "three@c.com"}));
        QCOMPARE(w.ui.prompts.back().caption, QString("Edit e-mail"));
        QCOMPARE(w.ui.prompts.back().text, QString("Edit selected e-mail"));
        QCOMPARE(chosenGroup, QString("Work"));
        QCOMPARE(w.recordEmails().mid(4), (QStringList{"edited@a.com", "two@b.com", "three@c.com"}));
        QCOMPARE(w.groups()->currentItem()->text(0), QString("Work"));
        QCOMPARE(w.model().rowCount(), 4);
        QVERIFY(w.project().changed());
    }

    void harvestDialogStartsAtTheSelectedGroupAndChoosesItsNewGroup()
    {
        AddressBookWindow w;
        const QString file = w.program.path("t.txt");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("a@b.org\n");
        }
        w.selectGroup(1);
        // "New group" inside the dialog chooses the group it made.
        int entries = 0, firstChoice = -1, choice = -1;
        bool focusInFileName = false;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TFindEMailForm&>(d);
            firstChoice = form.GroupComboBox->currentIndex();
            focusInFileName = form.focusWidget() == form.FileNameEdit;
            form.FileNameEdit->setText(file);
            w.ui.dialogScripts.push_front([](QDialog& g) {
                static_cast<TEditGroupParamsForm&>(g).GroupNameEdit->setText("Harvest");
                return int(mrOk);
            });
            form.NewGroupBtn->click();
            entries = form.GroupComboBox->count();
            choice = form.GroupComboBox->currentIndex();
            return int(mrOk);
        });
        w.ui.dialogScripts.push_back([](QDialog& d) {
            waitForScan(static_cast<TEMailFoundedForm&>(d));
            return int(mrOk);
        });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(firstChoice, 1); // the group selected in the main window
        QVERIFY(focusInFileName);
        QCOMPARE(entries, 4);
        QCOMPARE(choice, 3);
        QCOMPARE(w.project().groups.back().name, std::string("Harvest"));
        QCOMPARE(w.recordEmails().mid(4), QStringList{"a@b.org"});
        QCOMPARE(w.groups()->currentItem()->text(0), QString("Harvest"));

        // Cancel in the review dialog changes nothing.
        w.project().setChanged(false);
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); });
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrCancel); });
        w.action("FindInFilesAction")->trigger();
        QCOMPARE(w.project().recipients.size(), std::size_t(5));
        QVERIFY(!w.project().changed());
    }

    void harvestReviewCountsMarksAndOffersToRemove()
    {
        AddressBookWindow w;
        w.selectGroup(0);
        const QString file = w.program.path("list.txt");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("x=\"ann@x..org\" someone@ bob@x.org Bob@x.org\n");
        }
        auto chooseFile = [&](QDialog& d) {
            static_cast<TFindEMailForm&>(d).FileNameEdit->setText(file);
            return int(mrOk);
        };
        QString counts, tip;
        QVariant colour, plain;
        bool enterAccepts = false, escapeKeeps = false;
        w.ui.dialogScripts.push_back(chooseFile);
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& form = static_cast<TEMailFoundedForm&>(d);
            form.show();
            waitForScan(form);
            counts = form.CountLabel->text();
            colour = form.foundedEntries->index(0).data(Qt::ForegroundRole);
            plain = form.foundedEntries->index(2).data(Qt::ForegroundRole);
            tip = form.foundedEntries->index(3).data(Qt::ToolTipRole).toString();
            // Escape asks before the list goes; "Cancel" to that keeps it open.
            w.ui.messageAnswers.push_front(mrCancel);
            QTest::keyClick(&form, Qt::Key_Escape);
            escapeKeeps = form.isVisible() && form.entryCount() == 4;
            // Enter means OK, also with the focus on Cancel.
            form.Button2->setFocus();
            QTest::keyClick(form.Button2, Qt::Key_Return);
            enterAccepts = form.result() == QDialog::Accepted;
            return form.result() == QDialog::Accepted ? int(mrOk) : int(mrCancel);
        });
        // Cancel to the question goes back to the list; Yes then removes the marked ones.
        w.ui.messageAnswers.push_back(mrCancel);
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); });
        w.ui.messageAnswers.push_back(mrYes);
        w.action("FindInFilesAction")->trigger();

        QCOMPARE(counts, QString("4 addresses found, 2 not valid, 1 duplicate"));
        QVERIFY(colour.isValid() && !plain.isValid());
        QCOMPARE(tip, QString("duplicate"));
        QVERIFY(escapeKeeps);
        QVERIFY(enterAccepts);
        const auto messages = w.ui.messages();
        QVERIFY(messages.size() >= 3);
        QCOMPARE(messages[0].text, QString("Discard the 4 addresses found?"));
        QCOMPARE(messages[1].text, QString("Remove the 3 marked addresses (not valid or duplicates) before "
                                           "adding the others to the group?"));
        QCOMPARE(messages[1].buttons, MessageButtons::YesNoCancel);
        QCOMPARE(messages[2].text, messages[1].text);
        QCOMPARE(w.recordEmails().mid(4), QStringList{"bob@x.org"});
    }

    void exportWritesThePageAndOpensIt()
    {
        AddressBookWindow w;
        w.action("ExportToAHTMLAction")->setEnabled(true);
        w.action("ExportToAHTMLAction")->trigger();
        QCOMPARE(w.lastMessage().text, QString("Have not selected group"));

        w.selectGroup(0);
        const QString page = w.program.path("friends.htm");
        w.ui.fileAnswers.push_back(page);
        w.action("ExportToAHTMLAction")->trigger();
        const RecordedPrompt save = w.ui.prompts[w.ui.prompts.size() - 2];
        QCOMPARE(save.kind, QString("save"));
        QCOMPARE(save.text, QString("HTML files|*.htm;*.html"));
        QCOMPARE(w.ui.opened.last(), page);
        const QByteArray html = fileBytes(page);
        QVERIFY(html.startsWith("<HTML><HEAD><TITLE>Orv Software Labs. \"Friends\" group list</TITLE>\r\n"));
        const qsizetype abc = html.indexOf("<TD WIDTH=25%>abc@x</TD>\r\n<TD WIDTH=25%></TD>\r\n<TD WIDTH=25%></TD>\r\n"
                                           "<TD WIDTH=25%>False</TD>");
        QVERIFY(abc > 0);
        QVERIFY(abc < html.indexOf("mid@x"));
        QVERIFY(html.endsWith("</BODY></HTML>\r\n"));

        // Cancel in the save dialog: nothing written or opened.
        const int opened = int(w.ui.opened.size());
        w.action("ExportToAHTMLAction")->trigger();
        QCOMPARE(int(w.ui.opened.size()), opened);

        // Written but not shown: the message says where the page is.
        w.ui.desktopOpens = false;
        w.ui.fileAnswers.push_back(page);
        w.action("ExportToAHTMLAction")->trigger();
        QCOMPARE(w.lastMessage().text,
                 "No program to show the page could be started.\nThe page is the file \"" + page + "\"");
    }
};

QUILLET_APP_TEST_MAIN(FindHarvestExportTests)
#include "FindHarvestExportTests.moc"
