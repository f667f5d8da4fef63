#include "MailingController.h"

#include "MailingWindowTexts.h"
#include "SmtpAccountsPage.h"
#include "TMessageTemplateEditorForm.h"
#include "TSMTPPropForm.h"
#include "TSelectMailServerForm.h"
#include "TSelectTemplateForm.h"
#include "TSendMailForm.h"
#include "TSendingStatusForm.h"
#include "TemplatesPage.h"
#include "addressbook/forms/RecipientListModel.h"
#include "app/TOrvQuilletForm.h"
#include "app/TextBoundary.h"
#include "mailing/TemplateInsertion.h"
#include "project/forms/TPropertiesForm.h"
#include "server/forms/TSMTPServerForm.h"
#include "transport/AntiFreeze.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace quillet {

MailingController::MailingController(TOrvQuilletForm& mainWindow) : QObject(nullptr), main_(mainWindow)
{
    UserInterface& ui = main_.ui();
    // The windows, each once, hidden, in start-up order.
    SMTPServerForm = new TSMTPServerForm(&main_);
    SendMailForm = new TSendMailForm(ui, &SMTPServerForm->SMTPServer1, &main_);
    SMTPPropForm = new TSMTPPropForm(ui, &main_);
    MessageTemplateEditorForm = new TMessageTemplateEditorForm(ui, &main_);
    SelectTemplateForm = new TSelectTemplateForm(ui, &main_);
    // A child of the send window, so the modal send window does not block its Stop button.
    SendingStatusForm = new TSendingStatusForm(SendMailForm);
    SelectMailServerForm = new TSelectMailServerForm(ui, &main_);
    main_.setSMTPServerForm(SMTPServerForm);
    SMTPServerForm->onProperties = [this] {
        main_.runGuarded([this] { main_.showProgramOptions(TPropertiesForm::kBuiltInServerPage); });
    };

    templates_ = std::make_unique<TemplatesPage>(main_, *MessageTemplateEditorForm);
    accounts_ = std::make_unique<SmtpAccountsPage>(main_, *SMTPPropForm);

    // Network waits of the mailing run keep the windows alive: pending events are processed
    // between wait slices on this (the user-interface) thread.
    TAntiFreeze::Install([&ui] { ui.processEvents(); });

    bindActions();
    bindSendWindow();
}

MailingController::~MailingController()
{
    TAntiFreeze::Remove();
    main_.setSMTPServerForm(nullptr);
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
    main_.bindAction(main_.action("NewTemplateAction"), [this] { templates_->NewTemplateActionExecute(); });
    main_.bindAction(main_.action("EditTemplateAction"), [this] { templates_->EditTemplateActionExecute(); });
    main_.bindAction(main_.action("DeltemplateAction"), [this] { templates_->DeltemplateActionExecute(); });
    connect(main_.templateListView(), &QTreeWidget::itemSelectionChanged, this,
            [this] { templates_->TemplateListViewSelectItem(); });
    connect(&main_, &TOrvQuilletForm::templateListRequested, this,
            [this] { main_.runGuarded([this] { templates_->LoadTemplateList(); }); });

    main_.bindAction(main_.action("NewSMTPAction"), [this] { accounts_->NewSMTPActionExecute(); });
    main_.bindAction(main_.action("EditSMTPAction"), [this] { accounts_->EditSMTPActionExecute(); });
    main_.bindAction(main_.action("DelSMTPAction"), [this] { accounts_->DelSMTPActionExecute(); });
    main_.bindAction(main_.action("EnableSMTPAction"), [this] { accounts_->EnableSMTPActionExecute(); });
    connect(main_.smtpList(), &QTreeWidget::itemSelectionChanged, this, [this] { accounts_->SMTPListSelectItem(); });

    main_.bindAction(main_.action("EMailToCurrentAction"), [this] { EMailToCurrentActionExecute(); });
    main_.bindAction(main_.action("EMailToGroupAction"), [this] { EMailToGroupActionExecute(); });
    if (QAction* showServer = main_.action("MailServerAction"))
        main_.bindAction(showServer, [this] { ShowMailServerActionExecute(); });
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
    SendMailForm->onShowing = [this] { SendingStatusForm->setProgress(0); };
}

// ---- Recipients -------------------------------------------------------------------------

