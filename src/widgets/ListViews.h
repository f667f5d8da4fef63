// The look and behaviour that the lists of the pages share (report mode, whole rows selected,
// no editing, fixed column widths), and their pop-up menus built from action ids.
#pragma once

#include "widgets/ActionId.h"

#include <QList>
#include <QStringList>

#include <initializer_list>
#include <optional>

class QMenu;
class QTreeView;
class QTreeWidget;

namespace quillet {

class Shell;

// Rows without a tree, whole rows selected, nothing edited, 16 x 16 icons, a pop-up menu on
// request; the selection stays visible without the focus. Hot tracking underlines the row under
// the mouse and shows a hand cursor.
void styleList(QTreeView* view, bool hotTracking);

// Column widths; the stretch column (-1: none) takes the rest. Headers are not clickable.
void setColumns(QTreeView* view, const QList<int>& widths, int stretchColumn);

// A single-selection list with the object name, headers and widths.
QTreeWidget* makeList(const char* objectName, const QStringList& headers, bool hotTracking, const QList<int>& widths,
                      int stretchColumn);

// The pop-up menu of a list: the actions in order, a separator for each std::nullopt. It opens
// through the shell's user interface where the user asks for it on the list.
QMenu* makePopupMenu(Shell& shell, const char* objectName, QTreeView* view,
                     std::initializer_list<std::optional<ActionId>> items);

} // namespace quillet
