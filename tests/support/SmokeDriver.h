// The shared part of the helper programs of the smoke tests, which run beside the real desktop
// program under Xvfb:
//   <driver> prepare <program folder> <project file name>
//       saves the driver's sample project there and remembers it as the last used project;
//   <driver> screenshot <png file> [x y width height]
//       grabs the X screen (or the given area of it) into a PNG file.
#pragma once

#include "project/Project.h"
#include "project/ProjectFileWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSettings>

#include <cstdio>
#include <exception>
#include <functional>

namespace quillet::test {

inline int rememberSampleProject(const Project& project, const QString& folder, const QString& fileName)
{
    const QString path = folder + '/' + fileName;
    saveProjectFile(project, QFile::encodeName(path).toStdString());
    QSettings settings("Orv", "Quillet");
    settings.setValue("Option/Project Name", path);
    settings.setValue("Option/Width", "820");
    settings.setValue("Option/Heigth", "480");
    settings.sync();
    return 0;
}

inline int grabScreen(const QString& file, const QStringList& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 2;
    QPixmap picture = screen->grabWindow(0);
    if (area.size() == 4)
        picture = picture.copy(area[0].toInt(), area[1].toInt(), area[2].toInt(), area[3].toInt());
    return picture.save(file, "PNG") ? 0 : 3;
}

// The driver's main: sampleProject builds the project saved by "prepare" for a file name.
inline int smokeDriverMain(int argc, char** argv, const std::function<Project(const QString& fileName)>& sampleProject)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == "prepare")
            return rememberSampleProject(sampleProject(args[3]), args[2], args[3]);
        if ((args.size() == 3 || args.size() == 7) && args[1] == "screenshot")
            return grabScreen(args[2], args.mid(3));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s prepare <folder> <file name> | screenshot <png> [x y width height]\n", argv[0]);
    return 64;
}

} // namespace quillet::test
