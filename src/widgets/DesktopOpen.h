// Handing files and links to the desktop's default programs, and saying so when that fails:
// without a program to show web pages or to write e-mail, the user learns what could not be
// opened and, for a file, where it is, instead of nothing happening at all.
#pragma once

#include <QString>

class QWidget;

namespace quillet {

class UserInterface;

// A page of the help folder. When it cannot be shown, the message names its path and says
// whether the page is missing or no program could be started for it.
void openHelpPage(UserInterface& ui, QWidget* parent, const QString& path);
// A file the program has just written (the exported page): a failure names the file.
void openWrittenFile(UserInterface& ui, QWidget* parent, const QString& path);
// A web address or a mailto: link: a failure names the address.
void openLink(UserInterface& ui, QWidget* parent, const QString& url);

} // namespace quillet
