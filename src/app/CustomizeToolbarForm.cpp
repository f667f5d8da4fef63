#include "CustomizeToolbarForm.h"

#include "widgets/DialogButtons.h"
#include "widgets/Icons.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

constexpr int kNameRole = Qt::UserRole;
const char* const kSeparatorText = "[Separator]";

// Drags from the list of available actions always copy: the list itself never loses an entry.
class AvailableActionsTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    void startDrag(Qt::DropActions) override { QTreeWidget::startDrag(Qt::CopyAction); }
};

// A dropped command is inserted where it is dropped; it never replaces the entry under it.
class BarItemsListWidget : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    bool dropMimeData(int index, const QMimeData* data, Qt::DropAction action) override
    {
        auto* listModel = static_cast<QAbstractListModel*>(model());
        return listModel->QAbstractListModel::dropMimeData(data, action, index, 0, QModelIndex());
    }
};

QString plainCaption(const QString& caption)
{
    QString text = caption.section('\t', 0, 0);
    return text.remove('&');
}

} // namespace

CustomizeToolbarForm::CustomizeToolbarForm(const QList<QAction*>& actions, QWidget* parent) : QDialog(parent)
{
    setObjectName("CustomizeToolbarForm");
    setWindowTitle("Customize");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    AvailableList = new AvailableActionsTree;
    AvailableList->setObjectName("AvailableList");
    AvailableList->setHeaderLabel("Commands");
    AvailableList->setDragEnabled(true);
    AvailableList->setDragDropMode(QAbstractItemView::DragOnly);
    std::map<QString, QTreeWidgetItem*> categoryItems;
    for (QAction* action : actions) {
        const QString category = action->property("category").toString();
        QTreeWidgetItem*& categoryItem = categoryItems[category];
        if (!categoryItem) {
            categoryItem = new QTreeWidgetItem(AvailableList, {category});
            categoryItem->setFlags(Qt::ItemIsEnabled);
        }
        auto* item = new QTreeWidgetItem(categoryItem, {plainCaption(action->text())});
        item->setIcon(0, action->icon());
        item->setData(0, kNameRole, action->objectName());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
        actions_[action->objectName()] = action;
    }
    auto* separator = new QTreeWidgetItem(AvailableList, {kSeparatorText});
    separator->setData(0, kNameRole, kSeparatorItem);
    separator->setIcon(0, separatorIcon());
    separator->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    AvailableList->expandAll();

    BarCombo = new QComboBox;
    BarCombo->setObjectName("BarCombo");
    BarItemsList = new BarItemsListWidget;
    BarItemsList->setObjectName("BarItemsList");
    BarItemsList->setDragDropMode(QAbstractItemView::DragDrop);
    BarItemsList->setDefaultDropAction(Qt::MoveAction);
    BarItemsList->setAcceptDrops(true);

    auto button = [](const char* text, const char* name) {
        auto* b = new QPushButton(text);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    AddButton = button("Add >", "AddButton");
    RemoveButton = button("< Remove", "RemoveButton");
    UpButton = button("Move up", "UpButton");
    DownButton = button("Move down", "DownButton");
    NewMenuButton = button("New menu...", "NewMenuButton");
    DeleteMenuButton = button("Delete menu", "DeleteMenuButton");
    ResetButton = button("Reset", "ResetButton");

    connect(AddButton, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* item = AvailableList->currentItem(); item && item->data(0, kNameRole).isValid())
            addItem(item->data(0, kNameRole).toString());
    });
    connect(AvailableList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kNameRole).isValid())
            addItem(item->data(0, kNameRole).toString());
    });
    connect(RemoveButton, &QPushButton::clicked, this, &CustomizeToolbarForm::removeCurrentItem);
    connect(UpButton, &QPushButton::clicked, this, [this] { moveCurrentItem(-1); });
    connect(DownButton, &QPushButton::clicked, this, [this] { moveCurrentItem(1); });
    connect(NewMenuButton, &QPushButton::clicked, this, &CustomizeToolbarForm::newMenuRequested);
    connect(DeleteMenuButton, &QPushButton::clicked, this, [this] {
        const int index = BarCombo->currentIndex();
        if (index < 0 || index >= static_cast<int>(layout_.menus.size()))
            return;
        shownBar_ = -1;
        layout_.menus.erase(layout_.menus.begin() + index);
        fillBarCombo();
        selectBar(0);
    });
    connect(ResetButton, &QPushButton::clicked, this, [this] { setBarsLayout(ActionBarsLayout::builtIn()); });
    connect(BarCombo, &QComboBox::currentIndexChanged, this, [this](int index) { showBar(index); });

    QDialogButtonBox* buttons = makeOkCancelButtonBox(*this);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(AddButton);
    middle->addWidget(RemoveButton);
    middle->addStretch();
    // Two rows of buttons, so they do not widen the dialog beyond its lists.
    auto* barButtons = new QGridLayout;
    barButtons->addWidget(UpButton, 0, 0);
    barButtons->addWidget(DownButton, 0, 1);
    barButtons->addWidget(ResetButton, 0, 2);
    barButtons->addWidget(NewMenuButton, 1, 0);
    barButtons->addWidget(DeleteMenuButton, 1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel("Menu or toolbar:"));
    right->addWidget(BarCombo);
    right->addWidget(BarItemsList, 1);
    right->addLayout(barButtons);
    // Both lists are wide enough for the longest command with its icon: no name is cut.
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int widestName = 0;
    for (QAction* action : actions)
        widestName = std::max(widestName, AvailableList->fontMetrics().horizontalAdvance(plainCaption(action->text())));
    AvailableList->setMinimumWidth(widestName + 2 * AvailableList->indentation() + AvailableList->iconSize().width() +
                                   24 + 2 * AvailableList->frameWidth() + scrollBar);
    int widestCaption = 0;
    for (QAction* action : actions)
        widestCaption =
            std::max(widestCaption, BarItemsList->fontMetrics().horizontalAdvance(plainCaption(action->text())));
    BarItemsList->setMinimumWidth(widestCaption + BarItemsList->iconSize().width() + 24 +
                                  2 * BarItemsList->frameWidth() + scrollBar);
    auto* lists = new QHBoxLayout;
    lists->addWidget(AvailableList, 1);
    lists->addLayout(middle);
    lists->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Drag commands onto a menu or a toolbar, or use the buttons."));
    layout->addLayout(lists, 1);
    layout->addWidget(buttons);
    resize(720, 440);
}

