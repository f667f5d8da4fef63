#include "TMessagePreviewForm.h"

#include "MailingWindowTexts.h"
#include "widgets/TextBoundary.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillet {

namespace {

QPlainTextEdit* readOnlyText(const char* name)
{
    auto* edit = new QPlainTextEdit;
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return edit;
}

QString utf8Lines(const std::vector<std::string>& lines)
{
    QStringList joined;
    for (const std::string& line : lines)
        joined << QString::fromStdString(line);
    return joined.join('\n');
}

} // namespace

TMessagePreviewForm::TMessagePreviewForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TMessagePreviewForm");
    setWindowTitle(texts::kPreviewCaption);
    setSizeGripEnabled(true);

    RecipientBox = new QComboBox;
    RecipientBox->setObjectName("RecipientBox");
    HeadersView = readOnlyText("HeadersView");
    AttachmentsLabel = new QLabel;
    AttachmentsLabel->setObjectName("AttachmentsLabel");
    AttachmentsLabel->setTextFormat(Qt::PlainText);
    TextView = readOnlyText("TextView");
    HtmlView = new QTextBrowser;
    HtmlView->setObjectName("HtmlView");
    HtmlView->setOpenLinks(false);
    SourceView = readOnlyText("SourceView");
    SourceView->setLineWrapMode(QPlainTextEdit::NoWrap);
    PageControl = new QTabWidget;
    PageControl->setObjectName("PageControl");
    PageControl->addTab(TextView, texts::kPreviewTextPage);
    PageControl->addTab(HtmlView, texts::kPreviewHtmlPage);
    PageControl->addTab(SourceView, texts::kPreviewSourcePage);

    SendTestBtn = new QPushButton(texts::kSendTestButton);
    SendTestBtn->setObjectName("SendTestBtn");
    SendTestBtn->setAutoDefault(false);
    CloseBtn = new QPushButton("Close");
    CloseBtn->setObjectName("CloseBtn");
    CloseBtn->setDefault(true);

    auto* top = new QFormLayout;
    top->addRow(texts::kPreviewRecipientLabel, RecipientBox);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(HeadersView);
    split->addWidget(PageControl);
    split->setStretchFactor(1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AttachmentsLabel, 1);
    buttons->addWidget(SendTestBtn);
    buttons->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    resize(700, 560);

    connect(RecipientBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && onRecipientChosen)
            onRecipientChosen(index);
    });
    connect(SendTestBtn, &QPushButton::clicked, this, [this] {
        if (onSendTest)
            onSendTest();
    });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TMessagePreviewForm::setRecipients(const QStringList& addresses, std::size_t total)
{
    const QSignalBlocker quiet(RecipientBox);
    RecipientBox->clear();
    QStringList entries;
    for (int i = 0; i < addresses.size(); ++i)
        entries << QString("%1. %2").arg(i + 1).arg(addresses[i]);
    RecipientBox->addItems(entries);
    if (total > std::size_t(addresses.size())) {
        RecipientBox->addItem(QString(texts::kPreviewMoreRecipients).arg(total - std::size_t(addresses.size())));
        if (auto* model = qobject_cast<QStandardItemModel*>(RecipientBox->model()))
            model->item(RecipientBox->count() - 1)->setEnabled(false);
    }
    RecipientBox->setCurrentIndex(addresses.isEmpty() ? -1 : 0);
    opening_ = true;
}

int TMessagePreviewForm::chosenRecipient() const
{
    return RecipientBox->currentIndex();
}

void TMessagePreviewForm::showMessage(const std::string& source, const ReceivedMessage& message)
{
    QStringList headers;
    for (const auto& [name, value] : message.headers)
        headers << QString::fromStdString(name) + ": " + QString::fromStdString(value);
    HeadersView->setPlainText(headers.join('\n'));
    TextView->setPlainText(utf8Lines(message.body));
    HtmlView->setHtml(utf8Lines(message.html));
    PageControl->setTabEnabled(1, !message.html.empty());
    SourceView->setPlainText(toQt(source));
    QStringList files;
    for (const std::string& name : message.attachments)
        files << QString::fromStdString(name);
    AttachmentsLabel->setText(files.isEmpty() ? QString() : QString(texts::kPreviewAttachments).arg(files.join(", ")));
    // It opens on what a receiver's program shows first: the HTML when there is one.
    if (opening_ || message.html.empty())
        PageControl->setCurrentIndex(message.html.empty() ? 0 : 1);
    opening_ = false;
}

} // namespace quillet
