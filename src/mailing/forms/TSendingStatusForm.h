// The window "Status" shown during a mailing run: messages sent ("Sent:") and recipients of the
// run ("Total:"), the address whose message is under way, a progress bar and Stop. It stays on
// top; its close box only hides it, the run goes on. Stop sets a flag the run reads after every
// message and calls onStop, which raises the run's stop signal so that a network wait under way
// ends at once; showing the window clears the flag. finishRun() disables Stop and hides the window, so
// nothing of it stands above the box that closes the run.
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillet {

class TSendingStatusForm : public QWidget {
    Q_OBJECT
public:
    explicit TSendingStatusForm(QWidget* parent = nullptr);

    // Progress 0, maximum and AllLabel the number of recipients; then shows the window centred
    // on the given window (when there is one).
    void startRun(int recipientCount, const QWidget* centreOn = nullptr);
    // The number of messages sent so far: NumberLabel and the bar.
    void setProgress(int sent);
    // The address whose message goes out now ("Sending to: ..."); empty clears it.
    void setCurrentAddress(const QString& address);
    // The run is over: Stop disabled, the window hidden.
    void finishRun();
    // The pace and the time left ("12.5/s, 2:41 left"); empty hides it.
    void setPace(const QString& pace);
    bool stopRequested() const { return stopFlag_; }
    // What Stop does: the flag, then onStop (bound by the controller for the run's duration).
    void requestStop();
    std::function<void()> onStop;

    QLabel* NumberLabel;
    QLabel* AllLabel;
    QLabel* CurrentAddressLabel;
    QProgressBar* ProgressBar1;
    QPushButton* Button1;
    QLabel* Animate1;
    QLabel* PaceLabel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool stopFlag_ = false;
};

} // namespace quillet
