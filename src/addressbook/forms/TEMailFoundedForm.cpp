#include "TEMailFoundedForm.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/AddressScanner.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QBrush>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

namespace quillet {

// The entries with their marks: the text stays the scanner's (or the user's edit); a marked
// entry is drawn red (not valid) or grey (duplicate) with the reason as its tool tip.
class TEMailFoundedForm::MarkedEntries : public QStringListModel {
public:
    MarkedEntries(const HarvestReview& review, QObject* parent) : QStringListModel(parent), review_(review) {}

    QVariant data(const QModelIndex& index, int role) const override
    {
        if ((role == Qt::ForegroundRole || role == Qt::ToolTipRole) && index.isValid() &&
            std::size_t(index.row()) < review_.marks.size()) {
            const HarvestEntryMarks marks = review_.marks[std::size_t(index.row())];
            if (role == Qt::ForegroundRole && marks.marked())
                return QBrush(marks.invalid ? QColor(200, 0, 0) : QColor(128, 128, 128));
            if (role == Qt::ToolTipRole && marks.marked()) {
                QStringList reasons;
                if (marks.invalid)
                    reasons << QString::fromLatin1(texts::kHarvestInvalidMark.data(),
                                                   texts::kHarvestInvalidMark.size());
                if (marks.duplicate)
                    reasons << QString::fromLatin1(texts::kHarvestDuplicateMark.data(),
                                                   texts::kHarvestDuplicateMark.size());
                return reasons.join(", ");
            }
        }
        return QStringListModel::data(index, role);
    }

private:
    const HarvestReview& review_;
};

TEMailFoundedForm::TEMailFoundedForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TEMailFoundedForm");
    setWindowTitle("Find E-Mail status");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    foundedEntries = new MarkedEntries(review_, this);
    FoundedListBox = new QListView;
    FoundedListBox->setObjectName("FoundedListBox");
    FoundedListBox->setModel(foundedEntries);
    FoundedListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FoundedListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    FoundedListBox->setUniformItemSizes(true);
    FoundedListBox->setFixedWidth(273);

    Button1 = new QPushButton("OK");
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button2 = new QPushButton("Cancel");
    Button2->setObjectName("Button2");
    Button2->setAutoDefault(false); // Enter means OK, whichever button had the focus
    EditButton = new QPushButton("Edit");
    EditButton->setObjectName("EditButton");
    EditButton->setEnabled(false);
    EditButton->setAutoDefault(false);
    DeleteButton = new QPushButton("Delete");
    DeleteButton->setObjectName("DeleteButton");
    DeleteButton->setEnabled(false);
    DeleteButton->setAutoDefault(false);
    Animate1 = new QProgressBar;
    Animate1->setObjectName("Animate1");
    Animate1->setRange(0, 0); // a busy indicator
    Animate1->setTextVisible(false);
    Animate1->setFixedSize(80, 50);
    Animate1->hide();
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditButton, &QPushButton::clicked, this, &TEMailFoundedForm::EditButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TEMailFoundedForm::DeleteButtonClick);
    connect(FoundedListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TEMailFoundedForm::selectionChanged);
    connect(foundedEntries, &QAbstractItemModel::dataChanged, this, &TEMailFoundedForm::reviewEntries);
    connect(foundedEntries, &QAbstractItemModel::rowsRemoved, this, &TEMailFoundedForm::reviewEntries);
    connect(foundedEntries, &QAbstractItemModel::modelReset, this, &TEMailFoundedForm::reviewEntries);
    CountLabel = new QLabel;
    CountLabel->setObjectName("CountLabel");
    CountLabel->setWordWrap(true);

    auto* side = new QVBoxLayout;
    side->addWidget(Button1);
    side->addWidget(Button2);
    side->addSpacing(16);
    side->addWidget(EditButton);
    side->addWidget(DeleteButton);
    side->addStretch();
    side->addWidget(Animate1);
    auto* listAndButtons = new QHBoxLayout;
    listAndButtons->addWidget(FoundedListBox);
    listAndButtons->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(listAndButtons, 1);
    layout->addWidget(CountLabel);
    resize(365, 240);
}

struct TEMailFoundedForm::ScanOutcome {
    QStringList addresses;
    std::exception_ptr error;
};

struct TEMailFoundedForm::ScanWorker {
    std::atomic<bool> finished{false};
    std::jthread thread; // declared last, so it is joined before the flag goes
};

TEMailFoundedForm::~TEMailFoundedForm()
{
    // Joined while the dialog is whole: a worker may still post its result to it, and the
    // posted result is dropped with the dialog.
    workers_.clear();
}

