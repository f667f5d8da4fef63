// Binds the mailing actions of the main window to their handlers and dialogs: the template page,
// the SMTP accounts page, the two actions that open the send window, and the send window's
// template insertion, options, plain text made from the HTML, preview, test message and mailing
// run (with the send method dialog, the pre-flight check and the status window). It also creates the mail server window, which owns the built-in server. The windows bind to the core (templates, accounts, the mailing run);
// none of them repeats it.
#pragma once

#include "mailing/MailDraft.h"
#include "mailing/MailingRun.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <optional>
#include <vector>

namespace quillet {

class AddressBookController;
class ECertificateRejected;
class Shell;
class RunsWindow;
class RunJournal;
class SmtpAccountsPage;
struct MailingRunRequest;
class TMessagePreviewForm;
class TMessageTemplateEditorForm;
class TPreflightForm;
class TPropertiesForm;
class TSMTPPropForm;
class TSMTPServerForm;
class TSelectMailServerForm;
class TSelectTemplateForm;
class TSendMailForm;
class TSendingStatusForm;
class TemplatesPage;

class MailingController : public QObject {
    Q_OBJECT
public:
    // The recipients come from the address book's selection; the default and built-in server
    // settings in force from the edits of Program options.
    MailingController(Shell& shell, AddressBookController& addressBook, TPropertiesForm& settings);
    ~MailingController() override;

    TSendMailForm& sendMailForm() const { return *SendMailForm; }
    TSendingStatusForm& sendingStatusForm() const { return *SendingStatusForm; }
    TSelectMailServerForm& selectMailServerForm() const { return *SelectMailServerForm; }
    TSelectTemplateForm& selectTemplateForm() const { return *SelectTemplateForm; }
    TMessageTemplateEditorForm& templateEditorForm() const { return *MessageTemplateEditorForm; }
    TSMTPPropForm& smtpPropForm() const { return *SMTPPropForm; }
    TSMTPServerForm& smtpServerForm() const { return *SMTPServerForm; }
    TPreflightForm& preflightForm() const { return *PreflightForm; }
    TMessagePreviewForm& previewForm() const { return *PreviewForm; }
    TemplatesPage& templatesPage() const { return *templates_; }
    SmtpAccountsPage& smtpAccountsPage() const { return *accounts_; }

    // "Send e-mail to selected recipients" and "E-mail to all recipient in group".
    void EMailToCurrentActionExecute();
    void EMailToGroupActionExecute();
    // The send window's actions.
    void InsertFromTemplateActionExecute();
    void OptionsActionExecute();
    void SendButtonClick();
    void MakePlainBtnClick();
    // Preview of the selection's messages; Send test of the first one (of the one shown in the
    // preview when pressed there).
    void PreviewBtnClick();
    void SendTestBtnClick();
    // The Options menu's "Mail server": shows the mail server window.
    void ShowMailServerActionExecute();
    // The send window's "Runs": the Runs window, with the given run (or the newest) selected.
    void ShowRunsWindow(const std::string& selectId = {});
    // "Resume" in the Runs window: sends to the run's recipients not yet sent, with the run's
    // message and settings (the password from the program options).
    void ResumeRun(const std::string& id);

    RunsWindow& runsWindow() const { return *runs_; }

private:
    // The send window's recipient list names every selected address up to this many.
    static constexpr std::size_t kRecipientListAddressesShown = 100;
    // The preview's recipient choice lists the selection's first this many: a list box of a
    // million entries takes many seconds to fill and measure and is of no use to scroll.
    static constexpr std::size_t kPreviewRecipientsListed = 1000;
    void openSendWindow();
    // The send method dialog and the default host it needs; nothing when the user cancelled or
    // no host was given (the user was told).
    std::optional<SendRoute> chooseRoute();
    // The message as the send window holds it; a bad added header or URL raises its error.
    MailDraft windowDraft() const;
    // A run request over the selection as the settings in force describe it.
    MailingRunRequest runRequest(SendRoute route, const MailDraft& draft);
    // The pre-flight dialog unless the user chose not to see it; false: do not send.
    bool preflightPassed(const MailingRunRequest& request);
    void sendTest(std::size_t record);
    void showPreviewOf(int index);
    // The send window's added headers and test address, kept in the settings.
    void loadSendWindowSettings();
    void storeSendWindowSettings();
    void bindActions();
    void bindSendWindow();
    // Runs the request with the status window, its journal and the closing box; afterwards the
    // Runs window shows the run when the user asked for it.
    // The run also gets the connection settings and a stop signal for Stop.
    void RunWithStatus(MailingRunRequest& request, RunJournal& journal);
    void ApplyConnectionSettings(MailingRunRequest& request) const;
    // The run was refused a server's certificate: its text, and (when the server sent one) the
    // offer to trust this certificate for this host and port from now on, stored as a pin.
    // Offers to trust the certificate a server was refused for; true when the user did (the pin
    // is stored by then). A server whose pinned certificate changed is asked about plainly.
    bool offerTrust(const ECertificateRejected& error);
    // Runs send-window work inside the program's error handling.
    void guarded(void (MailingController::*handler)());

    Shell& main_;
    AddressBookController& addressBook_;
    TPropertiesForm& settings_;
    TSendMailForm* SendMailForm = nullptr;
    TSMTPPropForm* SMTPPropForm = nullptr;
    TMessageTemplateEditorForm* MessageTemplateEditorForm = nullptr;
    TSelectTemplateForm* SelectTemplateForm = nullptr;
    TSendingStatusForm* SendingStatusForm = nullptr;
    TSMTPServerForm* SMTPServerForm = nullptr;
    TSelectMailServerForm* SelectMailServerForm = nullptr;
    TPreflightForm* PreflightForm = nullptr;
    TMessagePreviewForm* PreviewForm = nullptr;
    // What the preview window shows: the selection's records and the message at its opening.
    std::vector<std::size_t> previewRecords_;
    MailDraft previewDraft_;
    QString testAddress_;
    std::unique_ptr<TemplatesPage> templates_;
    std::unique_ptr<SmtpAccountsPage> accounts_;
    RunsWindow* runs_ = nullptr; // a child of the send window, deleted with it
};

} // namespace quillet
