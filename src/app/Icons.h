// The program's own icons, painted at start: the seven state icons of the lists and one icon per
// action for menus and toolbars.
#pragma once

#include <QIcon>
#include <QString>

namespace quillet {

// 0 group (folder), 1 disabled recipient (face), 2 enabled recipient (face with a red check),
// 3 disabled SMTP account (server), 4 enabled SMTP account (server with a red check),
// 5 note pad, 6 template (envelope).
QIcon paintStateIcon(int index);

// The icon of an action by its name (a neutral icon for names it does not know).
QIcon paintActionIcon(const QString& actionName);

} // namespace quillet
