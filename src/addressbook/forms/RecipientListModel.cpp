#include "RecipientListModel.h"

#include "widgets/TextBoundary.h"

#include <QMimeData>

#include <algorithm>

namespace quillet {

const char* const RecipientListModel::kDragFormat = "application/x-quillet-recipient-rows";

RecipientListModel::RecipientListModel(Project& project, std::function<QIcon(bool)> iconForEnabled, QObject* parent)
    : QAbstractTableModel(parent), project_(project), iconForEnabled_(std::move(iconForEnabled))
{
}

int RecipientListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecipientListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

QVariant RecipientListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const std::size_t record = recordIndex(index.row());
    if (role == RecordIndexRole)
        return QVariant::fromValue<qulonglong>(record);
    if (record >= project_.recipients.size())
        return {};
    const RecipientRecord& r = project_.recipients[record];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0: return toQt(r.EMail.str());
        case 1: return toQt(r.Name.str());
        case 2: return toQt(r.Surname.str());
        case 3: return QString::fromLatin1(r.enabled() ? kTrue.data() : kFalse.data());
        case RecordIndexColumn: return QString::number(record);
        default: return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0 && iconForEnabled_)
        return iconForEnabled_(r.enabled());
    return {};
}

QVariant RecipientListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const captions[] = {"Recipient e-mail", "Name", "Surname", "Enabled", "Index"};
    return section >= 0 && section < 5 ? QString(captions[section]) : QVariant();
}

Qt::ItemFlags RecipientListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList RecipientListModel::mimeTypes() const
{
    return {kDragFormat};
}

QMimeData* RecipientListModel::mimeData(const QModelIndexList& indexes) const
{
    QStringList rows;
    for (const QModelIndex& index : indexes)
        if (index.column() == 0)
            rows << QString::number(index.row());
    auto* data = new QMimeData;
    data->setData(kDragFormat, rows.join(',').toLatin1());
    return data;
}

void RecipientListModel::rebuild(std::string_view groupName)
{
    beginResetModel();
    rows_.rebuild(project_, groupName);
    endResetModel();
}

void RecipientListModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int RecipientListModel::addRow(std::size_t recordIndex)
{
    const int row = static_cast<int>(rows_.insertionRow(project_, recordIndex));
    beginInsertRows({}, row, row);
    rows_.addRow(project_, recordIndex);
    endInsertRows();
    return row;
}

int RecipientListModel::recordEdited(int row)
{
    RecipientRows probe = rows_;
    const int to = static_cast<int>(probe.resortRow(project_, static_cast<std::size_t>(row)));
    if (to != row) {
        // Qt's destination is the row before which the moved row lands in the old numbering.
        beginMoveRows({}, row, row, {}, to > row ? to + 1 : to);
        rows_ = std::move(probe);
        endMoveRows();
    }
    emit dataChanged(index(to, 0), index(to, columnCount() - 1));
    return to;
}

void RecipientListModel::rowsChanged(const std::vector<int>& rows)
{
    for (int row : rows)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void RecipientListModel::removeRecords(const std::vector<int>& rows)
{
    std::vector<std::size_t> positions(rows.begin(), rows.end());
    beginResetModel();
    rows_.removeRecords(project_, positions);
    endResetModel();
}

} // namespace quillet
