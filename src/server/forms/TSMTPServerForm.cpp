#include "TSMTPServerForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

TSMTPServerForm::TSMTPServerForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint)
{
    setObjectName("TSMTPServerForm");
    setWindowTitle("Mail Server Status");
    // Laid out rather than placed: the labels take the width their font needs, so "Subject:"
    // never runs into its value, and the body shows whole lines down to the last one.
    Image1 = new QLabel;
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    Label1 = new QLabel("To:");
    ToLabel = new QLabel;
    ToLabel->setObjectName("ToLabel");
    Label3 = new QLabel("Subject:");
    SubjectLabel = new QLabel;
    SubjectLabel->setObjectName("SubjectLabel");
    for (QLabel* value : {ToLabel, SubjectLabel}) {
        value->setTextFormat(Qt::PlainText);
        value->setMinimumWidth(1); // a long value is cut at the window's edge, not widening it
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName("Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setReadOnly(true);
    PropertiesButton = new QPushButton("Properties");
    HideButton = new QPushButton("Hide");

    auto* fields = new QGridLayout;
    fields->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    fields->addWidget(Label1, 0, 1);
    fields->addWidget(ToLabel, 0, 2);
    fields->addWidget(Label3, 1, 1);
    fields->addWidget(SubjectLabel, 1, 2);
    fields->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(PropertiesButton);
    buttons->addWidget(HideButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(fields);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    // Once all are in this window: Hide, Properties, then the body.
    setTabOrder(HideButton, PropertiesButton);
    setTabOrder(PropertiesButton, Memo1);
    // Seven body lines fit whole; the window keeps a fixed size as before.
    const int lineHeight = Memo1->fontMetrics().lineSpacing();
    Memo1->setMinimumHeight(7 * lineHeight + 2 * Memo1->frameWidth() + 2 * int(Memo1->document()->documentMargin()));
    setFixedSize(std::max(360, layout->sizeHint().width()), std::max(208, layout->sizeHint().height()));

    connect(HideButton, &QPushButton::clicked, this, &QWidget::close);
    connect(PropertiesButton, &QPushButton::clicked, this, [this] {
        if (onProperties)
            onProperties();
    });

    // The hooks run on connection threads.
    SMTPServer1.OnCommandMAIL = [](TSMTPServerThread&, bool& accept, const TEMailAddressItem&) { accept = true; };
    SMTPServer1.OnCommandRCPT = [](TSMTPServerThread&, bool& accept, bool&, const TEMailAddressItem&, std::string&) {
        accept = true;
    };
    SMTPServer1.OnReceiveRaw = [this](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList& rcpt,
                                      std::string&) {
        ReceivedMessage summary = ReadReceivedMessage(data.Path, rcpt);
        QMetaObject::invokeMethod(
            this, [this, summary = std::move(summary)] { showReceivedMessage(summary); }, Qt::QueuedConnection);
    };
}

TSMTPServerForm::~TSMTPServerForm()
{
    // No connection thread may outlive the window its hooks post to.
    try {
        SMTPServer1.SetActive(false);
    } catch (const std::exception&) {
        // The server's own destructor waits for the rest of its threads.
    }
}

void TSMTPServerForm::showReceivedMessage(const ReceivedMessage& message)
{
    ToLabel->setText(QString::fromStdString(message.to));
    SubjectLabel->setText(QString::fromStdString(message.subject));
    QStringList lines;
    for (const auto& line : message.body)
        lines << QString::fromStdString(line);
    Memo1->setPlainText(lines.join('\n'));
    emit messageShown();
}

} // namespace quillet
