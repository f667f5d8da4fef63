// quillet send PROJECT --group G ...: the mailing run of the desktop program's send window, on
// the command line. Recipients are the group's rows in the recipient list's order (sorted by
// e-mail), or those of them named with --recipient; the message comes from a template and/or
// --subject, --body-file, --from and --attach; the route is default, rotating or builtin.
// SIGINT acts as the Stop button: the run ends at once, also in the middle of a network wait (the
// message under way is not sent); a second SIGINT ends the program at once.
#include "Command.h"
#include "ConnectionOptions.h"
#include "LargerRunOptions.h"
#include "MailingCommandTexts.h"
#include "MessageOptions.h"
#include "ProjectCommandTexts.h"
#include "project/FileDescriptor.h"
#include "ProjectFileAccess.h"
#include "SecretsAccess.h"
#include "SigningOptions.h"
#include "Terminal.h"

#include "addressbook/RecipientRows.h"
#include "mailing/MailingRun.h"
#include "mailing/MailingTexts.h"
#include "mailing/RunJournal.h"
#include "mailing/RunJournalReader.h"
#include "mailing/RunPace.h"
#include "mailing/RunResume.h"
#include "mailing/TemplateInsertion.h"
#include "mailing/TemplateStore.h"
#include "project/CodePage.h"
#include "project/ProgramFolder.h"
#include "project/settings/SettingsStore.h"
#include "server/MessageCapture.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace quillet::cli {

namespace {

// SIGINT raises the stop signal for as long as this object lives; a second SIGINT ends the
// program with exit code 130. The signal is blocked on every thread (the server's threads inherit
// the mask) and taken by one watcher thread, so no system call is ever interrupted by it: the
// network waits watch the stop signal instead.
class StopOnInterrupt {
public:
    StopOnInterrupt()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &set_, &oldMask_);
        watcher_ = std::thread([this] {
            const timespec slice{0, 100'000'000};
            while (!done_) {
                if (::sigtimedwait(&set_, nullptr, &slice) != SIGINT)
                    continue;
                if (signal_.Requested())
                    std::_Exit(kExitInterrupted);
                signal_.Request();
            }
        });
    }
    ~StopOnInterrupt()
    {
        done_ = true;
        watcher_.join();
        ::pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

    bool stopRequested() const { return signal_.Requested(); }
    const StopSignal& signal() const { return signal_; }

private:
    // The exit code of a program ended by SIGINT (128 + the signal's number).
    static constexpr int kExitInterrupted = 130;

    StopSignal signal_;
    sigset_t set_{};
    sigset_t oldMask_{};
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

SendRoute parseRoute(const QString& text)
{
    if (text == "default")
        return SendRoute::Default;
    if (text == "rotating")
        return SendRoute::Rotating;
    if (text == "builtin")
        return SendRoute::Builtin;
    throw UsageError(texts::kBadRoute);
}

// Every attached file must be readable before anything is sent; otherwise the run would stop
// in the middle of the first message.
void checkReadable(const std::string& path)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        throw EFileOpenError(formatMessage(kCannotOpenFile, {path, std::strerror(errno)}));
}

} // namespace

