#include "RunsWindow.h"

#include "MailingWindowTexts.h"
#include "widgets/TextBoundary.h"

#include "mailing/MailingRun.h"
#include "mailing/RunJournal.h"
#include "mailing/RunRecordText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet {

RunsWindow::RunsWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("RunsWindow");
    setWindowTitle(texts::kRunsCaption);
    RunList = new QTreeWidget;
    RunList->setObjectName("RunList");
    RunList->setRootIsDecorated(false);
    QStringList columns;
    for (const char* column : texts::kRunsColumns)
        columns << column;
    RunList->setHeaderLabels(columns);
    RunList->header()->setStretchLastSection(true);
    Details = new QPlainTextEdit;
    Details->setObjectName("Details");
    Details->setReadOnly(true);
    Details->setLineWrapMode(QPlainTextEdit::NoWrap);
    ResumeButton = new QPushButton(texts::kResumeButton);
    ResumeButton->setObjectName("ResumeButton");
    CloseButton = new QPushButton(texts::kCloseButton);
    CloseButton->setObjectName("CloseButton");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ResumeButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RunList, 1);
    layout->addWidget(Details, 2);
    layout->addLayout(buttons);
    resize(760, 520);

    connect(RunList, &QTreeWidget::itemSelectionChanged, this, [this] { RunListSelectionChanged(); });
    connect(ResumeButton, &QPushButton::clicked, this, [this] {
        if (OnResume && !SelectedId().empty() && !runInProgress_ && !SelectedRunGoesOn())
            OnResume(SelectedId());
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

void RunsWindow::Refresh(const std::string& selectId)
{
    RunList->clear();
    QTreeWidgetItem* selected = nullptr;
    for (const std::string& id : ListRunIds()) {
        auto* item = new QTreeWidgetItem(RunList);
        item->setText(0, QString::fromStdString(id));
        try {
            const RunRecord run = ReadRunJournal(id);
            const RunDescription& d = run.description;
            item->setText(1, QString::fromStdString(d.started));
            item->setText(2, QString::fromStdString(d.route));
            item->setText(3, toQt(d.projectPath));
            QString counts = toQt(CountsText(run.Counts()));
            if (const std::optional<long> pid = RunInProgress(id)) {
                item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<qlonglong>(*pid)));
                counts = QString(texts::kRunRunning).arg(*pid) + ": " + counts;
            }
            item->setText(4, counts);
            item->setToolTip(4, item->text(4));
        } catch (const EMailingError& error) {
            item->setText(4, toQt(error.what()));
        }
        if (id == selectId || (selectId.empty() && !selected))
            selected = item;
    }
    for (int column = 0; column < RunList->columnCount() - 1; ++column)
        RunList->resizeColumnToContents(column);
    if (selected)
        RunList->setCurrentItem(selected);
    RunListSelectionChanged();
}

void RunsWindow::setRunInProgress(bool running)
{
    runInProgress_ = running;
    ResumeButton->setEnabled(!SelectedId().empty() && !running && !SelectedRunGoesOn());
}

bool RunsWindow::SelectedRunGoesOn() const
{
    const QTreeWidgetItem* item = RunList->currentItem();
    return item && item->data(0, Qt::UserRole).isValid();
}

std::string RunsWindow::SelectedId() const
{
    const QTreeWidgetItem* item = RunList->currentItem();
    return item ? item->text(0).toStdString() : std::string();
}

void RunsWindow::RunListSelectionChanged()
{
    const std::string id = SelectedId();
    const bool goesOn = SelectedRunGoesOn();
    ResumeButton->setEnabled(!id.empty() && !runInProgress_ && !goesOn);
    if (id.empty()) {
        Details->clear();
        return;
    }
    try {
        const QString running =
            goesOn ? QString(texts::kRunRunning).arg(RunList->currentItem()->data(0, Qt::UserRole).toLongLong()) + "\n"
                   : QString();
        Details->setPlainText(running + toQt(RunRecordText(ReadRunJournal(id))));
    } catch (const EMailingError& error) {
        Details->setPlainText(toQt(error.what()));
    }
}

} // namespace quillet
