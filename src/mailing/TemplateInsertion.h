// Copying a template into the message being written: the subject and the body are replaced, and
// a non-empty reply-to line becomes the message's From (parsed as one address with an optional
// display name). An empty reply-to line leaves From as it was; From is kept for later runs.
// Recipients and attachments are not touched.
#pragma once

#include "MailDraft.h"
#include "TemplateFile.h"
#include "transport/EMailAddress.h"

namespace quillet {

// When the reply-to line cannot be parsed the error is raised and nothing changes.
void InsertTemplate(const MessageTemplate& tmpl, MailDraft& draft, TEMailAddressItem& from);

} // namespace quillet
