#include "MailingTexts.h"

#include "transport/MessageTexts.h"

namespace quillet {

std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> values)
{
    return FormatText(pattern, values);
}

} // namespace quillet
