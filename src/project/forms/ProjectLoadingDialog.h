// "Opening project": the file's name, a progress bar of the bytes read and Cancel, shown while a
// project file is read on a worker thread. Cancel (or closing the window) asks the load to stop;
// the dialog itself only shows what the loader tells it.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillet {

class ProjectLoadingDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProjectLoadingDialog(QWidget* parent = nullptr);

    // Starts a fresh showing for the file named `fileName`.
    void prepare(const QString& fileName);
    // Shows `done` of `total` bytes (total 0: not known yet, the bar runs without an end).
    void showProgress(std::uint64_t done, std::uint64_t total);

    // Run by Cancel and by closing the window.
    std::function<void()> onCancel;

    QLabel* FileLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void reject() override;
};

} // namespace quillet
