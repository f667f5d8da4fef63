#include "ListViews.h"

#include "widgets/Shell.h"
#include "widgets/UserInterface.h"

#include <QHeaderView>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace quillet {

namespace {

// Hot tracking: the row under the mouse is drawn underlined.
class HotTrackDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_MouseOver)
            option->font.setUnderline(true);
    }
};

} // namespace

void styleList(QTreeView* view, bool hotTracking)
{
    view->setRootIsDecorated(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);
    view->setUniformRowHeights(true);
    view->setIconSize(QSize(16, 16));
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    // Hot tracking with a hand cursor; the selection stays visible without the focus.
    if (hotTracking) {
        view->setMouseTracking(true);
        view->viewport()->setAttribute(Qt::WA_Hover);
        view->viewport()->setCursor(Qt::PointingHandCursor);
        view->setItemDelegate(new HotTrackDelegate(view));
    }
    QPalette palette = view->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(palette);
}

void setColumns(QTreeView* view, const QList<int>& widths, int stretchColumn)
{
    QHeaderView* header = view->header();
    header->setSectionsClickable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    for (int i = 0; i < widths.size(); ++i) {
        if (i == stretchColumn) {
            header->setSectionResizeMode(i, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(i, QHeaderView::Interactive);
            header->resizeSection(i, widths[i]);
        }
    }
}

QTreeWidget* makeList(const char* objectName, const QStringList& headers, bool hotTracking, const QList<int>& widths,
                      int stretchColumn)
{
    auto* list = new QTreeWidget;
    list->setObjectName(objectName);
    list->setHeaderLabels(headers);
    styleList(list, hotTracking);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    setColumns(list, widths, stretchColumn);
    return list;
}

QMenu* makePopupMenu(Shell& shell, const char* objectName, QTreeView* view,
                     std::initializer_list<std::optional<ActionId>> items)
{
    auto* menu = new QMenu(shell.dialogParent());
    menu->setObjectName(objectName);
    menu->setTitle(objectName);
    menu->setSeparatorsCollapsible(false);
    for (const std::optional<ActionId>& item : items) {
        if (item)
            menu->addAction(shell.action(*item));
        else
            menu->addSeparator();
    }
    QObject::connect(view, &QWidget::customContextMenuRequested, menu, [&shell, menu, view](const QPoint& position) {
        shell.ui().popupMenu(*menu, view->viewport()->mapToGlobal(position));
    });
    return menu;
}

} // namespace quillet
