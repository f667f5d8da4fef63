#include "TEMailFoundedForm.h"

#include "addressbook/AddressScanner.h"
#include "app/TextBoundary.h"
#include "app/UserInterface.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

namespace quillet {

TEMailFoundedForm::TEMailFoundedForm(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName("TEMailFoundedForm");
    setWindowTitle("Find E-Mail status");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    foundedEntries = new QStringListModel(this);
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
    Animate1->setRange(0, 0);  // a busy indicator
    Animate1->setTextVisible(false);
    Animate1->setFixedSize(80, 50);
    Animate1->hide();
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditButton, &QPushButton::clicked, this, &TEMailFoundedForm::EditButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TEMailFoundedForm::DeleteButtonClick);
    connect(FoundedListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TEMailFoundedForm::selectionChanged);

    auto* side = new QVBoxLayout;
    side->addWidget(Button1);
    side->addWidget(Button2);
    side->addSpacing(16);
    side->addWidget(EditButton);
    side->addWidget(DeleteButton);
    side->addStretch();
    side->addWidget(Animate1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(FoundedListBox);
    layout->addLayout(side);
    resize(365, 219);
}

void TEMailFoundedForm::scanFile(const std::string& path)
{
    foundedEntries->setStringList({});
    Animate1->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    struct HideAnimation {
        QProgressBar* bar;
        ~HideAnimation() { bar->hide(); }
    } hide{Animate1};
    const std::vector<std::string> found = scanAddressFile(path);
    QStringList list;
    list.reserve(static_cast<qsizetype>(found.size()));
    for (const std::string& address : found)
        list << toQt(address);
    foundedEntries->setStringList(list);
    selectionChanged();
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
