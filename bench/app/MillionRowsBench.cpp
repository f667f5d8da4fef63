// The desktop program with a project of a million recipients in one group, step by step, each
// step beside the core's own work for it, measured in the same run:
//   open (Open last used project, then Open)  beside  loading the file
//   show the million-row group                beside  finding the group's records
//   find a recipient near the end             beside  the core's search
//   select all                                (no core work)
//   the send window for the million selected  beside  finding the group's records
//   its preview of the first message          beside  finding the group's records
//   delete 10,000 selected rows               beside  removing 10,000 records
//   save                                      beside  writing the same file by the core
// Target: every step at most 1 s beyond the core's work. Offscreen unless QT_QPA_PLATFORM says
// otherwise. The file (3 GB at a million) goes to FOLDER, default the current folder; the
// process holds two copies of the project in memory at times (the core's and the window's).
// Opening and saving swing with the machine's memory and disk (a fresh 3 GB of memory costs
// from under a second to many on a shared virtual machine), so the core and the window take
// turns at them over ROUNDS rounds (default 3) in alternating order and the medians are shown
// with the range of the rounds' differences; so do showing, finding and selecting all.
//   app_million_rows_bench [recipients] [FOLDER] [ROUNDS]
#include "addressbook/RecipientSearch.h"
#include "app/TOrvQuilletForm.h"
#include "addressbook/forms/TFindForm.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/RecipientIndex.h"
#include "project/forms/TOpenWizardForm.h"
#include "mailing/forms/TMessagePreviewForm.h"
#include "mailing/forms/TSendMailForm.h"
#include "support/BenchBasics.h"
#include "support/ScriptedUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

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

// A step measured over rounds: the window's and the core's times of each round.
struct Rounds {
    std::vector<double> window, core;

    void add(double w, double c)
    {
        window.push_back(w);
        core.push_back(c);
        std::printf("  %-26s window %8.3f s  core %8.3f s\n", "", w, c);
    }
    void report(const char* step) const
    {
        std::vector<double> beyond;
        for (std::size_t i = 0; i < window.size(); ++i)
            beyond.push_back(window[i] - core[i]);
        std::printf("%-28s window %8.3f s  core %8.3f s  beyond the core %8.3f s (rounds %.3f to %.3f; target <= 1 s), "
                    "medians of %zu\n",
                    step, bench::Median(window), bench::Median(core), bench::Median(beyond),
                    *std::min_element(beyond.begin(), beyond.end()), *std::max_element(beyond.begin(), beyond.end()),
                    window.size());
    }
};

