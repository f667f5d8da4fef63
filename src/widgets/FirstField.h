// The keyboard focus of a dialog at every showing: in its first field (the text there selected,
// so typing replaces it), never on a button or on whatever control had the focus when the
// dialog was last closed. Without this, typing into a dialog that opens with the focus on "OK"
// is lost and the first space confirms it.
#pragma once

#include <functional>

class QWidget;

namespace quillet {

// `field` gets the focus each time `dialog` is shown.
void focusOnShow(QWidget& dialog, QWidget* field);
// The field is chosen at the showing (e.g. the first field of the page shown).
void focusOnShow(QWidget& dialog, std::function<QWidget*()> field);

} // namespace quillet