void CustomizeToolbarForm::setBarsLayout(const ActionBarsLayout& layout)
{
    shownBar_ = -1;
    layout_ = layout;
    fillBarCombo();
    selectBar(0);
}

ActionBarsLayout CustomizeToolbarForm::barsLayout()
{
    storeShownBar();
    return layout_;
}

int CustomizeToolbarForm::barCount() const
{
    return static_cast<int>(layout_.menus.size() + layout_.toolBars.size());
}

BarLayout& CustomizeToolbarForm::bar(int index)
{
    const int menus = static_cast<int>(layout_.menus.size());
    return index < menus ? layout_.menus[index] : layout_.toolBars[index - menus];
}

void CustomizeToolbarForm::fillBarCombo()
{
    const QSignalBlocker blocker(BarCombo);
    BarCombo->clear();
    for (const BarLayout& menu : layout_.menus)
        BarCombo->addItem("Menu: " + plainCaption(menu.caption));
    for (std::size_t i = 0; i < layout_.toolBars.size(); ++i)
        BarCombo->addItem(QString("Toolbar %1: %2").arg(i + 1).arg(layout_.toolBars[i].caption));
}

void CustomizeToolbarForm::selectBar(int index)
{
    if (index < 0 || index >= barCount())
        return;
    {
        const QSignalBlocker blocker(BarCombo);
        BarCombo->setCurrentIndex(index);
    }
    showBar(index);
}

void CustomizeToolbarForm::storeShownBar()
{
    if (shownBar_ < 0 || shownBar_ >= barCount())
        return;
    QStringList items;
    for (int row = 0; row < BarItemsList->count(); ++row) {
        const QVariant name = BarItemsList->item(row)->data(kNameRole);
        if (name.isValid())
            items << name.toString();
    }
    bar(shownBar_).items = items;
}

void CustomizeToolbarForm::showBar(int index)
{
    storeShownBar();
    BarItemsList->clear();
    shownBar_ = index;
    if (index < 0 || index >= barCount())
        return;
    for (const QString& name : bar(index).items)
        appendListItem(name);
    DeleteMenuButton->setEnabled(index < static_cast<int>(layout_.menus.size()));
}

void CustomizeToolbarForm::appendListItem(const QString& name, int row)
{
    auto* item = new QListWidgetItem;
    item->setData(kNameRole, name);
    if (name == kSeparatorItem) {
        item->setText(kSeparatorText);
        item->setIcon(separatorIcon());
    } else if (auto found = actions_.find(name); found != actions_.end()) {
        item->setText(plainCaption(found->second->text()));
        item->setIcon(found->second->icon());
    } else {
        delete item;
        return;
    }
    if (row < 0 || row > BarItemsList->count())
        BarItemsList->addItem(item);
    else
        BarItemsList->insertItem(row, item);
    BarItemsList->setCurrentItem(item);
}

void CustomizeToolbarForm::addItem(const QString& name)
{
    const int current = BarItemsList->currentRow();
    appendListItem(name, current < 0 ? -1 : current + 1);
    storeShownBar();
}

void CustomizeToolbarForm::removeCurrentItem()
{
    delete BarItemsList->takeItem(BarItemsList->currentRow());
    storeShownBar();
}

void CustomizeToolbarForm::moveCurrentItem(int delta)
{
    const int row = BarItemsList->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= BarItemsList->count())
        return;
    QListWidgetItem* item = BarItemsList->takeItem(row);
    BarItemsList->insertItem(target, item);
    BarItemsList->setCurrentItem(item);
    storeShownBar();
}

void CustomizeToolbarForm::addMenu(const QString& caption)
{
    storeShownBar();
    shownBar_ = -1;
    layout_.menus.push_back({caption, {}});
    fillBarCombo();
    selectBar(static_cast<int>(layout_.menus.size()) - 1);
}

} // namespace quillet
