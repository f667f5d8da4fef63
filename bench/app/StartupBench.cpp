// Start-up to the main window shown, with a 100,000-recipient project opened through "Open last
// used project" in the start-up dialog, beside loading the same file with the core alone, in
// the same run. Runs offscreen unless QT_QPA_PLATFORM says otherwise.
//   app_startup_bench [recipients] [rounds]
#include "app/TOrvQuilletForm.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/forms/TOpenWizardForm.h"
#include "support/ScriptedUserInterface.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quillet;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void writeSample(const std::string& path, int recipients)
{
    Project project;
    project.properties.Name.set("Benchmark project");
    for (int g = 0; g < 10; ++g)
        project.groups.push_back({"Group " + std::to_string(g), "Ten thousand recipients"});
    project.recipients.resize(recipients);
    for (int i = 0; i < recipients; ++i) {
        RecipientRecord& r = project.recipients[i];
        r.EMail.set("recipient" + std::to_string((i * 7919) % recipients) + "@example.com");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.Enabled = i % 5 ? 1 : 0;
        r.Group.set("Group " + std::to_string(i % 10));
    }
    project.accounts.push_back({"smtp.example.com", "", "", "25", "", "", "", "True"});
    saveProjectFile(project, path);
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
    const int recipients = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    const QString file = home.path() + "/benchmark.oqf";
    const std::string path = QFile::encodeName(file).toStdString();
    writeSample(path, recipients);

    std::vector<double> core;
    std::vector<double> window;
    std::vector<double> selection;
    for (int round = 0; round < rounds; ++round) {
        {
            const auto start = Clock::now();
            const Project loaded = loadProjectFile(path);
            core.push_back(seconds(start));
            if (loaded.recipients.size() != std::size_t(recipients))
                return 1;
        }
        {
            QSettings settings("Orv", "Quillet");
            settings.setValue("Option/Project Name", file);
            settings.sync();
        }
        test::ScriptedUserInterface ui;
        ui.dialogScripts.push_back([](QDialog& dialog) {
            static_cast<TOpenWizardForm&>(dialog).OpenLastButton->click();
            return dialog.result();
        });
        const auto start = Clock::now();
        TOrvQuilletForm form(ui);
        form.start();
        QApplication::processEvents();
        window.push_back(seconds(start));
        if (form.project().recipients.size() != std::size_t(recipients) || !form.isVisible())
            return 1;

        // Selecting a group of a tenth of the project fills the recipient list.
        const auto selectStart = Clock::now();
        form.groupListView()->setCurrentItem(form.groupListView()->topLevelItem(0));
        QApplication::processEvents();
        selection.push_back(seconds(selectStart));
        form.close();
    }

    const double coreLoad = median(core);
    const double windowStart = median(window);
    std::printf("recipients: %d, rounds: %d (medians)\n", recipients, rounds);
    std::printf("core load of the project file:               %8.3f s\n", coreLoad);
    std::printf("start-up to the main window with the project: %8.3f s\n", windowStart);
    std::printf("window on top of the core load:              %8.3f s (ratio %.2f; target at most 0.300 s)\n",
                windowStart - coreLoad, windowStart / coreLoad);
    std::printf("selecting a group of %d recipients:        %8.3f s\n", recipients / 10, median(selection));
    return 0;
}
