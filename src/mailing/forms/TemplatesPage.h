// The page "Messages templates" of the main window: its list TemplateListView (built here, placed
// by the main window; one row per template file, filled
// by LoadTemplateList at start-up and after every Edit) and the actions New, Edit and Delete.
// Templates belong to the program folder, not to the project: nothing here touches the project
// or its changed flag.
#pragma once

#include "TSelectTemplateForm.h"
#include "mailing/TemplateStore.h"

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace quillet {

class TMessageTemplateEditorForm;
class Shell;

class TemplatesPage {
public:
    TemplatesPage(Shell& shell, TMessageTemplateEditorForm& editor);
    // The list stays with the main window a little longer; it no longer calls the page.
    ~TemplatesPage();

    QWidget* view() const;
    QTreeWidget* list() const { return TemplateListView; }

    // The template folder of the program folder.
    TemplateStore store() const;

    // Fills the list from the folder; rows already shown keep their order, new ones follow. The
    // row named selectName (if any) is selected.
    void LoadTemplateList(const QString& selectName = {});
    void NewTemplateActionExecute();
    void EditTemplateActionExecute();
    void DeltemplateActionExecute();
    void TemplateListViewSelectItem();

    // The rows as they stand, for the select dialog of the send window.
    std::vector<TemplateRowText> rows() const;

private:
    QTreeWidgetItem* selectedRow() const;
    QTreeWidgetItem* appendRow(const QString& name, const QString& subject);
    MessageTemplate templateFromEditor() const;

    Shell& main_;
    TMessageTemplateEditorForm& editor_;
    QTreeWidget* TemplateListView = nullptr;
};

} // namespace quillet
