#include "DesktopOpen.h"

#include "UserInterface.h"

#include <QFileInfo>

namespace quillet {

namespace {

constexpr const char* kCaption = "Orv Quillet";
constexpr const char* kHelpMissing = "The help page is missing: \"%1\"";
constexpr const char* kNoProgramForFile = "No program to show the page could be started.\nThe page is the file \"%1\"";
constexpr const char* kNoProgramForWebPage = "No program to show web pages could be started for %1";
constexpr const char* kNoProgramForMail = "No e-mail program could be started to write to %1";

void tell(UserInterface& ui, QWidget* parent, const QString& text)
{
    ui.messageBox(parent, text, kCaption, MessageIcon::Information, MessageButtons::Ok);
}

} // namespace

void openHelpPage(UserInterface& ui, QWidget* parent, const QString& path)
{
    if (ui.openWithDesktop(path))
        return;
    tell(ui, parent, QString(QFileInfo(path).isFile() ? kNoProgramForFile : kHelpMissing).arg(path));
}

void openWrittenFile(UserInterface& ui, QWidget* parent, const QString& path)
{
    if (!ui.openWithDesktop(path))
        tell(ui, parent, QString(kNoProgramForFile).arg(path));
}

void openLink(UserInterface& ui, QWidget* parent, const QString& url)
{
    if (ui.openWithDesktop(url))
        return;
    if (url.startsWith("mailto:"))
        tell(ui, parent, QString(kNoProgramForMail).arg(url.mid(7)));
    else
        tell(ui, parent, QString(kNoProgramForWebPage).arg(url));
}

} // namespace quillet
