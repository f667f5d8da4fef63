// The suppression list: the addresses never to be mailed again, kept in one SQLite file that this
// class alone writes.
//
// Place: the file named by QUILLET_SUPPRESSION, else $XDG_DATA_HOME/orv-quillet/suppression.sqlite
// ($HOME/.local/share when the variable is not set); folders are made owner-only (0700), the file
// owner-only (0600). Addresses match without regard to ASCII letter case; an entry keeps the
// address as first written.
//
// Concurrency: every change is one transaction that takes the write lock at its start (BEGIN
// IMMEDIATE), and a writer that finds the lock held waits (kSuppressionBusyTimeout) instead of
// failing, so two programs writing at once (the desktop program and a mailbox scan) both keep
// their entries. The file is in write-ahead-log mode, so readers never wait for a writer.
//
// Besides the entries the file keeps the soft bounces counted per address and the keys of the
// reports already read, so reading the same mailbox again changes nothing.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quillet {

class ESuppressionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SuppressionEntry {
    std::string address;
    std::string reason; // unsubscribed, bounced, complained or manual
    std::string firstSeen;
    std::string lastSeen;
    std::string source; // run ID, report Message-ID, mailbox message or "by hand"
    std::string detail; // status code and diagnostic, feedback type, note
};

// True for the four reasons an entry may have.
bool IsSuppressionReason(std::string_view reason);
// The address as the list compares it: ASCII letters in lower case, surrounding spaces and angle
// brackets taken off.
std::string SuppressionKey(std::string_view address);
// "2026-12-08T01:30:45Z" for now.
std::string SuppressionTimeNow();

// The addresses of the list in memory, for leaving recipients out of a run quickly.
class SuppressedAddresses {
public:
    void Insert(std::string_view address) { keys_.insert(SuppressionKey(address)); }
    bool Contains(std::string_view address) const { return keys_.count(SuppressionKey(address)) != 0; }
    std::size_t Size() const { return keys_.size(); }

private:
    std::unordered_set<std::string> keys_;
};

class SuppressionStore {
public:
    // QUILLET_SUPPRESSION, else the file under the data folder.
    static std::filesystem::path DefaultPath();

    // Opens (creating the folders and the file where missing) the list at path.
    explicit SuppressionStore(const std::filesystem::path& path);
    ~SuppressionStore();
    SuppressionStore(const SuppressionStore&) = delete;
    SuppressionStore& operator=(const SuppressionStore&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Adds an entry, or updates the one of the same address: the reason, last seen, source and
    // detail become the new ones, the first-seen date stays. Empty dates mean now. Returns true
    // when the address was not in the list.
    bool Add(const SuppressionEntry& entry);
    // Adds many entries in one transaction; returns how many were new.
    std::size_t AddAll(const std::vector<SuppressionEntry>& entries);
    // Removes the address; false when it was not there.
    bool Remove(std::string_view address);
    std::optional<SuppressionEntry> Find(std::string_view address) const;
    bool Contains(std::string_view address) const { return Find(address).has_value(); }
    // The entries sorted by address; reason empty: all.
    std::vector<SuppressionEntry> List(std::string_view reason = {}) const;
    // Every address of the list.
    SuppressedAddresses LoadAddresses() const;

    // Counts a soft bounce of the address; once `limit` are counted it is suppressed as
    // bounced with this source and detail. Returns the count so far.
    int AddSoftBounce(std::string_view address, std::string_view source, std::string_view detail, int limit);
    int SoftBounces(std::string_view address) const;

    // Whether a report (its key: Message-ID or digest) was read before, and marking it read.
    bool ReportRead(std::string_view key) const;
    void MarkReportRead(std::string_view key);

    // A group of changes made as one transaction: all of them or none reach the file.
    class Transaction {
    public:
        explicit Transaction(SuppressionStore& store);
        ~Transaction(); // rolls back unless committed
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        SuppressionStore& store_;
        bool open_ = true;
    };

private:
    // A prepared statement, finalized on every path.
    class Statement {
    public:
        Statement(const SuppressionStore& store, const char* sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;
        Statement& Bind(int index, std::string_view text);
        Statement& Bind(int index, long long value);
        bool Step(); // true while a row is ready
        std::string Text(int column) const;
        long long Integer(int column) const;

    private:
        const SuppressionStore& store_;
        sqlite3_stmt* statement_ = nullptr;
    };

    void Execute(const char* sql) const;
    [[noreturn]] void Fail() const;
    bool AddInside(const SuppressionEntry& entry, const std::string& now);

    std::filesystem::path path_;
    sqlite3* db_ = nullptr;
    int transactionDepth_ = 0;
};

} // namespace quillet