void TEMailFoundedForm::startScan(const std::string& path)
{
    std::erase_if(workers_, [](const std::unique_ptr<ScanWorker>& w) { return w->finished.load(); });
    complete_ = false;
    foundedEntries->setStringList({});
    selectionChanged();
    scanError_ = nullptr;
    scanning_ = true;
    Button1->setEnabled(false);
    Animate1->show();
    const std::uint64_t scan = ++currentScan_;

    auto worker = std::make_unique<ScanWorker>();
    ScanWorker* self = worker.get();
    worker->thread = std::jthread([this, self, path, scan] {
        auto outcome = std::make_shared<ScanOutcome>();
        try {
            const std::vector<std::string> found = scanAddressFile(path);
            outcome->addresses.reserve(static_cast<qsizetype>(found.size()));
            for (const std::string& address : found)
                outcome->addresses << toQt(address);
        } catch (...) {
            outcome->error = std::current_exception(); // raised again by finishScan()
        }
        QMetaObject::invokeMethod(
            this, [this, scan, outcome] { scanEnded(scan, *outcome); }, Qt::QueuedConnection);
        self->finished = true;
    });
    workers_.push_back(std::move(worker));
}

void TEMailFoundedForm::scanEnded(std::uint64_t scan, const ScanOutcome& outcome)
{
    if (!scanning_ || scan != currentScan_)
        return; // abandoned, or superseded by a later scan
    scanning_ = false;
    Animate1->hide();
    if (outcome.error) {
        scanError_ = outcome.error;
        reject();
        return;
    }
    complete_ = true;
    foundedEntries->setStringList(outcome.addresses);
    Button1->setEnabled(true);
    selectionChanged();
    // The focus goes to the list, not to whatever button took it while OK was disabled.
    FoundedListBox->setFocus();
}

void TEMailFoundedForm::abandonScan()
{
    if (!scanning_)
        return;
    scanning_ = false;
    ++currentScan_;
    Animate1->hide();
}

bool TEMailFoundedForm::finishScan()
{
    const bool wasRunning = scanning_;
    abandonScan();
    if (scanError_)
        std::rethrow_exception(std::exchange(scanError_, nullptr));
    return !wasRunning && complete_;
}

int TEMailFoundedForm::runningScanThreads() const
{
    return static_cast<int>(
        std::count_if(workers_.begin(), workers_.end(), [](const auto& w) { return !w->finished.load(); }));
}

void TEMailFoundedForm::done(int result)
{
    if (result == QDialog::Accepted && scanning_)
        return;
    // A complete list is not thrown away by a stray Cancel or Escape.
    if (result != QDialog::Accepted && complete_ && entryCount() > 0 &&
        ui_.messageBox(this, toQt(texts::harvestDiscard(std::size_t(entryCount()))),
                       toQt(std::string(texts::kWarningCaption)), MessageIcon::Warning,
                       MessageButtons::OkCancel) != mrOk)
        return;
    abandonScan();
    QDialog::done(result);
}

void TEMailFoundedForm::reviewEntries()
{
    std::vector<std::string> list;
    try {
        list = entries();
    } catch (const std::exception&) {
        // An edit the code page cannot hold is refused when the entries are taken; review the
        // rest as they stand meanwhile.
        for (const QString& entry : foundedEntries->stringList())
            list.push_back(entry.toStdString());
    }
    review_ = reviewHarvest(list);
    CountLabel->setText(list.empty() && !complete_ ? QString() : toQt(harvestCountsText(list.size(), review_)));
}

void TEMailFoundedForm::removeMarkedEntries()
{
    QStringList kept;
    const QStringList list = foundedEntries->stringList();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (std::size_t(i) >= review_.marks.size() || !review_.marks[std::size_t(i)].marked())
            kept << list.at(i);
    foundedEntries->setStringList(kept);
}

std::vector<std::string> TEMailFoundedForm::entries() const
{
    std::vector<std::string> result;
    const QStringList list = foundedEntries->stringList();
    result.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& entry : list)
        result.push_back(fromQt(entry));
    return result;
}

int TEMailFoundedForm::entryCount() const
{
    return foundedEntries->rowCount();
}

int TEMailFoundedForm::selectedRow() const
{
    const QModelIndexList selected = FoundedListBox->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TEMailFoundedForm::selectionChanged()
{
    const bool any = selectedRow() >= 0;
    EditButton->setEnabled(any);
    DeleteButton->setEnabled(any);
}

void TEMailFoundedForm::EditButtonClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QModelIndex index = foundedEntries->index(row);
    QString value = index.data().toString();
    if (ui_.inputBox(this, "Edit e-mail", "Edit selected e-mail", value))
        foundedEntries->setData(index, value);
}

void TEMailFoundedForm::DeleteButtonClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    foundedEntries->removeRows(row, 1);
    FoundedListBox->selectionModel()->clearSelection();
    FoundedListBox->selectionModel()->clearCurrentIndex();
    selectionChanged();
}

} // namespace quillet
