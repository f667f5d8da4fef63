#include "ReportReader.h"

#include "FeedbackLimits.h"
#include "SuppressionStore.h"
#include "UnsubscribeToken.h"

#include "transport/MimeDecoding.h"
#include "transport/MimeParts.h"

#include <openssl/evp.h>

#include <algorithm>

namespace quillet {

namespace {

const MimePart* findPart(const MimePart& part, std::string_view type)
{
    if (part.type == type)
        return &part;
    for (const MimePart& child : part.parts)
        if (const MimePart* found = findPart(child, type))
            return found;
    return nullptr;
}

// The addresses of an address-list header value: each comma-separated member's <address>, or
// the member itself.
std::vector<std::string> headerAddresses(std::string_view value)
{
    std::vector<std::string> addresses;
    std::string member;
    bool quoted = false;
    auto flush = [&] {
        std::string_view text = TrimBlanks(member);
        const std::size_t open = text.rfind('<');
        if (open != std::string_view::npos) {
            text = text.substr(open + 1);
            text = text.substr(0, text.find('>'));
        } else if (const std::size_t space = text.find_first_of(" \t("); space != std::string_view::npos) {
            text = text.substr(0, space);
        }
        text = TrimBlanks(text);
        if (text.find('@') != std::string_view::npos)
            addresses.emplace_back(text);
        member.clear();
    };
    for (char c : value) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted)
            flush();
        else
            member += c;
    }
    flush();
    return addresses;
}

std::string firstAddress(std::string_view value)
{
    const auto addresses = headerAddresses(value);
    return addresses.empty() ? std::string() : addresses.front();
}

// "rfc822; ann@example.org" -> "ann@example.org".
std::string typedAddress(std::string_view value)
{
    const std::size_t semicolon = value.find(';');
    if (semicolon != std::string_view::npos)
        value = value.substr(semicolon + 1);
    return firstAddress(value);
}

