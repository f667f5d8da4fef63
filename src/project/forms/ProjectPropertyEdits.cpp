#include "ProjectPropertyEdits.h"

#include "widgets/TextBoundary.h"

#include <QFormLayout>
#include <QLineEdit>

namespace quillet {

void ProjectPropertyEdits::createEdits(QFormLayout* form)
{
    auto add = [form](const char* label, const char* name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(name);
        form->addRow(QString::fromLatin1(label), edit);
        return edit;
    };
    NameEdit = add("Project name", "NameEdit");
    DescriptionEdit = add("Description", "DescriptionEdit");
    AutorNameEdit = add("Author name", "AutorNameEdit");
    AutorWEBEdit = add("Author WEB", "AutorWEBEdit");
    AutorEmailEdit = add("Author e-mail", "AutorEmailEdit");
}

void ProjectPropertyEdits::fill(const ProjectProperties& properties) const
{
    NameEdit->setText(toQt(properties.Name.str()));
    DescriptionEdit->setText(toQt(properties.Description.str()));
    AutorNameEdit->setText(toQt(properties.AutorName.str()));
    AutorWEBEdit->setText(toQt(properties.AutorWEB.str()));
    AutorEmailEdit->setText(toQt(properties.AutorEmail.str()));
}

void ProjectPropertyEdits::store(ProjectProperties& properties) const
{
    // Convert all five first, so a text that cannot be stored changes nothing.
    const std::string name = fromQt(NameEdit->text());
    const std::string description = fromQt(DescriptionEdit->text());
    const std::string author = fromQt(AutorNameEdit->text());
    const std::string web = fromQt(AutorWEBEdit->text());
    const std::string email = fromQt(AutorEmailEdit->text());
    properties.Name.set(name);
    properties.Description.set(description);
    properties.AutorName.set(author);
    properties.AutorWEB.set(web);
    properties.AutorEmail.set(email);
}

} // namespace quillet
