// The window "Mail Server Status": owner of the built-in mail server. It accepts every sender
// and recipient and shows the most recently received message (recipients, subject, body lines).
// The server's hooks run on its connection threads: they read the received data there and hand
// the summary to the window's thread through a queued call, never touching the window. Hide and
// the close box only hide the window; Properties opens the program options on their page for
// the built-in server.
#pragma once

#include "server/SMTPServer.h"
#include "transport/ReceivedMessage.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class TSMTPServerForm : public QWidget {
    Q_OBJECT
public:
    explicit TSMTPServerForm(QWidget* parent = nullptr);
    ~TSMTPServerForm() override;

    // Bound by the owner: opens the program options on the built-in server's page.
    std::function<void()> onProperties;

    TSMTPServer SMTPServer1;

    QLabel* Image1;
    QLabel* Label1;
    QLabel* ToLabel;
    QLabel* Label3;
    QLabel* SubjectLabel;
    QPlainTextEdit* Memo1;
    QPushButton* PropertiesButton;
    QPushButton* HideButton;

    // Shows a received message in the window (on the window's thread).
    void showReceivedMessage(const ReceivedMessage& message);

signals:
    // Emitted on the window's thread after a received message has been shown.
    void messageShown();
};

} // namespace quillet
