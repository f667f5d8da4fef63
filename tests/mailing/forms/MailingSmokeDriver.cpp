// Helper of the mailing smoke test: prepares a program folder with a small project remembered as
// the last used one, and grabs the X screen into a PNG file.
//   mailing_smoke_driver prepare <program folder> <project file name>
//   mailing_smoke_driver screenshot <png file>
#include "project/Project.h"
#include "project/ProjectFileWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSettings>

#include <cstdio>
#include <exception>

namespace {

int prepare(const QString& folder, const QString& fileName)
{
    quillet::Project project;
    project.properties.Name.set("Smoke mailing");
    project.properties.AutorName.set("Ann Author");
    project.groups = {{"Readers", "Three readers"}};
    for (const char* email : {"ann@example.org", "bob@example.org", "cid@example.org"}) {
        quillet::RecipientRecord r;
        r.EMail.set(email);
        r.Name.set(std::string(email).substr(0, 3));
        r.Group.set("Readers");
        project.recipients.push_back(r);
    }
    const QString path = folder + '/' + fileName;
    quillet::saveProjectFile(project, QFile::encodeName(path).toStdString());
    QSettings settings("Orv", "Quillet");
    settings.setValue("Option/Project Name", path);
    settings.setValue("Option/Width", "820");
    settings.setValue("Option/Heigth", "480");
    settings.sync();
    return 0;
}

int screenshot(const QString& file)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 2;
    return screen->grabWindow(0).save(file, "PNG") ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == "prepare")
            return prepare(args[2], args[3]);
        if (args.size() == 3 && args[1] == "screenshot")
            return screenshot(args[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: mailing_smoke_driver prepare FOLDER FILE | screenshot FILE\n");
    return 2;
}
