#include "ConnectionOptions.h"
#include "Terminal.h"

#include "Command.h"
#include "MailingCommandTexts.h"
#include "ProjectFileAccess.h"

#include "project/settings/StoredConnection.h"
#include "transport/ConnectionSecurity.h"
#include "transport/TlsSession.h"

#include <QStringList>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <termios.h>
#include <unistd.h>

namespace quillet::cli {

namespace {

constexpr const char* kBadSecurity = "--security must be auto, starttls, tls or none";
constexpr const char* kBadPin = "--tls-pin must be a SHA-256 fingerprint (64 hex digits, colons optional)";
constexpr const char* kCannotReadPasswordFile = "Cannot read the password file \"%1\": %2";
constexpr const char* kPasswordEnvironment = "QUILLET_PASSWORD";
constexpr const char* kPasswordPrompt = "Password for %1: ";

// The most seconds --timeout takes: more would overflow the milliseconds of a wait.
constexpr int kMaxTimeoutSeconds = 2'000'000;

// The first line of a password file, without the UTF-8 byte-order mark an editor may put first.
std::string FirstLine(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

} // namespace

void addConnectionOptions(QCommandLineParser& parser)
{
    parser.addOption(
        {"security", "auto (TLS on port 465, STARTTLS when offered), starttls (required), tls or none.", "MODE"});
    parser.addOption({"tls-ca", "PEM file of additional trusted certificates.", "FILE"});
    parser.addOption({"tls-pin", "Trust the server certificate with this SHA-256 fingerprint (repeatable).", "SHA256"});
    parser.addOption({"password-file", "The password is the first line of FILE.", "FILE"});
    parser.addOption({"timeout", "The time limit of the greeting and of each command's reply.", "SECONDS"});
    parser.addOption({"allow-plain-auth", "Allow sending the password without TLS to a server not on this machine."});
}

ConnectionSettings connectionSettings(const QCommandLineParser& parser, const SecuritySettings& stored)
{
    ConnectionSettings settings = storedConnectionSettings(stored);
    if (parser.isSet("security")) {
        const std::optional<ConnectionSecurity> security = ParseSecurity(parser.value("security").toStdString());
        if (!security)
            throw UsageError(kBadSecurity);
        settings.security = *security;
    }
    if (parser.isSet("allow-plain-auth"))
        settings.allowPlainAuth = true;
    if (parser.isSet("timeout")) {
        bool ok = false;
        const int seconds = parser.value("timeout").toInt(&ok);
        if (!ok || seconds < 1 || seconds > kMaxTimeoutSeconds)
            throw UsageError(texts::kBadTimeout);
        SmtpTimeLimits& limits = settings.limits;
        for (int* limit :
             {&limits.greeting, &limits.command, &limits.mail, &limits.rcpt, &limits.data, &limits.dataEnd})
            *limit = seconds * 1000;
    }
    // Said once a run, whichever of its connections waits.
    settings.noGreetingYet = [said = std::make_shared<std::atomic<bool>>(false)](const std::string& host,
                                                                                 std::uint16_t port) {
        if (said->exchange(true))
            return;
        const std::string line = texts::fill(texts::kNoGreetingYet, host, std::to_string(port)) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    };
    if (parser.isSet("tls-ca"))
        settings.trust.caFile = filePath(parser.value("tls-ca"));
    for (const QString& value : parser.values("tls-pin")) {
        const std::string fingerprint = NormalizeFingerprint(value.toStdString());
        if (fingerprint.empty())
            throw UsageError(kBadPin);
        settings.trust.pins.push_back({{}, 0, fingerprint});
    }
    return settings;
}

std::optional<std::string> runPassword(const QCommandLineParser& parser)
{
    if (parser.isSet("password"))
        return optionText(parser, "password");
    if (parser.isSet("password-file")) {
        const std::string path = filePath(parser.value("password-file"));
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error(
                QString(kCannotReadPasswordFile)
                    .arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(errno)))
                    .toStdString());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return FirstLine(std::move(text));
    }
    if (const char* environment = std::getenv(kPasswordEnvironment))
        return std::string(environment);
    if (!parser.isSet("user") || !::isatty(STDIN_FILENO))
        return std::nullopt;
    std::fputs(QString(kPasswordPrompt).arg(parser.value("user")).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    std::string line;
    {
        NoEcho quiet(STDIN_FILENO);
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
            line.push_back(static_cast<char>(c));
    }
    std::fputc('\n', stderr);
    return FirstLine(line);
}

} // namespace quillet::cli
