#include "PasswordService.h"

#include "ProjectMessages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillet {

namespace {

std::string fill(std::string_view format, std::string_view first, std::string_view second = {})
{
    std::string text(format);
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, first);
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, second);
    return text;
}

std::string firstLine(std::string text)
{
    text.resize(std::min(text.size(), text.find_first_of("\r\n")));
    return text;
}

} // namespace

std::string DescribeSecret(const SecretKey& key)
{
    std::string text = key.user.empty() ? "" : key.user + "@";
    text += key.host;
    if (!key.port.empty())
        text += ":" + key.port;
    return text.empty() ? key.purpose : text;
}

SecretKey MailServerSecret(const std::string& host, const std::string& port, const std::string& user)
{
    return {secret_purpose::kSmtp, host, port.empty() ? "25" : port, user};
}

FoundPassword PasswordService::Find(const PasswordRequest& request) const
{
    if (request.given)
        return {*request.given, PasswordOrigin::Given};
    if (!request.passwordFile.empty()) {
        std::ifstream in(request.passwordFile, std::ios::binary);
        if (!in)
            throw PasswordUnavailable(
                fill(messages::kCannotReadPasswordFile, request.passwordFile, std::strerror(errno)));
        return {firstLine(std::string(std::istreambuf_iterator<char>(in), {})), PasswordOrigin::File};
    }
    if (const char* environment = std::getenv(kPasswordEnvironmentVariable); environment && request.takeEnvironment)
        return {environment, PasswordOrigin::Environment};
    if (!request.field.empty())
        return {request.field, PasswordOrigin::Field};
    if (!request.keyringChosen)
        return {};

    std::string reason = fill(messages::kKeyringHoldsNone, DescribeSecret(request.key));
    if (!keyring_) {
        reason = messages::kNoKeyring;
    } else {
        try {
            if (std::optional<std::string> stored = keyring_->Find(request.key))
                return {std::move(*stored), PasswordOrigin::Keyring};
        } catch (const KeyringUnavailable& error) {
            reason = error.what();
        }
    }
    if (prompter_)
        if (std::optional<std::string> typed = prompter_(fill(messages::kPasswordPrompt, DescribeSecret(request.key))))
            return {std::move(*typed), PasswordOrigin::Prompt};
    throw PasswordUnavailable(fill(messages::kPasswordNotFound, DescribeSecret(request.key), reason));
}

std::string PasswordService::Whereabouts(const SecretKey& key, const std::string& field) const
{
    if (!field.empty())
        return "file";
    if (!keyring_)
        return "none";
    try {
        return keyring_->Find(key) ? "keyring" : "none";
    } catch (const KeyringUnavailable&) {
        return "keyring unavailable";
    }
}

} // namespace quillet
