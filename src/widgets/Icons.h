// The program's own icons, painted at start: the seven state icons of the lists and one icon per
// action for menus and toolbars.
#pragma once

#include <QIcon>
#include <QString>

namespace quillet {

// The state icons of the list rows, in the order of the program's image list.
enum class StateIcon {
    Group,             // a folder
    DisabledRecipient, // a face
    EnabledRecipient,  // a face with a red check
    DisabledServer,    // a server
    EnabledServer,     // a server with a red check
    NotePad,
    Template, // an envelope
};

// The state icon, painted once: every row with the same state shows the same icon.
QIcon stateIcon(StateIcon icon);
// The recipient or SMTP account icon for an enabled state.
inline QIcon recipientIcon(bool enabled)
{
    return stateIcon(enabled ? StateIcon::EnabledRecipient : StateIcon::DisabledRecipient);
}
inline QIcon serverIcon(bool enabled)
{
    return stateIcon(enabled ? StateIcon::EnabledServer : StateIcon::DisabledServer);
}

// The icon of an action by its name, the main window's and the send window's (a neutral icon for
// names it does not know).
QIcon paintActionIcon(const QString& actionName);
// A separator's place in a list of commands: a grey rule as wide as an icon, so that the text
// beside it lines up with the commands' captions.
QIcon separatorIcon();

} // namespace quillet
