#include "TFindEMailForm.h"

#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillet {

const char* const TFindEMailForm::kFileFilter = "Text files (txt, htm, html)|*.txt;*.htm;*.html|All files|*.*";

TFindEMailForm::TFindEMailForm(UserInterface& ui, const Project& project, QWidget* parent)
    : QDialog(parent), ui_(ui), project_(project)
{
    setObjectName("TFindEMailForm");
    setWindowTitle("Find e-mail in text file");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    FileNameEdit = new QLineEdit;
    FileNameEdit->setObjectName("FileNameEdit");
    OpenFileBtn = new QPushButton;
    OpenFileBtn->setObjectName("OpenFileBtn");
    OpenFileBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    OpenFileBtn->setFixedSize(25, 25);
    OpenFileBtn->setAutoDefault(false);
    GroupComboBox = new QComboBox;
    GroupComboBox->setObjectName("GroupComboBox");
    GroupComboBox->setEditable(false);
    NewGroupBtn = new QPushButton;
    NewGroupBtn->setObjectName("NewGroupBtn");
    NewGroupBtn->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    NewGroupBtn->setFixedSize(25, 25);
    NewGroupBtn->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Filename"), 0, 0);
    grid->addWidget(FileNameEdit, 0, 1);
    grid->addWidget(OpenFileBtn, 0, 2);
    grid->addWidget(new QLabel("Add to group"), 1, 0);
    grid->addWidget(GroupComboBox, 1, 1);
    grid->addWidget(NewGroupBtn, 1, 2);
    grid->setColumnMinimumWidth(1, 249);

    Button1 = new QPushButton("Find");
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button2 = new QPushButton("Cancel");
    Button2->setObjectName("Button2");
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(OpenFileBtn, &QPushButton::clicked, this, &TFindEMailForm::OpenFileBtnClick);
    connect(NewGroupBtn, &QPushButton::clicked, this, &TFindEMailForm::NewGroupBtnClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

void TFindEMailForm::refillGroups(int chosen)
{
    GroupComboBox->clear();
    for (const GroupEntry& group : project_.groups)
        GroupComboBox->addItem(toQt(group.name));
    GroupComboBox->setCurrentIndex(chosen >= 0 && chosen < GroupComboBox->count() ? chosen : -1);
}

void TFindEMailForm::prepareToShow(int selectedGroup)
{
    refillGroups(selectedGroup >= 0 ? selectedGroup : 0);
    FileNameEdit->setFocus();
    FileNameEdit->selectAll();
}

void TFindEMailForm::OpenFileBtnClick()
{
    FileDialogOptions options;
    options.filter = kFileFilter;
    options.initialPath = FileNameEdit->text();
    const QString chosen = ui_.openFileName(this, options);
    if (!chosen.isEmpty())
        FileNameEdit->setText(chosen);
}

void TFindEMailForm::NewGroupBtnClick()
{
    const std::size_t before = project_.groups.size();
    const int chosen = GroupComboBox->currentIndex();
    if (onNewGroup)
        onNewGroup();
    // New groups are appended: the new one is the last.
    refillGroups(project_.groups.size() > before ? int(project_.groups.size()) - 1 : chosen);
}

} // namespace quillet
