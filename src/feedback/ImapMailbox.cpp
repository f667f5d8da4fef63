// A folder on an IMAP server, read through libcurl. TLS is OpenSSL's under the trust rules of
// sending: the system's store plus an extra CA file, or a pinned certificate fingerprint (for one
// host and port, or any), checked during the handshake so that no password reaches a server
// that is not trusted.
#include "FeedbackLimits.h"
#include "FeedbackTexts.h"
#include "Mailbox.h"

#include "transport/MessageTexts.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <mutex>
#include <set>

namespace quillet {

namespace {

struct ParsedImapUrl {
    bool implicitTls = false;
    std::string host;
    std::uint16_t port = 0;
    std::string folder;
};

ParsedImapUrl parseImapUrl(const std::string& url)
{
    ParsedImapUrl parsed;
    std::string_view rest = url;
    if (rest.rfind("imaps://", 0) == 0) {
        parsed.implicitTls = true;
        rest.remove_prefix(8);
    } else if (rest.rfind("imap://", 0) == 0) {
        rest.remove_prefix(7);
    } else {
        throw EMailboxError(FormatText(kImapUrlInvalid, {url}));
    }
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    parsed.folder = slash == std::string_view::npos ? "INBOX" : std::string(rest.substr(slash + 1));
    if (parsed.folder.empty())
        parsed.folder = "INBOX";
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            throw EMailboxError(FormatText(kImapUrlInvalid, {url}));
        parsed.host = std::string(authority.substr(1, close - 1));
        if (close + 1 < authority.size() && authority[close + 1] == ':')
            portText = authority.substr(close + 2);
    } else {
        const std::size_t colon = authority.rfind(':');
        parsed.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1);
    }
    unsigned port = parsed.implicitTls ? 993 : 143;
    if (!portText.empty()) {
        port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || port > 65535)
                throw EMailboxError(FormatText(kImapUrlInvalid, {url}));
            port = port * 10 + unsigned(c - '0');
        }
    }
    if (parsed.host.empty() || port == 0 || port > 65535)
        throw EMailboxError(FormatText(kImapUrlInvalid, {url}));
    parsed.port = std::uint16_t(port);
    return parsed;
}

std::string hexDigest(const unsigned char* bytes, unsigned size)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < size; ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 15];
    }
    return NormalizeFingerprint(text);
}

// What the handshake's check needs; lives as long as the mailbox.
struct TrustCheck {
    std::string host;
    std::uint16_t port = 0;
    std::string caFile;
    std::vector<std::string> pins; // fingerprints that apply to this server
};

