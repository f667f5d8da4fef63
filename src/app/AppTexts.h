// The texts of the main window and the program shell that users see, in one place.
#pragma once

namespace quillet::texts {

// The main window's status bar when a code page is chosen: "Code page: UTF-8".
inline constexpr const char* kCodePageStatus = "Code page: %1";

inline constexpr const char* kProgramTitle = "Orv Quillet";
// The title once a project is open: this prefix followed directly by the project's name.
inline constexpr const char* kTitlePrefix = "Orv Quillet:";
// Caption of the program's general error box.
inline constexpr const char* kErrorBoxCaption = "Orv Quillet";
inline constexpr const char* kUnableToSaveSettings = "Unable to save settings";

// Pages and columns.
inline constexpr const char* kRecipientsPage = "Recipients";
inline constexpr const char* kSmtpServersPage = "SMTP Servers";
inline constexpr const char* kTemplatesPage = "Messages templates";

// The maker's addresses.
inline constexpr const char* kHomePage = "https://orv-quillet.example.org/";
inline constexpr const char* kContactAddress = "quillet@orv-quillet.example.org";

// The contents page in the help folder.
inline constexpr const char* kHelpIndex = "index.htm";
// The layout file in the program folder.
inline constexpr const char* kLayoutFileName = "quillet.dat";

// The About window.
inline constexpr const char* kAboutCaption = "About Orv Quillet";
// quillet-gui --help (answered before any window system is needed) and quillet-gui --version.
inline constexpr const char* kCommandLineHelp =
    "Usage: quillet-gui [OPTIONS] [PROJECT]\n"
    "Orv Quillet: personalised e-mail to lists of recipients, the desktop program.\n\n"
    "Opens the project file PROJECT (*.oqf) when one is given; else the start-up dialog offers the\n"
    "last used project, a new project or the default project.\n\n"
    "Options:\n"
    "  -h, --help     Displays this help.\n"
    "  -v, --version  Displays the version and the source revision.\n\n"
    "Qt's own options (such as -platform, -style, -display) are accepted as well. The command line\n"
    "program quillet does the same work without windows.\n";
inline constexpr const char* kCommandLineVersion = "quillet-gui %s (%s)\n";
// The version and the source revision the program was built from, as "quillet --version" names them.
inline constexpr const char* kAboutVersion = "Version %1 (%2)";
inline constexpr const char* kAboutText =
    "Orv Quillet sends personalised e-mail to lists of recipients.\n\n"
    "Keep your recipients in groups of a mailing project, write one message with macros such as "
    "%NAME% and %SURNAME%, and send one individually addressed message to every recipient: "
    "through your default mail server, through the project's SMTP servers in turn, or through "
    "the built-in mail server.\n\n"
    "This program is free software. It comes with no warranty.";

} // namespace quillet::texts
