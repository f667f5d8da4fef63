#include "DkimKeyFiles.h"

#include "MessageTexts.h"
#include "TransportError.h"

#include "project/FileDescriptor.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace quillet {

namespace {

// The largest DNS answer read: a TXT record of a 4096-bit key with room to spare.
constexpr int kDnsAnswerLimit = 8192;

// Writes a new file (never over an existing one) with the mode; a failure removes what was made.
void writeNewFile(const std::string& path, std::string_view bytes, mode_t mode)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!file.valid())
        throw ETransportError(FormatText(kDkimCannotWriteFormat, path, std::strerror(errno)));
    int error = writeAllBytes(file.get(), bytes);
    if (file.close() != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(path.c_str());
        throw ETransportError(FormatText(kDkimCannotWriteFormat, path, std::strerror(error)));
    }
}

} // namespace

DkimKeyFiles CreateDkimKeyFiles(const std::string& folder, const std::string& selector, const std::string& domain,
                                DkimAlgorithm algorithm)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw ETransportError(FormatText(kDkimCannotWriteFormat, folder, error.message()));
    DkimKeyFiles files;
    files.privateKeyPath = (std::filesystem::path(folder) / (selector + ".private")).string();
    files.recordPath = (std::filesystem::path(folder) / (selector + ".txt")).string();
    for (const std::string& path : {files.privateKeyPath, files.recordPath})
        if (std::filesystem::exists(path, error))
            throw ETransportError(FormatText(kDkimFileExistsFormat, path, {}));

    const DkimKey key = DkimKey::Generate(algorithm);
    files.zoneRecord = DkimZoneRecord(selector, domain, key.RecordText());
    writeNewFile(files.privateKeyPath, key.PrivatePem(), S_IRUSR | S_IWUSR);
    try {
        writeNewFile(files.recordPath, files.zoneRecord + "\n", S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    } catch (...) {
        ::unlink(files.privateKeyPath.c_str());
        throw;
    }
    return files;
}

std::shared_ptr<const DkimSigner> LoadDkimSigner(const std::string& keyFile, const std::string& selector,
                                                 const std::string& domain)
{
    if (keyFile.empty())
        return nullptr;
    if (selector.empty())
        throw ETransportError(kDkimNoSelectorText);
    return std::make_shared<const DkimSigner>(DkimKey::Load(keyFile), selector, domain);
}

DkimRecordVerdict CheckDkimRecord(const DkimKey& key, std::string_view recordText)
{
    const auto record = ParseDkimRecord(recordText);
    if (!record)
        return DkimRecordVerdict::NotARecord;
    if (record->publicKey.empty())
        return DkimRecordVerdict::Revoked;
    const std::string keyType = key.Algorithm() == DkimAlgorithm::Ed25519Sha256 ? "ed25519" : "rsa";
    if (record->keyType != keyType)
        return DkimRecordVerdict::OtherKeyType;
    return record->publicKey == key.PublicKeyBase64() ? DkimRecordVerdict::Matches : DkimRecordVerdict::OtherKey;
}

std::string LookUpDkimRecord(const std::string& selector, const std::string& domain)
{
    const std::string name = selector + "._domainkey." + domain;
    unsigned char answer[kDnsAnswerLimit];
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        throw ETransportError(FormatText(kDkimNoRecordFormat, name, {}));
    const int length = res_nsearch(&state, name.c_str(), ns_c_in, ns_t_txt, answer, sizeof answer);
    res_nclose(&state);
    ns_msg message;
    if (length < 0 || ns_initparse(answer, length, &message) != 0)
        throw ETransportError(FormatText(kDkimNoRecordFormat, name, {}));
    std::string record;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr rr;
        if (ns_parserr(&message, ns_s_an, i, &rr) != 0 || ns_rr_type(rr) != ns_t_txt)
            continue;
        // The record's character-strings, each a length byte and its text, joined in order.
        const unsigned char* data = ns_rr_rdata(rr);
        const unsigned char* end = data + ns_rr_rdlen(rr);
        std::string text;
        while (data < end) {
            const std::size_t size = std::min<std::size_t>(*data, static_cast<std::size_t>(end - data - 1));
            text.append(reinterpret_cast<const char*>(data + 1), size);
            data += 1 + size;
        }
        if (ParseDkimRecord(text))
            return text;
        if (record.empty())
            record = text;
    }
    if (record.empty())
        throw ETransportError(FormatText(kDkimNoRecordFormat, name, {}));
    return record;
}

} // namespace quillet
