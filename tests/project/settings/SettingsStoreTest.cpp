// The settings store: defaults on a first start, numbers that do not parse, every value stored
// as text, and a file readable by its owner only.
#include "support/TempFolder.h"
#include "project/settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <cstdlib>
#include <sys/stat.h>

using namespace quillet;
using quillet::test::readFileBytes;
using quillet::test::TempFolder;

namespace {

mode_t fileMode(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    return st.st_mode & 0777;
}

} // namespace

TEST(SettingsStore, FirstStartGivesTheDefaults)
{
    TempFolder dir;
    SettingsStore store(QString::fromStdString(dir.file("none.ini")));
    const OptionSettings options = store.readOptions();
    EXPECT_EQ(options.placement.width, 625);
    EXPECT_EQ(options.placement.height, 410);
    EXPECT_EQ(options.placement.left, 10);
    EXPECT_EQ(options.placement.top, 10);
    EXPECT_EQ(options.winState, 0);
    EXPECT_EQ(options.groupListWidth, 265);
    EXPECT_TRUE(options.projectPath.empty());
    const ServerSettings server = store.readServer();
    EXPECT_EQ(server.port, "25");
    EXPECT_EQ(server.from, settings_defaults::kFrom);
    EXPECT_TRUE(server.server.isEmpty() && server.userName.isEmpty() && server.password.isEmpty());
}

TEST(SettingsStore, NumbersThatDoNotParseGiveTheirDefault)
{
    EXPECT_EQ(settingsNumber("abc", 625), 625);
    EXPECT_EQ(settingsNumber("", 625), 625);
    EXPECT_EQ(settingsNumber("12abc", 625), 625);
    EXPECT_EQ(settingsNumber("99999999999", 625), 625);
    EXPECT_EQ(settingsNumber("800", 625), 800);
    EXPECT_EQ(settingsNumber("-20", 10), -20);

    TempFolder dir;
    const QString file = QString::fromStdString(dir.file("q.ini"));
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue("Option/Width", "abc");
        raw.setValue("Option/Heigth", "500");
        raw.setValue("Option/GroupList", "1,2");
    }
    SettingsStore store(file);
    const OptionSettings options = store.readOptions();
    EXPECT_EQ(options.placement.width, 625);
    EXPECT_EQ(options.placement.height, 500);
    EXPECT_EQ(options.groupListWidth, 265);
}

TEST(SettingsStore, ValuesAreStoredAsTextUnderOptionAndSmtp)
{
    TempFolder dir;
    const QString file = QString::fromStdString(dir.file("q.ini"));
    {
        SettingsStore store(file);
        store.writeWindowState(kWindowMaximised);
        store.writePlacement({800, 600, 5, 6});
        store.writeProjectPath("/home/ann/Mail list.oqf");
        store.writeGroupListWidth(300);
        store.writeServer({"smtp.example.org", "587", "ann@example.org", "ann", "p,w=d"});
        store.sync();
    }
    const std::string ini = readFileBytes(file.toStdString());
    EXPECT_NE(ini.find("[Option]"), std::string::npos);
    EXPECT_NE(ini.find("Heigth=600"), std::string::npos);
    EXPECT_NE(ini.find("[SMTP]"), std::string::npos);
    EXPECT_NE(ini.find("Port=587"), std::string::npos);

    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Option/Width").typeId(), QMetaType::QString);

    SettingsStore again(file);
    const OptionSettings options = again.readOptions();
    EXPECT_EQ(options.winState, 2);
    EXPECT_EQ(options.placement.width, 800);
    EXPECT_EQ(options.placement.top, 6);
    EXPECT_EQ(options.projectPath, "/home/ann/Mail list.oqf");
    EXPECT_EQ(options.groupListWidth, 300);
    const ServerSettings server = again.readServer();
    EXPECT_EQ(server.server, "smtp.example.org");
    EXPECT_EQ(server.from, "ann@example.org");
    EXPECT_EQ(server.password, "p,w=d");
}

