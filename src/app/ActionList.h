// The main window's action list: every command with its name, category, caption, shortcut, hint
// and enabled state at start, in list order. The order matters: a key press goes to the first
// action in this order whose shortcut matches.
#pragma once

#include <QString>

#include <vector>

namespace quillet {

struct ActionDefinition {
    const char* name;     // "SaveProjectAction"
    const char* category; // "File"
    const char* caption;  // the menu entry's caption, "&" before the underlined letter
    const char* shortcut; // portable key text ("Ctrl+Shift+N"); empty: none
    const char* hint;     // tooltip and status bar text
    bool enabledAtStart;
    bool checkable = false;
    bool checkedAtStart = false;
};

// The whole list in list order.
const std::vector<ActionDefinition>& actionDefinitions();

// The category names in the order their actions first appear.
std::vector<QString> actionCategories();

} // namespace quillet
