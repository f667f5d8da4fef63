// The page "Messages templates" of the main window: its list (one row per template file, filled
// by LoadTemplateList at start-up and after every Edit) and the actions New, Edit and Delete.
// Templates belong to the program folder, not to the project: nothing here touches the project
// or its changed flag.
#pragma once

#include "TSelectTemplateForm.h"
#include "mailing/TemplateStore.h"

#include <vector>

class QTreeWidgetItem;

namespace quillet {

class TMessageTemplateEditorForm;
class TOrvQuilletForm;

class TemplatesPage {
public:
    TemplatesPage(TOrvQuilletForm& mainWindow, TMessageTemplateEditorForm& editor);

    // The template folder of the program folder.
    TemplateStore store() const;

    void LoadTemplateList();
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

    TOrvQuilletForm& main_;
    TMessageTemplateEditorForm& editor_;
};

} // namespace quillet