class SendCommand : public Command {
public:
    SendCommand() : Command("send", "Send a personalised message to the recipients of a group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"group", "The group whose recipients receive the message.", "G"});
        parser.addOption({"recipient", "Send only to this recipient of the group (repeatable).", "ADDRESS"});
        parser.addOption({"template", "Fill subject, body and From from this template.", "NAME"});
        parser.addOption({"subject", "The subject (wins over the template's).", "TEXT"});
        parser.addOption({"body-file", "A text file whose lines are the body.", "FILE"});
        parser.addOption({"from", "The From address (wins over the template's).", "ADDRESS"});
        parser.addOption({"attach", "Attach a file (repeatable).", "FILE"});
        parser.addOption({"route", "default, rotating or builtin (default: default).", "ROUTE"});
        parser.addOption({"server", "Default mail server host for this run.", "HOST"});
        parser.addOption({"port", "Default mail server port for this run.", "N"});
        parser.addOption({"user", "User name for the default mail server.", "U"});
        parser.addOption({"password",
                          "Password for the default mail server (visible to other users of this computer: "
                          "prefer --password-file or QUILLET_PASSWORD).",
                          "P"});
        parser.addOption({"sender", "Sender address through the default mail server.", "ADDRESS"});
        parser.addOption({"builtin-port", "Port of the built-in server (default 1026).", "N"});
        parser.addOption({"builtin-sender", "Sender address through the built-in server.", "ADDRESS"});
        parser.addOption({"capture", "Built-in route: keep every received message as DIR/NNNNNN.eml.", "DIR"});
        parser.addOption({"dry-run", "Connect nowhere; write every message to DIR/NNNNNN.eml.", "DIR"});
        addLargerRunOptions(parser);
        addConnectionOptions(parser);
        addSigningOptions(parser);
        defineMessageOptions(parser);
    }

