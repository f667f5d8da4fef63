#include "SecretServiceKeyring.h"

#include "project/PasswordService.h"
#include "project/ProjectMessages.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillet {

namespace {

const SecretSchema* passwordSchema()
{
    static const SecretSchema schema = {"org.orv.quillet.Password",
                                        SECRET_SCHEMA_NONE,
                                        {{"purpose", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"port", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

std::string fill(std::string_view format, std::string_view value)
{
    std::string text(format);
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

// A cancellable that is cancelled when the wait limit passes; the watching thread is joined
// when the call is over, on every path.
class WaitLimit {
public:
    WaitLimit() : cancellable_(g_cancellable_new()), watcher_([this] { watch(); }) {}
    ~WaitLimit()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        watcher_.join();
        g_object_unref(cancellable_);
    }
    WaitLimit(const WaitLimit&) = delete;
    WaitLimit& operator=(const WaitLimit&) = delete;

    GCancellable* cancellable() const { return cancellable_; }
    bool expired() const { return g_cancellable_is_cancelled(cancellable_); }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, std::chrono::seconds(kKeyringWaitSeconds), [this] { return done_; }))
            g_cancellable_cancel(cancellable_);
    }

    GCancellable* cancellable_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread watcher_;
};

// Raises KeyringUnavailable for a failed call, with the reason the user can act on.
void raise(GError* error, const WaitLimit& limit)
{
    std::string reason;
    if (limit.expired())
        reason = fill(messages::kKeyringNoAnswer, std::to_string(kKeyringWaitSeconds));
    else if (error && error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED)
        reason = messages::kKeyringLocked;
    else
        reason = fill(messages::kKeyringNotRunning, error ? error->message : "no reply");
    if (error)
        g_error_free(error);
    throw KeyringUnavailable(reason);
}

GHashTable* attributes(const SecretKey& key)
{
    return secret_attributes_build(passwordSchema(), "purpose", key.purpose.c_str(), "host", key.host.c_str(), "port",
                                   key.port.c_str(), "user", key.user.c_str(), nullptr);
}

struct Attributes {
    explicit Attributes(const SecretKey& key) : table(attributes(key)) {}
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    GHashTable* table;
};

} // namespace

std::optional<std::string> SecretServiceKeyring::Find(const SecretKey& key)
{
    WaitLimit limit;
    Attributes query(key);
    GError* error = nullptr;
    gchar* secret = secret_password_lookupv_sync(passwordSchema(), query.table, limit.cancellable(), &error);
    if (error)
        raise(error, limit);
    if (!secret)
        return std::nullopt;
    std::string value(secret);
    secret_password_free(secret);
    return value;
}

void SecretServiceKeyring::Store(const SecretKey& key, const std::string& secret)
{
    WaitLimit limit;
    Attributes item(key);
    const std::string label = "Orv Quillet: " + key.purpose + " " + DescribeSecret(key);
    GError* error = nullptr;
    if (!secret_password_storev_sync(passwordSchema(), item.table, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                     secret.c_str(), limit.cancellable(), &error))
        raise(error, limit);
}

bool SecretServiceKeyring::Remove(const SecretKey& key)
{
    WaitLimit limit;
    Attributes item(key);
    GError* error = nullptr;
    const bool removed = secret_password_clearv_sync(passwordSchema(), item.table, limit.cancellable(), &error);
    if (error)
        raise(error, limit);
    return removed;
}

} // namespace quillet
