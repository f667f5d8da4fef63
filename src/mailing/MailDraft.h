// The one message the user writes for a whole mailing: subject, body lines and the paths of the
// attachment files. Runs read it and never change it, so a later run sends the same text (with
// its macros) and the same attachments again.
#pragma once

#include <string>
#include <vector>

namespace quillet {

struct MailDraft {
    std::string subject;
    std::vector<std::string> body;
    // Full paths in order; the same path may appear twice.
    std::vector<std::string> attachments;
};

} // namespace quillet
