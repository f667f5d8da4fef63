#include "PreflightCheck.h"

#include "MacroSubstitution.h"
#include "MailingTexts.h"

#include "addressbook/AddressValidity.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace quillet {

namespace {

// Header block and part headers of a message, roughly, for the size estimate.
constexpr std::uint64_t kHeaderBytesEstimate = 600;
// The longest text between two "%" that is taken for a macro name.
constexpr std::size_t kMaxMacroNameLength = 64;

constexpr std::array<std::string_view, 10> kFixedMacros = {"ADDRESS",   "NAME",        "SURNAME", "AUTHORNAME",
                                                           "AUTHORWEB", "AUTHOREMAIL", "PARAM1",  "PARAM2",
                                                           "PARAM3",    "PARAM4"};

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

// Every %WORD% of a text (the word without its percent signs), in order.
void collectTokens(std::string_view text, std::vector<std::string>& out)
{
    std::size_t pos = text.find('%');
    while (pos != std::string_view::npos) {
        std::size_t end = pos + 1;
        while (end < text.size() && end - pos <= kMaxMacroNameLength && isNameCharacter(text[end]))
            ++end;
        if (end < text.size() && text[end] == '%' && end > pos + 1) {
            out.emplace_back(text.substr(pos + 1, end - pos - 1));
            pos = text.find('%', end + 1);
        } else {
            pos = text.find('%', pos + 1);
        }
    }
}

// One kind of finding over many recipients: how many, and the first few addresses.
struct Tally {
    std::size_t count = 0;
    std::string examples;
    // Unreplaced macros: a parameter name of these recipients that differs from the macro only
    // in letter case (the first met), since macros are matched exactly.
    std::string caseVariant;
    void add(std::string_view address)
    {
        if (count < kFindingExamples)
            examples += (count ? ", " : "") + std::string(address);
        ++count;
    }
    std::string shown() const
    {
        if (count <= kFindingExamples)
            return examples;
        return examples + ", " + formatMessage(kFindingMore, {std::to_string(count - kFindingExamples)});
    }
};

// Tallies keyed by a word, in the order the words were first met.
struct TallyList {
    std::vector<std::pair<std::string, Tally>> entries;
    std::unordered_map<std::string, std::size_t> index;
    Tally& operator[](const std::string& key)
    {
        const auto [it, added] = index.emplace(key, entries.size());
        if (added)
            entries.emplace_back(key, Tally());
        return entries[it->second].second;
    }
};

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// A size with its unit: kilobytes below a tenth of a megabyte (which would read "0.0 MB"),
// megabytes from there on.
std::string sizeWithUnit(std::uint64_t bytes)
{
    constexpr std::uint64_t kTenthOfMegabyte = 1024 * 1024 / 10;
    if (bytes >= kTenthOfMegabyte)
        return megabytes(bytes) + " MB";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

std::uint64_t linesSize(const std::vector<std::string>& lines)
{
    std::uint64_t size = 0;
    for (const auto& line : lines)
        size += line.size() + 2;
    return size;
}

// The value of a macro name for a recipient, as the substitution table finds it; null when the
// name is no macro of this recipient.
const ShortString255* valueOf(std::string_view name, const RecipientRecord& r, const ProjectProperties& p)
{
    const ShortString255* fixed[] = {&r.EMail,      &r.Name,        &r.Surname,     &p.AutorName,   &p.AutorWEB,
                                     &p.AutorEmail, &r.ParamValue1, &r.ParamValue2, &r.ParamValue3, &r.ParamValue4};
    for (std::size_t i = 0; i < kFixedMacros.size(); ++i)
        if (name == kFixedMacros[i])
            return fixed[i];
    for (int i = 0; i < 4; ++i)
        if (r.paramName(i).view() == name)
            return &r.paramValue(i);
    return nullptr;
}

// The name of a parameter of the recipient that equals the macro name but for ASCII letter
// case; empty when there is none.
std::string_view parameterInOtherCase(std::string_view name, const RecipientRecord& r)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (int i = 0; i < 4; ++i) {
        const std::string_view parameter = r.paramName(i).view();
        if (parameter.size() == name.size() && std::equal(parameter.begin(), parameter.end(), name.begin(),
                                                          [&](char a, char b) { return lower(a) == lower(b); }))
            return parameter;
    }
    return {};
}

bool holdsPercent(const RecipientRecord& r, const ProjectProperties& p)
{
    for (const ShortString255* field : {&r.EMail, &r.Name, &r.Surname, &p.AutorName, &p.AutorWEB, &p.AutorEmail,
                                        &r.ParamValue1, &r.ParamValue2, &r.ParamValue3, &r.ParamValue4})
        if (field->view().find('%') != std::string_view::npos)
            return true;
    return false;
}

} // namespace

