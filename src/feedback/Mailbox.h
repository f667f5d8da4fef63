// The mailboxes a scan reads, behind one interface: a Maildir folder, an mbox file, and a folder
// on an IMAP server (through libcurl, TLS by OpenSSL under the same trust rules as sending).
//
// A scan lists the messages, fetches each, and then marks it read (IMAP: the \Seen flag; Maildir
// and mbox: left in place) or moves it to another folder (IMAP, and Maildir++ sub-folders).
#pragma once

#include "transport/ConnectionSecurity.h"
#include "transport/TlsSession.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {

class EMailboxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Mailbox {
public:
    virtual ~Mailbox() = default;
    // The messages to read: IMAP the unseen ones, Maildir those in new/ and cur/, mbox all.
    virtual std::vector<std::string> List() = 0;
    // A message's bytes (at most kMaxFeedbackMessageBytes of it).
    virtual std::string Fetch(const std::string& id) = 0;
    virtual void MarkRead(const std::string& id) = 0;
    virtual void MoveTo(const std::string& id, const std::string& folder) = 0;
    // Called after a fetch that should leave no trace (a dry run): undoes what fetching changed.
    virtual void Unread(const std::string& id) { (void)id; }
};

std::unique_ptr<Mailbox> OpenMaildir(const std::filesystem::path& folder);
std::unique_ptr<Mailbox> OpenMbox(const std::filesystem::path& file);

// The messages of an mbox file's bytes: each starts at a "From " line at the start of the text
// or after an empty line; ">From " quoting is undone. Returned as [begin, end) offsets of the
// message text without its "From " line.
std::vector<std::pair<std::size_t, std::size_t>> SplitMbox(std::string_view text);
std::string UnquoteMboxMessage(std::string_view message);

struct ImapSettings {
    std::string url; // imaps://HOST[:PORT]/FOLDER or imap://HOST[:PORT]/FOLDER
    std::string user;
    std::string password;
    ConnectionSecurity security = ConnectionSecurity::Auto;
    TlsTrust trust;
    long connectTimeoutSeconds = 30;
    long timeoutSeconds = 300;
};

std::unique_ptr<Mailbox> OpenImap(const ImapSettings& settings);

} // namespace quillet