// Runs the two sides of a round, the core first in even rounds and the window first in odd ones.
void takeTurns(int round, Rounds& rounds, const std::function<double()>& window, const std::function<double()>& core)
{
    if (round % 2 == 0) {
        const double c = core();
        rounds.add(window(), c);
    } else {
        const double w = window();
        rounds.add(w, core());
    }
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
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::string path = (std::filesystem::path(folder) / "million-rows.oqf").string();
    constexpr std::size_t kDeleted = 10000;
    const std::string wanted = address(count - 7);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // The core's own work for the steps done once, on a project loaded by the core alone.
    double coreGroup, coreDelete;
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
        coreGroup = timed([&] { recipientsOfGroup(project, "Everyone"); });
        std::vector<std::size_t> first(kDeleted);
        for (std::size_t i = 0; i < kDeleted; ++i)
            first[i] = i;
        coreDelete = timed([&] { removeRecipients(project, first); });
    }
    std::printf("%zu recipients in one group, file %.1f MB, %d rounds, load average %s", count,
                double(std::filesystem::file_size(path)) / 1e6, rounds, bench::LoadAverage().c_str());

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
    // Open: the first round through the startup window, the later ones through Open, which
    // first lets the open project go; the core's side lets its own loaded copy go and loads
    // again, so both sides need the same fresh memory.
    Project coreProject = loadProjectFile(path);
    Rounds open;
    for (int round = 0; round < rounds; ++round) {
        const auto window = [&] {
            return timed([&] {
                if (round == 0) {
                    form.start();
                } else {
                    ui.fileAnswers.push_back(QFile::decodeName(QByteArray::fromStdString(path)));
                    form.action("OpenProjectAction")->trigger();
                }
                QApplication::processEvents();
            });
        };
        const auto core = [&] {
            return timed([&] {
                coreProject = Project();
                coreProject = loadProjectFile(path);
            });
        };
        takeTurns(round, open, window, core);
        if (form.project().recipients.size() != count) {
            std::fprintf(stderr, "the window opened %zu recipients\n", form.project().recipients.size());
            return 1;
        }
    }
    coreProject = Project();
    open.report("open the project");

    // The steps that change nothing, over rounds too, each beside the core's work on the
    // window's own project.
    form.resize(1000, 700);
    QTreeView* list = form.recipientListView();
    const Project& shown = form.project();
    Rounds show, found, selectAll;
    bool hit = true, allSelected = true;
    auto* find = form.findChild<TFindForm*>();
    for (int round = 0; round < rounds; ++round) {
        form.groupListView()->setCurrentItem(form.groupListView()->topLevelItem(0));
        QApplication::processEvents();
        takeTurns(
            round, show,
            [&] {
                return timed([&] {
                    form.groupListView()->setCurrentItem(form.groupListView()->topLevelItem(1));
                    list->viewport()->repaint();
                    QApplication::processEvents();
                });
            },
            [&] { return timed([&] { recipientsOfGroup(shown, "Everyone"); }); });
        takeTurns(
            round, found,
            [&] {
                return timed([&] {
                    find->FindEdit->setText(QString::fromStdString(wanted));
                    find->FindButton->click();
                    list->viewport()->repaint();
                    QApplication::processEvents();
                });
            },
            [&] { return timed([&] {
                      findRecipient(shown, 0, wanted, SearchOptions{false, false});
                  }); });
        hit = hit && list->selectionModel()->selectedRows().size() == 1;
        selectAll.add(timed([&] {
                          form.action("SelectAllAction")->trigger();
                          list->viewport()->repaint();
                          QApplication::processEvents();
                      }),
                      0);
        allSelected = allSelected && std::size_t(list->selectionModel()->selection().first().height()) == count;
    }
    show.report("show the group");
    found.report(hit ? "find a recipient" : "find a recipient (NOT FOUND)");
    selectAll.report(allSelected ? "select all" : "select all (NOT ALL)");

    // The send window with every row selected, shown and painted; inside it, the preview of the
    // first recipient's message with the recipient choice; then both closed.
    QString recipientLine, recipientCount;
    double preview = 0;
    int previewChoices = 0;
    ui.dialogScripts.push_back([&](QDialog& dialog) {
        auto& send = static_cast<TSendMailForm&>(dialog);
        dialog.show();
        dialog.repaint();
        QApplication::processEvents();
        recipientLine = send.BccEdit->text();
        recipientCount = send.RecipientCountLabel->text();
        ui.dialogScripts.push_back([&](QDialog& shown) {
            shown.show();
            shown.repaint();
            QApplication::processEvents();
            previewChoices = static_cast<TMessagePreviewForm&>(shown).RecipientBox->count();
            shown.hide();
            return int(mrOk);
        });
        preview = timed([&] { send.PreviewBtn->click(); });
        dialog.hide();
        return int(mrCancel);
    });
    const double send = timed([&] {
                            form.action("EMailToCurrentAction")->trigger();
                            QApplication::processEvents();
                        }) -
                        preview;
    const QString expectedStart = QString::number(count) + " recipients: " + QString::fromStdString(address(0)) + ";";
    const bool countShown = recipientLine.startsWith(expectedStart) && recipientLine.size() < 10000 &&
                            recipientCount == QString::number(count) + " recipients";
    report(countShown ? "send window, all selected" : "send window (WRONG LIST)", send, coreGroup);
    if (!countShown)
        std::printf("  its recipient line: %zu characters, \"%s...\", beside it \"%s\"\n",
                    std::size_t(recipientLine.size()), recipientLine.left(80).toUtf8().constData(),
                    recipientCount.toUtf8().constData());
    report(previewChoices > 0 && previewChoices <= 1001 ? "preview, all selected" : "preview (WRONG CHOICES)", preview,
           coreGroup);

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
    report(left == count - kDeleted ? "delete 10,000 selected" : "delete 10,000 (WRONG COUNT)", deleted, coreDelete);

    // Save: the window's Save and the core writing the same project over the same file.
    Rounds save;
    for (int round = 0; round < rounds; ++round) {
        const auto window = [&] {
            form.project().setChanged(true); // Save is offered only for a changed project
            return timed([&] {
                form.action("SaveProjectAction")->trigger();
                QApplication::processEvents();
            });
        };
        const auto core = [&] { return timed([&] { saveProjectFile(form.project(), path); }); };
        takeTurns(round, save, window, core);
    }
    if (loadProjectFile(path).recipients.size() != left)
        std::printf("save: the file does not hold the %zu recipients left\n", left);
    save.report("save");
    std::printf("load average %s", bench::LoadAverage().c_str());
    form.close();
    std::filesystem::remove(path);
    return 0;
}
