// Opening a large project in the desktop program beside the core's load of the same file, in
// the same run. The window reads the file on a worker thread with its progress window (Cancel)
// and keeps repainting meanwhile; the target is the project shown at most 1 s after the core's
// load time, and the memory the opened project takes at most 1.1 times the file's size.
// Memory is the growth of the resident set over the open (its peak and what stays), with the
// previous project let go first; the core's load is measured the same way.
//   app_project_open_bench [recipients] [FOLDER] [ROUNDS]
#include "app/ProjectLifecycle.h"
#include "app/TOrvQuilletForm.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "support/BenchBasics.h"
#include "support/ScriptedUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace quillet;
using Clock = std::chrono::steady_clock;

namespace {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
double statusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stod(line.substr(prefix.size())) * 1024.0;
    return 0;
}

// Starts a fresh peak of the resident set (Linux: "5" to clear_refs).
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Measure {
    double seconds = 0;
    double peakGrowth = 0;
    double keptGrowth = 0;
};

Measure measure(const std::function<void()>& step)
{
    const double before = statusBytes("VmRSS");
    resetPeak();
    const auto start = Clock::now();
    step();
    Measure m;
    m.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    m.peakGrowth = statusBytes("VmHWM") - before;
    m.keptGrowth = statusBytes("VmRSS") - before;
    return m;
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
    const std::string path = (std::filesystem::path(folder) / "project-open.oqf").string();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    {
        Project project;
        project.properties.Name.set("Large");
        project.groups = {{"Everyone", ""}};
        project.recipients.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            RecipientRecord& r = project.recipients[i];
            r.EMail.set("member" + std::to_string(i) + "@example.org");
            r.Name.set("Name" + std::to_string(i));
            r.Group.set("Everyone");
        }
        saveProjectFile(project, path);
    }
    const double fileBytes = double(std::filesystem::file_size(path));
    std::printf("%zu recipients, file %.1f MB, %d rounds, load average %s", count, fileBytes / 1e6, rounds,
                bench::LoadAverage().c_str());
    {
        Project warm = loadProjectFile(path);
    } // the file into the page cache for both sides

    test::ScriptedUserInterface ui;
    TOrvQuilletForm form(ui);
    form.start();
    form.resize(1000, 700);
    form.show();
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    std::vector<double> window, core, beyond, windowPeak, corePeak;
    for (int round = 0; round < rounds; ++round) {
        // Both sides start without a project in memory.
        ui.messageAnswers.push_back(mrNo);
        form.lifecycle().closeProject();
        const Measure c = measure([&] { Project loaded = loadProjectFile(path); });
        const Measure w = measure([&] {
            ui.fileAnswers.push_back(file);
            form.action("OpenProjectAction")->trigger();
            QApplication::processEvents();
        });
        if (form.project().recipients.size() != count) {
            std::fprintf(stderr, "the window opened %zu recipients\n", form.project().recipients.size());
            return 1;
        }
        std::printf("  round %d: window %.3f s (peak +%.2f, kept +%.2f of the file)  core %.3f s (peak +%.2f)\n",
                    round + 1, w.seconds, w.peakGrowth / fileBytes, w.keptGrowth / fileBytes, c.seconds,
                    c.peakGrowth / fileBytes);
        window.push_back(w.seconds);
        core.push_back(c.seconds);
        beyond.push_back(w.seconds - c.seconds);
        windowPeak.push_back(w.peakGrowth / fileBytes);
        corePeak.push_back(c.peakGrowth / fileBytes);
    }
    std::printf("open the project: window %.3f s  core %.3f s  beyond the core %.3f s (target <= 1 s); memory peak "
                "%.2f x the file (core %.2f x; target <= 1.1), medians of %d\n",
                bench::Median(window), bench::Median(core), bench::Median(beyond), bench::Median(windowPeak),
                bench::Median(corePeak), rounds);
    ui.messageAnswers.push_back(mrNo);
    form.lifecycle().closeProject();
    std::filesystem::remove(path);
    return 0;
}
