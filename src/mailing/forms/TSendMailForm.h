// The send window "Send E-mail": the recipient list text, subject, body, HTML body (with its
// rendered preview), attachments and added headers (List-Unsubscribe, the user's own) of the one
// message every chosen recipient receives, with its toolbar and the Preview and Send test
// buttons. It is created once and only
// hidden when closed, so what it holds survives from one opening to the next. The template
// insertion, the mailing run and the options dialog are bound by the mailing controller.
#pragma once

#include "mailing/MailingRun.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <QDialog>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QToolBar;

namespace quillet {

class RunOptionsPage;

class UserInterface;

class TSendMailForm : public QDialog {
    Q_OBJECT
public:
    // builtinServer: the built-in mail server the built-in route switches on (may be null).
    TSendMailForm(UserInterface& ui, TSMTPServer* builtinServer, QWidget* parent = nullptr);

    // Bound by the controller: "Insert from template", "Send", "Options".
    std::function<void()> onInsertFromTemplate;
    std::function<void()> onSend;
    std::function<void()> onOptions;
    // "Runs..." on the Options page: the Runs window.
    std::function<void()> onRuns;
    // Runs when the window is about to be shown (the status window's progress goes to 0).
    std::function<void()> onShowing;
    // "Make the plain text from the HTML", "Preview", "Send test".
    std::function<void()> onMakePlainText;
    std::function<void()> onPreview;
    std::function<void()> onSendTest;
    // Closing the window during a run: the run is stopped (this is called) and the window closes
    // once the run has ended.
    std::function<void()> onCloseDuringRun;

    // Brings the "E-mail" page to front, resets the account index and shows the window modally.
    int ShowModal();
    // The recipient list text and the number of recipients beside it: a long selection's text
    // shows only its first addresses, so the count is the selection's, not the text's entries.
    void showRecipientList(const QString& list, std::size_t count);

    // The one outgoing message and the one client, reused by every message of every run; the
    // message's From is set only by template insertion and kept until the program ends.
    TMailMessage MsgSend;
    TSMTPClient SMTP;
    // The mailing run over them; it holds the account index, reset at every showing.
    quillet::MailingRun MailingRun;

    // While a run is in progress the window's own actions are blocked (a run must not start
    // inside another or change what is being sent); Stop in the status window stays usable.
    void setRunInProgress(bool running);
    bool runInProgress() const { return runInProgress_; }

    // The body as lines, one per line of the editor.
    QStringList bodyLines() const;
    void setBodyLines(const QStringList& lines);
    QStringList attachmentPaths() const;
    // The HTML body as lines (none when the page is empty).
    QStringList htmlLines() const;
    void setHtmlLines(const QStringList& lines);
    // The added headers, one "Name: value" per non-empty line of the editor.
    QStringList headerLines() const;

    QToolBar* ToolBar;
    QAction* InsertFromTemplateAction;
    QAction* SendMailAction;
    QAction* UndoAction;
    QAction* CutAction;
    QAction* CopyAction;
    QAction* PasteAction;
    QAction* AttachAction;
    QAction* OptionsAction;
    QAction* CloseAction;

    QTabWidget* PageControl;
    QWidget* EMailPage;
    QWidget* AttachmentPage;
    // The options of larger runs (failures, retries, rate, reconnecting, disabled recipients).
    RunOptionsPage* OptionsPage;
    QWidget* CommandPanel;
    QLineEdit* BccEdit;
    QLabel* RecipientCountLabel; // "N recipients", beside BccEdit
    QLineEdit* SubEdit;
    QPlainTextEdit* TextEdit;
    QListWidget* AttachmentListBox;
    QPushButton* AttachBtn;
    QPushButton* DeleteAttachBtn;
    QPushButton* ClearBtn;
    // Page "HTML": the source beside its rendering.
    QWidget* HtmlPage;
    QPlainTextEdit* HtmlEdit;
    QTextBrowser* HtmlPreview;
    QPushButton* MakePlainBtn;
    // Page "Headers": List-Unsubscribe and the headers added to every message.
    QWidget* HeadersPage;
    QLineEdit* UnsubscribeUrlEdit;
    QLineEdit* UnsubscribeMailtoEdit;
    QPlainTextEdit* HeadersEdit;
    QPushButton* PreviewBtn;
    QPushButton* SendTestBtn;
    QLabel* Status;

public slots:
    // Escape and Close do nothing during a run (only closing the window stops it).
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showRecipientCount(std::size_t count);
    void AttachActionExecute();
    void DeleteAttachBtnClick();
    void ClearBtnClick();

    UserInterface& ui_;
    bool runInProgress_ = false;
    bool closeAfterRun_ = false;
};

} // namespace quillet
