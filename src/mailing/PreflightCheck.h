// The pre-flight check of a mailing: what would go wrong or look wrong, found over the whole
// selection before anything is sent. Fast enough to run before every run (it looks at each
// recipient's macro values instead of rendering every message):
//   - recipients whose message would still hold a %WORD% no macro replaces;
//   - recipients whose subject gets an empty macro value;
//   - an empty subject, an empty body (neither plain nor HTML);
//   - no From (and the sender is not to stand in for it);
//   - recipient addresses that are not valid addresses, the same address twice (letter case
//     ignored), disabled recipients that will receive;
//   - attachments that are missing or larger than the stated size;
//   - a signing domain other than the From address's domain (receivers then do not count the
//     signature for the From), and a large run that is not signed at all;
//   - and, for information, the number of messages and the run's total size.
#pragma once

#include "MailDraft.h"

#include "project/Project.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Attachments above this size are named: many receiving servers refuse messages above 10 to 25
// MB, and base64 makes an attached file a third larger on the wire.
inline constexpr std::uint64_t kLargeAttachmentBytes = 10ull * 1024 * 1024;
// A run to more recipients than this without a signature is named: large providers refuse or
// file away bulk mail that is not signed.
inline constexpr std::size_t kUnsignedRunLimit = 1000;
// How many addresses a finding names before "and N more".
inline constexpr std::size_t kFindingExamples = 5;

struct PreflightInput {
    const Project* project = nullptr;
    // Record indices of the recipients, in run order.
    const std::vector<std::size_t>* recipients = nullptr;
    const MailDraft* draft = nullptr;
    // The message has a From, or the sender address will stand in for it.
    bool hasFrom = false;
    // Disabled recipients are left out of the run (they are then not a finding).
    bool skipDisabled = false;
    std::uint64_t attachmentLimit = kLargeAttachmentBytes;
    // The message's From address, and whether messages are signed and for which domain (empty:
    // each message's From domain).
    std::string fromAddress{};
    bool signing = false;
    std::string signingDomain{};
};

enum class FindingKind {
    UnreplacedMacro,
    EmptySubjectMacro,
    EmptySubject,
    EmptyBody,
    NoFrom,
    InvalidAddress,
    DuplicateAddress,
    DisabledRecipient,
    MissingAttachment,
    LargeAttachment,
    SigningDomain,
    UnsignedRun,
    RunSize,
};

struct PreflightFinding {
    FindingKind kind;
    // False for the information that is always given (the run's size).
    bool warning = true;
    // The finding in words (code-page text), e.g. "3 recipients: %CITY% is not replaced".
    std::string text;
};

std::vector<PreflightFinding> CheckMailing(const PreflightInput& input);
// Every %WORD% of a text that the check takes for a macro (the word without its percent signs),
// in order, repeats kept.
std::vector<std::string> MacroNamesIn(std::string_view text);
// True when a finding is a warning.
bool HasWarnings(const std::vector<PreflightFinding>& findings);

} // namespace quillet
