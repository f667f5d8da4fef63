// The texts of the project store's dialogs and lifecycle operations, in one place.
#pragma once

namespace quillet::texts {

// Program options.
inline constexpr const char* kPropertiesCaption = "Properties";
inline constexpr const char* kDefaultServerPage = "Default Mail Server";
inline constexpr const char* kBuiltInServerPage = "Build-in Mail Server";
inline constexpr const char* kServerOptionsHeading = "SMTP Server options";
inline constexpr const char* kMessagePage = "Message";
inline constexpr const char* kMessageOptionsHeading = "Message options";
inline constexpr const char* kCodePageLabel = "Code page";
inline constexpr const char* kCodePageNote =
    "A new code page takes effect at the next start. A project file does not record its code page: "
    "open each project under the code page it was written in.";
inline constexpr const char* kFromSenderOption = "Use the sender address as From when the message has none";
inline constexpr const char* kPreflightOption = "Show the pre-flight check before sending";
// The code page choices as the options list shows them, by the name the settings store.
struct CodePageCaption {
    const char* choice;
    const char* caption;
};
inline constexpr CodePageCaption kCodePageCaptions[] = {
    {"auto", "Automatic (from the locale)"},
    {"utf-8", "UTF-8 (Unicode)"},
    {"windows-1252", "Western (windows-1252)"},
    {"shift_jis", "Japanese (Shift_JIS)"},
    {"gbk", "Chinese, simplified (GBK)"},
    {"big5", "Chinese, traditional (Big5)"},
    {"cp949", "Korean (cp949)"},
};
inline constexpr const char* kDefaultPort = "25";
inline constexpr const char* kDefaultBuiltInPort = "1026";
inline constexpr int kDefaultPortNumber = 25;
inline constexpr int kDefaultBuiltInPortNumber = 1026;
// The connection security of the default server and every account, and the extra trust.
inline constexpr const char* kSecurityLabel = "Connection security";
inline constexpr const char* kSecurityHint =
    "Applies to the default server and every account. Credentials never travel in clear to a server that offers "
    "STARTTLS.";
inline constexpr const char* kCaFileLabel = "Trusted certificates";
inline constexpr const char* kPlainAuthOption = "Allow sending the password without encryption";
inline constexpr const char* kPlainAuthHint = "Without it, the password goes only through TLS, or to a server on this "
                                              "computer.";
inline constexpr const char* kCaFileHint = "A PEM file of certificates trusted beside the system's (company or test "
                                           "servers); empty: the system's only.";
inline constexpr const char* kPinsLabel = "Trusted servers";
inline constexpr const char* kPinsHint =
    "Certificates trusted by their fingerprint for one server each, when a run asked; Remove forgets one.";
inline constexpr const char* kRemovePin = "Remove";
inline constexpr const char* kCaFileChooseCaption = "Trusted certificates file";
inline constexpr const char* kCaFileFilter = "PEM certificates|*.pem;*.crt|All files|*";
// The security choices: the shown text and the stored value, in the order of the list.
struct SecurityChoice {
    const char* text;
    const char* value;
};
inline constexpr SecurityChoice kSecurityChoices[] = {
    {"Automatic: TLS on port 465, STARTTLS when offered", "auto"},
    {"STARTTLS required", "starttls"},
    {"TLS from the first byte", "tls"},
    {"None: never TLS", "none"},
};

// Start-up dialog.
inline constexpr const char* kOpenWizardCaption = "Select project";
inline constexpr const char* kOpenWizardHeading = "Select work project";
inline constexpr const char* kOpenLastLabel = "Open last used project";
inline constexpr const char* kCreateDefaultLabel = "Create default project";
inline constexpr const char* kCreateNewLabel = "Create new project";
inline constexpr const char* kOpenDefaultLabel = "Open default project";
inline constexpr const char* kOpenExistingLabel = "Open existing project";
inline constexpr const char* kLastProjectMissing = "Last used project is not exist";

// New project and Project properties.
inline constexpr const char* kNewProjectCaption = "New project";
inline constexpr const char* kProjectPropertiesCaption = "Project properties";
inline constexpr const char* kGeneralPage = "General";
inline constexpr const char* kGeneralHeading = "General project options";
inline constexpr const char* kNewProjectWeb = "http://";
inline constexpr const char* kPlaceholderEmail = "your.name@example.com";

// Create default.
inline constexpr const char* kDefaultMessageCaption = "Warning";
inline constexpr const char* kDefaultProjectExists =
    "Default  project  already  exist.  Click \"Open\" for  open  existing default project. Click "
    "\"Overwrite\" for create new default project and owervrite old data. ";
inline constexpr const char* kDefaultGroupName = "Default Group";
inline constexpr const char* kDefaultGroupDescription = "This is default group";
inline constexpr const char* kDefaultProjectName = "default.oqf";
inline constexpr const char* kDefaultProjectDescription = "This is defaul Orv Quillet project";

// Project files.
inline constexpr const char* kSaveChangesPrompt = "Project has changed. Save changes?";
inline constexpr const char* kConfirmCaption = "Confirm";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kOpenDialogTitle = "Opening Orv Quillet project";
inline constexpr const char* kSaveDialogTitle = "Saving Orv Quillet project";
inline constexpr const char* kProjectFilter = "Orv Quillet Files|*.oqf";
inline constexpr const char* kProjectSuffix = "oqf";
// Opening a large project: the progress window.
inline constexpr const char* kLoadingCaption = "Opening project";
inline constexpr const char* kLoadingLabel = "Opening %1 ...";
// A project whose texts look like those of another code page (%1 the file's name, %2 the code
// page in force); and the question before saving it.
inline constexpr const char* kOtherCodePageCaption = "Warning";
inline constexpr const char* kOtherCodePageOpened =
    "The texts of \"%1\" do not look like text of code page %2. A project file does not record its code page: "
    "open it under the one it was written in (Program options, Message, Code page; or QUILLET_CODEPAGE), or "
    "its names will show wrongly.";
inline constexpr const char* kOtherCodePageSave =
    "The texts of this project do not look like text of code page %1, in force now. Saving it mixes texts of "
    "two code pages in one file. Save anyway?";

} // namespace quillet::texts
