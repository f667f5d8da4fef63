#include "DkimSigner.h"

#include "Base64.h"
#include "MessageTexts.h"
#include "TransportError.h"

#include "project/WholeFile.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillet {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The latest OpenSSL error's reason, for a message the user sees.
std::string openSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown error";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "unknown error";
}

[[noreturn]] void fail(const char* format, std::string_view first = {}, std::string_view second = {})
{
    throw ETransportError(FormatText(format, first, second));
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using KeyContextPtr = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

// SHA-256 fetched from the provider once: every message hashes its body and its headers, and a
// fetch by name on each use costs more than hashing a short message.
const EVP_MD* sha256Digest()
{
    static const struct Fetched {
        EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        ~Fetched() { EVP_MD_free(md); }
    } fetched;
    return fetched.md;
}

std::string sha256(std::string_view data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, sha256Digest(), nullptr) != 1)
        fail(kDkimSigningFailedFormat, openSslReason());
    return std::string(reinterpret_cast<const char*>(digest), length);
}

int passphraseCallback(char* buffer, int size, int, void* data)
{
    const auto* passphrase = static_cast<const std::string*>(data);
    const int length = static_cast<int>(std::min<std::size_t>(passphrase->size(), static_cast<std::size_t>(size)));
    std::memcpy(buffer, passphrase->data(), static_cast<std::size_t>(length));
    return length;
}

// The header names signed, in the order of the h= list (From comes first and once extra).
constexpr std::string_view kSignedHeaders[] = {"From",
                                               "To",
                                               "Subject",
                                               "Date",
                                               "Message-ID",
                                               "MIME-Version",
                                               "Content-Type",
                                               "Content-Transfer-Encoding",
                                               "List-Unsubscribe",
                                               "List-Unsubscribe-Post"};
// Characters of the b= value on one continuation line of the signature header.
constexpr std::size_t kSignatureChunk = 72;

// The header block as fields: each one its lines joined by CR LF.
std::vector<std::string> headerFields(const std::vector<std::string>& lines)
{
    std::vector<std::string> fields;
    for (const auto& line : lines) {
        if (!fields.empty() && !line.empty() && isBlank(line[0])) {
            fields.back() += "\r\n";
            fields.back() += line;
        } else {
            fields.push_back(line);
        }
    }
    return fields;
}

std::string_view fieldName(std::string_view field)
{
    std::string_view name = field.substr(0, field.find(':'));
    while (!name.empty() && isBlank(name.back()))
        name.remove_suffix(1);
    return name;
}

} // namespace

std::string_view DkimAlgorithmName(DkimAlgorithm algorithm)
{
    return algorithm == DkimAlgorithm::Ed25519Sha256 ? "ed25519-sha256" : "rsa-sha256";
}

std::optional<DkimAlgorithm> ParseDkimAlgorithm(std::string_view name)
{
    if (equalNoCase(name, "rsa-sha256") || equalNoCase(name, "rsa"))
        return DkimAlgorithm::RsaSha256;
    if (equalNoCase(name, "ed25519-sha256") || equalNoCase(name, "ed25519"))
        return DkimAlgorithm::Ed25519Sha256;
    return std::nullopt;
}

// ---- the key ----

DkimKey DkimKey::Generate(DkimAlgorithm algorithm)
{
    EVP_PKEY* key = algorithm == DkimAlgorithm::Ed25519Sha256
                        ? EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")
                        : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(kDkimRsaDefaultBits));
    if (!key)
        fail(kDkimKeygenFailedFormat, openSslReason());
    return DkimKey(key, algorithm);
}

DkimKey DkimKey::Load(const std::string& path, const std::string& passphrase)
{
    std::string pem;
    try {
        pem = readWholeFile(path);
    } catch (const std::exception& error) {
        fail(kDkimKeyUnreadableFormat, path, error.what());
    }
    return FromPem(pem, path, passphrase);
}

DkimKey DkimKey::FromPem(std::string_view pem, const std::string& name, const std::string& passphrase)
{
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    std::string given = passphrase;
    KeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, passphraseCallback, &given) : nullptr);
    if (!key)
        fail(kDkimKeyUnreadableFormat, name, openSslReason());
    switch (EVP_PKEY_get_base_id(key.get())) {
    case EVP_PKEY_ED25519: return DkimKey(key.release(), DkimAlgorithm::Ed25519Sha256);
    case EVP_PKEY_RSA:
        if (EVP_PKEY_get_bits(key.get()) < kDkimRsaMinimumBits)
            fail(kDkimKeyTooShortFormat, name, std::to_string(EVP_PKEY_get_bits(key.get())));
        return DkimKey(key.release(), DkimAlgorithm::RsaSha256);
    default: fail(kDkimKeyKindFormat, name);
    }
}

DkimKey::DkimKey(DkimKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)), algorithm_(other.algorithm_) {}

DkimKey& DkimKey::operator=(DkimKey&& other) noexcept
{
    if (this != &other) {
        EVP_PKEY_free(key_);
        key_ = std::exchange(other.key_, nullptr);
        algorithm_ = other.algorithm_;
    }
    return *this;
}

