// The review of harvested addresses before they become recipients: how many were found, which
// entries are not valid addresses (the shared rule of AddressValidity.h, e.g. "user@" or an
// address that kept a trailing quote) and which repeat an earlier entry. The scanner's own list
// is never changed here; removing the marked entries is the user's choice.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quillet {

struct HarvestEntryMarks {
    bool invalid = false;
    // The same address as an earlier entry (letter case aside: mail systems treat "Ann@X.org"
    // and "ann@x.org" as one mailbox).
    bool duplicate = false;

    bool marked() const { return invalid || duplicate; }
};

struct HarvestReview {
    std::vector<HarvestEntryMarks> marks; // one per entry, in order
    std::size_t invalid = 0;
    std::size_t duplicates = 0;
    std::size_t marked = 0; // entries with either mark
};

HarvestReview reviewHarvest(const std::vector<std::string>& entries);

// The entries without the marked ones, in order: each valid address once, at its first place.
std::vector<std::string> unmarkedEntries(const std::vector<std::string>& entries, const HarvestReview& review);

// "12 addresses found, 2 not valid, 3 duplicates".
std::string harvestCountsText(std::size_t found, const HarvestReview& review);
// The question asked before adding when entries are marked.
std::string harvestRemoveMarkedQuestion(const HarvestReview& review);

} // namespace quillet
