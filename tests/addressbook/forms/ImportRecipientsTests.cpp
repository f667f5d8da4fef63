// Importing and exporting recipients from the desktop: the dialog's column choices and preview
// (refused rows marked, a field on one column, the known letter case of parameter names), the
// import into a new group with its report saved as text, Cancel during the reading, and the
// export written as CSV with word of where and how many.
#include "AddressBookWindow.h"

#include "addressbook/forms/ImportRecipientsDialog.h"
#include "mailing/TemplateStore.h"
#include "project/CodePage.h"
#include "project/ProgramFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>

using namespace quillet;
using namespace quillet::test;

namespace {

QString writeFile(const FreshProgram& program, const QString& name, const QByteArray& bytes)
{
    QFile out(program.path(name));
    if (!out.open(QIODevice::WriteOnly))
        return {};
    out.write(bytes);
    return out.fileName();
}

Project clubProject()
{
    Project project;
    project.groups = {{"Club", ""}};
    RecipientRecord old;
    old.EMail.set("old@example.org");
    old.Group.set("Club");
    project.recipients.push_back(old);
    return project;
}

QString cellText(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

class ImportRecipientsTests : public QObject {
    Q_OBJECT
private slots:
    void previewFollowsTheColumnChoicesAndTheReportIsSaved()
    {
        FreshProgram program;
        const QString csv = writeFile(program, "people.csv",
                                      "E-Mail;First name;Last name;City;Zip\n"
                                      "ann@example.org;Ann;Lee;Lisbon;1000\n"
                                      "nobody;No;Body;Porto;4000\n"
                                      "OLD@example.org;Old;Again;Faro;8000\n");
        const QString reportFile = program.path("report.txt");
        ScriptedUserInterface ui;
        Project project = clubProject();
        ImportRecipientsDialog dialog(ui, project);
        ui.fileAnswers.push_back(csv);
        ui.fileAnswers.push_back(reportFile);
        ui.dialogScripts.push_back([&](QDialog&) {
            dialog.OpenFileBtn->click();
            if (dialog.ColumnsTable->rowCount() != 5 || dialog.columnCombo(0)->currentText() != "E-mail" ||
                dialog.columnCombo(1)->currentText() != "Name" || dialog.columnCombo(3)->currentText() != "Parameter")
                return int(mrCancel);
            if (cellText(dialog.ColumnsTable, 0, 1) != "ann@example.org" ||
                cellText(dialog.ColumnsTable, 3, 1) != "Lisbon")
                return int(mrCancel);
            if (cellText(dialog.PreviewTable, 0, 1) != "ann@example.org" ||
                cellText(dialog.PreviewTable, 0, 6) != "Zip=1000" ||
                cellText(dialog.PreviewTable, 1, 9) != "Invalid e-mail address \"nobody\": the address has no @")
                return int(mrCancel);
            dialog.columnCombo(4)->setCurrentText("Not imported"); // Zip is left out
            if (!cellText(dialog.PreviewTable, 0, 6).isEmpty())
                return int(mrCancel);
            dialog.DuplicatesComboBox->setCurrentIndex(1); // update
            dialog.GroupComboBox->setEditText("Newcomers");
            return int(mrOk);
        });
        QString report;
        std::optional<std::size_t> shownBehindReport;
        ui.dialogScripts.push_back([&](QDialog& d) {
            if (!shownBehindReport) // the window behind must already show the new recipients
                return int(mrCancel);
            report = d.findChild<QPlainTextEdit*>("ReportEdit")->toPlainText();
            d.findChild<QPushButton*>("SaveReportButton")->click();
            return int(mrOk);
        });

        const auto group = importRecipients(ui, project, dialog, nullptr, "Club",
                                            [&](std::size_t target) { shownBehindReport = target; });
        QCOMPARE(dialog.StatusLabel->text(), QString());
        QCOMPARE(shownBehindReport, std::optional<std::size_t>(1));
        QCOMPARE(report, QString("imported 2, updated 0, duplicates skipped 0, invalid 1\n"
                                 "3: Invalid e-mail address \"nobody\": the address has no @\n"));
        QCOMPARE(fileBytes(reportFile), report.toUtf8());
        QVERIFY(group.has_value());
        QCOMPARE(*group, std::size_t(1));
        QCOMPARE(project.groups[1].name, std::string("Newcomers"));
        QCOMPARE(project.recipients.size(), std::size_t(3));
        QCOMPARE(project.recipients[1].Surname.str(), std::string("Lee"));
        QCOMPARE(project.recipients[1].ParamName1.str(), std::string("City"));
        QCOMPARE(project.recipients[1].ParamName2.length(), std::size_t(0));
        QCOMPARE(project.recipients[2].Group.str(), std::string("Newcomers"));
        QVERIFY(project.changed());
    }

    void aMappingThatCannotImportDisablesTheButton()
    {
        FreshProgram program;
        const QString csv = writeFile(program, "wide.csv", "email,A,B,C,D,E\nann@example.org,1,2,3,4,5\n");
        ScriptedUserInterface ui;
        Project project = clubProject();
        ImportRecipientsDialog dialog(ui, project);
        dialog.prepareToShow("Club");
        dialog.FileNameEdit->setText(csv);
        dialog.loadFile();
        QCOMPARE(dialog.StatusLabel->text(),
                 QString("More than four columns would become parameters: A, B, C, D, E. Choose at most four of them"));
        QVERIFY(!dialog.ImportButton->isEnabled());
        dialog.columnCombo(2)->setCurrentText("Not imported");
        QCOMPARE(dialog.StatusLabel->text(), QString());
        QVERIFY(dialog.ImportButton->isEnabled());
        QCOMPARE(cellText(dialog.PreviewTable, 0, 7), QString("D=4"));

        dialog.FileNameEdit->setText(program.path("missing.csv"));
        dialog.loadFile();
        QVERIFY2(dialog.StatusLabel->text().startsWith("Cannot open file"), qPrintable(dialog.StatusLabel->text()));
        QVERIFY(!dialog.ImportButton->isEnabled());
    }

    void refusedRowsAreMarkedAFieldTakesOneColumnAndKnownLetterCaseIsOffered()
    {
        if (std::string_view(codePageName()) != "CP1252")
            QSKIP("needs the windows-1252 code page");
        FreshProgram program;
        TemplateStore(templatesFolder()).save({"Hello", "Hi from %CITY%", "", {"Dear %NAME%"}});
        const QString csv = writeFile(program, "people.csv",
                                      "email,name,city,zip\nann@example.org,Ann,Lima,1000\n"
                                      "bob@example.org,Bo\xC5\x9B,Lodz,2000\n");
        ScriptedUserInterface ui;
        Project project = clubProject();
        project.recipients[0].ParamName1.set("ZIP");
        ImportRecipientsDialog dialog(ui, project);
        dialog.prepareToShow("Club");
        dialog.FileNameEdit->setText(csv);
        dialog.loadFile();

        // The template's macro and the group's parameter give their letter case, unless declined.
        QVERIFY(dialog.NameCaseCheck->isVisibleTo(&dialog) && dialog.NameCaseCheck->isChecked());
        QCOMPARE(cellText(dialog.PreviewTable, 0, 5), QString("CITY=Lima"));
        QCOMPARE(cellText(dialog.PreviewTable, 0, 6), QString("ZIP=1000"));
        dialog.NameCaseCheck->setChecked(false);
        QCOMPARE(cellText(dialog.PreviewTable, 0, 5), QString("city=Lima"));
        dialog.NameCaseCheck->setChecked(true);

        // The row the code page cannot hold is marked with its reason; the note suggests UTF-8.
        const QTableWidgetItem* refused = dialog.PreviewTable->item(1, 2);
        QVERIFY(refused->background() != dialog.PreviewTable->item(0, 2)->background());
        QCOMPARE(refused->toolTip(), QString("the name holds characters that code page CP1252 cannot hold"));
        QVERIFY(!dialog.PreviewTable->item(1, 0)->icon().isNull());
        QVERIFY(dialog.PreviewTable->item(0, 0)->icon().isNull());
        QVERIFY(dialog.NoteLabel->text().contains("choose \"UTF-8 (Unicode)\""));
        QVERIFY(dialog.ImportButton->isEnabled());

        // A second column for the e-mail address is refused.
        dialog.columnCombo(1)->setCurrentText("E-mail");
        QCOMPARE(dialog.columnCombo(1)->currentText(), QString("Name"));
        QCOMPARE(ui.prompts.back().text, QString("Column 1 \"email\" is already imported as E-mail. A field takes one "
                                                 "column: set that column to \"Not imported\" first."));
    }

    void cancelWhileReadingChangesNothing()
    {
        FreshProgram program;
        QByteArray text = "email\n";
        for (int i = 0; i < 20000; ++i)
            text += "user" + QByteArray::number(i) + "@example.org\n";
        const QString csv = writeFile(program, "big.csv", text);
        ScriptedUserInterface ui;
        Project project = clubProject();
        ImportRecipientsDialog dialog(ui, project);
        ui.dialogScripts.push_back([&](QDialog&) {
            dialog.FileNameEdit->setText(csv);
            dialog.loadFile();
            dialog.GroupComboBox->setEditText("Never made");
            return int(mrOk);
        });
        int cancelled = 0;
        ui.onProcessEvents = [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(widget);
                    progress && progress->objectName() == "ImportProgress" && progress->isVisible()) {
                    progress->cancel();
                    ++cancelled;
                }
        };
        QVERIFY(!importRecipients(ui, project, dialog, nullptr, "Club").has_value());
        QCOMPARE(cancelled, 1);
        QCOMPARE(ui.prompts.back().text, QString("The import was cancelled; nothing was changed"));
        QCOMPARE(project.groups.size(), std::size_t(1));
        QCOMPARE(project.recipients.size(), std::size_t(1));
        QVERIFY(!project.changed());
    }

    void exportWritesTheGroupAsCsv()
    {
        FreshProgram program;
        ScriptedUserInterface ui;
        Project project = clubProject();
        project.recipients[0].Name.set("Ann, \"A\"");
        const QString out = program.path("out.csv");
        ui.fileAnswers.push_back(out);
        QVERIFY(exportRecipients(ui, project, nullptr, std::string("Club")));
        QCOMPARE(ui.prompts.at(ui.prompts.size() - 2).caption, QString("Export recipients of group \"Club\""));
        QCOMPARE(ui.prompts.back().text, "1 recipient written to \"" + out + "\"");
        QCOMPARE(fileBytes(out), QByteArray("\xEF\xBB\xBF"
                                            "email,name,surname,enabled,group\r\n"
                                            "old@example.org,\"Ann, \"\"A\"\"\",,True,Club\r\n"));
        ui.fileAnswers.push_back(program.path("no-such-folder/out.csv"));
        QVERIFY(!exportRecipients(ui, project, nullptr, std::nullopt));
        QVERIFY(ui.prompts.back().text.startsWith("Cannot create file"));
    }

    void theMainWindowImportsIntoANewGroupAndShowsIt()
    {
        AddressBookWindow w;
        // Both commands stand in the Group menu and in the Tools menu.
        for (const char* menu : {"&Group", "Too&ls"}) {
            QStringList names;
            for (QAction* top : w.form->menuBar()->actions())
                if (top->text() == menu)
                    for (QAction* entry : top->menu()->actions())
                        names << entry->objectName();
            QVERIFY2(names.contains("ImportRecipientsAction") && names.contains("ExportRecipientsAction"),
                     qPrintable(names.join(",")));
        }
        const QString csv = writeFile(w.program, "in.csv", "email,name\nnew@example.org,New\nboss@w,Boss\n");
        w.selectGroup(1);
        QString offered;
        w.ui.dialogScripts.push_back([&](QDialog& d) {
            auto& dialog = static_cast<ImportRecipientsDialog&>(d);
            offered = dialog.GroupComboBox->currentText();
            dialog.FileNameEdit->setText(csv);
            dialog.loadFile();
            dialog.GroupComboBox->setEditText("Imported");
            return int(mrOk);
        });
        w.ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); }); // the report
        w.action("ImportRecipientsAction")->trigger();
        QCOMPARE(offered, QString("Work"));
        QCOMPARE(w.groups()->topLevelItemCount(), 4);
        QCOMPARE(w.groups()->currentItem()->text(0), QString("Imported"));
        QCOMPARE(w.rows(), QStringList({"boss@w/True/5", "new@example.org/True/4"}));
        QVERIFY(w.project().changed());

        const QString out = w.program.path("imported.csv");
        w.ui.fileAnswers.push_back(out);
        w.action("ExportRecipientsAction")->trigger();
        QCOMPARE(fileBytes(out), QByteArray("\xEF\xBB\xBF"
                                            "email,name,surname,enabled,group\r\n"
                                            "new@example.org,New,,True,Imported\r\nboss@w,Boss,,True,Imported\r\n"));
    }
};

QUILLET_APP_TEST_MAIN(ImportRecipientsTests)
#include "ImportRecipientsTests.moc"