    int execute(const QCommandLineParser& parser) override
    {
        // A resumed run takes project, group, selection and message from its journal.
        std::optional<RunRecord> resumed;
        if (parser.isSet("resume")) {
            const std::string id = parser.value("resume").toStdString();
            // A session of the run still going would send everyone again: refused before anything.
            if (const std::optional<long> pid = RunInProgress(id))
                throw ERunInProgress(id, *pid);
            // The journal's texts are in the code page of the run: read and sent in that one.
            adoptCodePageOfRun(id);
            resumed = ReadRunJournal(id);
        }
        const RunDescription* journalRun = resumed ? &resumed->description : nullptr;
        const QStringList arguments = positional(parser, resumed ? 0 : 1, 1);
        if (!resumed && !parser.isSet("group"))
            throw UsageError(texts::kGroupRequired);
        const SendRoute route = parser.isSet("route") ? parseRoute(parser.value("route"))
                                : resumed             ? RouteFromName(journalRun->route).value_or(SendRoute::Default)
                                                      : SendRoute::Default;
        if (parser.isSet("capture") && route != SendRoute::Builtin)
            throw UsageError(texts::kCaptureNeedsBuiltin);
        // 0: not given.
        const int portOverride = portOption(parser, "port", 1, 0);
        const int builtinPort = portOption(parser, "builtin-port", 1, 0);

        const std::string projectPath =
            arguments.isEmpty() ? journalRun->projectPath : absoluteFilePath(filePath(arguments.at(0)));
        if (resumed && projectPath != journalRun->projectPath)
            throw UsageError(texts::fill(texts::kResumeDisagrees, "PROJECT", journalRun->id));
        // Not const: passwords kept in the system keyring are filled into this copy for the run.
        Project project = openProjectFile(QFile::decodeName(QByteArray::fromStdString(projectPath)));
        const std::string group = resumed && !parser.isSet("group") ? journalRun->group : groupOption(parser);
        if (resumed && group != journalRun->group)
            throw UsageError(texts::fill(texts::kResumeDisagrees, "--group", journalRun->id));
        requireGroup(project, group);

        MailingRunRequest request;
        request.route = route;
        request.project = &project;
        LeftOut leftOut;
        if (resumed) {
            if (parser.isSet("recipient") &&
                addressesOf(project, chooseRecipients(parser, project, group)) != journalRun->recipients)
                throw UsageError(texts::fill(texts::kResumeDisagrees, "--recipient", journalRun->id));
            const ResumePlan plan =
                PlanResume(*resumed, project, sortedRecipientRows(project, group), parser.isSet("resend-unknown"));
            for (const std::string& address : plan.removed)
                printErr(texts::fill(texts::kResumeRemoved, address) + "\n");
            for (const std::string& address : plan.unknown)
                printErr(texts::fill(texts::kResumeUnknown, address) + "\n");
            leftOut = {plan.unknown.size(), plan.removed.size()};
            request.recipients = plan.rows;
            request.positions = plan.positions;
        } else {
            request.recipients = chooseRecipients(parser, project, group);
        }
        applyLargerRunOptions(parser, request, journalRun);

        // The message: template first, then the options that win over it.
        TMailMessage message;
        message.ContentType = "text/plain";
        message.Signer = runSigner(parser, SettingsStore().readSigning());
        MailDraft draft;
        if (parser.isSet("template"))
            InsertTemplate(TemplateStore(templatesFolder()).read(optionText(parser, "template")), draft, message.From);
        if (parser.isSet("subject"))
            draft.subject = optionText(parser, "subject");
        if (parser.isSet("from"))
            message.From.SetText(optionText(parser, "from"));
        for (const QString& attachment : parser.values("attach"))
            draft.attachments.push_back(filePath(attachment));
        applyMessageOptions(parser, draft, request);
        if (resumed) {
            // The journal's message; options given again must describe the same one.
            if (const char* option = messageDisagreement(parser, draft, message, request.fromSender, *journalRun))
                throw UsageError(texts::fill(texts::kResumeDisagrees, "--" + std::string(option), journalRun->id));
            draft = journalRun->draft;
            message.From.SetText(journalRun->from);
            request.fromSender = journalRun->fromSender;
            for (const std::string& line : journalRun->headers)
                message.ExtraHeaders.AddLine(line);
        }
        if (resumed && request.recipients.empty()) {
            if (leftOut.any())
                return reportRunEnding(RunCounts{}, journalRun->id, false, leftOut);
            printErr(texts::fill(texts::kResumeNothingLeft, journalRun->id) + "\n");
            return 0;
        }
        request.draft = &draft;

        // The default server as the settings hold it, with this run's overrides.
        const ServerSettings settings = SettingsStore().readServer();
        auto setting = [&](const char* option, const QString& stored) {
            return parser.isSet(option) ? optionText(parser, option) : toCodePage(stored);
        };
        // The sender address the settings offer until one is set is no one's: no Sender is made of it.
        const QString storedSender = settings.from == settings_defaults::kFrom ? QString() : settings.from;
        // A port typed here must be one; the stored setting keeps its own rule (25 when not a number).
        const std::string port = portOverride ? std::to_string(portOverride) : toCodePage(settings.port);
        request.defaultServer = {setting("server", settings.server), port, setting("user", settings.userName),
                                 toCodePage(settings.password), setting("sender", storedSender)};
        if (const std::optional<std::string> password = runPassword(parser))
            request.defaultServer.password = *password;
        else if (parser.isSet("user") && request.defaultServer.password.empty() && route != SendRoute::Builtin &&
                 !parser.isSet("dry-run"))
            throw UsageError(texts::kUserWithoutPassword); // nobody to ask, and a login without one fails
        request.connection = connectionSettings(parser, SettingsStore().readSecurity());
        if (resumed && !journalRun->servers.empty()) {
            // The journal's server, unless given anew; the password never comes from a journal.
            const JournalServer& server = journalRun->servers.front();
            auto journalSetting = [&](const char* option, const std::string& value) {
                return parser.isSet(option) ? optionText(parser, option) : value;
            };
            request.defaultServer.host = journalSetting("server", server.host);
            request.defaultServer.port = portOverride ? std::to_string(portOverride) : server.port;
            request.defaultServer.userName = journalSetting("user", server.user);
            request.defaultServer.sendFrom = journalSetting("sender", server.sender);
        }
        // Passwords kept in the system keyring, where the settings or the project chose it.
        if (route != SendRoute::Builtin && !parser.isSet("dry-run"))
            resolveKeyringPasswords(project, request.defaultServer,
                                    parser.isSet("password") || parser.isSet("password-file"));
        if (resumed && route == SendRoute::Builtin) {
            request.builtinServer.port = journalRun->builtinPort;
            request.builtinServer.sendFrom = journalRun->builtinSender;
        }
        if (builtinPort)
            request.builtinServer.port = std::to_string(builtinPort);
        if (!resumed || parser.isSet("builtin-sender"))
            request.builtinServer.sendFrom = optionText(parser, "builtin-sender");
        if (parser.isSet("dry-run"))
            request.dryRunFolder = filePath(parser.value("dry-run"));

        // The built-in server takes every message; with --capture it keeps them.
        std::optional<MessageCapture> capture;
        if (parser.isSet("capture"))
            capture.emplace(filePath(parser.value("capture")));
        StopOnInterrupt interrupt; // before any thread is started
        TSMTPServer server;
        server.OnCommandMAIL = [](TSMTPServerThread&, bool& accept, const TEMailAddressItem&) { accept = true; };
        server.OnCommandRCPT = [](TSMTPServerThread&, bool& accept, bool&, const TEMailAddressItem&, std::string&) {
            accept = true;
        };
        // A message that cannot be kept is refused with the reason, so the run ends with it.
        server.OnReceiveRaw = [&capture](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList&,
                                         std::string& customError) {
            if (!capture)
                return;
            try {
                capture->Keep(data.Path);
            } catch (const std::exception& e) {
                customError = std::string("451 ") + e.what();
            }
        };

        // The pre-flight check, preview and test message come before any journal.
        TSMTPClient client;
        MailingRun run(client, message, &server);
        if (const std::optional<int> status = runMessageChecks(parser, request, message, run))
            return *status;
        for (const std::string& attachment : draft.attachments)
            checkReadable(attachment);

        // Every run that connects somewhere keeps a journal (one without a server never starts);
        // a test message to one address is no run of the recipients.
        std::optional<RunJournal> journal;
        if (!request.dryRunFolder && !request.testAddress &&
            (route == SendRoute::Builtin || !request.defaultServer.host.empty())) {
            if (resumed) {
                RunDescription delivery;
                delivery.options = request.delivery;
                delivery.rate = request.rate.text;
                journal.emplace(RunJournal::Resume(journalRun->id, delivery));
            } else {
                RunDescription description = DescribeRun(request, message, projectPath, group);
                journal.emplace(RunJournal::Create(description));
            }
            request.recorder = &*journal;
            printErr(texts::fill(texts::kRunId, journal->Id()) + "\n");
        }

        const bool showProgress = stderrIsTerminal();
        bool progressShown = false;
        MailingRunHooks hooks;
        const RunPace pace(request.rate, RunPace::Clock::now());
        hooks.messageSent = [&](std::size_t sent, std::size_t total) {
            if (!showProgress)
                return;
            const std::string count = std::to_string(sent) + "/" + std::to_string(total);
            const std::string rate = PaceText(pace.At(sent, total, RunPace::Clock::now()));
            std::fprintf(stderr, "\r%s%s\x1b[K", texts::fill(texts::kProgress, count).c_str(),
                         rate.empty() ? "" : (", " + rate).c_str());
            std::fflush(stderr);
            progressShown = true;
        };
        hooks.stopRequested = [&interrupt] { return interrupt.stopRequested(); };
        hooks.notice = [&](const std::string& text) { printErr((progressShown ? "\n" : "") + text + "\n"); };
        request.stop = &interrupt.signal();
        try {
            run.Run(request, hooks);
        } catch (const ECertificateRejected& e) {
            if (progressShown)
                std::fputc('\n', stderr);
            throw std::runtime_error(e.what() + RunFailureText(run.LastReport()) + "\n" +
                                     texts::fill(texts::kTrustWithPin, e.fingerprint()));
        } catch (const std::exception& e) {
            if (progressShown)
                std::fputc('\n', stderr);
            // The error's own text, then where it happened and what the run had done.
            throw std::runtime_error(e.what() + RunFailureText(run.LastReport()));
        }
        if (progressShown)
            std::fputc('\n', stderr);
        return reportRunEnding(run.LastCounts(), journal ? journal->Id() : std::string(), interrupt.stopRequested(),
                               leftOut, run.LastReport().invalidAddresses);
    }

private:
    static std::string absoluteFilePath(const std::string& path)
    {
        return std::filesystem::absolute(path).lexically_normal().string();
    }

