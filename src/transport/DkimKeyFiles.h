// The files of a signing key and its published record: a new key pair written as
// `SELECTOR.private` (PEM, owner-only) and `SELECTOR.txt` (the zone-file line to publish), and
// the check of a published record against a key, the record pasted in or looked up in DNS.
#pragma once

#include "DkimSigner.h"

#include <memory>
#include <string>

namespace quillet {

struct DkimKeyFiles {
    std::string privateKeyPath;
    std::string recordPath;
    // The zone-file line, as written to recordPath.
    std::string zoneRecord;
};

// Makes a key of the algorithm and writes both files into the folder (made when missing). An
// existing file of either name is never replaced; that and every write failure raise
// ETransportError, leaving no half-written key behind.
DkimKeyFiles CreateDkimKeyFiles(const std::string& folder, const std::string& selector, const std::string& domain,
                                DkimAlgorithm algorithm);

// The signer of the program options' key: none when no key file is set; a key without a
// selector or that cannot be read raises ETransportError.
std::shared_ptr<const DkimSigner> LoadDkimSigner(const std::string& keyFile, const std::string& selector,
                                                 const std::string& domain);

enum class DkimRecordVerdict { Matches, OtherKey, OtherKeyType, Revoked, NotARecord };

// How a published record's text stands to the key.
DkimRecordVerdict CheckDkimRecord(const DkimKey& key, std::string_view recordText);

// The TXT record of SELECTOR._domainkey.DOMAIN through the system's resolver, its strings
// joined; raises ETransportError when there is none or no DNS answers.
std::string LookUpDkimRecord(const std::string& selector, const std::string& domain);

} // namespace quillet
