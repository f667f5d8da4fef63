// Binds the mailing actions of the main window to their handlers and dialogs: the template page,
// the SMTP accounts page, the two actions that open the send window, and the send window's
// template insertion, options and mailing run (with the send method dialog and the status
// window). It also creates the mail server window, which owns the built-in server. The windows bind to the core (templates, accounts, the mailing run);
// none of them repeats it.
#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quillet {

class AddressBookController;
class Shell;
class RunsWindow;
class SmtpAccountsPage;
struct MailingRunRequest;
class TMessageTemplateEditorForm;
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
    TemplatesPage& templatesPage() const { return *templates_; }
    SmtpAccountsPage& smtpAccountsPage() const { return *accounts_; }

    // "Send e-mail to selected recipients" and "E-mail to all recipient in group".
    void EMailToCurrentActionExecute();
    void EMailToGroupActionExecute();
    // The send window's actions.
    void InsertFromTemplateActionExecute();
    void OptionsActionExecute();
    void SendButtonClick();
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
    void openSendWindow();
    void bindActions();
    void bindSendWindow();
    // Runs the request with the status window, its journal and the closing box; afterwards the
    // Runs window shows the run when the user asked for it.
    void RunWithStatus(const MailingRunRequest& request, const std::string& runId);
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
    std::unique_ptr<TemplatesPage> templates_;
    std::unique_ptr<SmtpAccountsPage> accounts_;
    RunsWindow* runs_ = nullptr; // a child of the send window, deleted with it
};

} // namespace quillet
