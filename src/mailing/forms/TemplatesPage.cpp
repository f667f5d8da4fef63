#include "TemplatesPage.h"

#include "MailingWindowTexts.h"
#include "TMessageTemplateEditorForm.h"
#include "mailing/MailingTexts.h"
#include "project/ProgramFolder.h"
#include "widgets/Icons.h"
#include "widgets/ListViews.h"
#include "widgets/Shell.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QAction>
#include <QLineEdit>
#include <QTreeWidget>

namespace quillet {

namespace {

QStringList toQtLines(const std::vector<std::string>& lines)
{
    QStringList result;
    for (const auto& line : lines)
        result << toQt(line);
    return result;
}

} // namespace

TemplatesPage::TemplatesPage(Shell& shell, TMessageTemplateEditorForm& editor) : main_(shell), editor_(editor)
{
    TemplateListView = makeList("TemplateListView", {"Message name", "Message Subject"}, false, {150, 0}, 1);
    makePopupMenu(main_, "TemplatePopup", TemplateListView,
                  {ActionId::NewTemplateAction, ActionId::EditTemplateAction, ActionId::DeltemplateAction});
    QObject::connect(TemplateListView, &QTreeWidget::itemSelectionChanged, TemplateListView,
                     [this] { TemplateListViewSelectItem(); });
    // A double-click on a row edits that template.
    QObject::connect(TemplateListView, &QTreeWidget::itemDoubleClicked, TemplateListView,
                     [this] { main_.action(ActionId::EditTemplateAction)->trigger(); });
    editor_.templateExists = [this](const QString& name) { return store().exists(fromQt(name)); };
}

TemplatesPage::~TemplatesPage()
{
    QObject::disconnect(TemplateListView, nullptr, nullptr, nullptr);
}

QWidget* TemplatesPage::view() const
{
    return TemplateListView;
}

TemplateStore TemplatesPage::store() const
{
    return TemplateStore(templatesFolder());
}

QTreeWidgetItem* TemplatesPage::selectedRow() const
{
    const auto selected = TemplateListView->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* TemplatesPage::appendRow(const QString& name, const QString& subject)
{
    auto* item = new QTreeWidgetItem(TemplateListView, QStringList{name, subject});
    item->setIcon(0, stateIcon(StateIcon::Template));
    return item;
}

void TemplatesPage::LoadTemplateList(const QString& selectName)
{
    QTreeWidget* list = TemplateListView;
    // The rows shown keep their places: the folder may list the files in another order once one
    // of them was rewritten.
    std::vector<TemplateRow> shown;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        shown.push_back({fromQt(list->topLevelItem(i)->text(0)), fromQt(list->topLevelItem(i)->text(1))});
    list->setUpdatesEnabled(false);
    list->clear();
    for (const TemplateRow& row : keepShownOrder(shown, store().list())) {
        QTreeWidgetItem* item = appendRow(toQt(row.name), toQt(row.subject));
        if (!selectName.isEmpty() && item->text(0) == selectName && !selectedRow())
            list->setCurrentItem(item);
    }
    list->setUpdatesEnabled(true);
    TemplateListViewSelectItem();
}

MessageTemplate TemplatesPage::templateFromEditor() const
{
    MessageTemplate tmpl;
    tmpl.name = fromQt(editor_.NameEdit->text());
    tmpl.subject = fromQt(editor_.SubjectEdit->text());
    tmpl.replyTo = fromQt(editor_.ReplyToEdit->text());
    for (const QString& line : editor_.messageLines())
        tmpl.body.push_back(fromQt(line));
    for (const QString& line : editor_.htmlLines())
        tmpl.htmlBody.push_back(fromQt(line));
    return tmpl;
}

void TemplatesPage::NewTemplateActionExecute()
{
    editor_.NameEdit->clear();
    editor_.SubjectEdit->clear();
    editor_.ReplyToEdit->clear();
    QStringList body;
    for (std::string_view line : kNewTemplateBody)
        body << QString::fromUtf8(line.data(), qsizetype(line.size()));
    editor_.setMessageLines(body);
    editor_.setHtmlLines({});
    editor_.editMode = false;
    if (editor_.ShowModal() != mrOk)
        return;
    const MessageTemplate tmpl = templateFromEditor();
    store().create(tmpl);
    appendRow(toQt(tmpl.name), toQt(tmpl.subject));
}

void TemplatesPage::EditTemplateActionExecute()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        main_.ui().messageBox(main_.dialogParent(), texts::kNoTemplateSelected, texts::kErrorCaption,
                              MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const MessageTemplate current = store().read(fromQt(row->text(0)));
    editor_.NameEdit->setText(toQt(current.name));
    editor_.SubjectEdit->setText(toQt(current.subject));
    editor_.ReplyToEdit->setText(toQt(current.replyTo));
    editor_.setMessageLines(toQtLines(current.body));
    // The HTML body is edited too, so saving the template keeps it.
    editor_.setHtmlLines(toQtLines(current.htmlBody));
    editor_.editMode = true;
    if (editor_.ShowModal() != mrOk)
        return;
    // A changed name renames the template; its row keeps its place under the new name.
    const MessageTemplate edited = templateFromEditor();
    store().replace(current.name, edited);
    row->setText(0, toQt(edited.name));
    LoadTemplateList(toQt(edited.name));
}

void TemplatesPage::DeltemplateActionExecute()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        main_.ui().messageBox(main_.dialogParent(), texts::kNoTemplateSelected, texts::kErrorCaption,
                              MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const QString question = texts::kDeleteTemplatePrefix + row->text(0) + texts::kDeleteTemplateSuffix;
    if (main_.ui().messageBox(main_.dialogParent(), question, texts::kWarningCaption, MessageIcon::Information,
                              MessageButtons::OkCancel) != mrOk)
        return;
    // The row goes even when its file is already gone.
    store().remove(fromQt(row->text(0)));
    delete row;
    TemplateListViewSelectItem();
}

void TemplatesPage::TemplateListViewSelectItem()
{
    const bool selected = selectedRow() != nullptr;
    main_.action(ActionId::EditTemplateAction)->setEnabled(selected);
    main_.action(ActionId::DeltemplateAction)->setEnabled(selected);
}

std::vector<TemplateRowText> TemplatesPage::rows() const
{
    std::vector<TemplateRowText> result;
    QTreeWidget* list = TemplateListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        result.push_back({item->text(0), item->text(1), item->icon(0)});
    }
    return result;
}

} // namespace quillet
