#include "ProjectLoadingDialog.h"

#include "ProjectFormTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

// The bar counts in thousandths, so that files beyond the range of an int show as well.
constexpr int kProgressSteps = 1000;

} // namespace

ProjectLoadingDialog::ProjectLoadingDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("ProjectLoadingDialog");
    setWindowTitle(texts::kLoadingCaption);
    setWindowModality(Qt::ApplicationModal);
    FileLabel = new QLabel;
    FileLabel->setObjectName("FileLabel");
    ProgressBar = new QProgressBar;
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setMinimumWidth(320);
    CancelButton = new QPushButton("Cancel");
    CancelButton->setObjectName("CancelButton");
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FileLabel);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
}

void ProjectLoadingDialog::prepare(const QString& fileName)
{
    FileLabel->setText(QString(texts::kLoadingLabel).arg(fileName));
    CancelButton->setEnabled(true);
    showProgress(0, 0);
}

void ProjectLoadingDialog::showProgress(std::uint64_t done, std::uint64_t total)
{
    if (total == 0) {
        ProgressBar->setRange(0, 0);
        return;
    }
    ProgressBar->setRange(0, kProgressSteps);
    ProgressBar->setValue(int(std::min(done, total) * kProgressSteps / total));
}

// Cancel and the close box: the load is asked to stop; the loader closes the dialog once it has.
void ProjectLoadingDialog::reject()
{
    CancelButton->setEnabled(false);
    if (onCancel)
        onCancel();
}

} // namespace quillet
