// Helper of the desktop smoke test and the screenshot: prepares a program folder with a sample
// project remembered as the last used one, and grabs the X screen into a PNG file.
//   app_smoke_driver prepare <program folder> <project file name>
//   app_smoke_driver screenshot <png file> [x y width height]
#include "project/Project.h"
#include "project/ProjectFileWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSettings>

#include <cstdio>
#include <string>

namespace {

quillet::RecipientRecord recipient(const char* email, const char* name, const char* surname, const char* group,
                                   bool enabled = true)
{
    quillet::RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Surname.set(surname);
    r.Group.set(group);
    r.Enabled = enabled ? 1 : 0;
    r.ParamName1.set("CITY");
    r.ParamValue1.set("Oslo");
    return r;
}

int prepare(const QString& folder, const QString& fileName)
{
    quillet::Project project;
    project.properties.Name.set(fileName.toStdString());
    project.properties.Description.set("Sample mailing project");
    project.properties.AutorName.set("Ann Author");
    project.properties.AutorWEB.set("http://www.example.org/");
    project.properties.AutorEmail.set("ann@example.org");
    project.groups = {{"Customers", "People who bought from us"},
                      {"Friends", "Friends and family"},
                      {"Newsletter", "Monthly newsletter readers"}};
    project.recipients = {recipient("zoe.miller@example.com", "Zoe", "Miller", "Customers"),
                          recipient("adam.smith@example.com", "Adam", "Smith", "Customers"),
                          recipient("eva.berg@example.net", "Eva", "Berg", "Customers", false),
                          recipient("li.wang@example.org", "Li", "Wang", "Customers"),
                          recipient("tom@example.com", "Tom", "Hansen", "Friends")};
    project.accounts = {{"smtp.example.com", "ann", "secret", "587", "Ann Author", "ann@example.org", "", "True"},
                        {"mail.example.net", "", "", "25", "Ann", "ann@example.net", "", "False"}};
    const QString path = folder + '/' + fileName;
    quillet::saveProjectFile(project, QFile::encodeName(path).toStdString());
    QSettings settings("Orv", "Quillet");
    settings.setValue("Option/Project Name", path);
    settings.setValue("Option/Width", "820");
    settings.setValue("Option/Heigth", "480");
    settings.sync();
    return 0;
}

int screenshot(const QString& file, const QStringList& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 2;
    QPixmap picture = screen->grabWindow(0);
    if (area.size() == 4)
        picture = picture.copy(area[0].toInt(), area[1].toInt(), area[2].toInt(), area[3].toInt());
    return picture.save(file, "PNG") ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == "prepare")
            return prepare(args[2], args[3]);
        if ((args.size() == 3 || args.size() == 7) && args[1] == "screenshot")
            return screenshot(args[2], args.mid(3));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s prepare <folder> <file name> | screenshot <png>\n", argv[0]);
    return 64;
}
