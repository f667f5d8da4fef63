// The reader of messages that come back (delivery reports, complaints, unsubscribe mails,
// automatic replies) over any bytes a mailbox holds: every message gets a key and at least one
// classification, and an unsubscribe by token names only the address the token was made for. The
// same bytes as an mbox file split into messages that lie in order inside it.
#include "FuzzSupport.h"

#include "feedback/Mailbox.h"
#include "feedback/ReportReader.h"
#include "feedback/UnsubscribeToken.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string secret = "fuzzing-secret-0123456789";
    FeedbackContext context;
    context.unsubscribeMailboxes = {"unsubscribe@sender.example"};
    context.unsubscribeSecret = secret;
    context.findSent = [](std::string_view id) -> std::optional<SentMessage> {
        if (id.size() % 2)
            return SentMessage{"20261208-010101-abcd", "found@example.org"};
        return std::nullopt;
    };
    const FeedbackMessage message = ReadFeedbackMessage(fuzz::bytes(data, size), context);
    QUILLET_FUZZ_CHECK(!message.key.empty());
    QUILLET_FUZZ_CHECK(!message.items.empty());
    for (const FeedbackItem& item : message.items) {
        QUILLET_FUZZ_CHECK(!FeedbackKindName(item.kind).empty());
        if (item.kind == FeedbackKind::Unsubscribe && item.detail == "token")
            QUILLET_FUZZ_CHECK(VerifyUnsubscribeToken(secret, item.address, UnsubscribeToken(secret, item.address)));
    }
    std::size_t previous = 0;
    for (const auto& [begin, end] : SplitMbox(fuzz::bytes(data, size))) {
        QUILLET_FUZZ_CHECK(previous <= begin && begin <= end && end <= size);
        QUILLET_FUZZ_CHECK(UnquoteMboxMessage(fuzz::bytes(data, size).substr(begin, end - begin)).size() <=
                           end - begin);
        previous = end;
    }
    return 0;
}
