// The desktop program: creates the main window with every other window, runs the first-show
// steps and the message loop, and writes the menu and toolbar layout as the program ends.
#include "AppTexts.h"
#include "TOrvQuilletForm.h"
#include "widgets/UserInterface.h"

#include "project/CodePage.h"
#include "project/settings/SettingsStore.h"

#include <BuildRevision.h>

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

// Errors that escape an event handler are shown in the program's error box; the program then
// goes on waiting for the user.
class QuilletApplication : public QApplication {
public:
    using QApplication::QApplication;
    quillet::TOrvQuilletForm* mainForm = nullptr;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            if (mainForm)
                mainForm->showException(error);
            return false;
        }
    }
};

} // namespace

int main(int argc, char* argv[])
{
    // Help and version need no window system, so they are answered before it is reached.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(quillet::texts::kCommandLineHelp, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf(quillet::texts::kCommandLineVersion, QUILLET_VERSION, QUILLET_REVISION);
            return 0;
        }
    }
    QuilletApplication app(argc, argv);
    QApplication::setApplicationName(quillet::texts::kProgramTitle);
    QApplication::setOrganizationName("Orv");
    QApplication::setQuitOnLastWindowClosed(true);

    // The code page: QUILLET_CODEPAGE, else the program option; an unknown name means automatic.
    {
        QString codePage = qEnvironmentVariable("QUILLET_CODEPAGE");
        if (codePage.isEmpty())
            codePage = quillet::SettingsStore().readMessageSettings().codePage;
        try {
            quillet::selectCodePage(codePage.toStdString());
        } catch (const std::invalid_argument&) {
            quillet::selectCodePage("auto");
        }
    }

    quillet::QtUserInterface ui;
    quillet::TOrvQuilletForm form(ui);
    app.mainForm = &form;
    // Qt has taken its own options out of the arguments; the first one left names a project file.
    QString projectFile;
    for (const QString& argument : QApplication::arguments().mid(1))
        if (!argument.startsWith('-')) {
            projectFile = argument;
            break;
        }
    form.start(projectFile);
    const int status = form.isVisible() ? QApplication::exec() : 0;
    form.programEnding();
    app.mainForm = nullptr;
    return status;
}
