// The arrangement of the menu bar and the four toolbars: which actions (by name) and separators
// each holds, in order. The built-in arrangement applies when the layout file "quillet.dat" is
// missing or unreadable; the user's arrangement is written there when the program ends.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace quillet {

// The item text that stands for a separator.
inline const QString kSeparatorItem = QStringLiteral("-");

struct BarLayout {
    QString caption;   // a menu's caption ("&File") or a toolbar's caption ("File")
    QStringList items; // action names and separators
    bool operator==(const BarLayout&) const = default;
};

struct ActionBarsLayout {
    std::vector<BarLayout> menus;    // the menu bar, left to right
    std::vector<BarLayout> toolBars; // ActionToolBar1 .. ActionToolBar4
    bool operator==(const ActionBarsLayout&) const = default;

    static ActionBarsLayout builtIn();
    // The layout file's text (JSON) and back. parse() returns false for a text that is not a
    // layout; unknown action names are kept out by the caller when it applies the layout.
    QByteArray toJson() const;
    static bool parse(const QByteArray& json, ActionBarsLayout& layout);
};

// The object names of the four toolbars, in order.
const QStringList& toolBarNames();

} // namespace quillet
