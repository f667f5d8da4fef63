#include "UnsubscribeToken.h"

#include "FeedbackTexts.h"
#include "SuppressionStore.h"

#include "transport/MessageTexts.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillet {

namespace {

constexpr std::size_t kMinSecretBytes = 16;

std::string base64Url(const unsigned char* bytes, std::size_t size)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        bits = (bits << 8) | bytes[i];
        count += 8;
        while (count >= 6) {
            count -= 6;
            text += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0)
        text += alphabet[(bits << (6 - count)) & 63];
    return text;
}

} // namespace

std::string UnsubscribeToken(std::string_view secret, std::string_view address)
{
    const std::string key = SuppressionKey(address);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), secret.data(), int(secret.size()), reinterpret_cast<const unsigned char*>(key.data()),
         key.size(), digest, &size);
    return base64Url(digest, size);
}

bool VerifyUnsubscribeToken(std::string_view secret, std::string_view address, std::string_view token)
{
    const std::string expected = UnsubscribeToken(secret, address);
    return !secret.empty() && token.size() == expected.size() &&
           CRYPTO_memcmp(expected.data(), token.data(), expected.size()) == 0;
}

std::string ReadUnsubscribeSecret(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(FormatText(kCannotOpenFileFormat, path.string(), std::strerror(errno)));
    std::string secret((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r'))
        secret.pop_back();
    if (secret.size() < kMinSecretBytes)
        throw std::runtime_error(FormatText(kSecretTooShort, {path.string()}));
    return secret;
}

std::string UnsubscribeSubject(std::string_view secret, std::string_view address)
{
    return "unsubscribe " + std::string(address) + " " + UnsubscribeToken(secret, address);
}

std::string UnsubscribeUrl(std::string_view endpoint, std::string_view secret, std::string_view address)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : address) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~')
            encoded += char(c);
        else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    const char joiner = std::string_view(endpoint).find('?') == std::string_view::npos ? '?' : '&';
    return std::string(endpoint) + joiner + "a=" + encoded + "&t=" + UnsubscribeToken(secret, address);
}

} // namespace quillet
