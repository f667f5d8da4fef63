#include "HarvestReview.h"

#include "AddressBookTexts.h"
#include "AddressValidity.h"

#include <unordered_set>

namespace quillet {

namespace {

std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

HarvestReview reviewHarvest(const std::vector<std::string>& entries)
{
    HarvestReview review;
    review.marks.reserve(entries.size());
    std::unordered_set<std::string> seen;
    seen.reserve(entries.size());
    for (const std::string& entry : entries) {
        HarvestEntryMarks marks;
        marks.invalid = !isValidAddress(entry);
        marks.duplicate = !seen.insert(asciiLower(entry)).second;
        review.invalid += marks.invalid;
        review.duplicates += marks.duplicate;
        review.marked += marks.marked();
        review.marks.push_back(marks);
    }
    return review;
}

std::vector<std::string> unmarkedEntries(const std::vector<std::string>& entries, const HarvestReview& review)
{
    std::vector<std::string> kept;
    kept.reserve(entries.size() - std::min(entries.size(), review.marked));
    for (std::size_t i = 0; i < entries.size() && i < review.marks.size(); ++i)
        if (!review.marks[i].marked())
            kept.push_back(entries[i]);
    return kept;
}

std::string harvestCountsText(std::size_t found, const HarvestReview& review)
{
    return texts::harvestCounts(found, review.invalid, review.duplicates);
}

std::string harvestRemoveMarkedQuestion(const HarvestReview& review)
{
    return texts::harvestRemoveMarked(review.marked);
}

} // namespace quillet