// A digest of the message's lines (line ends and trailing empty lines left out), so the same
// message kept in a Maildir file and in an mbox file has the same key.
std::string digestKey(const std::vector<std::string_view>& lines)
{
    std::size_t count = lines.size();
    while (count > 0 && lines[count - 1].empty())
        --count;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (std::size_t i = 0; i < count; ++i) {
        EVP_DigestUpdate(context, lines[i].data(), lines[i].size());
        EVP_DigestUpdate(context, "\n", 1);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    static constexpr char hex[] = "0123456789abcdef";
    std::string key = "sha256:";
    for (unsigned int i = 0; i < size; ++i) {
        key += hex[digest[i] >> 4];
        key += hex[digest[i] & 15];
    }
    return key;
}

// The header blocks of a report part's body, one per block of lines between empty lines.
std::vector<MimeHeaders> reportBlocks(const std::string& body)
{
    const std::vector<std::string_view> lines = SplitMessageLines(body);
    std::vector<MimeHeaders> blocks;
    std::size_t pos = 0;
    while (pos < lines.size()) {
        while (pos < lines.size() && TrimBlanks(lines[pos]).empty())
            ++pos;
        if (pos >= lines.size())
            break;
        MimeHeaders block = ReadHeaderBlock(lines, pos);
        if (!block.fields.empty())
            blocks.push_back(std::move(block));
    }
    return blocks;
}

// The Message-ID of the message a report returns (whole, or its headers only).
std::string returnedMessageId(const std::vector<std::string_view>& lines, const MimePart& top)
{
    const MimePart* returned = findPart(top, "message/rfc822");
    if (!returned)
        returned = findPart(top, "text/rfc822-headers");
    if (!returned)
        returned = findPart(top, "message/rfc822-headers");
    if (!returned)
        return {};
    const std::string body = DecodePartBody(lines, *returned);
    const std::vector<std::string_view> returnedLines = SplitMessageLines(body);
    std::size_t pos = 0;
    return std::string(TrimBlanks(ReadHeaderBlock(returnedLines, pos).Value("message-id")));
}

bool startsWithWord(std::string_view text, std::string_view lowerWord)
{
    return AsciiLower(text.substr(0, lowerWord.size())) == lowerWord;
}

bool isAutoReply(const MimeHeaders& headers, const std::string& subject)
{
    const std::string submitted = AsciiLower(TrimBlanks(headers.Value("auto-submitted")));
    if (!submitted.empty() && submitted != "no")
        return true;
    if (!headers.Value("x-autoreply").empty() || !headers.Value("x-autorespond").empty())
        return true;
    const std::string precedence = AsciiLower(TrimBlanks(headers.Value("precedence")));
    if (precedence == "auto_reply")
        return true;
    for (std::string_view start : {"auto:", "automatic reply", "autoreply", "out of office", "vacation"})
        if (startsWithWord(subject, start))
            return true;
    return false;
}

bool looksLikeBounce(const MimeHeaders& headers, const std::string& subject)
{
    const std::string from = AsciiLower(firstAddress(headers.Value("from")));
    if (from.rfind("mailer-daemon@", 0) == 0 || from.rfind("postmaster@", 0) == 0)
        return true;
    const std::string lowered = AsciiLower(subject);
    for (std::string_view word : {"undeliver", "delivery status", "delivery failure", "returned mail"})
        if (lowered.find(word) != std::string::npos)
            return true;
    return false;
}

class Reader {
public:
    Reader(std::string_view raw, const FeedbackContext& context)
        : context_(context), lines_(SplitMessageLines(raw.substr(0, kMaxFeedbackMessageBytes))),
          top_(ParseMimeTree(lines_, kMaxReportDepth))
    {
        const std::string id(TrimBlanks(top_.headers.Value("message-id")));
        message_.key = id.empty() ? digestKey(lines_) : id;
        for (const char* name : {"delivered-to", "x-original-to", "envelope-to", "to"}) {
            for (const auto& [field, value] : top_.headers.fields) {
                if (AsciiLower(field) != name)
                    continue;
                for (const std::string& address : headerAddresses(value))
                    if (verp_.empty())
                        verp_ = VerpRecipient(address);
            }
        }
        subject_ = DecodeHeaderValue(TrimBlanks(top_.headers.Value("subject")));
    }

    FeedbackMessage Read()
    {
        if (const MimePart* status = findPart(top_, "message/delivery-status"))
            readDeliveryStatus(*status);
        else if (const MimePart* feedback = findPart(top_, "message/feedback-report"))
            readFeedbackReport(*feedback);
        else if (!verp_.empty() && looksLikeBounce(top_.headers, subject_))
            add(FeedbackKind::Bounce, "", "", "", "");
        else if (isAutoReply(top_.headers, subject_))
            add(FeedbackKind::AutoReply, "", "", "", "");
        else if (!readUnsubscribe())
            add(FeedbackKind::Unrecognised, "", "", "", "");
        return std::move(message_);
    }

private:
    // The recipient: the VERP address, then what the report names, then the returned message.
    void add(FeedbackKind kind, std::string named, std::string alternative, std::string status, std::string detail)
    {
        FeedbackItem item{kind, verp_, "", std::move(status), std::move(detail)};
        if (item.address.empty())
            item.address = !named.empty() ? std::move(named) : std::move(alternative);
        if (kind != FeedbackKind::AutoReply && kind != FeedbackKind::Unrecognised) {
            if (const std::optional<SentMessage> sent = findSent()) {
                item.run = sent->run;
                if (item.address.empty())
                    item.address = sent->address;
            }
        }
        message_.items.push_back(std::move(item));
    }

    std::optional<SentMessage> findSent()
    {
        if (!sentLooked_) {
            sentLooked_ = true;
            const std::string id = returnedMessageId(lines_, top_);
            if (!id.empty() && context_.findSent)
                sent_ = context_.findSent(id);
        }
        return sent_;
    }

    void readDeliveryStatus(const MimePart& part)
    {
        const std::vector<MimeHeaders> blocks = reportBlocks(DecodePartBody(lines_, part));
        for (std::size_t i = 1; i < blocks.size(); ++i) {
            const MimeHeaders& recipient = blocks[i];
            const std::string action = AsciiLower(TrimBlanks(recipient.Value("action")));
            std::string status(TrimBlanks(recipient.Value("status")));
            status = status.substr(0, status.find_first_of(" \t("));
            std::string diagnostic(TrimBlanks(recipient.Value("diagnostic-code")));
            if (const std::size_t semicolon = diagnostic.find(';'); semicolon != std::string::npos)
                diagnostic = TrimBlanks(diagnostic.substr(semicolon + 1));
            FeedbackKind kind = FeedbackKind::AutoReply; // delivered, relayed, expanded: nothing to do
            if (action == "delayed" || (action == "failed" && status.rfind('4', 0) == 0))
                kind = FeedbackKind::Soft;
            else if (action == "failed")
                kind = FeedbackKind::Bounce;
            add(kind, typedAddress(recipient.Value("original-recipient")),
                typedAddress(recipient.Value("final-recipient")), status, diagnostic);
        }
        if (message_.items.empty())
            add(FeedbackKind::Unrecognised, "", "", "", "");
    }

    void readFeedbackReport(const MimePart& part)
    {
        const std::vector<MimeHeaders> blocks = reportBlocks(DecodePartBody(lines_, part));
        const MimeHeaders none;
        const MimeHeaders& report = blocks.empty() ? none : blocks.front();
        const std::string type(TrimBlanks(report.Value("feedback-type")));
        add(FeedbackKind::Complaint, firstAddress(report.Value("original-rcpt-to")),
            firstAddress(report.Value("removal-recipient")), "", type.empty() ? "abuse" : type);
    }

    bool toUnsubscribeMailbox() const
    {
        if (context_.unsubscribeMailboxes.empty())
            return true;
        for (const char* name : {"delivered-to", "x-original-to", "to", "cc"})
            for (const auto& [field, value] : top_.headers.fields)
                if (AsciiLower(field) == name)
                    for (const std::string& address : headerAddresses(value))
                        for (const std::string& mailbox : context_.unsubscribeMailboxes)
                            if (SuppressionKey(address) == SuppressionKey(mailbox))
                                return true;
        return false;
    }

    bool readUnsubscribe()
    {
        // "unsubscribe ADDRESS TOKEN" (a reply may put "Re: " before it).
        std::string_view subject = TrimBlanks(subject_);
        while (startsWithWord(subject, "re:") || startsWithWord(subject, "fw:"))
            subject = TrimBlanks(subject.substr(3));
        std::vector<std::string> words;
        for (std::size_t at = 0; at < subject.size();) {
            const std::size_t end = std::min(subject.find_first_of(" \t", at), subject.size());
            if (end > at)
                words.emplace_back(subject.substr(at, end - at));
            at = end + 1;
        }
        if (words.size() == 3 && AsciiLower(words[0]) == "unsubscribe" && !context_.unsubscribeSecret.empty() &&
            VerifyUnsubscribeToken(context_.unsubscribeSecret, words[1], words[2])) {
            add(FeedbackKind::Unsubscribe, words[1], "", "", "token");
            return true;
        }
        if (!toUnsubscribeMailbox())
            return false;
        bool asked = words.size() == 1 && AsciiLower(words[0]) == "unsubscribe";
        if (!asked) {
            const MimePart* text = findPart(top_, "text/plain");
            if (text) {
                const std::string body = DecodePartBody(lines_, *text);
                for (std::string_view line : SplitMessageLines(body)) {
                    if (TrimBlanks(line).empty())
                        continue;
                    asked = AsciiLower(TrimBlanks(line)) == "unsubscribe";
                    break;
                }
            }
        }
        if (!asked)
            return false;
        std::string from = firstAddress(top_.headers.Value("reply-to"));
        if (from.empty())
            from = firstAddress(top_.headers.Value("from"));
        message_.items.push_back({FeedbackKind::Unsubscribe, from, "", "", "mail"});
        return true;
    }

    const FeedbackContext& context_;
    std::vector<std::string_view> lines_;
    MimePart top_;
    FeedbackMessage message_;
    std::string verp_;
    std::string subject_;
    bool sentLooked_ = false;
    std::optional<SentMessage> sent_;
};

} // namespace

std::string_view FeedbackKindName(FeedbackKind kind)
{
    switch (kind) {
    case FeedbackKind::Bounce: return "bounce";
    case FeedbackKind::Soft: return "soft";
    case FeedbackKind::Complaint: return "complaint";
    case FeedbackKind::Unsubscribe: return "unsubscribe";
    case FeedbackKind::AutoReply: return "auto-reply";
    case FeedbackKind::Unrecognised: break;
    }
    return "unrecognised";
}

FeedbackMessage ReadFeedbackMessage(std::string_view raw, const FeedbackContext& context)
{
    return Reader(raw, context).Read();
}

std::string VerpRecipient(std::string_view address)
{
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    const std::string_view local = address.substr(0, at);
    const std::size_t plus = local.find('+');
    if (plus == std::string_view::npos)
        return {};
    const std::string_view encoded = local.substr(plus + 1);
    const std::size_t equals = encoded.rfind('=');
    if (equals == std::string_view::npos || equals == 0 || equals + 1 == encoded.size())
        return {};
    return std::string(encoded.substr(0, equals)) + "@" + std::string(encoded.substr(equals + 1));
}

} // namespace quillet