    static std::vector<std::string> addressesOf(const Project& project, const std::vector<std::size_t>& rows)
    {
        std::vector<std::string> addresses;
        for (const std::size_t row : rows)
            addresses.push_back(project.recipients[row].EMail.str());
        return addresses;
    }

    // The first message option given again that describes another message than the journal's,
    // or nullptr when all agree. A template fills what the options given beside it leave.
    static const char* messageDisagreement(const QCommandLineParser& parser, const MailDraft& draft,
                                           const TMailMessage& message, bool fromSender, const RunDescription& journal)
    {
        const MailDraft& kept = journal.draft;
        const bool subject = draft.subject != kept.subject, body = draft.body != kept.body,
                   html = draft.htmlBody != kept.htmlBody, from = message.From.Text() != journal.from;
        const std::pair<const char*, bool> options[] = {
            {"subject", subject},
            {"body-file", body},
            {"html-file", html},
            {"from", from},
            {"attach", draft.attachments != kept.attachments},
            {"header", draft.headers != kept.headers},
            {"unsubscribe-url", draft.unsubscribeUrl != kept.unsubscribeUrl},
            {"unsubscribe-mailto", draft.unsubscribeMailto != kept.unsubscribeMailto},
            {"from-sender", fromSender != journal.fromSender},
        };
        for (const auto& [option, differs] : options)
            if (parser.isSet(option) && differs)
                return option;
        const bool templateDiffers = (subject && !parser.isSet("subject")) || (body && !parser.isSet("body-file")) ||
                                     (html && !parser.isSet("html-file")) || (from && !parser.isSet("from"));
        return parser.isSet("template") && templateDiffers ? "template" : nullptr;
    }

