// Passwords moved into a real system keyring (a GNOME keyring in a D-Bus session of the test's
// own, unlocked by the test) and back, and a clear refusal where there is no keyring.
#include "CliHarness.h"

#include <cstdio>
#include <sys/wait.h>

using quillet::test::CliHarness;
using quillet::test::CliResult;

namespace {

constexpr const char* kSessionScript = QUILLET_SOURCE_DIR "/tests/cli/peers/keyring_session.sh";

bool haveKeyringPrograms()
{
    return std::system("command -v dbus-run-session gnome-keyring-daemon secret-tool >/dev/null 2>&1") == 0;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SecretsCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveKeyringPrograms())
            GTEST_SKIP() << "dbus-run-session, gnome-keyring-daemon or secret-tool is missing";
        keyringDir_ = cli_.file("keyring");
        project_ = cli_.file("p.oqf");
        ASSERT_EQ(cli_.run({"project", "new", project_}).status, 0);
        ASSERT_EQ(cli_.run({"account", "add", project_, "--host", "smtp.example.org", "--user", "a", "--password",
                            "account-pw-1"})
                      .status,
                  0);
        for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
                 {"Server", "mail.example.org"}, {"Port", "587"}, {"UserName", "u"}, {"Password", "server-pw-2"}})
            ASSERT_EQ(cli_.run({"settings", "set", key, value}).status, 0);
    }

    // A command in a D-Bus session with the test's keyring.
    CliResult inSession(const std::vector<std::string>& args, bool quillet = true)
    {
        std::string command = "cd '" + cli_.work().string() + "' && env -u QUILLET_PASSWORD QUILLET_HOME='" +
                              cli_.home().string() + "' XDG_CONFIG_HOME='" + cli_.configHome().string() +
                              "' XDG_STATE_HOME='" + cli_.stateHome().string() +
                              "' LC_ALL=C.UTF-8 QUILLET_TEST_KEYRING_PASSWORD=test-keyring "
                              "timeout 60 dbus-run-session -- sh " +
                              kSessionScript + " '" + keyringDir_ + "'";
        if (quillet)
            command += " " QUILLET_CLI;
        for (const auto& arg : args)
            command += " '" + arg + "'";
        // The D-Bus session's own notes go to standard error, kept apart from the output.
        const std::string errors = cli_.file("session-errors.txt");
        CliResult result;
        FILE* pipe = ::popen((command + " 2>'" + errors + "'").c_str(), "r");
        if (!pipe)
            return result;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            result.out.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = fileText(errors);
        return result;
    }

    std::string settingsText() { return fileText((cli_.configHome() / "Orv" / "Quillet.conf").string()); }

    CliHarness cli_;
    std::string keyringDir_;
    std::string project_;
};

} // namespace

TEST_F(SecretsCommandsTest, PasswordsMoveIntoTheKeyringAndBack)
{
    CliResult r = inSession({"secrets", "move", project_, "--to", "keyring"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("2 password(s) moved to the system keyring"), std::string::npos) << r;
    EXPECT_EQ(fileText(project_).find("account-pw-1"), std::string::npos);
    EXPECT_EQ(settingsText().find("server-pw-2"), std::string::npos);

    r = inSession({"secret-tool", "lookup", "purpose", "smtp", "host", "smtp.example.org", "port", "25", "user", "a"},
                  false);
    EXPECT_EQ(r.out, "account-pw-1") << r;
    r = inSession({"secrets", "status", project_});
    EXPECT_EQ(r.out, "Keep passwords in the system keyring: project yes, settings yes\n"
                     "default server u@mail.example.org:587: keyring\n"
                     "account 1 a@smtp.example.org:25: keyring\n")
        << r;

    r = inSession({"secrets", "move", project_, "--to", "file"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(fileText(project_).find("account-pw-1"), std::string::npos);
    EXPECT_NE(settingsText().find("server-pw-2"), std::string::npos);
    r = inSession({"secret-tool", "lookup", "purpose", "smtp", "host", "smtp.example.org", "port", "25", "user", "a"},
                  false);
    EXPECT_EQ(r.out, "") << r;
    r = inSession({"secrets", "status", project_});
    EXPECT_NE(r.out.find("account 1 a@smtp.example.org:25: file\n"), std::string::npos) << r;

    // Kept in the keyring, a run where the keyring cannot be reached stops before connecting.
    ASSERT_EQ(inSession({"secrets", "move", project_, "--to", "keyring"}).status, 0);
    ASSERT_EQ(cli_.run({"group", "add", project_, "Club"}).status, 0);
    ASSERT_EQ(cli_.run({"recipient", "add", project_, "--group", "Club", "--email", "zoe@example.net"}).status, 0);
    cli_.setEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    r = cli_.run({"send", project_, "--group", "Club", "--subject", "Hi", "--route", "rotating"}, {},
                 std::chrono::seconds(30));
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("No password for u@mail.example.org:587: the system keyring is not available"),
              std::string::npos)
        << r;
}

TEST_F(SecretsCommandsTest, NoKeyringIsRefusedAtOnceNamingTheAlternatives)
{
    cli_.setEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    const CliResult r = cli_.run({"secrets", "move", project_, "--to", "keyring"}, {}, std::chrono::seconds(30));
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("--password-file or QUILLET_PASSWORD"), std::string::npos) << r;
    EXPECT_NE(fileText(project_).find("account-pw-1"), std::string::npos);
}
