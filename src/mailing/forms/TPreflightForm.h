// The dialog "Pre-flight check": the findings of the check over the whole selection before a
// run (warnings first marked as such, then the run's size), with Send and Cancel and the choice
// not to be shown it again. The check itself is the core's (mailing/PreflightCheck.h).
#pragma once

#include "mailing/PreflightCheck.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quillet {

class TPreflightForm : public QDialog {
    Q_OBJECT
public:
    explicit TPreflightForm(QWidget* parent = nullptr);

    // Fills the list and the summary; the "do not show" choice starts unticked.
    void setFindings(const std::vector<PreflightFinding>& findings);

    QLabel* SummaryLabel;
    QListWidget* FindingList;
    QCheckBox* DontShowCheck;
    QPushButton* OKButton; // "Send"
    QPushButton* CancelButton;
};

} // namespace quillet