DkimKey::~DkimKey()
{
    EVP_PKEY_free(key_);
}

std::string DkimKey::PrivatePem() const
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        fail(kDkimKeygenFailedFormat, openSslReason());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string DkimKey::PublicKeyBase64() const
{
    std::string bytes;
    if (algorithm_ == DkimAlgorithm::Ed25519Sha256) {
        std::size_t length = 0;
        EVP_PKEY_get_raw_public_key(key_, nullptr, &length);
        bytes.resize(length);
        if (EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(bytes.data()), &length) != 1)
            fail(kDkimKeygenFailedFormat, openSslReason());
    } else {
        const int length = i2d_PUBKEY(key_, nullptr);
        if (length <= 0)
            fail(kDkimKeygenFailedFormat, openSslReason());
        bytes.resize(static_cast<std::size_t>(length));
        auto* out = reinterpret_cast<unsigned char*>(bytes.data());
        i2d_PUBKEY(key_, &out);
    }
    return TEncoderMIME::Encode(bytes);
}

std::string DkimKey::RecordText() const
{
    return std::string("v=DKIM1; k=") + (algorithm_ == DkimAlgorithm::Ed25519Sha256 ? "ed25519" : "rsa") +
           "; p=" + PublicKeyBase64();
}

std::string DkimKey::Sign(std::string_view data) const
{
    DigestContextPtr context(EVP_MD_CTX_new());
    const EVP_MD* digest = algorithm_ == DkimAlgorithm::Ed25519Sha256 ? nullptr : sha256Digest();
    std::size_t length = 0;
    std::string signature;
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, digest, nullptr, key_) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, in, data.size()) != 1)
        fail(kDkimSigningFailedFormat, openSslReason());
    signature.resize(length);
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, in, data.size()) !=
        1)
        fail(kDkimSigningFailedFormat, openSslReason());
    signature.resize(length);
    return signature;
}

// ---- the published record ----

std::string DkimZoneRecord(const std::string& selector, const std::string& domain, const std::string& recordText)
{
    // A character-string of DNS holds at most 255 bytes; longer records are several of them.
    constexpr std::size_t kDnsStringLength = 255;
    std::string line = selector + "._domainkey." + domain + ". IN TXT (";
    for (std::size_t at = 0; at < recordText.size(); at += kDnsStringLength)
        line += " \"" + recordText.substr(at, kDnsStringLength) + "\"";
    return line + " )";
}

std::optional<DkimPublishedRecord> ParseDkimRecord(std::string_view text)
{
    // Quoted strings are joined (a zone-file line or dig's answer); text without quotes is
    // taken as the record itself.
    std::string record;
    if (text.find('"') != std::string_view::npos) {
        bool inside = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '"')
                inside = !inside;
            else if (inside && text[i] == '\\' && i + 1 < text.size())
                record += text[++i];
            else if (inside)
                record += text[i];
        }
    } else {
        record = text;
    }
    DkimPublishedRecord result;
    bool haveKey = false;
    std::string_view rest = record;
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        std::string_view tag = rest.substr(0, semicolon);
        rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        const std::size_t equals = tag.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string name, value;
        for (const char c : tag.substr(0, equals))
            if (!std::isspace(static_cast<unsigned char>(c)))
                name += lower(c);
        for (const char c : tag.substr(equals + 1))
            if (!std::isspace(static_cast<unsigned char>(c)))
                value += c;
        if (name == "v" && value != "DKIM1")
            return std::nullopt;
        if (name == "k")
            result.keyType = value;
        if (name == "p") {
            result.publicKey = value;
            haveKey = true;
        }
    }
    if (!haveKey)
        return std::nullopt;
    return result;
}

// ---- canonical forms ----

std::string DkimRelaxedHeader(std::string_view field)
{
    const std::size_t colon = field.find(':');
    std::string out;
    out.reserve(field.size() + 2);
    for (const char c : fieldName(field))
        if (c != '\r' && c != '\n')
            out += lower(c);
    out += ':';
    bool blank = false;
    bool started = false;
    for (const char c : colon == std::string_view::npos ? std::string_view() : field.substr(colon + 1)) {
        if (c == '\r' || c == '\n')
            continue; // unfolding
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && started)
            out += ' ';
        blank = false;
        started = true;
        out += c;
    }
    out += "\r\n";
    return out;
}

DkimBodyHash::DkimBodyHash() : context_(EVP_MD_CTX_new())
{
    if (!context_ || EVP_DigestInit_ex(context_, sha256Digest(), nullptr) != 1) {
        EVP_MD_CTX_free(context_);
        fail(kDkimSigningFailedFormat, openSslReason());
    }
    out_.reserve(kHashBlock);
}

DkimBodyHash::~DkimBodyHash()
{
    EVP_MD_CTX_free(context_);
}

void DkimBodyHash::Write(std::string_view bytes)
{
    feed(bytes);
}

