#include "TMessageTemplateEditorForm.h"

#include "MailingWindowTexts.h"
#include "widgets/DialogButtons.h"
#include "widgets/FirstField.h"
#include "widgets/UserInterface.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

TMessageTemplateEditorForm::TMessageTemplateEditorForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TMessageTemplateEditorForm");
    setWindowTitle(texts::kTemplateEditorCaption);

    NameEdit = new QLineEdit;
    SubjectEdit = new QLineEdit;
    ReplyToEdit = new QLineEdit;
    MessageEdit = new QPlainTextEdit;
    MessageEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    MessageEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MessageEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MessageEdit->setMinimumSize(420, 220);
    NameEdit->setObjectName("NameEdit");
    SubjectEdit->setObjectName("SubjectEdit");
    ReplyToEdit->setObjectName("ReplyToEdit");
    MessageEdit->setObjectName("MessageEdit");
    HtmlEdit = new QPlainTextEdit;
    HtmlEdit->setObjectName("HtmlEdit");
    HtmlEdit->setMinimumSize(420, 90);
    HtmlEdit->setMaximumHeight(120);

    auto* form = new QFormLayout;
    form->addRow("Name:", NameEdit);
    form->addRow("Subject:", SubjectEdit);
    form->addRow("Reply To:", ReplyToEdit);
    form->addRow("Message:", MessageEdit);
    form->addRow("HTML:", HtmlEdit);

    const DialogButtons buttons = makeOkCancelButtons(*this, CancelOnEnter::Default, [this] { OKButtonClick(); });
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    focusOnShow(*this, NameEdit);
}

QStringList TMessageTemplateEditorForm::messageLines() const
{
    const QString text = MessageEdit->toPlainText();
    if (text.isEmpty())
        return {};
    return text.split('\n');
}

void TMessageTemplateEditorForm::setMessageLines(const QStringList& lines)
{
    MessageEdit->setPlainText(lines.join('\n'));
}

QStringList TMessageTemplateEditorForm::htmlLines() const
{
    const QString text = HtmlEdit->toPlainText();
    if (text.trimmed().isEmpty())
        return {};
    return text.split('\n');
}

void TMessageTemplateEditorForm::setHtmlLines(const QStringList& lines)
{
    HtmlEdit->setPlainText(lines.join('\n'));
}

int TMessageTemplateEditorForm::ShowModal()
{
    return ui_.showModal(*this);
}

void TMessageTemplateEditorForm::OKButtonClick()
{
    if (!editMode && templateExists && templateExists(NameEdit->text())) {
        ui_.messageBox(this, texts::kTemplateExists, texts::kProgramCaption, MessageIcon::Warning, MessageButtons::Ok);
        return;
    }
    accept();
}

} // namespace quillet
