// The window "Status" shown during a mailing run: messages sent, recipients of the run, a
// progress bar and Stop. It stays on top; its close box only hides it, the run goes on. Stop
// sets a flag the run reads after every message; showing the window clears it.
#pragma once

#include <QWidget>

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
    bool stopRequested() const { return stopFlag_; }

    QLabel* NumberLabel;
    QLabel* AllLabel;
    QProgressBar* ProgressBar1;
    QPushButton* Button1;
    QLabel* Animate1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool stopFlag_ = false;
};

} // namespace quillet
