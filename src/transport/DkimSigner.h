// DKIM signatures (RFC 6376, relaxed/relaxed; rsa-sha256, and ed25519-sha256 per RFC 8463) for
// the messages the program renders, through OpenSSL with the canonical forms made here.
//
// Signing is a stream step beside message rendering: the body hash is taken from the body's
// bytes as they are rendered for the connection (each line's transport dot taken off again, so
// the hash covers the content, not the transmission), then the DKIM-Signature header is written
// ahead of the header block. The body is never held whole: a large attachment is read from disk
// again for the second pass instead (see WriteMessage).
//
// The signed headers are From (once more than present, so that no From can be added), To,
// Subject, Date, Message-ID, MIME-Version, Content-Type, Content-Transfer-Encoding,
// List-Unsubscribe and List-Unsubscribe-Post, each as often as the message holds it. The
// signing domain is the one given, or else the From address's domain.
//
// A signer is immutable once made and may be used by several threads at once.
#pragma once

#include "LineWriter.h"

#include <array>
#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;
typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace quillet {

enum class DkimAlgorithm { RsaSha256, Ed25519Sha256 };

// "rsa-sha256" or "ed25519-sha256".
std::string_view DkimAlgorithmName(DkimAlgorithm algorithm);
// The algorithm of such a name; nothing for another text.
std::optional<DkimAlgorithm> ParseDkimAlgorithm(std::string_view name);

// Why an RSA key has the sizes it has: receivers ignore signatures of keys below 1024 bits
// (RFC 8301); 2048 bits is what they expect today and still fits one DNS TXT record.
inline constexpr int kDkimRsaMinimumBits = 1024;
inline constexpr int kDkimRsaDefaultBits = 2048;

// A private signing key (RSA or Ed25519), owned by one object.
class DkimKey {
public:
    // A new key of the algorithm (RSA: kDkimRsaDefaultBits).
    static DkimKey Generate(DkimAlgorithm algorithm);
    // Reads a PEM private key (PKCS#8 or the traditional RSA form). An unreadable file, a wrong
    // passphrase, a key of another kind or an RSA key below the minimum raise ETransportError.
    static DkimKey Load(const std::string& path, const std::string& passphrase = {});
    // The same from PEM text; `name` names the source in an error.
    static DkimKey FromPem(std::string_view pem, const std::string& name, const std::string& passphrase = {});

    DkimKey(DkimKey&&) noexcept;
    DkimKey& operator=(DkimKey&&) noexcept;
    ~DkimKey();

    DkimAlgorithm Algorithm() const { return algorithm_; }
    // The private key as unencrypted PKCS#8 PEM.
    std::string PrivatePem() const;
    // The p= value of the DNS record: base64 of the public key (RSA: SubjectPublicKeyInfo DER;
    // Ed25519: the 32 raw bytes).
    std::string PublicKeyBase64() const;
    // The DNS TXT record's text: "v=DKIM1; k=rsa|ed25519; p=...".
    std::string RecordText() const;
    // The signature of the data (RSA: PKCS#1 v1.5 over its SHA-256; Ed25519: over the data as
    // given, which for DKIM is already a SHA-256 hash).
    std::string Sign(std::string_view data) const;

private:
    DkimKey(EVP_PKEY* key, DkimAlgorithm algorithm) : key_(key), algorithm_(algorithm) {}
    EVP_PKEY* key_;
    DkimAlgorithm algorithm_;
};

// The zone-file line publishing a key: `S._domainkey.D. IN TXT ( "..." "..." )`, the record
// text cut into strings of at most 255 characters as DNS requires.
std::string DkimZoneRecord(const std::string& selector, const std::string& domain, const std::string& recordText);

// What a published record says, taken from a record's text pasted in any usual form (the bare
// text, quoted strings, a whole zone-file line).
struct DkimPublishedRecord {
    std::string keyType = "rsa"; // k=, rsa when absent
    std::string publicKey;       // p=, blanks removed; empty: the key was revoked
};
std::optional<DkimPublishedRecord> ParseDkimRecord(std::string_view text);

// The relaxed canonical form of one header field as it is written ("Name: value" with its
// continuation lines joined by CR LF, without the final CR LF): lower-case name, ":", the value
// unfolded with blank runs made one space and no blanks at its ends, then CR LF.
std::string DkimRelaxedHeader(std::string_view field);

// A line writer taking a body as it is rendered for the connection and hashing its relaxed
// canonical form with SHA-256: each line's leading transport dot is taken off, blank runs become
// one space, blanks at line ends and empty lines at the body's end are dropped.
class DkimBodyHash : public LineWriter {
public:
    DkimBodyHash();
    ~DkimBodyHash() override;
    DkimBodyHash(const DkimBodyHash&) = delete;
    DkimBodyHash& operator=(const DkimBodyHash&) = delete;

    void Write(std::string_view bytes) override;
    void WriteLn(std::string_view line) override;
    // The hash in base64 (the bh= value); ends the stream.
    std::string Finish();

private:
    // Canonical bytes gathered before one hash update: few calls into OpenSSL for short lines.
    static constexpr std::size_t kHashBlock = 16384;

    void feed(std::string_view bytes);
    // Content bytes of the present line, after the empty lines and the blank waiting before them.
    void content(std::string_view bytes);
    void output(std::string_view bytes);
    void flush();

    EVP_MD_CTX* context_;
    std::string out_; // canonical bytes gathered for the next hash update
    std::size_t emptyLines_ = 0;
    bool lineStart_ = true;
    bool lineHasContent_ = false;
    bool blankPending_ = false;
    bool crPending_ = false;
};

class DkimSigner {
public:
    // domain: the d= value; empty: each message's From domain.
    DkimSigner(DkimKey key, std::string selector, std::string domain);

    const DkimKey& Key() const { return key_; }
    const std::string& Selector() const { return selector_; }
    const std::string& Domain() const { return domain_; }

    // The folded lines of the DKIM-Signature header (without CR LF) for a header block as it is
    // written (one entry a line, continuation lines included) and the body's bh= value.
    // fromDomain is used when the signer has no domain of its own; neither raises ETransportError.
    std::vector<std::string> SignatureLines(const std::vector<std::string>& headerLines, const std::string& bodyHash,
                                            std::string_view fromDomain, std::time_t moment) const;

private:
    DkimKey key_;
    std::string selector_;
    std::string domain_;
};

} // namespace quillet
