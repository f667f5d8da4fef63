// The surroundings of a main-window test: a program folder and a settings file of its own,
// emptied before every test, and helpers that start and close the window with scripted answers.
#pragma once

#include "app/TOrvQuilletForm.h"
#include "project/Project.h"
#include "project/ProjectFileWriter.h"
#include "support/ScriptedUserInterface.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace quillet::test {

// Sets the settings location before the application exists; QSettings keeps the location it
// first sees for the whole process.
inline QTemporaryDir& configHome()
{
    static QTemporaryDir dir;
    return dir;
}

// The run journals' folder (XDG_STATE_HOME) of the test process.
inline QTemporaryDir& stateHome()
{
    static QTemporaryDir dir;
    return dir;
}

inline void prepareProcess()
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("XDG_CONFIG_HOME", configHome().path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", stateHome().path().toLocal8Bit());
    qputenv("LC_ALL", "C.UTF-8");
}

// One program run: the scripted interface and the main window.
struct ProgramRun {
    ScriptedUserInterface ui;
    std::unique_ptr<TOrvQuilletForm> form;

    // Starts the program; without a script the start-up dialog ends with "OK".
    void start()
    {
        form = std::make_unique<TOrvQuilletForm>(ui);
        form->start();
    }
    // Closes the main window; a changed project is answered with `answer` (No by default).
    bool close(int answer = mrNo)
    {
        if (form->project().changed())
            ui.messageAnswers.push_back(answer);
        const bool closed = form->close();
        if (closed)
            form->programEnding();
        return closed;
    }
};

// A fresh program folder and empty settings for every test.
class FreshProgram {
public:
    FreshProgram()
    {
        qputenv("QUILLET_HOME", home.path().toLocal8Bit());
        QSettings settings("Orv", "Quillet");
        settings.clear();
        settings.sync();
    }
    QString path(const QString& name) const { return home.path() + '/' + name; }
    std::string localPath(const QString& name) const { return QFile::encodeName(path(name)).toStdString(); }

    QTemporaryDir home;
};

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeProject(const std::string& path, const char* name, std::initializer_list<const char*> groups)
{
    Project project;
    project.properties.Name.set(name);
    for (const char* group : groups)
        project.groups.push_back({group, "described"});
    saveProjectFile(project, path);
}

inline QString setting(const char* key)
{
    QSettings settings("Orv", "Quillet");
    return settings.value(key).toString();
}

} // namespace quillet::test

#define QUILLET_APP_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        quillet::test::prepareProcess();                                                                               \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
