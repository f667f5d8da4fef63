// The one-click unsubscribe endpoint: a small HTTP server (cpp-httplib) meant to run behind the
// user's HTTPS reverse proxy.
//
//   POST ...?a=ADDRESS&t=TOKEN (or a and t in the form body) with a valid token: the address is
//        suppressed as unsubscribed, 200 and a short page saying so;
//   GET  with a valid token: a page with one button that makes that POST (mail scanners follow
//        links, so a GET alone never unsubscribes);
//   any request whose token does not fit its address: 403, nothing changes.
// One log line per request. Bounded: request line, header lines and body (FeedbackLimits.h),
// header count, read, write and idle times, and the connections served at once.
#pragma once

#include "SuppressionStore.h"

#include <functional>
#include <memory>
#include <string>

namespace quillet {

struct UnsubscribeAnswer {
    int status = 403;
    std::string page; // HTML
    std::string address;
};

// What the endpoint answers a request (method "GET" or "POST") for the address and token given;
// a valid POST suppresses the address in the store.
UnsubscribeAnswer AnswerUnsubscribe(const std::string& method, const std::string& address, const std::string& token,
                                    const std::string& secret, SuppressionStore& store);

class UnsubscribeEndpoint {
public:
    using Log = std::function<void(const std::string& line)>;

    // Binds host:port (0: any free port); throws when the address cannot be bound.
    UnsubscribeEndpoint(const std::string& host, int port, std::string secret, const std::filesystem::path& list,
                        Log log);
    ~UnsubscribeEndpoint();
    UnsubscribeEndpoint(const UnsubscribeEndpoint&) = delete;
    UnsubscribeEndpoint& operator=(const UnsubscribeEndpoint&) = delete;

    int Port() const { return port_; }
    // Serves until Stop() is called (from another thread or a signal's watcher).
    void Serve();
    void Stop();

private:
    struct Server;
    std::unique_ptr<Server> server_;
    int port_ = 0;
};

} // namespace quillet