    // A resumed run is read and sent in the code page it was made under; a --codepage given
    // with it must name that one.
    static void adoptCodePageOfRun(const std::string& id)
    {
        const std::string journal = RunJournalCodePage(id);
        if (journal.empty() || journal == codePageName())
            return;
        if (!codePageOption().empty())
            throw UsageError(texts::fill(texts::kResumeDisagrees, "--codepage", id));
        for (const char* choice : kCodePageChoices) {
            const char* name = codePageOfChoice(choice);
            if (name && journal == name) {
                selectCodePage(choice);
                return;
            }
        }
    }

    // The group's rows in the list's order; with --recipient only the rows with those e-mails.
    static std::vector<std::size_t> chooseRecipients(const QCommandLineParser& parser, const Project& project,
                                                     const std::string& group)
    {
        std::vector<std::size_t> rows = sortedRecipientRows(project, group);
        if (!parser.isSet("recipient"))
            return rows;
        std::vector<std::string> wanted;
        for (const QString& value : parser.values("recipient"))
            wanted.push_back(argumentText(value, "--recipient"));
        for (const std::string& address : wanted) {
            bool found = false;
            for (std::size_t row : rows)
                found = found || project.recipients[row].EMail == address;
            if (!found)
                throw std::runtime_error(texts::fill(texts::kNoRecipientInGroup, address));
        }
        std::vector<std::size_t> chosen;
        for (std::size_t row : rows) {
            for (const std::string& address : wanted) {
                if (project.recipients[row].EMail == address) {
                    chosen.push_back(row);
                    break;
                }
            }
        }
        return chosen;
    }
};

QUILLET_REGISTER_COMMAND(SendCommand);

} // namespace quillet::cli