std::vector<std::string> MacroNamesIn(std::string_view text)
{
    std::vector<std::string> names;
    collectTokens(text, names);
    return names;
}

bool HasWarnings(const std::vector<PreflightFinding>& findings)
{
    for (const auto& finding : findings)
        if (finding.warning)
            return true;
    return false;
}

std::vector<PreflightFinding> CheckMailing(const PreflightInput& input)
{
    const Project& project = *input.project;
    const MailDraft& draft = *input.draft;
    std::vector<PreflightFinding> findings;
    auto add = [&](FindingKind kind, std::string text, bool warning = true) {
        findings.push_back({kind, warning, std::move(text)});
    };

    // The texts macros are substituted in, and the words in them that look like macros.
    std::vector<std::string> texts = {draft.subject, draft.unsubscribeMailto, draft.unsubscribeUrl};
    texts.insert(texts.end(), draft.body.begin(), draft.body.end());
    texts.insert(texts.end(), draft.htmlBody.begin(), draft.htmlBody.end());
    for (const auto& header : draft.headers)
        texts.push_back(header.second);
    std::vector<std::string> tokens;
    for (const auto& text : texts)
        collectTokens(text, tokens);
    std::vector<std::string> subjectTokens;
    collectTokens(draft.subject, subjectTokens);
    {
        std::unordered_set<std::string> seen;
        std::vector<std::string> distinct;
        for (auto& token : tokens)
            if (seen.insert(token).second)
                distinct.push_back(std::move(token));
        tokens = std::move(distinct);
    }

    TallyList unreplaced, emptyInSubject;
    Tally invalid, duplicate, disabled;
    std::unordered_set<std::string> addresses;
    std::vector<std::string> found;
    std::string lowered;
    std::size_t messages = 0;
    for (const std::size_t row : *input.recipients) {
        const RecipientRecord& record = project.recipients.at(row);
        if (input.skipDisabled && record.Enabled == 0)
            continue;
        ++messages;
        const std::string_view address = record.EMail.view();
        if (!tokens.empty()) {
            if (!holdsPercent(record, project.properties)) {
                for (const auto& token : tokens)
                    if (!valueOf(token, record, project.properties)) {
                        Tally& tally = unreplaced["%" + token + "%"];
                        tally.add(address);
                        if (tally.caseVariant.empty())
                            tally.caseVariant = parameterInOtherCase(token, record);
                    }
            } else {
                // A value that holds "%" may bring macros of its own: render to be sure.
                found.clear();
                const MacroRecipient recipient = MacroRecipient::fromRecord(record);
                for (const auto& text : texts)
                    collectTokens(SubstituteMacros(text, recipient, project.properties), found);
                std::unordered_set<std::string> once;
                for (const auto& token : found)
                    if (once.insert(token).second) {
                        Tally& tally = unreplaced["%" + token + "%"];
                        tally.add(address);
                        if (tally.caseVariant.empty())
                            tally.caseVariant = parameterInOtherCase(token, record);
                    }
            }
            for (const auto& token : subjectTokens) {
                const ShortString255* value = valueOf(token, record, project.properties);
                if (value && value->length() == 0)
                    emptyInSubject["%" + token + "%"].add(address);
            }
        }
        if (!isValidAddress(address))
            invalid.add(address);
        lowered.assign(address);
        for (char& c : lowered)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (!addresses.insert(lowered).second)
            duplicate.add(address);
        if (record.Enabled == 0)
            disabled.add(address);
    }

    for (const auto& [token, tally] : unreplaced.entries)
        add(FindingKind::UnreplacedMacro,
            formatMessage(kFindingUnreplaced, {std::to_string(tally.count), token, tally.shown()}) +
                (tally.caseVariant.empty() ? std::string()
                                           : formatMessage(kFindingParameterCase, {tally.caseVariant})));
    for (const auto& [token, tally] : emptyInSubject.entries)
        add(FindingKind::EmptySubjectMacro,
            formatMessage(kFindingEmptySubjectMacro, {std::to_string(tally.count), token, tally.shown()}));
    if (draft.subject.find_first_not_of(" \t") == std::string::npos)
        add(FindingKind::EmptySubject, std::string(kFindingEmptySubject));
    bool anyText = false;
    for (const auto* lines : {&draft.body, &draft.htmlBody})
        for (const auto& line : *lines)
            anyText = anyText || line.find_first_not_of(" \t") != std::string::npos;
    if (!anyText)
        add(FindingKind::EmptyBody, std::string(kFindingEmptyBody));
    if (!input.hasFrom)
        add(FindingKind::NoFrom, std::string(kFindingNoFrom));
    if (invalid.count)
        add(FindingKind::InvalidAddress,
            formatMessage(kFindingInvalid, {std::to_string(invalid.count), invalid.shown()}));
    if (duplicate.count)
        add(FindingKind::DuplicateAddress,
            formatMessage(kFindingDuplicate, {std::to_string(duplicate.count), duplicate.shown()}));
    if (disabled.count && !input.skipDisabled)
        add(FindingKind::DisabledRecipient,
            formatMessage(kFindingDisabled, {std::to_string(disabled.count), disabled.shown()}));

    std::uint64_t attachmentBytes = 0;
    for (const auto& path : draft.attachments) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            add(FindingKind::MissingAttachment,
                formatMessage(kFindingMissingAttachment,
                              {path, S_ISDIR(info.st_mode) ? "it is a folder" : std::strerror(errno)}));
            continue;
        }
        const auto size = static_cast<std::uint64_t>(info.st_size);
        attachmentBytes += size;
        if (size > input.attachmentLimit)
            add(FindingKind::LargeAttachment,
                formatMessage(kFindingLargeAttachment, {path, megabytes(size), megabytes(input.attachmentLimit)}));
    }
    if (input.signing && !input.signingDomain.empty()) {
        const std::size_t at = input.fromAddress.rfind('@');
        const std::string fromDomain = at == std::string::npos ? std::string() : input.fromAddress.substr(at + 1);
        auto lowered = [](std::string text) {
            for (char& c : text)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            return text;
        };
        if (!fromDomain.empty() && lowered(fromDomain) != lowered(input.signingDomain))
            add(FindingKind::SigningDomain, formatMessage(kFindingSigningDomain, {input.signingDomain, fromDomain}));
    }
    if (!input.signing && messages > kUnsignedRunLimit)
        add(FindingKind::UnsignedRun, formatMessage(kFindingUnsignedRun, {std::to_string(messages)}));
    const std::uint64_t perMessage = kHeaderBytesEstimate + draft.subject.size() + linesSize(draft.body) +
                                     linesSize(draft.htmlBody) + attachmentBytes / 57 * 78 + attachmentBytes % 57 * 2;
    add(FindingKind::RunSize,
        formatMessage(kFindingRunSize, {std::to_string(messages), sizeWithUnit(perMessage * messages)}), false);
    return findings;
}

} // namespace quillet
