// quillet serve [--port N] [--bind ADDRESS] [--capture DIR] [--verbose] [fault options]: runs the
// built-in SMTP server in the foreground until SIGINT or SIGTERM, then shuts it down in order and
// exits 0. The fault options (ServeFaultOptions.h) make it misbehave for trying runs.
#include "Command.h"
#include "ServeFaultOptions.h"
#include "Terminal.h"

#include "project/FileDescriptor.h"
#include "server/MessageCapture.h"
#include "server/SMTPServer.h"
#include "server/SMTPServerThread.h"
#include "transport/TransportError.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace quillet::cli {

namespace {

constexpr int DefaultServePort = 1026;

// The write end of the pipe the signal handler wakes the main thread through.
int signalPipeWrite = -1;

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipeWrite, &byte, 1);
    errno = saved;
}

// Routes SIGINT and SIGTERM into a pipe for as long as it lives.
class StopSignals {
public:
    StopSignals()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("Cannot create signal pipe.");
        read_.reset(ends[0]);
        write_.reset(ends[1]);
        signalPipeWrite = write_.get();
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        signalPipeWrite = -1;
    }
    // Blocks until a stop signal has arrived.
    void Wait()
    {
        char byte;
        while (::read(read_.get(), &byte, 1) < 0 && errno == EINTR) {
        }
    }

private:
    FileDescriptor read_;
    FileDescriptor write_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

} // namespace

class ServeCommand : public Command {
public:
    ServeCommand() : Command("serve", "Run the built-in SMTP server in the foreground") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"port", "Port to listen on (default 1026; 0 picks a free one).", "N"});
        parser.addOption({"bind", "IPv4 or IPv6 address to listen on (default 127.0.0.1).", "ADDRESS"});
        parser.addOption({"capture", "Keep every received message as DIR/NNNNNN.eml.", "DIR"});
        parser.addOption({"verbose", "Print one line per received message."});
        addServeFaultOptions(parser);
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        const int port = portOption(parser, "port", 0, DefaultServePort);
        const bool verbose = parser.isSet("verbose");
        std::optional<MessageCapture> capture;
        if (parser.isSet("capture"))
            capture.emplace(parser.value("capture").toStdString());

        StopSignals stopSignals;
        TSMTPServer server;
        server.DefaultPort = std::uint16_t(port);
        if (parser.isSet("bind"))
            server.BindAddress = parser.value("bind").toStdString();

        std::mutex outputLock;
        server.OnCommandMAIL = [](TSMTPServerThread&, bool& accept, const TEMailAddressItem&) { accept = true; };
        server.OnCommandRCPT = [](TSMTPServerThread&, bool& accept, bool&, const TEMailAddressItem&, std::string&) {
            accept = true;
        };
        applyServeFaultOptions(parser, server);
        server.OnReceiveRaw = [&](TSMTPServerThread& session, const ReceivedData& data, const TEMailAddressList& rcpt,
                                  std::string&) {
            std::string kept;
            if (capture) {
                try {
                    kept = capture->Keep(data.Path);
                } catch (const std::exception& error) {
                    // The client is not told 250: the session ends, and the user learns why.
                    std::lock_guard guard(outputLock);
                    printErr(std::string(error.what()) + "\n");
                    throw;
                }
            }
            if (!verbose)
                return;
            std::string line = "Received " + std::to_string(data.Size) + " bytes from <" + session.From().Address +
                               "> for " + rcpt.AddressesText();
            if (!kept.empty())
                line += ", kept as " + kept;
            std::lock_guard guard(outputLock);
            printOut(line + "\n");
            std::fflush(stdout);
        };

        // With --verbose, sessions that end in an error say so (not those the client just left).
        if (verbose)
            server.OnException = [&](const std::exception& error) {
                if (dynamic_cast<const ESilentTransportError*>(&error))
                    return;
                std::lock_guard guard(outputLock);
                printErr("Session ended: " + std::string(error.what()) + "\n");
            };

        server.SetActive(true);
        {
            std::lock_guard guard(outputLock);
            // An IPv6 address in brackets, so the port stands apart from it.
            const std::string& address = server.BindAddress;
            const bool bare6 = address.find(':') != std::string::npos && address.front() != '[';
            printOut("Listening on " + (bare6 ? "[" + address + "]" : address) + ":" +
                     std::to_string(server.BoundPort()) + "\n");
            std::fflush(stdout);
        }
        stopSignals.Wait();
        server.SetActive(false);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ServeCommand);

} // namespace quillet::cli
