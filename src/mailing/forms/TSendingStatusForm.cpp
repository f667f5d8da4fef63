#include "TSendingStatusForm.h"

#include "MailingWindowTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

TSendingStatusForm::TSendingStatusForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName("TSendingStatusForm");
    setWindowTitle(texts::kStatusCaption);

    // The animation area shows the address under way.
    Animate1 = new QLabel;
    Animate1->setObjectName("Animate1");
    Animate1->setFixedHeight(40);
    CurrentAddressLabel = Animate1;
    Animate1->setAlignment(Qt::AlignCenter);
    Animate1->setTextFormat(Qt::PlainText);
    NumberLabel = new QLabel("0");
    NumberLabel->setObjectName("NumberLabel");
    AllLabel = new QLabel("0");
    AllLabel->setObjectName("AllLabel");
    AllLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setMaximum(1);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    PaceLabel = new QLabel;
    PaceLabel->setObjectName("PaceLabel");
    PaceLabel->setAlignment(Qt::AlignCenter);
    Button1 = new QPushButton("Stop");
    Button1->setObjectName("Button1");
    connect(Button1, &QPushButton::clicked, this, [this] { requestStop(); });

    auto* counts = new QHBoxLayout;
    counts->addWidget(new QLabel(texts::kStatusSentLabel));
    counts->addWidget(NumberLabel);
    counts->addStretch();
    counts->addWidget(new QLabel(texts::kStatusTotalLabel));
    counts->addWidget(AllLabel);
    auto* stop = new QHBoxLayout;
    stop->addStretch();
    stop->addWidget(Button1);
    stop->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Animate1);
    layout->addLayout(counts);
    layout->addWidget(ProgressBar1);
    layout->addWidget(PaceLabel);
    layout->addLayout(stop);
    setFixedSize(320, 170);
}

void TSendingStatusForm::startRun(int recipientCount, const QWidget* centreOn)
{
    ProgressBar1->setMaximum(recipientCount > 0 ? recipientCount : 1);
    setProgress(0);
    setPace({});
    AllLabel->setText(QString::number(recipientCount));
    stopFlag_ = false;
    Button1->setEnabled(true);
    setCurrentAddress({});
    if (centreOn)
        move(centreOn->geometry().center() - rect().center());
    show();
    raise();
}

void TSendingStatusForm::setProgress(int sent)
{
    ProgressBar1->setValue(std::min(sent, ProgressBar1->maximum()));
    NumberLabel->setText(QString::number(sent));
}

void TSendingStatusForm::setCurrentAddress(const QString& address)
{
    // Elided in the middle: a long address keeps its start and its domain.
    const QString text = address.isEmpty() ? QString() : texts::kStatusSendingTo + address;
    Animate1->setText(Animate1->fontMetrics().elidedText(text, Qt::ElideMiddle, width() - 40));
    Animate1->setToolTip(address);
}

void TSendingStatusForm::requestStop()
{
    stopFlag_ = true;
    if (onStop)
        onStop();
}

void TSendingStatusForm::finishRun()
{
    Button1->setEnabled(false);
    setCurrentAddress({});
    hide();
}

void TSendingStatusForm::setPace(const QString& pace)
{
    PaceLabel->setText(pace);
}

void TSendingStatusForm::showEvent(QShowEvent* event)
{
    stopFlag_ = false;
    QWidget::showEvent(event);
}

} // namespace quillet
