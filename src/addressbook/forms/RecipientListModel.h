// The rows of the main window's recipient list: the recipients of the selected group, sorted
// by e-mail, over the project's records (RecipientRows). Columns: "Recipient e-mail", "Name",
// "Surname", "Enabled" ("True"/"False") and a fifth, hidden one holding the record index as
// decimal text (also under RecordIndexRole). The icon of a row is chosen from its "Enabled"
// text every time the row is drawn. Rows can be dragged; the drag carries their positions.
#pragma once

#include "addressbook/RecipientRows.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>

namespace quillet {

class RecipientListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int RecordIndexRole = Qt::UserRole + 1;
    static constexpr int RecordIndexColumn = 4;
    // The format of the rows dragged out of the list.
    static const char* const kDragFormat;

    // iconForEnabled(true/false) gives the row icons (enabled: with the check mark).
    RecipientListModel(Project& project, std::function<QIcon(bool)> iconForEnabled, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::MoveAction; }

    const RecipientRows& rows() const { return rows_; }
    std::size_t recordIndex(int row) const { return rows_.recordIndex(static_cast<std::size_t>(row)); }

    // Group selected (or refreshed after a change of records): rows rebuilt from scratch.
    void rebuild(std::string_view groupName);
    // All rows removed.
    void clear();
    // A row for a newly appended record; returns its row.
    int addRow(std::size_t recordIndex);
    // The record of a row was edited: its texts are shown again and the row moves to its
    // sorted place; returns its new row.
    int recordEdited(int row);
    // Rows whose record's Enabled changed (texts and icons repainted).
    void rowsChanged(const std::vector<int>& rows);
    // Removes the records of the rows from the project and the rows from the list.
    void removeRecords(const std::vector<int>& rows);

private:
    Project& project_;
    RecipientRows rows_;
    std::function<QIcon(bool)> iconForEnabled_;
};

} // namespace quillet
