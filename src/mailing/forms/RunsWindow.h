// The "Runs" window: the runs kept in the journal folder, newest first (ID, start, route,
// project, counts); the selected run's settings and every recipient's status and reply below;
// "Resume" hands the selected run to the owner, which sends to its recipients not yet sent; a
// run that a process is still sending shows as running and cannot be resumed.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace quillet {

class RunsWindow : public QDialog {
    Q_OBJECT
public:
    explicit RunsWindow(QWidget* parent = nullptr);

    // Reads the journal folder again; the run with this ID (or the newest) is selected.
    void Refresh(const std::string& selectId = {});
    // The ID of the selected run, or empty.
    std::string SelectedId() const;
    // While a run goes on (events are processed meanwhile) Resume cannot start another one.
    void setRunInProgress(bool running);

    std::function<void(const std::string& id)> OnResume;

    QTreeWidget* RunList;
    QPlainTextEdit* Details;
    QPushButton* ResumeButton;
    QPushButton* CloseButton;

private:
    void RunListSelectionChanged();
    // Whether the selected run is being sent by some process (this one included).
    bool SelectedRunGoesOn() const;
    bool runInProgress_ = false;
};

} // namespace quillet
