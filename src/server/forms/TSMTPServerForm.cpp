#include "TSMTPServerForm.h"

#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace quillet {

TSMTPServerForm::TSMTPServerForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName("TSMTPServerForm");
    setWindowTitle("Mail Server Status");
    setFixedSize(360, 208);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    Label1 = new QLabel("To:", this);
    Label1->move(48, 8);
    ToLabel = new QLabel(this);
    ToLabel->setObjectName("ToLabel");
    ToLabel->setGeometry(96, 8, 256, 20);
    Label3 = new QLabel("Subject:", this);
    Label3->move(48, 32);
    SubjectLabel = new QLabel(this);
    SubjectLabel->setObjectName("SubjectLabel");
    SubjectLabel->setGeometry(96, 32, 256, 20);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(8, 55, 345, 114);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setReadOnly(true);
    PropertiesButton = new QPushButton("Properties", this);
    PropertiesButton->setGeometry(192, 176, 75, 25);
    HideButton = new QPushButton("Hide", this);
    HideButton->setGeometry(280, 176, 75, 25);
    setTabOrder(HideButton, PropertiesButton);
    setTabOrder(PropertiesButton, Memo1);

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
        ReceivedMessageSummary summary = ReadReceivedMessage(data.Path, rcpt);
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

void TSMTPServerForm::showReceivedMessage(const ReceivedMessageSummary& message)
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
