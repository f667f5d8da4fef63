// What the main window offers the pages and dialogs of every subsystem: the one open project,
// the user interface, the actions by typed id, the program's error handling and the Program
// options dialog. The subsystem windows are given this interface and know nothing else of the
// main window, so nothing below the main window points back up to it.
#pragma once

#include "widgets/ActionId.h"

#include <QString>

#include <exception>
#include <functional>

class QAction;
class QWidget;

namespace quillet {

class Project;
class UserInterface;

class Shell {
public:
    // The open project: the store that the lists of the pages mirror.
    virtual Project& project() = 0;
    virtual UserInterface& ui() = 0;
    // The main window as the parent of dialogs and message boxes.
    virtual QWidget* dialogParent() = 0;
    // The action with the id; never nullptr.
    virtual QAction* action(ActionId id) const = 0;
    // Runs the handler inside runGuarded whenever the action is triggered.
    virtual void bindAction(ActionId id, std::function<void()> handler) = 0;
    // The program's error handling: runs the work and shows the text of an escaping exception in
    // the program's error box.
    virtual void runGuarded(const std::function<void()>& work) = 0;
    // The program's error box for an error that was caught: its text (with the full stop rule),
    // then moreLines as they are.
    virtual void showException(const std::exception& error, const QString& moreLines = {}) = 0;
    // Shows Program options modally on a page (-1: the page it last showed); anything but OK
    // reloads the default mail server settings. Returns the modal result.
    virtual int showProgramOptions(int page = -1) = 0;

protected:
    ~Shell() = default;
};

} // namespace quillet