void DkimBodyHash::WriteLn(std::string_view line)
{
    // The common line: no transport dot, no blanks, no line break inside, after a finished line.
    const bool plain =
        !line.empty() && line[0] != '.' && lineStart_ && !crPending_ &&
        std::none_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    if (plain) {
        if (emptyLines_) {
            for (; emptyLines_; --emptyLines_)
                output("\r\n");
        }
        output(line);
        output("\r\n");
        return;
    }
    feed(line);
    feed("\r\n");
}

void DkimBodyHash::output(std::string_view bytes)
{
    if (out_.size() + bytes.size() > kHashBlock)
        flush();
    if (bytes.size() >= kHashBlock) {
        if (EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1)
            fail(kDkimSigningFailedFormat, openSslReason());
        return;
    }
    out_.append(bytes);
}

void DkimBodyHash::flush()
{
    if (!out_.empty() && EVP_DigestUpdate(context_, out_.data(), out_.size()) != 1)
        fail(kDkimSigningFailedFormat, openSslReason());
    out_.clear();
}

void DkimBodyHash::content(std::string_view bytes)
{
    if (!lineHasContent_)
        for (; emptyLines_; --emptyLines_)
            output("\r\n");
    if (blankPending_)
        output(" ");
    blankPending_ = false;
    lineHasContent_ = true;
    output(bytes);
}

void DkimBodyHash::feed(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const char c = bytes[i];
        if (crPending_) {
            crPending_ = false;
            if (c == '\n') {
                // The line ends: a line without content waits, as it may be one of the last.
                if (lineHasContent_)
                    output("\r\n");
                else
                    ++emptyLines_;
                lineStart_ = true;
                lineHasContent_ = false;
                blankPending_ = false;
                ++i;
                continue;
            }
            // A CR on its own is a byte of the line.
            lineStart_ = false;
            content("\r");
        }
        if (c == '\r') {
            crPending_ = true;
            ++i;
            continue;
        }
        if (lineStart_) {
            lineStart_ = false;
            if (c == '.') { // the transport's dot
                ++i;
                continue;
            }
        }
        if (isBlank(c)) {
            blankPending_ = true;
            ++i;
            continue;
        }
        // A run of ordinary bytes.
        std::size_t end = i + 1;
        while (end < n && bytes[end] != '\r' && !isBlank(bytes[end]))
            ++end;
        content(bytes.substr(i, end - i));
        i = end;
    }
}

std::string DkimBodyHash::Finish()
{
    if (crPending_) {
        crPending_ = false;
        content("\r");
    }
    // A last line without its line break gets one.
    if (lineHasContent_)
        output("\r\n");
    flush();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_, digest, &length) != 1)
        fail(kDkimSigningFailedFormat, openSslReason());
    return TEncoderMIME::Encode(std::string_view(reinterpret_cast<const char*>(digest), length));
}

// ---- the signer ----

DkimSigner::DkimSigner(DkimKey key, std::string selector, std::string domain)
    : key_(std::move(key)), selector_(std::move(selector)), domain_(std::move(domain))
{
}

std::vector<std::string> DkimSigner::SignatureLines(const std::vector<std::string>& headerLines,
                                                    const std::string& bodyHash, std::string_view fromDomain,
                                                    std::time_t moment) const
{
    const std::string domain = domain_.empty() ? std::string(fromDomain) : domain_;
    if (domain.empty())
        fail(kDkimNoDomainText);
    const std::vector<std::string> fields = headerFields(headerLines);

    // The fields signed, each name as often as it occurs, taken from the bottom up (RFC 6376
    // 5.4.2); From is listed once more, so that none can be added without breaking the signature.
    std::string names;
    std::string signedData;
    for (const std::string_view name : kSignedHeaders) {
        std::size_t count = 0;
        for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
            if (!equalNoCase(fieldName(*field), name))
                continue;
            signedData += DkimRelaxedHeader(*field);
            ++count;
        }
        if (name == "From")
            ++count;
        for (std::size_t i = 0; i < count; ++i) {
            names += names.empty() ? "" : ":";
            for (const char c : name)
                names += lower(c);
        }
    }

    std::vector<std::string> lines;
    lines.push_back("DKIM-Signature: v=1; a=" + std::string(DkimAlgorithmName(key_.Algorithm())) +
                    "; c=relaxed/relaxed; d=" + domain + "; s=" + selector_ + ";");
    lines.push_back(" t=" + std::to_string(static_cast<long long>(moment)) + "; bh=" + bodyHash + ";");
    lines.push_back(" h=" + names + ";");
    lines.push_back(" b=");
    std::string unsignedField;
    for (const auto& line : lines)
        unsignedField += (unsignedField.empty() ? "" : "\r\n") + line;
    std::string relaxed = DkimRelaxedHeader(unsignedField);
    relaxed.resize(relaxed.size() - 2); // the signature's own field goes without its CR LF
    signedData += relaxed;

    const std::string signature = TEncoderMIME::Encode(
        key_.Sign(key_.Algorithm() == DkimAlgorithm::Ed25519Sha256 ? sha256(signedData) : signedData));
    lines.pop_back();
    for (std::size_t at = 0; at < signature.size(); at += kSignatureChunk)
        lines.push_back((at == 0 ? " b=" : "   ") + signature.substr(at, kSignatureChunk));
    return lines;
}

} // namespace quillet
