#include "SuppressionStore.h"

#include "FeedbackLimits.h"
#include "FeedbackTexts.h"

#include "transport/MessageTexts.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS suppression ("
                                " address TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"
                                " reason TEXT NOT NULL, first_seen TEXT NOT NULL, last_seen TEXT NOT NULL,"
                                " source TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '');"
                                "CREATE TABLE IF NOT EXISTS soft_bounce ("
                                " address TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"
                                " count INTEGER NOT NULL, last_seen TEXT NOT NULL, detail TEXT NOT NULL DEFAULT '');"
                                "CREATE TABLE IF NOT EXISTS report_read ("
                                " report TEXT NOT NULL PRIMARY KEY, read_at TEXT NOT NULL);";

// Creates the missing folders of path owner-only.
void makeFolders(const std::filesystem::path& folder)
{
    if (folder.empty() || std::filesystem::exists(folder))
        return;
    makeFolders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw ESuppressionError(FormatText(kSuppressionOpenFailed, folder.string(), std::strerror(errno)));
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '<'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '>' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

bool IsSuppressionReason(std::string_view reason)
{
    return reason == kReasonUnsubscribed || reason == kReasonBounced || reason == kReasonComplained ||
           reason == kReasonManual;
}

std::string SuppressionKey(std::string_view address)
{
    std::string key(trimmed(address));
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return key;
}

std::string SuppressionTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::filesystem::path SuppressionStore::DefaultPath()
{
    if (const char* chosen = std::getenv("QUILLET_SUPPRESSION"); chosen && *chosen)
        return chosen;
    std::filesystem::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = std::filesystem::path(home) / ".local" / "share";
    else
        throw ESuppressionError(std::string(kNoDataFolder));
    return data / "orv-quillet" / "suppression.sqlite";
}

SuppressionStore::SuppressionStore(const std::filesystem::path& path) : path_(path)
{
    makeFolders(path.parent_path());
    // The file is made owner-only before SQLite sees it; SQLite gives its journal files the
    // same permissions.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw ESuppressionError(FormatText(kSuppressionOpenFailed, path.string(), std::strerror(errno)));
    ::close(fd);
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw ESuppressionError(FormatText(kSuppressionOpenFailed, path.string(), reason));
    }
    sqlite3_busy_timeout(db_, int(kSuppressionBusyTimeout.count()));
    try {
        Execute("PRAGMA journal_mode=WAL");
        Execute("PRAGMA synchronous=NORMAL");
        Transaction transaction(*this);
        Execute(kSchema);
        transaction.Commit();
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

SuppressionStore::~SuppressionStore()
{
    sqlite3_close(db_);
}

void SuppressionStore::Fail() const
{
    throw ESuppressionError(FormatText(kSuppressionFailed, path_.string(), sqlite3_errmsg(db_)));
}

void SuppressionStore::Execute(const char* sql) const
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        throw ESuppressionError(FormatText(kSuppressionFailed, path_.string(), reason));
    }
}

