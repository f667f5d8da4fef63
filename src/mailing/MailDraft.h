// The one message the user writes for a whole mailing: subject, body lines (plain, and HTML
// when there is one), the paths of the attachment files, and the headers added to every message. Runs read it and never change it, so a later run sends the same text (with
// its macros) and the same attachments again.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quillet {

struct MailDraft {
    std::string subject;
    std::vector<std::string> body;
    // Full paths in order; the same path may appear twice.
    std::vector<std::string> attachments;
    // HTML body lines sent beside the plain body; none: a plain message.
    std::vector<std::string> htmlBody = {};
    // List-Unsubscribe: a mailto address and/or an http(s) URL, macros allowed (values in the
    // URL percent-encoded); both empty: no List-Unsubscribe header.
    std::string unsubscribeMailto = {};
    std::string unsubscribeUrl = {};
    // Extra headers, name and value (macros allowed in the value), checked by ParseExtraHeader.
    std::vector<std::pair<std::string, std::string>> headers = {};
};

} // namespace quillet
