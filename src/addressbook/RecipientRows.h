// The recipient rows of one group as the recipient list shows them: one row per record of the
// group, sorted by e-mail (EmailCollation), each row holding the record index (the record's
// position in Project::recipients). The row's texts are always those of its record, so a row
// is just its record index plus its sort key.
//
// Invariant kept by every operation here: each row's record index names the current position
// of that row's record.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The record indices of the recipients of a group (Group equal to the name, exactly) in the
// recipient list's display order: sorted by e-mail, equal addresses in record order.
std::vector<std::size_t> sortedRecipientRows(const Project& project, std::string_view groupName);

class RecipientRows {
public:
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    std::size_t recordIndex(std::size_t row) const { return rows_[row].record; }
    // Record indices of every row, in row order.
    std::vector<std::size_t> recordIndices() const;
    // Record indices of the given rows (positions in any order), returned in row order.
    std::vector<std::size_t> recordIndices(std::vector<std::size_t> rows) const;

    // All rows removed (group deleted, project closed, no group selected).
    void clear() { rows_.clear(); }
    // Rebuilt from scratch for a group: one row per record whose Group equals the name.
    void rebuild(const Project& project, std::string_view groupName);
    // The position addRow would give the record's row.
    std::size_t insertionRow(const Project& project, std::size_t recordIndex) const;
    // A row for a record appended to the project; returns the row's position.
    std::size_t addRow(const Project& project, std::size_t recordIndex);
    // The record of a row was edited: the row moves to its new sorted place; returns it.
    std::size_t resortRow(const Project& project, std::size_t row);
    // Removes the records of the given rows from the project, removes those rows and lowers
    // every remaining row's record index by the number of removed records before its record.
    void removeRecords(Project& project, const std::vector<std::size_t>& rows);
    // The first row from the top whose e-mail equals the text, ignoring letter case.
    std::optional<std::size_t> firstRowWithEmail(const Project& project, std::string_view email) const;

private:
    struct Row {
        std::string key;
        std::size_t record;
    };
    static bool before(const Row& a, const Row& b) { return a.key < b.key; }
    std::vector<Row> rows_;
};

} // namespace quillet
