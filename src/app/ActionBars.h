// The menu bar and the four toolbars built from an ActionBarsLayout, and the layout file
// "quillet.dat" that keeps the user's arrangement from one run to the next.
#pragma once

#include "ActionBarsLayout.h"

#include <QString>

#include <functional>

class QAction;
class QMenuBar;
class QToolBar;
class QWidget;

namespace quillet {

class ActionBars {
public:
    using ActionLookup = std::function<QAction*(const QString& name)>;

    // Creates the four toolbars (owned by `parent`) and shows the built-in arrangement.
    ActionBars(QMenuBar& menuBar, QWidget* parent, ActionLookup lookup);

    QToolBar* toolBar(int index) const { return toolBars_[index]; }
    QMenuBar& menuBar() const { return menuBar_; }
    const ActionBarsLayout& layout() const { return layout_; }

    // Rebuilds the menu bar and the toolbars; names of unknown actions are left out.
    void apply(const ActionBarsLayout& layout);

    // Reads the layout file; a missing or unreadable file leaves the built-in arrangement.
    void readLayoutFile(const QString& path);
    // Writes the current arrangement; throws std::runtime_error("Unable to save settings").
    void writeLayoutFile(const QString& path) const;

private:
    QMenuBar& menuBar_;
    QToolBar* toolBars_[4] = {};
    ActionLookup lookup_;
    ActionBarsLayout layout_;
};

} // namespace quillet
