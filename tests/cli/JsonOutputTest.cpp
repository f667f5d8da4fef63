// The --json output of the command line read back with a JSON parser: texts with quotes,
// backslashes, control characters and letters beyond ASCII come back as they went in.
#include "cli/CliHarness.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using quillet::test::CliHarness;
using quillet::test::CliResult;

namespace {

QJsonObject parsed(const CliResult& result)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(result.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << result;
    return document.object();
}

} // namespace

TEST(JsonOutput, AwkwardTextsSurviveTheRoundTrip)
{
    const std::string awkward = "say \"hi\" \\ back\\slash\ttab\x01\x1f end";
    const std::string accented = "Zo\xc3\xab M\xc3\xbcller \xe2\x82\xac"; // Zoë Müller € (UTF-8)
    for (const char* codePage : {"", "UTF-8"}) {
        SCOPED_TRACE(codePage);
        CliHarness cli;
        if (*codePage)
            cli.setEnv("QUILLET_CODEPAGE", codePage);
        ASSERT_EQ(cli.run({"project", "new", "p.oqf", "--name", accented, "--description", awkward}).status, 0);
        ASSERT_EQ(cli.run({"group", "add", "p.oqf", "G\"1\\", "--description", awkward}).status, 0);
        ASSERT_EQ(cli.run({"recipient", "add", "p.oqf", "--group", "G\"1\\", "--email", "a@b.example", "--name",
                           accented, "--param", "X=" + awkward})
                      .status,
                  0);

        const QJsonObject project = parsed(cli.run({"project", "show", "p.oqf", "--json"}));
        EXPECT_EQ(project["name"].toString().toStdString(), accented);
        EXPECT_EQ(project["description"].toString().toStdString(), awkward);
        const QJsonObject group = project["groups"].toArray().at(1).toObject();
        EXPECT_EQ(group["name"].toString().toStdString(), "G\"1\\");
        EXPECT_EQ(group["description"].toString().toStdString(), awkward);
        const QJsonObject recipient = project["recipients"].toArray().at(0).toObject();
        EXPECT_EQ(recipient["name"].toString().toStdString(), accented);
        EXPECT_EQ(recipient["group"].toString().toStdString(), "G\"1\\");
        EXPECT_EQ(recipient["params"].toArray().at(0).toObject()["value"].toString().toStdString(), awkward);
    }
}
