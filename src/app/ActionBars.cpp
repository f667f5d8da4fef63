#include "ActionBars.h"

#include "AppTexts.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QToolBar>

#include <stdexcept>

namespace quillet {

ActionBars::ActionBars(QMenuBar& menuBar, QWidget* parent, ActionLookup lookup)
    : menuBar_(menuBar), lookup_(std::move(lookup))
{
    const ActionBarsLayout builtIn = ActionBarsLayout::builtIn();
    for (int i = 0; i < 4; ++i) {
        toolBars_[i] = new QToolBar(builtIn.toolBars[i].caption, parent);
        toolBars_[i]->setObjectName(toolBarNames()[i]);
        toolBars_[i]->setToolButtonStyle(Qt::ToolButtonIconOnly);
        toolBars_[i]->setIconSize(QSize(16, 16));
        toolBars_[i]->setMovable(false);
        toolBars_[i]->setFloatable(false);
    }
    apply(builtIn);
}

void ActionBars::apply(const ActionBarsLayout& layout)
{
    layout_ = layout;
    menuBar_.clear();
    for (const BarLayout& menuLayout : layout.menus) {
        QMenu* menu = menuBar_.addMenu(menuLayout.caption);
        menu->setSeparatorsCollapsible(false);
        menu->setToolTipsVisible(false);
        for (const QString& item : menuLayout.items) {
            if (item == kSeparatorItem)
                menu->addSeparator();
            else if (QAction* action = lookup_(item))
                menu->addAction(action);
        }
    }
    for (std::size_t i = 0; i < 4 && i < layout.toolBars.size(); ++i) {
        QToolBar* bar = toolBars_[i];
        bar->clear();
        bar->setWindowTitle(layout.toolBars[i].caption);
        for (const QString& item : layout.toolBars[i].items) {
            if (item == kSeparatorItem)
                bar->addSeparator();
            else if (QAction* action = lookup_(item))
                bar->addAction(action);
        }
    }
}

void ActionBars::readLayoutFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    ActionBarsLayout layout;
    if (ActionBarsLayout::parse(file.readAll(), layout))
        apply(layout);
}

void ActionBars::writeLayoutFile(const QString& path) const
{
    // Written through a temporary file, so a failed write never leaves a half-written layout.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(texts::kUnableToSaveSettings);
    const QByteArray data = layout_.toJson();
    if (file.write(data) != data.size() || !file.commit())
        throw std::runtime_error(texts::kUnableToSaveSettings);
}

} // namespace quillet
