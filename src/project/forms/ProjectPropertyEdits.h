// The five edits of a project's properties (name, description, author's name, web address and
// e-mail address), shared by the New project and Project properties dialogs.
#pragma once

#include "project/ProjectRecords.h"

class QFormLayout;
class QLineEdit;

namespace quillet {

struct ProjectPropertyEdits {
    QLineEdit* NameEdit = nullptr;
    QLineEdit* DescriptionEdit = nullptr;
    QLineEdit* AutorNameEdit = nullptr;
    QLineEdit* AutorWEBEdit = nullptr;
    QLineEdit* AutorEmailEdit = nullptr;

    // Creates the labelled edits in the form.
    void createEdits(QFormLayout* form);
    // Record to edits and back (code-page texts converted at this boundary). store() throws
    // UnrepresentableText, leaving the record untouched, when a text has no code-page form.
    void fill(const ProjectProperties& properties) const;
    void store(ProjectProperties& properties) const;
};

} // namespace quillet
