// The search of the Find window over the project's recipient records, in stored order.
//
// Fields searched, in order: EMail, Name, Surname, ParamName1..4, ParamValue1..4 (never Group
// or Enabled). Matching by the two options:
//   case-insensitive, not exact: the upper-cased text occurs in the upper-cased field;
//   case-insensitive, exact:     the upper-cased field equals the upper-cased text;
//   case-sensitive, not exact:   the text (its first 255 bytes) occurs in the field;
//   case-sensitive, exact:       the field equals the text.
// An empty text occurs in nothing; with "exact" it matches an empty field.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

struct SearchOptions {
    bool caseSensitive = false;
    bool exact = false;
};

class RecipientMatcher {
public:
    RecipientMatcher(std::string_view text, SearchOptions options);
    // Whether one of the searched fields of the record matches.
    bool matches(const RecipientRecord& record) const;

private:
    bool fieldMatches(std::string_view field) const;
    std::string text_; // as given (case-sensitive) or upper-cased
    SearchOptions options_;
};

// The first recipient at or after the position that matches; with a group name, recipients of
// other groups are skipped (exact comparison). No hit: nullopt.
std::optional<std::size_t> findRecipient(const Project& project, std::size_t from, std::string_view text,
                                         SearchOptions options, const std::string* group = nullptr);

} // namespace quillet