std::vector<int> MailingController::selectedRecipientRows() const
{
    std::vector<int> rows;
    QTreeView* view = main_.recipientListView();
    if (!view->selectionModel())
        return rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::size_t MailingController::recordIndexOfRow(int row) const
{
    const QAbstractItemModel* model = main_.recipientListView()->model();
    return model->data(model->index(row, 0), RecipientListModel::RecordIndexRole).value<qulonglong>();
}

QString MailingController::addressOfRow(int row) const
{
    const QAbstractItemModel* model = main_.recipientListView()->model();
    return model->data(model->index(row, 0), Qt::DisplayRole).toString();
}

void MailingController::openSendWindow()
{
    QString list;
    for (int row : selectedRecipientRows())
        list += addressOfRow(row) + ";";
    SendMailForm->BccEdit->setText(list);
    SendMailForm->ShowModal();
}

void MailingController::EMailToCurrentActionExecute()
{
    if (selectedRecipientRows().empty()) {
        main_.ui().messageBox(&main_, texts::kNoRecipientSelected, texts::kErrorCaption, MessageIcon::Information,
                              MessageButtons::Ok);
        return;
    }
    openSendWindow();
}

void MailingController::EMailToGroupActionExecute()
{
    main_.recipientListView()->selectAll();
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
}

void MailingController::OptionsActionExecute()
{
    main_.showProgramOptions(TPropertiesForm::kDefaultServerPage);
}

void MailingController::ShowMailServerActionExecute()
{
    SMTPServerForm->show();
    SMTPServerForm->raise();
    SMTPServerForm->activateWindow();
}

void MailingController::SendButtonClick()
{
    UserInterface& ui = main_.ui();
    // 1. The send method.
    if (SelectMailServerForm->ShowModal() != mrOk)
        return;
    SendRoute route = SendRoute::Default;
    if (SelectMailServerForm->AllServersButton->isChecked())
        route = SendRoute::Rotating;
    else if (SelectMailServerForm->BuildInServersButton->isChecked())
        route = SendRoute::Builtin;

    // 2. The default and rotating routes need a default host; the options dialog is offered once.
    TPropertiesForm& settings = main_.propertiesForm();
    if (route != SendRoute::Builtin) {
        settings.selectPage(TPropertiesForm::kDefaultServerPage);
        if (settings.defaultServerHost().isEmpty())
            main_.showProgramOptions(TPropertiesForm::kDefaultServerPage);
        if (settings.defaultServerHost().isEmpty()) {
            ui.messageBox(SendMailForm, texts::kSmtpServerError, texts::kErrorBangCaption, MessageIcon::Information,
                          MessageButtons::Ok);
            return;
        }
    }

    // What is sent: the window's texts as they stand, the rows selected now.
    MailDraft draft;
    draft.subject = fromQt(SendMailForm->SubEdit->text());
    for (const QString& line : SendMailForm->bodyLines())
        draft.body.push_back(fromQt(line));
    for (const QString& path : SendMailForm->attachmentPaths())
        draft.attachments.push_back(QFile::encodeName(path).toStdString());

    MailingRunRequest request;
    request.route = route;
    request.project = &main_.project();
    request.draft = &draft;
    for (int row : selectedRecipientRows())
        request.recipients.push_back(recordIndexOfRow(row));
    request.defaultServer.host = fromQt(settings.SMTPEdit->text());
    request.defaultServer.port = fromQt(settings.PortEdit->text());
    request.defaultServer.userName = fromQt(settings.UserNameEdit->text());
    request.defaultServer.password = fromQt(settings.PasswordEdit->text());
    request.defaultServer.sendFrom = fromQt(settings.SendFromEdit->text());
    request.builtinServer.port = fromQt(settings.BuildInPortEdit->text());
    request.builtinServer.sendFrom = fromQt(settings.BuildInFromEdit->text());

    MailingRunHooks hooks;
    hooks.started = [this, &ui](std::size_t total) {
        SendingStatusForm->startRun(int(total), &main_);
        ui.processEvents();
    };
    hooks.messageSent = [this, &ui](std::size_t sent, std::size_t) {
        SendingStatusForm->setProgress(int(sent));
        ui.processEvents();
    };
    hooks.stopRequested = [this] { return SendingStatusForm->stopRequested(); };
    hooks.completed = [this, &ui](std::size_t) {
        ui.messageBox(SendMailForm, texts::kSendingComplete, texts::kCompleteCaption, MessageIcon::Information,
                      MessageButtons::Ok);
    };

    // The status window closes with the run, also when an error ends it.
    struct RunScope {
        TSendMailForm& form;
        TSendingStatusForm& status;
        RunScope(TSendMailForm& f, TSendingStatusForm& s) : form(f), status(s) { form.setRunInProgress(true); }
        ~RunScope()
        {
            status.setProgress(0);
            status.hide();
            form.setRunInProgress(false);
        }
    } scope(*SendMailForm, *SendingStatusForm);
    SendMailForm->MailingRun.Run(request, hooks);
}

} // namespace quillet
