#include "MailingController.h"

#include "MailingWindowTexts.h"
#include "RunOptionsPage.h"
#include "RunsWindow.h"
#include "SmtpAccountsPage.h"
#include "TMessagePreviewForm.h"
#include "TMessageTemplateEditorForm.h"
#include "TPreflightForm.h"
#include "TSMTPPropForm.h"
#include "TSelectMailServerForm.h"
#include "TSelectTemplateForm.h"
#include "TSendMailForm.h"
#include "TSendingStatusForm.h"
#include "TemplatesPage.h"
#include "addressbook/forms/AddressBookController.h"
#include "addressbook/RecipientRows.h"
#include "mailing/RunJournal.h"
#include "mailing/RunJournalReader.h"
#include "mailing/RunPace.h"
#include "mailing/RunResume.h"
#include "addressbook/AddressValidity.h"
#include "mailing/HtmlPlainText.h"
#include "mailing/MessageHeaders.h"
#include "mailing/PreflightCheck.h"
#include "mailing/TemplateInsertion.h"
#include "project/CodePage.h"
#include "project/Project.h"
#include "project/settings/SettingsStore.h"
#include "project/forms/TPropertiesForm.h"
#include "server/forms/TSMTPServerForm.h"
#include "project/settings/StoredConnection.h"
#include "transport/AntiFreeze.h"
#include "transport/ConnectionSecurity.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"
#include "transport/ReceivedMessage.h"
#include "widgets/Shell.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

#include <exception>

