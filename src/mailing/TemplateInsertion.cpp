#include "TemplateInsertion.h"

namespace quillet {

void InsertTemplate(const MessageTemplate& tmpl, MailDraft& draft, TEMailAddressItem& from)
{
    TEMailAddressItem newFrom = from;
    if (!tmpl.replyTo.empty())
        newFrom.SetText(tmpl.replyTo);
    draft.subject = tmpl.subject;
    from = std::move(newFrom);
    draft.body = tmpl.body;
    draft.htmlBody = tmpl.htmlBody;
}

} // namespace quillet
