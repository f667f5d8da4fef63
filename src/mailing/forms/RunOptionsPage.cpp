#include "RunOptionsPage.h"

#include "MailingWindowTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace quillet {

namespace {

// The most retries and messages per connection the page offers.
constexpr int kMaxRetries = 100;
constexpr int kMaxPerConnection = 1'000'000;
constexpr int kMaxRetryWaitSeconds = int(kMaxRetryWait.count() / 1000);

} // namespace

RunOptionsPage::RunOptionsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName("OptionsPage");
    OnErrorBox = new QComboBox;
    OnErrorBox->setObjectName("OnErrorBox");
    OnErrorBox->addItem(texts::kOnErrorStop, "stop");
    OnErrorBox->addItem(texts::kOnErrorSkip, "skip");
    RetriesEdit = new QSpinBox;
    RetriesEdit->setObjectName("RetriesEdit");
    RetriesEdit->setRange(0, kMaxRetries);
    RetryWaitEdit = new QSpinBox;
    RetryWaitEdit->setObjectName("RetryWaitEdit");
    RetryWaitEdit->setRange(0, kMaxRetryWaitSeconds);
    RetryWaitEdit->setSuffix(texts::kSecondsSuffix);
    RateEdit = new QLineEdit;
    RateEdit->setObjectName("RateEdit");
    MaxPerConnectionEdit = new QSpinBox;
    MaxPerConnectionEdit->setObjectName("MaxPerConnectionEdit");
    MaxPerConnectionEdit->setRange(0, kMaxPerConnection);
    SkipDisabledBox = new QCheckBox(texts::kSkipDisabledBox);
    SkipDisabledBox->setObjectName("SkipDisabledBox");
    ConnectionsEdit = new QSpinBox;
    ConnectionsEdit->setObjectName("ConnectionsEdit");
    ConnectionsEdit->setRange(1, int(MailingRun::kMaxConnections));

    RunsButton = new QPushButton(texts::kRunsButton);
    RunsButton->setObjectName("RunsButton");
    RunsButton->setAutoDefault(false);

    auto* layout = new QFormLayout(this);
    layout->addRow(texts::kOnErrorLabel, OnErrorBox);
    layout->addRow(texts::kRetriesLabel, RetriesEdit);
    layout->addRow(texts::kRetryWaitLabel, RetryWaitEdit);
    layout->addRow(texts::kRateLabel, RateEdit);
    layout->addRow(texts::kMaxPerConnectionLabel, MaxPerConnectionEdit);
    layout->addRow(SkipDisabledBox);
    layout->addRow(texts::kConnectionsLabel, ConnectionsEdit);
    layout->addRow(RunsButton);
}

void RunOptionsPage::Load(const RunSettings& settings)
{
    OnErrorBox->setCurrentIndex(settings.onError == "skip" ? 1 : 0);
    RetriesEdit->setValue(settings.retries);
    RetryWaitEdit->setValue(settings.retryWaitSeconds);
    RateEdit->setText(settings.rate);
    MaxPerConnectionEdit->setValue(settings.maxPerConnection);
    SkipDisabledBox->setChecked(settings.skipDisabled);
    ConnectionsEdit->setValue(settings.connections);
}

RunSettings RunOptionsPage::Settings() const
{
    RunSettings settings;
    settings.onError = OnErrorBox->currentData().toString();
    settings.retries = RetriesEdit->value();
    settings.retryWaitSeconds = RetryWaitEdit->value();
    settings.rate = RateEdit->text().trimmed();
    settings.maxPerConnection = MaxPerConnectionEdit->value();
    settings.skipDisabled = SkipDisabledBox->isChecked();
    settings.connections = ConnectionsEdit->value();
    return settings;
}

void RunOptionsPage::ApplyTo(MailingRunRequest& request) const
{
    const RunSettings settings = Settings();
    request.delivery.onError = settings.onError == "skip" ? OnError::Skip : OnError::Stop;
    request.delivery.attempts = 1 + settings.retries;
    request.delivery.firstRetryWait = std::chrono::seconds(settings.retryWaitSeconds);
    request.delivery.maxPerConnection = std::size_t(settings.maxPerConnection);
    request.delivery.skipDisabled = settings.skipDisabled;
    request.connections = std::size_t(settings.connections);
    request.rate = {};
    if (!settings.rate.isEmpty()) {
        const auto rate = ParseSendRate(settings.rate.toStdString());
        if (!rate)
            throw EMailingError(texts::kBadRate);
        request.rate = *rate;
    }
}

} // namespace quillet
