#include "SecretsAccess.h"

#include "Terminal.h"

#include "project/settings/SecretServiceKeyring.h"

#include <QFileInfo>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace quillet::cli {

namespace {

std::optional<std::string> promptOnTerminal(const std::string& prompt)
{
    printErr(prompt);
    std::fflush(stderr);
    std::string line;
    {
        NoEcho quiet(STDIN_FILENO);
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
            line.push_back(static_cast<char>(c));
    }
    std::fputc('\n', stderr);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return std::nullopt;
    return line;
}

} // namespace

std::vector<StoredPassword> storedPasswords(const Project& project, const ServerSettings& server)
{
    std::vector<StoredPassword> passwords;
    if (!server.server.isEmpty())
        passwords.push_back(
            {"default server",
             MailServerSecret(toCodePage(server.server), toCodePage(server.port), toCodePage(server.userName)),
             toCodePage(server.password), -1});
    for (std::size_t i = 0; i < project.accounts.size(); ++i) {
        const SmtpAccount& account = project.accounts[i];
        passwords.push_back({"account " + std::to_string(i + 1),
                             MailServerSecret(account.host, account.port, account.user), account.password,
                             static_cast<int>(i)});
    }
    return passwords;
}

std::unique_ptr<Keyring> systemKeyring()
{
    return std::make_unique<SecretServiceKeyring>();
}

PasswordService commandLinePasswords(Keyring& keyring)
{
    return PasswordService(&keyring, ::isatty(STDIN_FILENO) ? PasswordService::Prompter(promptOnTerminal) : nullptr);
}

void resolveKeyringPasswords(Project& project, DefaultServerSettings& server, bool serverPasswordGiven)
{
    SettingsStore settings;
    const bool serverChosen = settings.readKeyringChoice() && !serverPasswordGiven && server.password.empty();
    const bool projectChosen = settings.projectInKeyring(projectKey(project));
    if (!serverChosen && !projectChosen)
        return;
    const std::unique_ptr<Keyring> keyring = systemKeyring();
    const PasswordService passwords = commandLinePasswords(*keyring);
    if (serverChosen && !server.host.empty() && !server.userName.empty()) {
        PasswordRequest request;
        request.key = MailServerSecret(server.host, server.port, server.userName);
        request.keyringChosen = true;
        server.password = passwords.Find(request).value;
    }
    if (!projectChosen)
        return;
    for (SmtpAccount& account : project.accounts) {
        if (!account.password.empty() || account.user.empty() || !account.isEnabled())
            continue;
        PasswordRequest request;
        request.key = MailServerSecret(account.host, account.port, account.user);
        request.takeEnvironment = false;
        request.keyringChosen = true;
        account.password = passwords.Find(request).value;
    }
}

QString projectKey(const Project& project)
{
    return QFileInfo(QString::fromStdString(project.path)).absoluteFilePath();
}

} // namespace quillet::cli
