// The send window's "Options" page: what a recipient's failure does, retries of temporary
// failures and the wait before the first one, the rate, reconnecting after a number of
// messages, leaving disabled recipients out and parallel connections per server; and "Runs..."
// for the Runs window. The page shows and returns the settings store's "Run" group; the defaults are the send
// window's behaviour as it has always been (stop at the first error, no limit).
#pragma once

#include "mailing/MailingRun.h"
#include "project/settings/SettingsStore.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillet {

class RunOptionsPage : public QWidget {
    Q_OBJECT
public:
    explicit RunOptionsPage(QWidget* parent = nullptr);

    void Load(const RunSettings& settings);
    RunSettings Settings() const;
    // The page's options into a run request; a rate that cannot be read raises EMailingError
    // with the text the user is shown.
    void ApplyTo(MailingRunRequest& request) const;

    QComboBox* OnErrorBox;
    QSpinBox* RetriesEdit;
    QSpinBox* RetryWaitEdit;
    QLineEdit* RateEdit;
    QSpinBox* MaxPerConnectionEdit;
    QCheckBox* SkipDisabledBox;
    QSpinBox* ConnectionsEdit;
    // Opens the Runs window (bound by the owner).
    QPushButton* RunsButton;
};

} // namespace quillet