namespace quillet {

MailingController::MailingController(Shell& shell, AddressBookController& addressBook, TPropertiesForm& settings)
    : QObject(nullptr), main_(shell), addressBook_(addressBook), settings_(settings)
{
    UserInterface& ui = main_.ui();
    // The windows, each once, hidden, in start-up order.
    SMTPServerForm = new TSMTPServerForm(main_.dialogParent());
    SendMailForm = new TSendMailForm(ui, &SMTPServerForm->SMTPServer1, main_.dialogParent());
    SMTPPropForm = new TSMTPPropForm(ui, main_.dialogParent());
    MessageTemplateEditorForm = new TMessageTemplateEditorForm(ui, main_.dialogParent());
    SelectTemplateForm = new TSelectTemplateForm(ui, main_.dialogParent());
    // A child of the send window, so the modal send window does not block its Stop button.
    SendingStatusForm = new TSendingStatusForm(SendMailForm);
    SelectMailServerForm = new TSelectMailServerForm(ui, main_.dialogParent());
    PreflightForm = new TPreflightForm(SendMailForm);
    PreviewForm = new TMessagePreviewForm(SendMailForm);
    SMTPServerForm->onProperties = [this] {
        main_.runGuarded([this] { main_.showProgramOptions(TPropertiesForm::kBuiltInServerPage); });
    };

    templates_ = std::make_unique<TemplatesPage>(main_, *MessageTemplateEditorForm);
    accounts_ = std::make_unique<SmtpAccountsPage>(main_, *SMTPPropForm);
    runs_ = new RunsWindow(SendMailForm);
    runs_->OnResume = [this](const std::string& id) { main_.runGuarded([this, id] { ResumeRun(id); }); };

    // Network waits of the mailing run keep the windows alive: pending events are processed
    // between wait slices on this (the user-interface) thread.
    TAntiFreeze::Install([&ui] { ui.processEvents(); });

    bindActions();
    bindSendWindow();
    main_.runGuarded([this] { loadSendWindowSettings(); });
}

MailingController::~MailingController()
{
    TAntiFreeze::Remove();
    // The status window goes with the send window, its parent.
    delete SelectMailServerForm;
    delete SendMailForm;
    delete SelectTemplateForm;
    delete MessageTemplateEditorForm;
    delete SMTPPropForm;
    delete SMTPServerForm;
}

void MailingController::bindActions()
{
    main_.bindAction(ActionId::NewTemplateAction, [this] { templates_->NewTemplateActionExecute(); });
    main_.bindAction(ActionId::EditTemplateAction, [this] { templates_->EditTemplateActionExecute(); });
    main_.bindAction(ActionId::DeltemplateAction, [this] { templates_->DeltemplateActionExecute(); });

    main_.bindAction(ActionId::NewSMTPAction, [this] { accounts_->NewSMTPActionExecute(); });
    main_.bindAction(ActionId::EditSMTPAction, [this] { accounts_->EditSMTPActionExecute(); });
    main_.bindAction(ActionId::DelSMTPAction, [this] { accounts_->DelSMTPActionExecute(); });
    main_.bindAction(ActionId::EnableSMTPAction, [this] { accounts_->EnableSMTPActionExecute(); });

    main_.bindAction(ActionId::EMailToCurrentAction, [this] { EMailToCurrentActionExecute(); });
    main_.bindAction(ActionId::EMailToGroupAction, [this] { EMailToGroupActionExecute(); });
    main_.bindAction(ActionId::MailServerAction, [this] { ShowMailServerActionExecute(); });
    main_.bindAction(ActionId::RunsAction, [this] { ShowRunsWindow(); });
}

void MailingController::guarded(void (MailingController::*handler)())
{
    main_.runGuarded([this, handler] { (this->*handler)(); });
}

void MailingController::bindSendWindow()
{
    SendMailForm->onInsertFromTemplate = [this] { guarded(&MailingController::InsertFromTemplateActionExecute); };
    SendMailForm->onOptions = [this] { guarded(&MailingController::OptionsActionExecute); };
    SendMailForm->onSend = [this] { guarded(&MailingController::SendButtonClick); };
    SendMailForm->onMakePlainText = [this] { guarded(&MailingController::MakePlainBtnClick); };
    SendMailForm->onPreview = [this] { guarded(&MailingController::PreviewBtnClick); };
    SendMailForm->onSendTest = [this] { guarded(&MailingController::SendTestBtnClick); };
    PreviewForm->onRecipientChosen = [this](int index) { main_.runGuarded([this, index] { showPreviewOf(index); }); };
    PreviewForm->onSendTest = [this] {
        main_.runGuarded([this] {
            const int index = PreviewForm->chosenRecipient();
            if (index >= 0 && std::size_t(index) < previewRecords_.size())
                sendTest(previewRecords_[std::size_t(index)]);
        });
    };
    SendMailForm->onRuns = [this] { main_.runGuarded([this] { ShowRunsWindow(); }); };
    SendMailForm->onShowing = [this] {
        SendingStatusForm->setProgress(0);
        SendMailForm->OptionsPage->Load(SettingsStore().readRun());
    };
    // Closing the send window stops its run as Stop does.
    SendMailForm->onCloseDuringRun = [this] { SendingStatusForm->requestStop(); };
}

// ---- Recipients -------------------------------------------------------------------------

void MailingController::openSendWindow()
{
    // A long selection shows its count and its first addresses: one line of a million
    // addresses would take seconds to lay out every time the window opens.
    const std::vector<std::size_t> records = addressBook_.selectedRecords();
    const std::size_t shown = std::min(records.size(), kRecipientListAddressesShown);
    QString list;
    const Project& project = main_.project();
    if (records.size() > kRecipientListAddressesShown)
        list = QString(texts::kLongRecipientListCount).arg(records.size());
    for (std::size_t i = 0; i < shown; ++i)
        list += toQt(project.recipients.at(records[i]).EMail.str()) + ";";
    if (records.size() > kRecipientListAddressesShown)
        list += texts::kLongRecipientListEnd;
    SendMailForm->showRecipientList(list, records.size());
    SendMailForm->ShowModal();
    main_.runGuarded([this] { storeSendWindowSettings(); });
}

void MailingController::loadSendWindowSettings()
{
    const SendWindowSettings stored = SettingsStore().readSendWindow();
    SendMailForm->UnsubscribeUrlEdit->setText(stored.unsubscribeUrl);
    SendMailForm->UnsubscribeMailtoEdit->setText(stored.unsubscribeMailto);
    SendMailForm->HeadersEdit->setPlainText(stored.headers);
    testAddress_ = stored.testAddress;
}

void MailingController::storeSendWindowSettings()
{
    SendWindowSettings send;
    send.unsubscribeUrl = SendMailForm->UnsubscribeUrlEdit->text();
    send.unsubscribeMailto = SendMailForm->UnsubscribeMailtoEdit->text();
    send.headers = SendMailForm->headerLines().join('\n');
    send.testAddress = testAddress_;
    SettingsStore store;
    store.writeSendWindow(send);
    store.sync();
}

void MailingController::EMailToCurrentActionExecute()
{
    if (addressBook_.selectedRows().empty()) {
        main_.ui().messageBox(main_.dialogParent(), texts::kNoRecipientSelected, texts::kErrorCaption,
                              MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    openSendWindow();
}

void MailingController::EMailToGroupActionExecute()
{
    addressBook_.selectAllRecipients();
    openSendWindow();
}

// ---- Send window ------------------------------------------------------------------------

void MailingController::InsertFromTemplateActionExecute()
{
    if (SelectTemplateForm->ShowModal(templates_->rows()) != mrOk || SelectTemplateForm->chosenIndex == -1)
        return;
    const QTreeWidgetItem* row = SelectTemplateForm->TemplateListView->topLevelItem(SelectTemplateForm->chosenIndex);
    if (!row)
        return;
    const MessageTemplate tmpl = templates_->store().read(fromQt(row->text(0)));
    // Subject and body are replaced whole; a reply-to line that cannot be parsed changes nothing.
    MailDraft draft;
    InsertTemplate(tmpl, draft, SendMailForm->MsgSend.From);
    SendMailForm->SubEdit->setText(toQt(draft.subject));
    QStringList body;
    for (const std::string& line : draft.body)
        body << toQt(line);
    SendMailForm->setBodyLines(body);
    // The template's HTML body replaces the page's (none empties it).
    QStringList html;
    for (const std::string& line : draft.htmlBody)
        html << toQt(line);
    SendMailForm->setHtmlLines(html);
}

void MailingController::OptionsActionExecute()
{
    main_.showProgramOptions(TPropertiesForm::kDefaultServerPage);
}

bool MailingController::offerTrust(const ECertificateRejected& error)
{
    const QString text = toQt(error.what()) + toQt(RunFailureText(SendMailForm->MailingRun.LastReport()));
    if (error.fingerprint().empty()) {
        main_.ui().messageBox(SendMailForm, text, texts::kProgramCaption, MessageIcon::Stop, MessageButtons::Ok);
        return false;
    }
    const QString host = toQt(error.host());
    const QString fingerprint = toQt(error.fingerprint());
    SettingsStore store;
    const QString trusted = store.pinnedFingerprint(host, int(error.port()));
    // A server trusted before that now shows another certificate is said plainly, with both
    // fingerprints, and the safe answer is the default.
    const bool changed = !trusted.isEmpty() && trusted != fingerprint;
    const QString question =
        changed ? QString(texts::kCertificateChanged).arg(host).arg(error.port()).arg(trusted, fingerprint)
                : text + "\n\n" + QString(texts::kTrustOffer).arg(host).arg(error.port());
    if (main_.ui().messageBox(SendMailForm, question, texts::kProgramCaption, MessageIcon::Warning,
                              changed ? MessageButtons::YesNoDefaultNo : MessageButtons::YesNo) != mrYes)
        return false;
    store.addPin(host, int(error.port()), fingerprint);
    store.sync();
    return true;
}

void MailingController::ShowMailServerActionExecute()
{
    SMTPServerForm->show();
    SMTPServerForm->raise();
    SMTPServerForm->activateWindow();
}

std::optional<SendRoute> MailingController::chooseRoute()
{
    // 1. The send method.
    if (SelectMailServerForm->ShowModal() != mrOk)
        return std::nullopt;
    SendRoute route = SendRoute::Default;
    if (SelectMailServerForm->AllServersButton->isChecked())
        route = SendRoute::Rotating;
    else if (SelectMailServerForm->BuildInServersButton->isChecked())
        route = SendRoute::Builtin;

    // 2. The default and rotating routes need a default host; the options dialog is offered once.
    TPropertiesForm& settings = settings_;
    if (route != SendRoute::Builtin) {
        settings.selectPage(TPropertiesForm::kDefaultServerPage);
        if (settings.defaultServerHost().isEmpty())
            main_.showProgramOptions(TPropertiesForm::kDefaultServerPage);
        if (settings.defaultServerHost().isEmpty()) {
            main_.ui().messageBox(SendMailForm, texts::kSmtpServerError, texts::kErrorBangCaption,
                                  MessageIcon::Information, MessageButtons::Ok);
            return std::nullopt;
        }
    }
    return route;
}

MailDraft MailingController::windowDraft() const
{
    // What is sent: the window's texts as they stand.
    MailDraft draft;
    draft.subject = fromQt(SendMailForm->SubEdit->text());
    for (const QString& line : SendMailForm->bodyLines())
        draft.body.push_back(fromQt(line));
    for (const QString& line : SendMailForm->htmlLines())
        draft.htmlBody.push_back(fromQt(line));
    for (const QString& path : SendMailForm->attachmentPaths())
        draft.attachments.push_back(QFile::encodeName(path).toStdString());
    draft.unsubscribeUrl = fromQt(SendMailForm->UnsubscribeUrlEdit->text().trimmed());
    if (!draft.unsubscribeUrl.empty())
        CheckUnsubscribeUrl(draft.unsubscribeUrl);
    draft.unsubscribeMailto = fromQt(SendMailForm->UnsubscribeMailtoEdit->text().trimmed());
    for (const QString& line : SendMailForm->headerLines())
        draft.headers.push_back(ParseExtraHeader(fromQt(line)));
    return draft;
}

MailingRunRequest MailingController::runRequest(SendRoute route, const MailDraft& draft)
{
    const TPropertiesForm& settings = settings_;
    MailingRunRequest request;
    request.route = route;
    request.project = &main_.project();
    request.draft = &draft;
    request.recipients = addressBook_.selectedRecords();
    request.defaultServer.host = fromQt(settings.SMTPEdit->text());
    request.defaultServer.port = fromQt(settings.PortEdit->text());
    request.defaultServer.userName = fromQt(settings.UserNameEdit->text());
    request.defaultServer.password = fromQt(settings.PasswordEdit->text());
    // The sender address offered until the user sets one is no one's: no Sender is made of it.
    const QString sender = settings.SendFromEdit->text();
    request.defaultServer.sendFrom = sender == settings_defaults::kFrom ? std::string() : fromQt(sender);
    request.builtinServer.port = fromQt(settings.BuildInPortEdit->text());
    request.builtinServer.sendFrom = fromQt(settings.BuildInFromEdit->text());
    request.fromSender = SettingsStore().readMessageSettings().fromSender;
    // The Options page: retries, pace, disabled recipients.
    SendMailForm->OptionsPage->ApplyTo(request);
    return request;
}

bool MailingController::preflightPassed(const MailingRunRequest& request)
{
    SettingsStore store;
    MessageSettings message = store.readMessageSettings();
    if (message.skipPreflight)
        return true;
    PreflightInput input;
    input.project = request.project;
    input.recipients = &request.recipients;
    input.draft = request.draft;
    input.hasFrom = !SendMailForm->MsgSend.From.Address.empty() || request.fromSender;
    input.skipDisabled = request.delivery.skipDisabled;
    PreflightForm->setFindings(CheckMailing(input));
    const int result = main_.ui().showModal(*PreflightForm);
    if (PreflightForm->DontShowCheck->isChecked()) {
        message.skipPreflight = true;
        store.writeMessageSettings(message);
        store.sync();
        settings_.PreflightCheck->setChecked(false);
    }
    return result == mrOk;
}

void MailingController::MakePlainBtnClick()
{
    UserInterface& ui = main_.ui();
    std::vector<std::string> html;
    for (const QString& line : SendMailForm->htmlLines())
        html.push_back(fromQt(line));
    if (html.empty()) {
        ui.messageBox(SendMailForm, texts::kNoHtml, texts::kErrorBangCaption, MessageIcon::Information,
                      MessageButtons::Ok);
        return;
    }
    if (!SendMailForm->bodyLines().isEmpty() &&
        ui.messageBox(SendMailForm, texts::kReplacePlainText, texts::kProgramCaption, MessageIcon::Question,
                      MessageButtons::YesNo) != mrYes)
        return;
    QStringList body;
    for (const std::string& line : PlainTextFromHtml(html))
        body << toQt(line);
    SendMailForm->setBodyLines(body);
    SendMailForm->PageControl->setCurrentWidget(SendMailForm->EMailPage);
}

void MailingController::PreviewBtnClick()
{
    previewRecords_ = addressBook_.selectedRecords();
    if (previewRecords_.empty()) {
        main_.ui().messageBox(SendMailForm, texts::kNoRecipientSelected, texts::kErrorCaption, MessageIcon::Information,
                              MessageButtons::Ok);
        return;
    }
    previewDraft_ = windowDraft();
    QStringList addresses;
    const std::size_t listed = std::min(previewRecords_.size(), kPreviewRecipientsListed);
    for (std::size_t i = 0; i < listed; ++i)
        addresses << toQt(main_.project().recipients.at(previewRecords_[i]).EMail.str());
    PreviewForm->setRecipients(addresses, previewRecords_.size());
    showPreviewOf(0);
    main_.ui().showModal(*PreviewForm);
}

void MailingController::showPreviewOf(int index)
{
    if (index < 0 || std::size_t(index) >= previewRecords_.size())
        return;
    // As the default route would send it; nothing is connected.
    const MailingRunRequest request = runRequest(SendRoute::Default, previewDraft_);
    const std::string source = SendMailForm->MailingRun.RenderMessage(request, previewRecords_[std::size_t(index)]);
    PreviewForm->showMessage(source, ParseReceivedMessage(source, {}));
}

void MailingController::SendTestBtnClick()
{
    const std::vector<std::size_t> records = addressBook_.selectedRecords();
    if (records.empty()) {
        main_.ui().messageBox(SendMailForm, texts::kNoRecipientSelected, texts::kErrorCaption, MessageIcon::Information,
                              MessageButtons::Ok);
        return;
    }
    sendTest(records.front());
}

void MailingController::sendTest(std::size_t record)
{
    UserInterface& ui = main_.ui();
    QWidget* parent = PreviewForm->isVisible() ? static_cast<QWidget*>(PreviewForm) : SendMailForm;
    QString address = testAddress_;
    const QString prompt = QString(texts::kSendTestPrompt).arg(toQt(main_.project().recipients.at(record).EMail.str()));
    if (!ui.inputBox(parent, texts::kSendTestCaption, prompt, address))
        return;
    address = address.trimmed();
    const std::string target = fromQt(address);
    if (!isValidAddress(target)) {
        ui.messageBox(parent, QString(texts::kBadTestAddress).arg(address), texts::kErrorBangCaption,
                      MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    testAddress_ = address;
    storeSendWindowSettings();
    const MailDraft draft = windowDraft();
    const std::optional<SendRoute> route = chooseRoute();
    if (!route)
        return;
    MailingRunRequest request = runRequest(*route, draft);
    request.recipients = {record};
    request.testAddress = target;
    ApplyConnectionSettings(request);
    request.delivery.skipDisabled = false; // the user chose this recipient's message
    MailingRunHooks hooks;
    hooks.messageSent = [&ui](std::size_t, std::size_t) { ui.processEvents(); };
    // The window's actions are blocked while the message is under way, not while a box tells how
    // it went.
    // A certificate the user trusts when asked lets the message go on at once.
    for (bool sent = false; !sent;) {
        std::exception_ptr failure;
        SendMailForm->setRunInProgress(true);
        try {
            SendMailForm->MailingRun.Run(request, hooks);
        } catch (...) {
            failure = std::current_exception();
        }
        SendMailForm->setRunInProgress(false);
        sent = !failure;
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const ECertificateRejected& error) {
                if (!offerTrust(error))
                    return;
            } catch (const std::exception& error) {
                main_.showException(error, toQt(RunFailureText(SendMailForm->MailingRun.LastReport())));
                return;
            }
            ApplyConnectionSettings(request);
        }
    }
    ui.messageBox(parent, QString(texts::kTestSent).arg(address), texts::kCompleteCaption, MessageIcon::Information,
                  MessageButtons::Ok);
}

void MailingController::SendButtonClick()
{
    const std::optional<SendRoute> route = chooseRoute();
    if (!route)
        return;
    // What is sent: the window's texts as they stand, the rows selected now.
    const MailDraft draft = windowDraft();
    MailingRunRequest request = runRequest(*route, draft);
    // The Options page, remembered for the next time.
    SettingsStore store;
    store.writeRun(SendMailForm->OptionsPage->Settings());
    store.sync();
    if (!preflightPassed(request))
        return;
    storeSendWindowSettings();

    // The run's journal; the group is the one the chosen rows belong to.
    const Project& project = main_.project();
    const std::string group =
        request.recipients.empty() ? std::string() : project.recipients[request.recipients.front()].Group.str();
    RunDescription description = DescribeRun(request, SendMailForm->MsgSend, project.path, group);
    RunJournal journal = RunJournal::Create(description);
    request.recorder = &journal;
    RunWithStatus(request, journal);
}

void MailingController::ApplyConnectionSettings(MailingRunRequest& request) const
{
    // The stored connection settings, with the choices of Program options in force.
    request.connection = storedConnectionSettings(SettingsStore().readSecurity());
    request.connection.security =
        ParseSecurity(fromQt(settings_.connectionSecurity())).value_or(ConnectionSecurity::Auto);
    request.connection.trust.caFile = QFile::encodeName(settings_.trustedCertificatesFile()).toStdString();
}

void MailingController::RunWithStatus(MailingRunRequest& request, RunJournal& journal)
{
    const std::string runId = journal.Id();
    UserInterface& ui = main_.ui();
    ApplyConnectionSettings(request);
    // Stop (and closing the send window) ends even a network wait of the run.
    StopSignal stop;
    request.stop = &stop;
    const RunPace pace(request.rate, RunPace::Clock::now());
    bool openRun = false;
    // A run ended by a certificate the user then trusts goes on too.
    bool resumeRun = false;
    // The status window shows the address of the message under way: the next one of the run.
    auto showNextAddress = [this, &request](std::size_t sent) {
        const bool more = sent < request.recipients.size();
        SendingStatusForm->setCurrentAddress(
            more ? toQt(main_.project().recipients.at(request.recipients[sent]).EMail.str()) : QString());
    };
    MailingRunHooks hooks;
    hooks.started = [this, &ui, showNextAddress](std::size_t total) {
        SendingStatusForm->startRun(int(total), main_.dialogParent());
        showNextAddress(0);
        ui.processEvents();
    };
    hooks.messageSent = [this, &ui, &pace, showNextAddress](std::size_t sent, std::size_t total) {
        SendingStatusForm->setProgress(int(sent));
        SendingStatusForm->setPace(QString::fromStdString(PaceText(pace.At(sent, total, RunPace::Clock::now()))));
        showNextAddress(sent);
        ui.processEvents();
    };
    hooks.waiting = [&ui] { ui.processEvents(); };
    hooks.stopRequested = [this] { return SendingStatusForm->stopRequested(); };
    hooks.completed = [this, &ui, &openRun, &resumeRun](std::size_t) {
        // The always-on-top status window goes first, so the closing box is the one in front.
        SendingStatusForm->finishRun();
        QString text =
            QString(texts::kSendingComplete) + '\n' + toQt(MessagesSentText(SendMailForm->MailingRun.LastReport()));
        // With skips or failures the box also counts them and offers the run.
        const RunCounts& counts = SendMailForm->MailingRun.LastCounts();
        if (counts.Failures() == 0 && counts.skipped == 0) {
            ui.messageBox(SendMailForm, text, texts::kCompleteCaption, MessageIcon::Information, MessageButtons::Ok);
            return;
        }
        text += '\n' + toQt(SkipsAndFailuresText(counts)) + "\n\n";
        if (counts.Failures() == 0) {
            openRun = ui.messageBox(SendMailForm, text + texts::kOpenRunQuestion, texts::kCompleteCaption,
                                    MessageIcon::Information, MessageButtons::YesNo) == mrYes;
            return;
        }
        // A run with failures offers its resume at once (No: the run in the Runs window).
        const int answer = ui.messageBox(SendMailForm, text + texts::kResumeRunQuestion, texts::kCompleteCaption,
                                         MessageIcon::Information, MessageButtons::YesNoCancel);
        resumeRun = answer == mrYes;
        openRun = answer == mrNo;
    };

    {
        // The status window closes with the run, also when an error ends it.
        struct RunScope {
            TSendMailForm& form;
            TSendingStatusForm& status;
            RunsWindow& runs;
            RunScope(TSendMailForm& f, TSendingStatusForm& s, RunsWindow& r, StopSignal& stop)
                : form(f), status(s), runs(r)
            {
                status.onStop = [&stop] { stop.Request(); };
                form.setRunInProgress(true);
                runs.setRunInProgress(true);
            }
            ~RunScope()
            {
                status.onStop = nullptr;
                status.setProgress(0);
                status.hide();
                form.setRunInProgress(false);
                runs.setRunInProgress(false);
            }
        } scope(*SendMailForm, *SendingStatusForm, *runs_, stop);
        try {
            SendMailForm->MailingRun.Run(request, hooks);
        } catch (const ECertificateRejected& error) {
            SendingStatusForm->finishRun();
            resumeRun = offerTrust(error);
        } catch (const std::exception& error) {
            // The error's own text, then where it happened and what the run had done.
            SendingStatusForm->finishRun();
            main_.showException(error, toQt(RunFailureText(SendMailForm->MailingRun.LastReport())));
        }
    }
    // The session lets go of the run's journal before the run is shown or resumed, so neither
    // finds it still in progress.
    journal.Close();
    request.recorder = nullptr;
    // The run asked for in the closing box, once the run is over (Resume offered again).
    if (openRun)
        ShowRunsWindow(runId);
    else if (resumeRun)
        ResumeRun(runId);
}

namespace {

// The most addresses a question about a resume names; the rest are counted.
constexpr std::size_t kAddressesNamed = 10;

// "\n  a@x.org" for each of the first addresses, then "\n  ... and N more".
QString addressLines(const std::vector<std::string>& addresses)
{
    QString lines;
    for (std::size_t k = 0; k < addresses.size() && k < kAddressesNamed; ++k)
        lines += "\n  " + toQt(addresses[k]);
    if (addresses.size() > kAddressesNamed)
        lines += "\n  " + QString(texts::kMoreAddresses).arg(addresses.size() - kAddressesNamed);
    return lines;
}

} // namespace

void MailingController::ShowRunsWindow(const std::string& selectId)
{
    runs_->Refresh(selectId);
    // After a resume started in it, the window is open already and only shows the run anew.
    if (!runs_->isVisible())
        main_.ui().showModal(*runs_);
}

void MailingController::ResumeRun(const std::string& id)
{
    UserInterface& ui = main_.ui();
    const RunRecord run = ReadRunJournal(id);
    const RunDescription& d = run.description;
    const Project& project = main_.project();
    if (d.projectPath != project.path) {
        ui.messageBox(runs_, QString(texts::kResumeOtherProject).arg(toQt(d.projectPath)), texts::kErrorCaption,
                      MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    // The journal's texts are those of the code page the run was made under.
    if (!d.codePage.empty() && d.codePage != codePageName()) {
        ui.messageBox(runs_, QString(texts::kResumeOtherCodePage).arg(QString::fromStdString(d.codePage)),
                      texts::kErrorCaption, MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const std::vector<std::size_t> groupRows = sortedRecipientRows(project, d.group);
    ResumePlan plan = PlanResume(run, project, groupRows, false);
    // Recipients no longer in the group and those whose outcome is unknown are named first; the
    // unknown ones are sent to again only when the user says so.
    if (!plan.unknown.empty() || (!plan.removed.empty() && !plan.rows.empty())) {
        QString text;
        if (!plan.removed.empty())
            text += QString(texts::kResumeRemoved).arg(plan.removed.size()) + addressLines(plan.removed) + "\n\n";
        if (!plan.unknown.empty()) {
            text += QString(texts::kResumeUnknown).arg(plan.unknown.size()) + addressLines(plan.unknown) + "\n\n" +
                    texts::kResumeUnknownQuestion;
            const int answer =
                ui.messageBox(runs_, text, texts::kResumeCaption, MessageIcon::Question, MessageButtons::YesNoCancel);
            if (answer == mrCancel)
                return;
            if (answer == mrYes)
                plan = PlanResume(run, project, groupRows, true);
        } else {
            text += QString(texts::kResumeRemovedGoOn).arg(plan.rows.size());
            if (ui.messageBox(runs_, text, texts::kResumeCaption, MessageIcon::Question, MessageButtons::OkCancel) !=
                mrOk)
                return;
        }
    }
    if (plan.rows.empty()) {
        ui.messageBox(runs_, texts::kNothingToResume, texts::kCompleteCaption, MessageIcon::Information,
                      MessageButtons::Ok);
        return;
    }
    // The run's message and settings; the password of the program options when the journal's
    // server is the default server of the options (a journal holds none).
    MailDraft draft = d.draft;
    SendMailForm->MsgSend.From.SetText(d.from);
    MailingRunRequest request;
    request.route = RouteFromName(d.route).value_or(SendRoute::Default);
    request.project = &project;
    request.draft = &draft;
    request.recipients = plan.rows;
    request.positions = plan.positions;
    TPropertiesForm& settings = settings_;
    if (!d.servers.empty()) {
        const JournalServer& server = d.servers.front();
        request.defaultServer = {server.host, server.port, server.user, std::string(), server.sender};
        if (fromQt(settings.SMTPEdit->text()) == server.host && fromQt(settings.UserNameEdit->text()) == server.user)
            request.defaultServer.password = fromQt(settings.PasswordEdit->text());
    }
    request.builtinServer = {d.builtinPort, d.builtinSender};
    request.fromSender = d.fromSender;
    request.delivery = d.options;
    request.rate = ParseSendRate(d.rate).value_or(SendRate{});
    RunJournal journal = RunJournal::Resume(id, d);
    request.recorder = &journal;
    RunWithStatus(request, journal);
    runs_->Refresh(id);
}

} // namespace quillet
