#include "MessageOptions.h"

#include "Command.h"
#include "MailingCommandTexts.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

#include "addressbook/AddressValidity.h"
#include "mailing/MessageHeaders.h"
#include "mailing/PreflightCheck.h"
#include "mailing/TemplateFile.h"
#include "project/CodePage.h"
#include "project/settings/SettingsStore.h"
#include "transport/DkimSigner.h"
#include "transport/MailMessage.h"

#include <QFile>

#include <cstdio>

namespace quillet::cli {

void defineMessageOptions(QCommandLineParser& parser)
{
    parser.addOption({"html-file", "An HTML body beside the plain one (multipart/alternative).", "FILE"});
    parser.addOption(
        {"body-encoding", "The encoding of --body-file and --html-file (default: the terminal's).", "ENC"});
    parser.addOption({"from-sender", "A message without From gets the sender address as From."});
    parser.addOption({"unsubscribe-url", "List-Unsubscribe URL with one-click (macros allowed).", "URL"});
    parser.addOption({"unsubscribe-mailto", "List-Unsubscribe mail address (macros allowed).", "ADDRESS"});
    parser.addOption({"header", "An extra header \"Name: value\" (repeatable; macros allowed).", "HEADER"});
    parser.addOption({"check", "Only the pre-flight check: findings on standard output, exit 0 when clean."});
    parser.addOption({"preview", "Print recipient N's complete message (1-based, in run order); send nothing.", "N"});
    parser.addOption(
        {"test-to", "Send recipient N's message (--preview N, default 1) to this address only.", "ADDRESS"});
}

std::vector<std::string> readTextFileLines(const QString& file, const QString& encoding, const QString& option)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error(utf8ToCodePageForMessage(texts::fill(texts::kCannotReadFile, file.toStdString()) +
                                                          ". " + in.errorString().toStdString()));
    std::string bytes = in.readAll().toStdString();
    const std::string from = encoding.isEmpty() ? terminalEncoding() : encoding.toStdString();
    const bool utf8 = QString::fromStdString(from).compare("UTF-8", Qt::CaseInsensitive) == 0 ||
                      QString::fromStdString(from).compare("UTF8", Qt::CaseInsensitive) == 0;
    if (utf8 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3); // a byte-order mark is no text
    const std::string what = utf8ToCodePageForMessage(("--" + option + " " + file).toStdString());
    try {
        return SplitTemplateLines(convertText(bytes, utf8 ? "UTF-8" : from.c_str(), codePageName(), what));
    } catch (const std::invalid_argument&) {
        throw UsageError(texts::fill(texts::kUnknownEncoding, from));
    }
}

void applyMessageOptions(const QCommandLineParser& parser, MailDraft& draft, MailingRunRequest& request)
{
    const QString encoding = parser.value("body-encoding");
    if (parser.isSet("body-file"))
        draft.body = readTextFileLines(parser.value("body-file"), encoding, "body-file");
    if (parser.isSet("html-file"))
        draft.htmlBody = readTextFileLines(parser.value("html-file"), encoding, "html-file");
    draft.unsubscribeUrl = optionText(parser, "unsubscribe-url");
    if (!draft.unsubscribeUrl.empty())
        CheckUnsubscribeUrl(draft.unsubscribeUrl);
    draft.unsubscribeMailto = optionText(parser, "unsubscribe-mailto");
    for (const QString& header : parser.values("header"))
        draft.headers.push_back(ParseExtraHeader(argumentText(header, "--header")));
    request.fromSender = parser.isSet("from-sender") || SettingsStore().readMessageSettings().fromSender;
}

std::optional<int> runMessageChecks(const QCommandLineParser& parser, MailingRunRequest& request,
                                    const TMailMessage& message, MailingRun& run)
{
    PreflightInput input;
    input.project = request.project;
    input.recipients = &request.recipients;
    input.draft = request.draft;
    input.hasFrom = !message.From.Address.empty() || request.fromSender;
    input.fromAddress = message.From.Address.empty() ? request.defaultServer.sendFrom : message.From.Address;
    input.signing = message.Signer != nullptr;
    input.signingDomain = input.signing ? message.Signer->Domain() : std::string();
    const bool checkOnly = parser.isSet("check");
    const bool preview = parser.isSet("preview") && !parser.isSet("test-to");

    std::size_t chosen = 1;
    if (parser.isSet("preview")) {
        bool ok = false;
        chosen = parser.value("preview").toULongLong(&ok);
        if (!ok || chosen == 0)
            throw UsageError(texts::kBadPreviewNumber);
    }
    if ((parser.isSet("preview") || parser.isSet("test-to")) && chosen > request.recipients.size())
        throw std::runtime_error(texts::fill(texts::kNoSuchRecipientNumber, std::to_string(chosen)));

    if (checkOnly || !preview) {
        const std::vector<PreflightFinding> findings = CheckMailing(input);
        std::string report;
        for (const auto& finding : findings)
            if (checkOnly || finding.warning)
                report += (finding.warning ? std::string(texts::kWarningPrefix) : std::string()) + finding.text + "\n";
        if (checkOnly) {
            printOut(report);
            return HasWarnings(findings) ? 1 : 0;
        }
        printErr(report);
    }
    if (preview) {
        const std::string text = run.RenderMessage(request, request.recipients[chosen - 1]);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (parser.isSet("test-to")) {
        const std::string address = optionText(parser, "test-to");
        if (!isValidAddress(address))
            throw UsageError(texts::fill(texts::kBadTestAddress, address));
        request.recipients = {request.recipients[chosen - 1]};
        request.testAddress = address;
    }
    return std::nullopt;
}

} // namespace quillet::cli
