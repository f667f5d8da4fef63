#include "UnsubscribeEndpoint.h"

#include "FeedbackLimits.h"
#include "FeedbackTexts.h"
#include "UnsubscribeToken.h"

#include "transport/MessageTexts.h"

#include <httplib.h>

#include <mutex>

namespace quillet {

namespace {

std::string htmlEscaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string page(std::string_view body)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta name=\"robots\" content=\"noindex\">"
           "<title>Unsubscribe</title></head>\n<body>\n" +
           std::string(body) + "\n</body></html>\n";
}

} // namespace

UnsubscribeAnswer AnswerUnsubscribe(const std::string& method, const std::string& address, const std::string& token,
                                    const std::string& secret, SuppressionStore& store)
{
    UnsubscribeAnswer answer;
    answer.address = address;
    if (address.empty() || !VerifyUnsubscribeToken(secret, address, token)) {
        answer.status = 403;
        answer.page = page("<p>" + htmlEscaped(kUnsubscribeForbidden) + "</p>");
        return answer;
    }
    answer.status = 200;
    if (method == "POST") {
        store.Add({address, std::string(kReasonUnsubscribed), "", "", "one-click", ""});
        answer.page = page("<p>" + htmlEscaped(FormatText(kUnsubscribeDone, {address})) + "</p>");
    } else {
        answer.page = page("<form method=\"post\">\n<p>" + htmlEscaped(FormatText(kUnsubscribeConfirm, {address})) +
                           "</p>\n<input type=\"hidden\" name=\"a\" value=\"" + htmlEscaped(address) +
                           "\">\n<input type=\"hidden\" name=\"t\" value=\"" + htmlEscaped(token) +
                           "\">\n<button type=\"submit\">" + htmlEscaped(kUnsubscribeButton) + "</button>\n</form>");
    }
    return answer;
}

struct UnsubscribeEndpoint::Server {
    httplib::Server http;
    std::string secret;
    SuppressionStore store;
    std::mutex storeLock; // one connection to the list, used by one worker at a time
    Log log;

    Server(std::string s, const std::filesystem::path& list, Log l)
        : secret(std::move(s)), store(list), log(std::move(l))
    {
    }
};

UnsubscribeEndpoint::UnsubscribeEndpoint(const std::string& host, int port, std::string secret,
                                         const std::filesystem::path& list, Log log)
    : server_(std::make_unique<Server>(std::move(secret), list, std::move(log)))
{
    Server& s = *server_;
    httplib::Server& http = s.http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kUnsubscribeWorkerThreads); };
    http.set_payload_max_length(kMaxUnsubscribeRequestBytes);
    http.set_read_timeout(kUnsubscribeReadTimeout);
    http.set_write_timeout(kUnsubscribeWriteTimeout);
    http.set_keep_alive_timeout(kUnsubscribeIdleTimeout.count());
    http.set_keep_alive_max_count(kUnsubscribeKeepAliveRequests);
    http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (request.headers.size() <= kMaxUnsubscribeHeaderCount)
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 431;
        return httplib::Server::HandlerResponse::Handled;
    });
    auto handle = [&s](const httplib::Request& request, httplib::Response& response) {
        UnsubscribeAnswer answer;
        {
            std::lock_guard<std::mutex> lock(s.storeLock);
            answer = AnswerUnsubscribe(request.method, request.get_param_value("a"), request.get_param_value("t"),
                                       s.secret, s.store);
        }
        response.status = answer.status;
        response.set_header("Cache-Control", "no-store");
        response.set_content(answer.page, "text/html; charset=utf-8");
    };
    http.Get(".*", handle);
    http.Post(".*", handle);
    http.set_logger([&s](const httplib::Request& request, const httplib::Response& response) {
        const std::string address = request.get_param_value("a");
        s.log(SuppressionTimeNow() + " " + (request.remote_addr.empty() ? "-" : request.remote_addr) + " " +
              (request.method.empty() ? "-" : request.method) + " " + std::to_string(response.status) + " " +
              (address.empty() ? "-" : address));
    });
    const bool bound = port == 0 ? (port_ = http.bind_to_any_port(host)) > 0 : http.bind_to_port(host, port);
    if (!bound)
        throw std::runtime_error("Cannot listen on " + host + ":" + std::to_string(port) + ".");
    if (port != 0)
        port_ = port;
}

UnsubscribeEndpoint::~UnsubscribeEndpoint() = default;

void UnsubscribeEndpoint::Serve()
{
    server_->http.listen_after_bind();
}

void UnsubscribeEndpoint::Stop()
{
    server_->http.stop();
}

} // namespace quillet
