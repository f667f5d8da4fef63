// quillet unsubscribe serve: a valid one-click POST suppresses (200), a GET only shows the
// button, a forged token gets 403 and changes nothing, an oversized request is refused, and
// every request is logged. The list is the one under the data folder.
#include "cli/CliHarness.h"
#include "cli/ServeProcess.h"

#include "feedback/UnsubscribeToken.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace quillet;
using namespace quillet::test;

namespace {

// Sends the request on a fresh connection and returns all the server answers. `halfClose` ends
// the sending side at once (a request the server refuses unread is not followed by a wait for
// the idle time).
std::string exchange(int port, const std::string& request, bool halfClose = false)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()) &&
        (!halfClose || ::shutdown(fd, SHUT_WR) == 0)) {
        timeval limit{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return answer;
}

std::string oneClick(const std::string& method, const std::string& query)
{
    const std::string body = method == "POST" ? "List-Unsubscribe=One-Click" : "";
    return method + " /unsubscribe?" + query + " HTTP/1.1\r\nHost: lists.sender.example\r\nConnection: close\r\n" +
           (body.empty() ? "" : "Content-Type: application/x-www-form-urlencoded\r\n") +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace

TEST(UnsubscribeServe, OneClickPostSuppressesAndNothingElseDoes)
{
    CliHarness cli;
    const std::string secret = "a-secret-of-thirty-two-bytes-000";
    CliHarness::writeFile(cli.file("secret"), secret + "\n");
    ServeProcess serve(cli, {}, {"unsubscribe", "serve", "--bind", "127.0.0.1:0", "--secret-file", cli.file("secret")},
                       cli.file("log"));
    const std::string token = UnsubscribeToken(secret, "Ann@example.org");
    const std::string valid = "a=Ann%40example.org&t=" + token;

    const std::string page = exchange(serve.port(), oneClick("GET", valid));
    EXPECT_EQ(page.substr(0, 15), "HTTP/1.1 200 OK") << page;
    EXPECT_NE(page.find("<button type=\"submit\">Unsubscribe</button>"), std::string::npos) << page;
    EXPECT_EQ(cli.run({"suppress", "list"}).out, "");

    const std::string forged = exchange(serve.port(), oneClick("POST", "a=bob%40example.org&t=" + token));
    EXPECT_EQ(forged.substr(0, 12), "HTTP/1.1 403") << forged;
    const std::string huge = exchange(serve.port(), oneClick("POST", valid + "&x=" + std::string(20000, 'x')), true);
    EXPECT_EQ(huge.find(" 200 "), std::string::npos) << huge; // refused, or closed unanswered
    EXPECT_EQ(cli.run({"suppress", "list"}).out, "");

    const std::string posted = exchange(serve.port(), oneClick("POST", valid));
    EXPECT_EQ(posted.substr(0, 15), "HTTP/1.1 200 OK") << posted;
    const std::string list = cli.run({"suppress", "list"}).out;
    EXPECT_EQ(list.substr(0, list.find('\t', list.find('\t') + 1)), "Ann@example.org\tunsubscribed") << list;

    EXPECT_EQ(serve.Stop(SIGTERM), 0);
    const std::string log = CliHarness::readFile(cli.file("log"));
    EXPECT_NE(log.find(" 127.0.0.1 GET 200 Ann@example.org\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" 127.0.0.1 POST 200 Ann@example.org\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" 127.0.0.1 POST 403 bob@example.org\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(token), std::string::npos);
}
