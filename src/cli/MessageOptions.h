// The send command's options for the message itself: the body and HTML files in the terminal's
// (or a named) encoding, From from the sender, List-Unsubscribe, extra headers, and the
// pre-flight check, preview and test message. Kept apart from the send command so the run's own
// options stay in one place.
#pragma once

#include "mailing/MailDraft.h"
#include "mailing/MailingRun.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace quillet {
class TMailMessage;
}

namespace quillet::cli {

void defineMessageOptions(QCommandLineParser& parser);

// The lines of a text file, converted from `encoding` (empty: the terminal's) to the code page;
// a byte that is not valid there or a character the code page lacks fails with line and column.
std::vector<std::string> readTextFileLines(const QString& file, const QString& encoding, const QString& option);

// Takes --body-file, --html-file, --unsubscribe-url, --unsubscribe-mailto, --header and
// --from-sender (or the program option) into the draft and the request.
void applyMessageOptions(const QCommandLineParser& parser, MailDraft& draft, MailingRunRequest& request);

// --check, --preview and --test-to, and the warnings printed before a run. Returns the exit
// status when the command ends here (check, preview); otherwise narrows the request for
// --test-to and returns nothing.
std::optional<int> runMessageChecks(const QCommandLineParser& parser, MailingRunRequest& request,
                                    const TMailMessage& message, MailingRun& run);

} // namespace quillet::cli
