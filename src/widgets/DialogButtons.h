// The "OK" and "Cancel" buttons at the foot of a dialog, pushed to the right of their row.
#pragma once

#include <functional>

class QDialog;
class QDialogButtonBox;
class QHBoxLayout;
class QPushButton;

namespace quillet {

struct DialogButtons {
    QPushButton* ok = nullptr;     // object name "OKButton", the default button
    QPushButton* cancel = nullptr; // object name "CancelButton", rejects the dialog
    QHBoxLayout* row = nullptr;    // stretch, "OK", "Cancel"
};

enum class CancelOnEnter { Cancel, Default };

// Makes both buttons and their row. "OK" runs onOk, or accepts the dialog when onOk is empty.
// Enter on a focused "Cancel" presses "Cancel" (CancelOnEnter::Cancel) or the default button.
DialogButtons makeOkCancelButtons(QDialog& dialog, CancelOnEnter cancelOnEnter, std::function<void()> onOk = {});

// The same two buttons (same object names; "OK" the default button and accepting, "Cancel"
// rejecting) in a button box, in the platform's order of buttons.
QDialogButtonBox* makeOkCancelButtonBox(QDialog& dialog);

} // namespace quillet
