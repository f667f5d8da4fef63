// "Find E-Mail status": the addresses found in the file, which the user may edit or delete
// before confirming. The file is scanned on a worker thread while the dialog shows its
// animation, so the window keeps answering; "OK" is usable once the scan is complete.
// The review: CountLabel says how many addresses were found, how many are not valid and how
// many repeat an earlier one; those entries are drawn marked (red: not valid, grey: duplicate,
// the reason as tool tip), and the list is reviewed again after every edit and deletion.
// Enter means OK; Cancel, Escape or the close box ask before a complete, non-empty list is
// discarded.
#pragma once

#include "addressbook/HarvestReview.h"

#include <QDialog>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QStringListModel;

namespace quillet {

class UserInterface;

class TEMailFoundedForm : public QDialog {
    Q_OBJECT
public:
    explicit TEMailFoundedForm(UserInterface& ui, QWidget* parent = nullptr);
    // Waits for the scans still running (their results are dropped).
    ~TEMailFoundedForm() override;

    // Empties the list, shows the animation, disables "OK" and starts scanning the file on a
    // worker thread. When the scan ends (in the event loop) the list is filled, the animation
    // hidden and "OK" enabled; a file that cannot be read closes the dialog with Cancel and
    // its error is kept for finishScan().
    void startScan(const std::string& path);
    // True from startScan() until the scan's result has arrived or the scan was abandoned.
    bool scanning() const { return scanning_; }
    // Ends the scan of this showing: a scan still running is abandoned (its result will be
    // dropped) and false is returned; a scan that failed throws its error; otherwise true, and
    // the list holds the addresses found.
    bool finishScan();
    // Worker threads still scanning, the abandoned ones included.
    int runningScanThreads() const;

    // The entries as they stand (code-page texts); throws UnrepresentableText for an edited
    // entry the code page cannot hold.
    std::vector<std::string> entries() const;
    int entryCount() const;
    // The review of the entries as they stand.
    const HarvestReview& review() const { return review_; }
    // Removes the marked entries (not valid, duplicates), keeping the others in order.
    void removeMarkedEntries();

    QListView* FoundedListBox = nullptr;
    QStringListModel* foundedEntries = nullptr;
    QPushButton* Button1 = nullptr; // "OK"
    QPushButton* Button2 = nullptr; // "Cancel"
    QPushButton* EditButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QProgressBar* Animate1 = nullptr;
    QLabel* CountLabel = nullptr;

    void EditButtonClick();
    void DeleteButtonClick();

    // "OK" is refused while the scan runs; any other result abandons it.
    void done(int result) override;

private:
    struct ScanWorker;
    struct ScanOutcome;

    class MarkedEntries;

    void scanEnded(std::uint64_t scan, const ScanOutcome& outcome);
    void reviewEntries();
    void abandonScan();
    void selectionChanged();
    int selectedRow() const;

    UserInterface& ui_;
    std::vector<std::unique_ptr<ScanWorker>> workers_;
    std::uint64_t currentScan_ = 0; // results of any other scan are dropped
    bool scanning_ = false;
    bool complete_ = false;
    std::exception_ptr scanError_;
    HarvestReview review_;
};

} // namespace quillet
