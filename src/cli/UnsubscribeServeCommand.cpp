// quillet unsubscribe serve --bind ADDRESS:PORT --secret-file FILE: the one-click unsubscribe
// endpoint, until SIGINT or SIGTERM. Prints "Listening on ADDRESS:PORT" (the port chosen when 0
// was given), then one log line per request on standard error.
#include "Command.h"
#include "SuppressionAccess.h"

#include "feedback/UnsubscribeEndpoint.h"
#include "feedback/UnsubscribeToken.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace quillet::cli {

class UnsubscribeServeCommand : public Command {
public:
    UnsubscribeServeCommand() : Command("unsubscribe serve", "Serve the one-click unsubscribe endpoint") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"bind", "The address and port to listen on, e.g. 127.0.0.1:8025.", "ADDRESS:PORT"});
        parser.addOption({"secret-file", "The secret of the unsubscribe tokens.", "FILE"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        requireOptions(parser, {"bind", "secret-file"});
        QString bind = parser.value("bind");
        const int colon = int(bind.lastIndexOf(':'));
        bool ok = false;
        const int port = colon < 0 ? -1 : bind.mid(colon + 1).toInt(&ok);
        if (!ok || port < 0 || port > 65535)
            throw UsageError("--bind takes ADDRESS:PORT");
        QString host = bind.left(colon);
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
        const std::string secret = ReadUnsubscribeSecret(parser.value("secret-file").toStdString());

        // The signals are taken by a waiting thread, not by whichever thread they hit.
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

        std::mutex logLock;
        UnsubscribeEndpoint endpoint(host.toStdString(), port, secret, SuppressionStore::DefaultPath(),
                                     [&logLock](const std::string& line) {
                                         std::lock_guard<std::mutex> lock(logLock);
                                         std::fprintf(stderr, "%s\n", line.c_str());
                                     });
        std::printf("Listening on %s:%d\n", host.toUtf8().constData(), endpoint.Port());
        std::fflush(stdout);
        std::atomic<bool> signalled{false};
        std::thread watcher([&] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            signalled = true;
            endpoint.Stop();
        });
        endpoint.Serve();
        // Serve ended without a signal (the listening socket failed): the watcher is woken so
        // that it can be joined.
        if (!signalled)
            pthread_kill(watcher.native_handle(), SIGTERM);
        watcher.join();
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(UnsubscribeServeCommand);

} // namespace quillet::cli
