// The window "Preview": one recipient's complete personalised message as the receiver's program
// would show it (headers decoded, the plain text, the HTML rendered, the attachments' names) and
// its source, for any recipient of the selection, with "Send test" for the message shown. The
// controller renders the message (MailingRun::RenderMessage) and reads it back
// (ParseReceivedMessage); the window only shows what it is given.
#pragma once

#include "transport/ReceivedMessage.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;

namespace quillet {

class TMessagePreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessagePreviewForm(QWidget* parent = nullptr);

    // The recipients to choose from (their addresses, in run order); the first is chosen. When
    // the run has more (`total`), a last entry that cannot be chosen says how many more.
    void setRecipients(const QStringList& addresses, std::size_t total);
    int chosenRecipient() const;
    // Shows a message: its source (code-page bytes as rendered) and what it says.
    void showMessage(const std::string& source, const ReceivedMessage& message);

    // Another recipient was chosen (its index); "Send test" was pressed.
    std::function<void(int)> onRecipientChosen;
    std::function<void()> onSendTest;

    QComboBox* RecipientBox;
    QPlainTextEdit* HeadersView;
    QLabel* AttachmentsLabel;
    QTabWidget* PageControl;
    QPlainTextEdit* TextView;
    QTextBrowser* HtmlView;
    QPlainTextEdit* SourceView;
    QPushButton* SendTestBtn;
    QPushButton* CloseBtn;

private:
    bool opening_ = false;
};

} // namespace quillet
