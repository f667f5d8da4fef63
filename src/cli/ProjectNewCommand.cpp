// quillet project new FILE: creates a project file with the five properties and one group
// named after the project, as the desktop program's New project command does.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"

#include "project/CodePage.h"

#include <QFileInfo>

namespace quillet::cli {

class ProjectNewCommand : public Command {
public:
    ProjectNewCommand() : Command("project new", "Create a project file") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file to create.");
        parser.addOption({"name", "Project name (default: the file's name).", "N"});
        parser.addOption({"description", "Description.", "D"});
        parser.addOption({"author-name", "Author's name.", "A"});
        parser.addOption({"author-web", "Author's web address.", "W"});
        parser.addOption({"author-email", "Author's e-mail address.", "E"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        // Every text is taken before anything is written, so a bad one leaves no file behind.
        const std::string name =
            parser.isSet("name") ? optionText(parser, "name") : argumentText(QFileInfo(file).fileName(), "FILE");
        Project project;
        project.properties.Name.set(name);
        project.properties.Description.set(optionText(parser, "description"));
        project.properties.AutorName.set(optionText(parser, "author-name"));
        project.properties.AutorWEB.set(optionText(parser, "author-web"));
        project.properties.AutorEmail.set(optionText(parser, "author-email"));
        project.groups.push_back({project.properties.Name.str(), ""});
        project.path = filePath(file);
        // An existing file is never replaced by a new, empty project.
        if (QFileInfo::exists(file) || QFileInfo(file).isSymLink())
            throw std::runtime_error(texts::fill(texts::kFileExists, utf8ToCodePageForMessage(file.toStdString())));
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ProjectNewCommand);

} // namespace quillet::cli