SuppressionStore::Statement::Statement(const SuppressionStore& store, const char* sql) : store_(store)
{
    if (sqlite3_prepare_v2(store.db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
        store.Fail();
}

SuppressionStore::Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

SuppressionStore::Statement& SuppressionStore::Statement::Bind(int index, std::string_view text)
{
    // An empty view may have no data pointer, which SQLite would take for NULL.
    if (sqlite3_bind_text(statement_, index, text.empty() ? "" : text.data(), int(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        store_.Fail();
    return *this;
}

SuppressionStore::Statement& SuppressionStore::Statement::Bind(int index, long long value)
{
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        store_.Fail();
    return *this;
}

bool SuppressionStore::Statement::Step()
{
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        store_.Fail();
    return false;
}

std::string SuppressionStore::Statement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return text ? std::string(text, std::size_t(sqlite3_column_bytes(statement_, column))) : std::string();
}

long long SuppressionStore::Statement::Integer(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

SuppressionStore::Transaction::Transaction(SuppressionStore& store) : store_(store)
{
    // Nested groups join the outermost one.
    if (store_.transactionDepth_ == 0)
        store_.Execute("BEGIN IMMEDIATE");
    ++store_.transactionDepth_;
}

SuppressionStore::Transaction::~Transaction()
{
    if (!open_)
        return;
    if (--store_.transactionDepth_ == 0)
        sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SuppressionStore::Transaction::Commit()
{
    if (store_.transactionDepth_ == 1)
        store_.Execute("COMMIT");
    --store_.transactionDepth_;
    open_ = false;
}

bool SuppressionStore::AddInside(const SuppressionEntry& entry, const std::string& now)
{
    if (!IsSuppressionReason(entry.reason))
        throw ESuppressionError(FormatText(kUnknownReason, {entry.reason}));
    const std::string address(trimmed(entry.address));
    const std::string first = entry.firstSeen.empty() ? now : entry.firstSeen;
    const std::string last = entry.lastSeen.empty() ? now : entry.lastSeen;
    const bool added = !Find(address);
    Statement(*this, "INSERT INTO suppression (address, reason, first_seen, last_seen, source, detail)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (address) DO UPDATE SET"
                     " reason = excluded.reason, last_seen = max(last_seen, excluded.last_seen),"
                     " first_seen = min(first_seen, excluded.first_seen),"
                     " source = excluded.source, detail = excluded.detail")
        .Bind(1, address)
        .Bind(2, entry.reason)
        .Bind(3, first)
        .Bind(4, last)
        .Bind(5, entry.source)
        .Bind(6, entry.detail)
        .Step();
    return added;
}

bool SuppressionStore::Add(const SuppressionEntry& entry)
{
    return AddAll({entry}) == 1;
}

std::size_t SuppressionStore::AddAll(const std::vector<SuppressionEntry>& entries)
{
    const std::string now = SuppressionTimeNow();
    Transaction transaction(*this);
    std::size_t added = 0;
    for (const SuppressionEntry& entry : entries)
        added += AddInside(entry, now) ? 1 : 0;
    transaction.Commit();
    return added;
}

bool SuppressionStore::Remove(std::string_view address)
{
    Transaction transaction(*this);
    Statement(*this, "DELETE FROM suppression WHERE address = ?1").Bind(1, trimmed(address)).Step();
    const bool removed = sqlite3_changes(db_) > 0;
    Statement(*this, "DELETE FROM soft_bounce WHERE address = ?1").Bind(1, trimmed(address)).Step();
    transaction.Commit();
    return removed;
}

namespace {

constexpr const char* kEntryColumns = "SELECT address, reason, first_seen, last_seen, source, detail FROM suppression";

} // namespace

std::optional<SuppressionEntry> SuppressionStore::Find(std::string_view address) const
{
    Statement query(*this, (std::string(kEntryColumns) + " WHERE address = ?1").c_str());
    query.Bind(1, trimmed(address));
    if (!query.Step())
        return std::nullopt;
    return SuppressionEntry{query.Text(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4), query.Text(5)};
}

std::vector<SuppressionEntry> SuppressionStore::List(std::string_view reason) const
{
    Statement query(*this, (std::string(kEntryColumns) + " WHERE ?1 = '' OR reason = ?1 ORDER BY address").c_str());
    query.Bind(1, reason);
    std::vector<SuppressionEntry> entries;
    while (query.Step())
        entries.push_back({query.Text(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4), query.Text(5)});
    return entries;
}

SuppressedAddresses SuppressionStore::LoadAddresses() const
{
    Statement query(*this, "SELECT address FROM suppression");
    SuppressedAddresses addresses;
    while (query.Step())
        addresses.Insert(query.Text(0));
    return addresses;
}

int SuppressionStore::AddSoftBounce(std::string_view address, std::string_view source, std::string_view detail,
                                    int limit)
{
    const std::string now = SuppressionTimeNow();
    Transaction transaction(*this);
    Statement(*this, "INSERT INTO soft_bounce (address, count, last_seen, detail) VALUES (?1, 1, ?2, ?3)"
                     " ON CONFLICT (address) DO UPDATE SET count = count + 1, last_seen = excluded.last_seen,"
                     " detail = excluded.detail")
        .Bind(1, trimmed(address))
        .Bind(2, now)
        .Bind(3, detail)
        .Step();
    const int count = SoftBounces(address);
    if (count >= limit && !Find(address))
        AddInside({std::string(address), std::string(kReasonBounced), now, now, std::string(source),
                   std::string(detail) + " (" + std::to_string(count) + " soft bounces)"},
                  now);
    transaction.Commit();
    return count;
}

int SuppressionStore::SoftBounces(std::string_view address) const
{
    Statement query(*this, "SELECT count FROM soft_bounce WHERE address = ?1");
    query.Bind(1, trimmed(address));
    return query.Step() ? int(query.Integer(0)) : 0;
}

bool SuppressionStore::ReportRead(std::string_view key) const
{
    Statement query(*this, "SELECT 1 FROM report_read WHERE report = ?1");
    query.Bind(1, key);
    return query.Step();
}

void SuppressionStore::MarkReportRead(std::string_view key)
{
    Transaction transaction(*this);
    Statement(*this, "INSERT OR IGNORE INTO report_read (report, read_at) VALUES (?1, ?2)")
        .Bind(1, key)
        .Bind(2, SuppressionTimeNow())
        .Step();
    transaction.Commit();
}

} // namespace quillet