TEST(SettingsStore, ColumnWidthsPerListAndDamagedValuesGiveNone)
{
    TempFolder dir;
    const QString file = QString::fromStdString(dir.file("c.ini"));
    {
        SettingsStore store(file);
        EXPECT_TRUE(store.readColumnWidths("RecipientListView").empty()); // first start: the list's own
        store.writeColumnWidths("RecipientListView", {260, 100, 80});
        store.writeColumnWidths("SMTPList", {150});
        store.sync();
    }
    EXPECT_NE(readFileBytes(file.toStdString()).find("RecipientListView=260 100 80"), std::string::npos);
    SettingsStore again(file);
    EXPECT_EQ(again.readColumnWidths("RecipientListView"), (std::vector<int>{260, 100, 80}));
    EXPECT_EQ(again.readColumnWidths("SMTPList"), std::vector<int>{150});
    for (const char* damaged : {"100 x", "100 -5", "0", "100 99999"}) {
        QSettings(file, QSettings::IniFormat).setValue("Columns/SMTPList", damaged);
        EXPECT_TRUE(SettingsStore(file).readColumnWidths("SMTPList").empty()) << damaged;
    }
}

TEST(SettingsStore, UserSettingsLiveUnderXdgConfigHomeAndAreOwnerOnly)
{
    TempFolder dir;
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    const mode_t oldMask = ::umask(022);
    QString fileName;
    {
        SettingsStore store;
        fileName = store.fileName();
        store.writeServer({"h", "25", "f@example.org", "u", "secret"});
        store.sync();
        EXPECT_EQ(fileMode(fileName), 0600u);
    }
    ::umask(oldMask);
    EXPECT_EQ(fileName.toStdString(), dir.file("Orv/Quillet.conf"));
    EXPECT_EQ(fileMode(fileName), 0600u);
    EXPECT_EQ(SettingsStore().readServer().password, "secret");
}

TEST(SettingsStore, FileInAFolderThatDoesNotExistYetIsCreatedOwnerOnly)
{
    TempFolder dir;
    const mode_t oldMask = ::umask(0);
    const QString file = QString::fromStdString(dir.file("a/b/settings.ini"));
    {
        SettingsStore store(file);
        store.writeServer({"h", "25", "f@example.org", "u", "secret"});
    } // written when the store closes
    ::umask(oldMask);
    EXPECT_EQ(fileMode(file), 0600u);
    EXPECT_EQ(SettingsStore(file).readServer().password, "secret");
}

TEST(SettingsStore, RunOptionsAreRememberedAndBadValuesReadAsDefaults)
{
    TempFolder dir;
    const QString file = QString::fromStdString(dir.file("q.ini"));
    EXPECT_EQ(SettingsStore(file).readRun().onError, "stop");
    {
        SettingsStore store(file);
        store.writeRun({"skip", 2, 10, "30/min", 50, true, 3});
        store.sync();
    }
    EXPECT_NE(readFileBytes(file.toStdString())
                  .find("[Run]\nConnections=3\nMaxPerConnection=50\nOnError=skip\nRate=30/min\nRetries=2\n"
                        "RetryWait=10\nSkipDisabled=True\n"),
              std::string::npos);
    RunSettings run = SettingsStore(file).readRun();
    EXPECT_EQ(run.onError, "skip");
    EXPECT_EQ(run.retries, 2);
    EXPECT_EQ(run.retryWaitSeconds, 10);
    EXPECT_EQ(run.rate, "30/min");
    EXPECT_EQ(run.maxPerConnection, 50);
    EXPECT_TRUE(run.skipDisabled);
    EXPECT_EQ(run.connections, 3);
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue("Run/OnError", "sometimes");
        raw.setValue("Run/Retries", "-3");
        raw.setValue("Run/RetryWait", "soon");
        raw.setValue("Run/SkipDisabled", "yes");
        raw.setValue("Run/Connections", "0");
    }
    run = SettingsStore(file).readRun();
    EXPECT_EQ(run.onError, "stop");
    EXPECT_EQ(run.retries, 0);
    EXPECT_EQ(run.retryWaitSeconds, 30);
    EXPECT_FALSE(run.skipDisabled);
    EXPECT_EQ(run.connections, 1);
}
