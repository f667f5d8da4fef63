// The desktop program with a project of a million recipients in one group, step by step, each
// step beside the core's own work for it, measured in the same run:
//   open (Open last used project)        beside  loading the file
//   show the million-row group            beside  finding the group's records
//   find a recipient near the end         beside  the core's search
//   select all                            (no core work)
//   delete 10,000 selected rows           beside  removing 10,000 records
//   save                                  beside  writing the file
// Target: every step at most 1 s beyond the core's work. Offscreen unless QT_QPA_PLATFORM says
// otherwise. The file (3 GB at a million) goes to FOLDER, default the current folder.
//   app_million_rows_bench [recipients] [FOLDER]
#include "addressbook/RecipientSearch.h"
#include "app/TOrvQuilletForm.h"
#include "addressbook/forms/TFindForm.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/RecipientIndex.h"
#include "project/forms/TOpenWizardForm.h"
#include "support/ScriptedUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

using namespace quillet;
using Clock = std::chrono::steady_clock;

namespace {

double timed(const std::function<void()>& step)
{
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string address(std::size_t i)
{
    return "member" + std::to_string(i) + "@example.org";
}

void report(const char* step, double window, double core)
{
    std::printf("%-28s window %8.3f s  core %8.3f s  beyond the core %8.3f s (target <= 1 s)\n", step, window, core,
                window - core);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config;
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("QUILLET_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : ".";
    const std::string path = (std::filesystem::path(folder) / "million-rows.oqf").string();
    constexpr std::size_t kDeleted = 10000;
    const std::string wanted = address(count - 7);

    // The core's own work for each step, on a project loaded by the core alone.
    double coreLoad, coreGroup, coreFind, coreDelete, coreSave;
    {
        Project project;
        project.properties.Name.set("Million");
        project.groups = {{"Few", ""}, {"Everyone", ""}};
        project.recipients.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            RecipientRecord& r = project.recipients[i];
            r.EMail.set(address(i));
            r.Name.set("Name" + std::to_string(i));
            r.Group.set("Everyone");
        }
        saveProjectFile(project, path);
        project = Project();
        project = loadProjectFile(path); // the file into the page cache, as the window will find it
        project = Project();
        coreLoad = timed([&] { project = loadProjectFile(path); });
        coreGroup = timed([&] { recipientsOfGroup(project, "Everyone"); });
        coreFind = timed([&] { findRecipient(project, 0, wanted, SearchOptions{false, false}); });
        std::vector<std::size_t> first(kDeleted);
        for (std::size_t i = 0; i < kDeleted; ++i)
            first[i] = i;
        coreDelete = timed([&] { removeRecipients(project, first); });
        coreSave = timed([&] { saveProjectFile(project, path + ".core"); });
        std::filesystem::remove(path + ".core");
    }

    {
        QSettings settings("Orv", "Quillet");
        settings.setValue("Option/Project Name", QFile::decodeName(QByteArray::fromStdString(path)));
        settings.sync();
    }
    test::ScriptedUserInterface ui;
    ui.dialogScripts.push_back([](QDialog& dialog) {
        static_cast<TOpenWizardForm&>(dialog).OpenLastButton->click();
        return dialog.result();
    });
    TOrvQuilletForm form(ui);
    const double open = timed([&] {
        form.start();
        QApplication::processEvents();
    });
    if (form.project().recipients.size() != count) {
        std::fprintf(stderr, "the window opened %zu recipients\n", form.project().recipients.size());
        return 1;
    }
    form.resize(1000, 700);
    QTreeView* list = form.recipientListView();
    const double show = timed([&] {
        form.groupListView()->setCurrentItem(form.groupListView()->topLevelItem(1));
        list->viewport()->repaint();
        QApplication::processEvents();
    });
    auto* find = form.findChild<TFindForm*>();
    const double found = timed([&] {
        find->FindEdit->setText(QString::fromStdString(wanted));
        find->FindButton->click();
        list->viewport()->repaint();
        QApplication::processEvents();
    });
    const bool hit = list->selectionModel()->selectedRows().size() == 1;
    const double selectAll = timed([&] {
        form.action("SelectAllAction")->trigger();
        list->viewport()->repaint();
        QApplication::processEvents();
    });
    const std::size_t allSelected = std::size_t(list->selectionModel()->selection().first().height());
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0),
                                                  list->model()->index(int(kDeleted) - 1,
                                                                       list->model()->columnCount() - 1)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QApplication::processEvents();
    ui.messageAnswers.push_back(mrOk);
    const double deleted = timed([&] {
        form.action("DeleteRecipientAction")->trigger();
        list->viewport()->repaint();
        QApplication::processEvents();
    });
    const std::size_t left = form.project().recipients.size();
    const double saved = timed([&] {
        form.action("SaveProjectAction")->trigger();
        QApplication::processEvents();
    });

    std::printf("%zu recipients in one group, file %.1f MB\n", count, double(std::filesystem::file_size(path)) / 1e6);
    report("open the project", open, coreLoad);
    report("show the group", show, coreGroup);
    report(hit ? "find a recipient" : "find a recipient (NOT FOUND)", found, coreFind);
    report(allSelected == count ? "select all" : "select all (NOT ALL)", selectAll, 0);
    report(left == count - kDeleted ? "delete 10,000 selected" : "delete 10,000 (WRONG COUNT)", deleted, coreDelete);
    report("save", saved, coreSave);
    form.close();
    std::filesystem::remove(path);
    return 0;
}
