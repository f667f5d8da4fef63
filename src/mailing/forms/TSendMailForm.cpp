#include "TSendMailForm.h"

#include "MailingWindowTexts.h"
#include "RunOptionsPage.h"
#include "widgets/Icons.h"
#include "widgets/UserInterface.h"

#include <QAction>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include <limits>

namespace quillet {

namespace {

// The desktop theme's icon when there is one, else the program's own picture of the command.
// The toolbar shows icons only, so the tool tip names the command as well as its hint.
QAction* makeAction(QWidget* owner, const char* name, const QString& caption, const QString& hint,
                    const char* themeName)
{
    auto* action = new QAction(QIcon::fromTheme(themeName, paintActionIcon(name)), caption, owner);
    action->setObjectName(name);
    action->setToolTip(hint == caption ? caption : caption + ": " + hint);
    action->setStatusTip(hint);
    return action;
}

// The entries of the recipient list text ("a@x.org;b@x.org;").
int recipientEntries(const QString& list)
{
    return int(list.split(';', Qt::SkipEmptyParts).size());
}

} // namespace

TSendMailForm::TSendMailForm(UserInterface& ui, TSMTPServer* builtinServer, QWidget* parent)
    : QDialog(parent), MailingRun(SMTP, MsgSend, builtinServer), ui_(ui)
{
    MsgSend.ContentType = "text/plain";

    setObjectName("TSendMailForm");
    setWindowTitle(texts::kSendMailCaption);
    setSizeGripEnabled(true);

    InsertFromTemplateAction = makeAction(this, "InsertFromTemplateAction", "Insert from template",
                                          "Insert data from template", "insert-text");
    SendMailAction = makeAction(this, "SendMailAction", "Send", "Send personalized e-mail", "mail-send");
    UndoAction = makeAction(this, "UndoAction", "Undo", "Undo last action", "edit-undo");
    CutAction = makeAction(this, "CutAction", "Cut", "Cut to clipboard", "edit-cut");
    CopyAction = makeAction(this, "CopyAction", "Copy", "Copy to clipboard", "edit-copy");
    PasteAction = makeAction(this, "PasteAction", "Paste", "Paste from clipboard", "edit-paste");
    AttachAction = makeAction(this, "AttachAction", "Attach", "Attach file to mail", "mail-attachment");
    OptionsAction = makeAction(this, "OptionsAction", "Options", "Options", "preferences-system");
    CloseAction = makeAction(this, "CloseAction", "Close", "Close", "window-close");

    ToolBar = new QToolBar;
    ToolBar->setObjectName("ToolBar");
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->addAction(InsertFromTemplateAction);
    ToolBar->addAction(SendMailAction);
    ToolBar->addSeparator();
    ToolBar->addAction(UndoAction);
    ToolBar->addSeparator();
    ToolBar->addAction(CutAction);
    ToolBar->addAction(CopyAction);
    ToolBar->addAction(PasteAction);
    ToolBar->addSeparator();
    ToolBar->addAction(AttachAction);
    ToolBar->addAction(OptionsAction);
    ToolBar->addSeparator();
    ToolBar->addAction(CloseAction);

    // Page "E-mail": recipient list text, subject and body.
    EMailPage = new QWidget;
    CommandPanel = new QWidget;
    CommandPanel->setObjectName("CommandPanel");
    BccEdit = new QLineEdit;
    BccEdit->setObjectName("BccEdit");
    // A list of thousands of addresses is longer than a line edit's usual 32,767 characters.
    BccEdit->setMaxLength(std::numeric_limits<int>::max());
    SubEdit = new QLineEdit;
    SubEdit->setObjectName("SubEdit");
    // A long list is one line: the number of recipients stands beside it.
    RecipientCountLabel = new QLabel;
    RecipientCountLabel->setObjectName("RecipientCountLabel");
    connect(BccEdit, &QLineEdit::textChanged, this,
            [this](const QString& list) { showRecipientCount(std::size_t(recipientEntries(list))); });
    showRecipientCount(0);
    auto* recipientRow = new QHBoxLayout;
    recipientRow->addWidget(BccEdit, 1);
    recipientRow->addWidget(RecipientCountLabel);
    auto* fields = new QFormLayout(CommandPanel);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->addRow("Recipient list:", recipientRow);
    fields->addRow("Subject:", SubEdit);
    TextEdit = new QPlainTextEdit;
    TextEdit->setObjectName("TextEdit");
    TextEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* mailLayout = new QVBoxLayout(EMailPage);
    mailLayout->addWidget(CommandPanel);
    mailLayout->addWidget(TextEdit, 1);

    // Page "Attachment": the buttons left of the list.
    AttachmentPage = new QWidget;
    AttachBtn = new QPushButton("Attach");
    DeleteAttachBtn = new QPushButton("Delete");
    ClearBtn = new QPushButton("Clear");
    AttachBtn->setObjectName("AttachBtn");
    DeleteAttachBtn->setObjectName("DeleteAttachBtn");
    ClearBtn->setObjectName("ClearBtn");
    for (QPushButton* b : {AttachBtn, DeleteAttachBtn, ClearBtn})
        b->setAutoDefault(false);
    AttachmentListBox = new QListWidget;
    AttachmentListBox->setObjectName("AttachmentListBox");
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(AttachBtn);
    buttonColumn->addWidget(DeleteAttachBtn);
    buttonColumn->addWidget(ClearBtn);
    buttonColumn->addStretch();
    auto* attachLayout = new QHBoxLayout(AttachmentPage);
    attachLayout->addLayout(buttonColumn);
    attachLayout->addWidget(AttachmentListBox, 1);

    // Page "HTML": the source on the left, its rendering on the right.
    HtmlPage = new QWidget;
    HtmlEdit = new QPlainTextEdit;
    HtmlEdit->setObjectName("HtmlEdit");
    HtmlEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    HtmlPreview = new QTextBrowser;
    HtmlPreview->setObjectName("HtmlPreview");
    HtmlPreview->setOpenLinks(false);
    MakePlainBtn = new QPushButton(texts::kMakePlainText);
    MakePlainBtn->setObjectName("MakePlainBtn");
    MakePlainBtn->setAutoDefault(false);
    auto* htmlSplitter = new QSplitter(Qt::Horizontal);
    htmlSplitter->addWidget(HtmlEdit);
    htmlSplitter->addWidget(HtmlPreview);
    auto* htmlButtons = new QHBoxLayout;
    htmlButtons->addWidget(MakePlainBtn);
    htmlButtons->addStretch();
    auto* htmlLayout = new QVBoxLayout(HtmlPage);
    htmlLayout->addWidget(htmlSplitter, 1);
    htmlLayout->addLayout(htmlButtons);
    connect(HtmlEdit, &QPlainTextEdit::textChanged, this, [this] { HtmlPreview->setHtml(HtmlEdit->toPlainText()); });

    // Page "Headers".
    HeadersPage = new QWidget;
    UnsubscribeUrlEdit = new QLineEdit;
    UnsubscribeUrlEdit->setObjectName("UnsubscribeUrlEdit");
    UnsubscribeUrlEdit->setPlaceholderText("https://example.org/unsubscribe?e=%ADDRESS%");
    UnsubscribeMailtoEdit = new QLineEdit;
    UnsubscribeMailtoEdit->setObjectName("UnsubscribeMailtoEdit");
    UnsubscribeMailtoEdit->setPlaceholderText("unsubscribe@example.org");
    HeadersEdit = new QPlainTextEdit;
    HeadersEdit->setObjectName("HeadersEdit");
    HeadersEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* headerFields = new QFormLayout;
    headerFields->addRow(texts::kUnsubscribeUrlLabel, UnsubscribeUrlEdit);
    headerFields->addRow(texts::kUnsubscribeMailtoLabel, UnsubscribeMailtoEdit);
    auto* headersHint = new QLabel(texts::kHeadersHint);
    headersHint->setWordWrap(true);
    auto* headersLayout = new QVBoxLayout(HeadersPage);
    headersLayout->addLayout(headerFields);
    headersLayout->addWidget(headersHint);
    headersLayout->addWidget(HeadersEdit, 1);

    PageControl = new QTabWidget;
    PageControl->setObjectName("PageControl");
    PageControl->addTab(EMailPage, "E-mail");
    PageControl->addTab(AttachmentPage, "Attachment");
    PageControl->addTab(HtmlPage, texts::kHtmlPage);
    PageControl->addTab(HeadersPage, texts::kHeadersPage);
    OptionsPage = new RunOptionsPage;
    PageControl->addTab(OptionsPage, texts::kOptionsPage);

    // One personalised message, before the run.
    PreviewBtn = new QPushButton(texts::kPreviewButton);
    PreviewBtn->setObjectName("PreviewBtn");
    SendTestBtn = new QPushButton(texts::kSendTestButton);
    SendTestBtn->setObjectName("SendTestBtn");
    auto* commandRow = new QHBoxLayout;
    commandRow->addStretch();
    for (QPushButton* b : {PreviewBtn, SendTestBtn}) {
        b->setAutoDefault(false);
        commandRow->addWidget(b);
    }

    Status = new QLabel(" Status");
    Status->setObjectName("Status");
    Status->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(ToolBar);
    layout->addWidget(PageControl, 1);
    layout->addLayout(commandRow);
    layout->addWidget(Status);
    resize(640, 460);

    // Undo, cut, copy and paste act on the body only.
    connect(UndoAction, &QAction::triggered, TextEdit, &QPlainTextEdit::undo);
    connect(CutAction, &QAction::triggered, TextEdit, &QPlainTextEdit::cut);
    connect(CopyAction, &QAction::triggered, TextEdit, &QPlainTextEdit::copy);
    connect(PasteAction, &QAction::triggered, TextEdit, &QPlainTextEdit::paste);
    connect(AttachAction, &QAction::triggered, this, [this] { AttachActionExecute(); });
    connect(AttachBtn, &QPushButton::clicked, AttachAction, &QAction::trigger);
    connect(DeleteAttachBtn, &QPushButton::clicked, this, [this] { DeleteAttachBtnClick(); });
    connect(ClearBtn, &QPushButton::clicked, this, [this] { ClearBtnClick(); });
    connect(CloseAction, &QAction::triggered, this, &QDialog::reject);
    connect(InsertFromTemplateAction, &QAction::triggered, this, [this] {
        if (onInsertFromTemplate)
            onInsertFromTemplate();
    });
    connect(SendMailAction, &QAction::triggered, this, [this] {
        if (onSend)
            onSend();
    });
    connect(OptionsPage->RunsButton, &QPushButton::clicked, this, [this] {
        if (onRuns)
            onRuns();
    });
    connect(OptionsAction, &QAction::triggered, this, [this] {
        if (onOptions)
            onOptions();
    });
    connect(MakePlainBtn, &QPushButton::clicked, this, [this] {
        if (onMakePlainText)
            onMakePlainText();
    });
    connect(PreviewBtn, &QPushButton::clicked, this, [this] {
        if (onPreview)
            onPreview();
    });
    connect(SendTestBtn, &QPushButton::clicked, this, [this] {
        if (onSendTest)
            onSendTest();
    });
}

void TSendMailForm::showRecipientCount(std::size_t count)
{
    RecipientCountLabel->setText(count == 1 ? QString(texts::kOneRecipient)
                                            : QString(texts::kRecipientCount).arg(count));
}

void TSendMailForm::showRecipientList(const QString& list, std::size_t count)
{
    BccEdit->setText(list);
    showRecipientCount(count);
}

int TSendMailForm::ShowModal()
{
    PageControl->setCurrentWidget(EMailPage);
    BccEdit->setCursorPosition(0); // the list shows from its first address
    SubEdit->setFocus();
    MailingRun.ResetAccountIndex();
    if (onShowing)
        onShowing();
    return ui_.showModal(*this);
}

void TSendMailForm::setRunInProgress(bool running)
{
    runInProgress_ = running;
    for (QAction* action : {InsertFromTemplateAction, SendMailAction, AttachAction, OptionsAction, CloseAction})
        action->setEnabled(!running);
    for (QPushButton* button : {AttachBtn, DeleteAttachBtn, ClearBtn, MakePlainBtn, PreviewBtn, SendTestBtn})
        button->setEnabled(!running);
    // The run under way has taken its options; another run cannot start from the Runs window.
    OptionsPage->setEnabled(!running);
    if (!running && closeAfterRun_) {
        closeAfterRun_ = false;
        QDialog::reject();
    }
}

void TSendMailForm::reject()
{
    // Closing the window in the middle of a run would leave the run without its window.
    if (runInProgress_)
        return;
    QDialog::reject();
}

void TSendMailForm::closeEvent(QCloseEvent* event)
{
    if (!runInProgress_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    closeAfterRun_ = true;
    if (onCloseDuringRun)
        onCloseDuringRun();
}

QStringList TSendMailForm::bodyLines() const
{
    const QString text = TextEdit->toPlainText();
    if (text.isEmpty())
        return {};
    return text.split('\n');
}

void TSendMailForm::setBodyLines(const QStringList& lines)
{
    TextEdit->setPlainText(lines.join('\n'));
}

QStringList TSendMailForm::htmlLines() const
{
    const QString text = HtmlEdit->toPlainText();
    if (text.trimmed().isEmpty())
        return {};
    return text.split('\n');
}

void TSendMailForm::setHtmlLines(const QStringList& lines)
{
    HtmlEdit->setPlainText(lines.join('\n'));
}

QStringList TSendMailForm::headerLines() const
{
    QStringList lines;
    for (const QString& line : HeadersEdit->toPlainText().split('\n'))
        if (!line.trimmed().isEmpty())
            lines << line;
    return lines;
}

QStringList TSendMailForm::attachmentPaths() const
{
    QStringList paths;
    for (int i = 0; i < AttachmentListBox->count(); ++i)
        paths << AttachmentListBox->item(i)->text();
    return paths;
}

void TSendMailForm::AttachActionExecute()
{
    FileDialogOptions options;
    options.title = "Open";
    const QStringList files = ui_.openFileNames(this, options);
    if (files.isEmpty())
        return;
    PageControl->setCurrentWidget(AttachmentPage);
    AttachmentListBox->addItems(files);
}

void TSendMailForm::DeleteAttachBtnClick()
{
    QListWidgetItem* item = AttachmentListBox->currentItem();
    if (!item || !item->isSelected()) {
        ui_.messageBox(this, texts::kSelectAttachment, texts::kErrorBangCaption, MessageIcon::Information,
                       MessageButtons::Ok);
        return;
    }
    delete AttachmentListBox->takeItem(AttachmentListBox->row(item));
}

void TSendMailForm::ClearBtnClick()
{
    AttachmentListBox->clear();
}

} // namespace quillet