int verifyWithPins(X509_STORE_CTX* store, void* argument)
{
    const auto* trust = static_cast<const TrustCheck*>(argument);
    X509* certificate = X509_STORE_CTX_get0_cert(store);
    if (X509_verify_cert(store) == 1 && certificate) {
        in6_addr address{};
        const bool literal = inet_pton(AF_INET, trust->host.c_str(), &address) == 1 ||
                             inet_pton(AF_INET6, trust->host.c_str(), &address) == 1;
        const int named = literal ? X509_check_ip_asc(certificate, trust->host.c_str(), 0)
                                  : X509_check_host(certificate, trust->host.data(), trust->host.size(), 0, nullptr);
        if (named == 1)
            return 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (certificate && X509_digest(certificate, EVP_sha256(), digest, &size) == 1) {
        const std::string fingerprint = hexDigest(digest, size);
        for (const std::string& pin : trust->pins) {
            if (pin == fingerprint) {
                X509_STORE_CTX_set_error(store, X509_V_OK);
                return 1;
            }
        }
    }
    if (X509_STORE_CTX_get_error(store) == X509_V_OK)
        X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
}

CURLcode prepareTls(CURL*, void* sslContext, void* argument)
{
    auto* context = static_cast<SSL_CTX*>(sslContext);
    const auto* trust = static_cast<const TrustCheck*>(argument);
    // The extra CA file is added to the system's store, not put in its place.
    if (!trust->caFile.empty() && SSL_CTX_load_verify_locations(context, trust->caFile.c_str(), nullptr) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    if (!trust->pins.empty())
        SSL_CTX_set_cert_verify_callback(context, verifyWithPins, const_cast<TrustCheck*>(trust));
    return CURLE_OK;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* argument)
{
    auto* out = static_cast<std::string*>(argument);
    const std::size_t bytes = size * count;
    if (out->size() + bytes > kMaxFeedbackMessageBytes + 65536) {
        // The rest of a large message is not needed: keep what came, let the transfer go on.
        return bytes;
    }
    out->append(data, bytes);
    return bytes;
}

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class ImapMailbox : public Mailbox {
public:
    explicit ImapMailbox(const ImapSettings& settings)
        : settings_(settings), url_(parseImapUrl(settings.url)), curl_(nullptr, curl_easy_cleanup)
    {
        initialiseCurl();
        curl_.reset(curl_easy_init());
        if (!curl_)
            throw EMailboxError(FormatText(kImapFailed, settings.url, "out of memory"));
        bool implicitTls = url_.implicitTls || settings.security == ConnectionSecurity::Tls;
        std::string host = url_.host.find(':') != std::string::npos ? "[" + url_.host + "]" : url_.host;
        base_ = std::string(implicitTls ? "imaps://" : "imap://") + host + ":" + std::to_string(url_.port) + "/" +
                escapeFolder(url_.folder);
        trust_.host = url_.host;
        trust_.port = url_.port;
        trust_.caFile = settings.trust.caFile;
        for (const CertificatePin& pin : settings.trust.pins)
            if (pin.host.empty() || (pin.host == url_.host && (pin.port == 0 || pin.port == url_.port)))
                trust_.pins.push_back(pin.fingerprint);

        CURL* c = curl_.get();
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
        curl_easy_setopt(c, CURLOPT_TIMEOUT, settings.timeoutSeconds);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "imap,imaps");
        if (!settings.user.empty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, settings.user.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, settings.password.c_str());
        }
        if (!implicitTls) {
            long use = CURLUSESSL_TRY;
            if (settings.security == ConnectionSecurity::StartTls)
                use = CURLUSESSL_ALL;
            else if (settings.security == ConnectionSecurity::None)
                use = CURLUSESSL_NONE;
            curl_easy_setopt(c, CURLOPT_USE_SSL, use);
        }
        curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, prepareTls);
        curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &trust_);
        if (!trust_.pins.empty())
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L); // the pin check names the host itself
    }

    std::vector<std::string> List() override
    {
        const std::string reply = perform(base_, "UID SEARCH UNSEEN");
        std::vector<std::string> ids;
        for (std::size_t at = reply.find("* SEARCH"); at != std::string::npos; at = reply.find("* SEARCH", at + 1)) {
            std::size_t pos = at + 8;
            const std::size_t end = reply.find('\n', pos);
            while (pos < end && pos < reply.size()) {
                while (pos < reply.size() && reply[pos] == ' ')
                    ++pos;
                std::size_t digits = pos;
                while (digits < reply.size() && reply[digits] >= '0' && reply[digits] <= '9')
                    ++digits;
                if (digits == pos)
                    break;
                ids.push_back(reply.substr(pos, digits - pos));
                pos = digits;
            }
        }
        return ids;
    }

    std::string Fetch(const std::string& id) override
    {
        std::string message = perform(base_ + "/;UID=" + id, nullptr);
        if (message.size() > kMaxFeedbackMessageBytes)
            message.resize(kMaxFeedbackMessageBytes);
        return message;
    }

    void MarkRead(const std::string& id) override { perform(base_, ("UID STORE " + id + " +FLAGS (\\Seen)").c_str()); }
    void Unread(const std::string& id) override { perform(base_, ("UID STORE " + id + " -FLAGS (\\Seen)").c_str()); }

    void MoveTo(const std::string& id, const std::string& folder) override
    {
        std::string quoted = "\"";
        for (char c : folder) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
        if (created_.insert(folder).second) {
            // The folder is made at its first use; one that exists already refuses, which is fine.
            try {
                perform(base_, ("CREATE " + quoted).c_str());
            } catch (const EMailboxError&) {
            }
        }
        perform(base_, ("UID MOVE " + id + " " + quoted).c_str());
    }

private:
    static std::string escapeFolder(const std::string& folder)
    {
        std::string escaped;
        for (unsigned char c : folder) {
            if (c <= ' ' || c == '%' || c == '?' || c == '#' || c >= 0x7f) {
                static constexpr char hex[] = "0123456789ABCDEF";
                escaped += '%';
                escaped += hex[c >> 4];
                escaped += hex[c & 15];
            } else {
                escaped += char(c);
            }
        }
        return escaped;
    }

    std::string perform(const std::string& url, const char* command)
    {
        CURL* c = curl_.get();
        std::string out;
        error_[0] = '\0';
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, command);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
        const CURLcode result = curl_easy_perform(c);
        if (result != CURLE_OK)
            throw EMailboxError(FormatText(kImapFailed, settings_.url, *error_ ? error_ : curl_easy_strerror(result)));
        return out;
    }

    ImapSettings settings_;
    ParsedImapUrl url_;
    std::string base_;
    TrustCheck trust_;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl_;
    char error_[CURL_ERROR_SIZE] = {};
    std::set<std::string> created_;
};

} // namespace

std::unique_ptr<Mailbox> OpenImap(const ImapSettings& settings)
{
    return std::make_unique<ImapMailbox>(settings);
}

} // namespace quillet
