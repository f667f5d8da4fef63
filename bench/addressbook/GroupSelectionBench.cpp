// Showing a group of 100,000 recipients: the time from selecting the group in the main window
// until the recipient list has been painted (offscreen), beside the same rows put into a
// QTreeWidget with one item per row and painted, in the same run. Target: under 0.3 s.
//
// Usage: bench_group_selection [rows] (default 100000)
#include "addressbook/forms/AddressBookController.h"
#include "app/TOrvQuilletForm.h"
#include "support/ScriptedUserInterface.h"

#include <QApplication>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;

    quillet::test::ScriptedUserInterface ui;
    quillet::TOrvQuilletForm form(ui);
    quillet::Project& project = form.project();
    project.groups = {{"Small", ""}, {"Big", ""}};
    std::mt19937 random(7);
    project.recipients.reserve(static_cast<std::size_t>(count) + 10);
    for (int i = 0; i < count; ++i) {
        quillet::RecipientRecord r;
        r.EMail.set("user" + std::to_string(random() % 10000000) + "@example" + std::to_string(i % 97) + ".com");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname");
        r.Enabled = i % 3 ? 1 : 0;
        r.Group.set("Big");
        project.recipients.push_back(r);
    }
    form.addressBook().showGroups();
    form.resize(1000, 700);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        std::fprintf(stderr, "window not exposed\n");

    QTreeWidget* groups = form.groupListView();
    QTreeView* list = form.recipientListView();
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        groups->setCurrentItem(groups->topLevelItem(0));
        QApplication::processEvents();
        const auto start = Clock::now();
        groups->setCurrentItem(groups->topLevelItem(1));
        list->viewport()->repaint();
        QApplication::processEvents();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const int shown = list->model()->rowCount();

    // The peer: one QTreeWidgetItem per row, sorted by the widget, then painted.
    double widgetTime = 0;
    {
        QTreeWidget widget;
        widget.setColumnCount(4);
        widget.setUniformRowHeights(true);
        widget.resize(list->size());
        widget.show();
        (void)QTest::qWaitForWindowExposed(&widget);
        const auto start = Clock::now();
        QList<QTreeWidgetItem*> items;
        items.reserve(count);
        for (std::size_t i = 0; i < project.recipients.size(); ++i) {
            const quillet::RecipientRecord& r = project.recipients[i];
            auto* item = new QTreeWidgetItem(
                {QString::fromStdString(r.EMail.str()), QString::fromStdString(r.Name.str()),
                 QString::fromStdString(r.Surname.str()), r.enabled() ? "True" : "False", QString::number(i)});
            items << item;
        }
        widget.addTopLevelItems(items);
        widget.sortItems(0, Qt::AscendingOrder);
        widget.viewport()->repaint();
        QApplication::processEvents();
        widgetTime = std::chrono::duration<double>(Clock::now() - start).count();
    }

    std::printf("rows shown: %d\n", shown);
    std::printf("group selected until painted (model/view) : %8.3f s  (target < 0.3 s)\n", best);
    std::printf("one QTreeWidgetItem per row, painted      : %8.3f s\n", widgetTime);
    std::printf("ratio                                     : %8.2fx faster\n", widgetTime / best);
    return 0;
}
