#include "TOrvQuilletForm.h"

#include "ActionBars.h"
#include "ActionList.h"
#include "AppTexts.h"
#include "Icons.h"
#include "TAboutForm.h"
#include "CustomizeToolbarForm.h"
#include "TextBoundary.h"

#include "addressbook/forms/AddressBookController.h"
#include "mailing/forms/MailingController.h"
#include "project/ProgramFolder.h"
#include "project/forms/ProjectLifecycle.h"
#include "project/forms/TPropertiesForm.h"
#include "project/settings/SettingsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet {

namespace {

QString localFile(const std::string& path)
{
    return QFile::decodeName(path.c_str());
}

// The program's error box adds a full stop when the text's last character comes after "." in
// the character table: "... refused" gets one, "... broken." or "(10061)" do not.
QString errorBoxText(const std::string& text)
{
    QString shown = toQt(text);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        shown += '.';
    return shown;
}

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

QWidget* pageWith(QToolBar* toolBar, QWidget* content)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(content, 1);
    return page;
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

} // namespace

TOrvQuilletForm::TOrvQuilletForm(UserInterface& ui, QWidget* parent) : QMainWindow(parent), ui_(ui)
{
    setObjectName("TOrvQuilletForm");
    setWindowTitle(texts::kProgramTitle);
    for (int i = 0; i < 7; ++i)
        stateIcons_[i] = paintStateIcon(i);
    setWindowIcon(stateIcons_[6]);

    createActions();
    actionBars_ = std::make_unique<ActionBars>(*menuBar(), this, [this](const QString& name) { return action(name); });
    // The layout file is read when the window is created; the built-in arrangement stays when it
    // is missing or unreadable.
    actionBars_->readLayoutFile(localFile(layoutFilePath()));
    addToolBar(Qt::TopToolBarArea, actionBars_->toolBar(0));

    QFont menuFont = menuBar()->font();
    menuFont.setFamily("Tahoma");
    menuBar()->setFont(menuFont);
    QPalette barPalette = menuBar()->palette();
    barPalette.setColor(QPalette::Highlight, QColor(226, 225, 219));
    barPalette.setColor(QPalette::HighlightedText, Qt::black);
    menuBar()->setPalette(barPalette);
    for (int i = 0; i < 4; ++i)
        actionBars_->toolBar(i)->setPalette(barPalette);

    createPages();
    createStatusBar();
    createPopupMenus();

    // The windows, each once and hidden, in start-up order.
    AboutForm = new TAboutForm(this);
    lifecycle_ = std::make_unique<ProjectLifecycle>(*this);
    lifecycle_->createDialogs();
    PropertiesForm = new TPropertiesForm(this);
    lifecycle_->createLateDialogs();
    CustomizeForm = new CustomizeToolbarForm(actionList_, this);

    project_.onChangedFlag = [this](bool changed) { action("SaveProjectAction")->setEnabled(changed); };
    bindOwnActions();

    addressBook_ = std::make_unique<AddressBookController>(*this);
    mailing_ = std::make_unique<MailingController>(*this);
}

TOrvQuilletForm::~TOrvQuilletForm()
{
    // The controllers go first: they hold on to this window's views and dialogs.
    mailing_.reset();
    addressBook_.reset();
    project_.onChangedFlag = nullptr;
}

void TOrvQuilletForm::createActions()
{
    for (const ActionDefinition& definition : actionDefinitions()) {
        const QString name = QString::fromLatin1(definition.name);
        auto* a = new QAction(this);
        a->setObjectName(name);
        a->setProperty("category", QString::fromLatin1(definition.category));
        QString text = QString::fromLatin1(definition.caption);
        if (*definition.shownShortcut)
            text += '\t' + QString::fromLatin1(definition.shownShortcut);
        a->setText(text);
        if (*definition.shortcut) {
            QList<QKeySequence> keys{QKeySequence::fromString(definition.shortcut, QKeySequence::PortableText)};
            if (QString::fromLatin1(definition.shortcut) == "Alt+Return")
                keys << QKeySequence(Qt::ALT | Qt::Key_Enter);
            a->setShortcuts(keys);
        }
        a->setToolTip(QString::fromLatin1(definition.hint));
        a->setStatusTip(QString::fromLatin1(definition.hint));
        a->setIcon(paintActionIcon(name));
        a->setEnabled(definition.enabledAtStart);
        a->setCheckable(definition.checkable);
        a->setChecked(definition.checkedAtStart);
        // Every shortcut works whatever the user puts on the menus and toolbars.
        addAction(a);
        actionList_ << a;
        actionsByName_[name] = a;
    }
}

QAction* TOrvQuilletForm::action(const QString& name) const
{
    const auto found = actionsByName_.find(name);
    return found != actionsByName_.end() ? found->second : nullptr;
}

void TOrvQuilletForm::bindAction(QAction* action, std::function<void()> handler)
{
    connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] { runGuarded(handler); });
}

void TOrvQuilletForm::runGuarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        showException(error);
    }
}

void TOrvQuilletForm::showException(const std::exception& error)
{
    ui_.messageBox(this, errorBoxText(error.what()), texts::kErrorBoxCaption, MessageIcon::Stop, MessageButtons::Ok);
}

void TOrvQuilletForm::styleList(QTreeView* view, bool hotTracking)
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

void TOrvQuilletForm::createPages()
{
    MainPageControl = new QTabWidget(this);
    MainPageControl->setObjectName("MainPageControl");
    setCentralWidget(MainPageControl);

    GroupListView = new QTreeWidget;
    GroupListView->setObjectName("GroupListView");
    GroupListView->setHeaderLabels({"Group name", "Description"});
    styleList(GroupListView, true);
    GroupListView->setSelectionMode(QAbstractItemView::SingleSelection);
    setColumns(GroupListView, {150, 0}, 1);

    RecipientListView = new QTreeView;
    RecipientListView->setObjectName("RecipientListView");
    styleList(RecipientListView, true);
    RecipientListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RecipientListView->setDragEnabled(true);
    RecipientListView->setDragDropMode(QAbstractItemView::DragOnly);
    auto* emptyRecipients = new QStandardItemModel(0, 4, RecipientListView);
    setRecipientModel(emptyRecipients);

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName("Splitter1");
    Splitter1->addWidget(GroupListView);
    Splitter1->addWidget(RecipientListView);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setHandleWidth(4);
    auto* tab1 = pageWith(actionBars_->toolBar(1), Splitter1);
    tab1->setObjectName("TabSheet1");
    MainPageControl->addTab(tab1, texts::kRecipientsPage);

    SMTPList = new QTreeWidget;
    SMTPList->setObjectName("SMTPList");
    SMTPList->setHeaderLabels(
        {"SMTP Server", "User name", "Password", "Port", "From name", "From address", "Reply to", "Enabled"});
    styleList(SMTPList, false);
    SMTPList->setSelectionMode(QAbstractItemView::SingleSelection);
    setColumns(SMTPList, {100, 100, 1, 100, 100, 100, 100, 70}, -1);
    auto* tab2 = pageWith(actionBars_->toolBar(2), SMTPList);
    tab2->setObjectName("TabSheet2");
    MainPageControl->addTab(tab2, texts::kSmtpServersPage);

    TemplateListView = new QTreeWidget;
    TemplateListView->setObjectName("TemplateListView");
    TemplateListView->setHeaderLabels({"Message name", "Message Subject"});
    styleList(TemplateListView, false);
    TemplateListView->setSelectionMode(QAbstractItemView::SingleSelection);
    setColumns(TemplateListView, {150, 0}, 1);
    auto* tab3 = pageWith(actionBars_->toolBar(3), TemplateListView);
    tab3->setObjectName("TabSheet3");
    MainPageControl->addTab(tab3, texts::kTemplatesPage);
}

void TOrvQuilletForm::setRecipientModel(QAbstractItemModel* model)
{
    RecipientListView->setModel(model);
    if (model && model->columnCount() >= 4) {
        model->setHeaderData(0, Qt::Horizontal, "Recipient e-mail");
        model->setHeaderData(1, Qt::Horizontal, "Name");
        model->setHeaderData(2, Qt::Horizontal, "Surname");
        model->setHeaderData(3, Qt::Horizontal, "Enabled");
    }
    setColumns(RecipientListView, {100, 0, 100, 70}, 1);
    for (int column = 4; model && column < model->columnCount(); ++column)
        RecipientListView->setColumnHidden(column, true);
}

void TOrvQuilletForm::createStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(true);
    const int widths[3] = {100, 100, 50};
    for (int i = 0; i < 3; ++i) {
        statusPanels_[i] = new QLabel;
        statusPanels_[i]->setObjectName(QString("StatusPanel%1").arg(i));
        statusPanels_[i]->setFrameShape(QFrame::Panel);
        statusPanels_[i]->setFrameShadow(QFrame::Sunken);
        statusPanels_[i]->setMinimumWidth(widths[i]);
        if (i < 2)
            statusPanels_[i]->setFixedWidth(widths[i]);
        bar->addPermanentWidget(statusPanels_[i], i == 2 ? 1 : 0);
    }
}

QLabel* TOrvQuilletForm::statusPanel(int index) const
{
    return index >= 0 && index < 3 ? statusPanels_[index] : nullptr;
}

QIcon TOrvQuilletForm::stateIcon(int index) const
{
    return index >= 0 && index < 7 ? stateIcons_[index] : QIcon();
}

void TOrvQuilletForm::createPopupMenus()
{
    auto make = [this](const char* name, QTreeView* view, std::initializer_list<const char*> items) {
        auto* menu = new QMenu(this);
        menu->setObjectName(name);
        menu->setTitle(name);
        menu->setSeparatorsCollapsible(false);
        for (const char* item : items) {
            if (QString::fromLatin1(item) == kSeparatorItem)
                menu->addSeparator();
            else
                menu->addAction(action(item));
        }
        popupMenus_[name] = menu;
        connect(view, &QWidget::customContextMenuRequested, this, [this, menu, view](const QPoint& position) {
            ui_.popupMenu(*menu, view->viewport()->mapToGlobal(position));
        });
    };
    make("GroupPopupAction", GroupListView,
         {"NewRecipientGroupAction", "EditGroupAction", "DeleteGroupAction", "-", "NewRecipientAction", "-",
          "EMailToGroupAction", "ExportToAHTMLAction", "FindRecipientAction"});
    make("RecipientPopupAction", RecipientListView,
         {"NewRecipientAction", "EditRecipientAction", "DeleteRecipientAction", "EnableRecipientAction", "-",
          "CopyToGroupAction", "MoveToGroupAction", "-", "EMailToCurrentAction", "FindRecipientAction"});
    make("SMTPPopup", SMTPList, {"NewSMTPAction", "EditSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction"});
    make("TemplatePopup", TemplateListView, {"NewTemplateAction", "EditTemplateAction", "DeltemplateAction"});
}

QMenu* TOrvQuilletForm::popupMenu(const QString& name) const
{
    const auto found = popupMenus_.find(name);
    return found != popupMenus_.end() ? found->second : nullptr;
}

void TOrvQuilletForm::bindOwnActions()
{
    ProjectLifecycle& life = *lifecycle_;
    bindAction(action("CreateDefaultAction"), [&life] { life.createDefault(); });
    bindAction(action("NewProjectAction"), [&life] { life.newProject(); });
    bindAction(action("OpenDefaultAction"), [&life] { life.openDefault(); });
    bindAction(action("OpenProjectAction"), [&life] { life.openProject(); });
    bindAction(action("SaveProjectAction"), [&life] { life.saveProject(); });
    bindAction(action("SaveAsAction"), [&life] { life.saveAs(); });
    bindAction(action("ProjectPropAction"), [&life] { life.projectProperties(); });
    bindAction(action("ExitAction"), [this] { close(); });
    bindAction(action("HowToUseAction"),
               [this] { ui_.openWithDesktop(localFile(helpFolder()) + '/' + texts::kHelpIndex); });
    bindAction(action("HomePageAction"), [this] { ui_.openWithDesktop(texts::kHomePage); });
    bindAction(action("MailToUsAction"),
               [this] { ui_.openWithDesktop(QString("mailto:") + texts::kContactAddress); });
    bindAction(action("AboutAction"), [this] { ui_.showModal(*AboutForm); });
    bindAction(action("ProgOptionsAction"), [this] { showProgramOptions(-1); });
    bindAction(action("CustomizeActionBars"), [this] { customizeActionBars(); });
    connect(AboutForm, &TAboutForm::homePageRequested, this, [this] { action("HomePageAction")->trigger(); });
    connect(AboutForm, &TAboutForm::mailToUsRequested, this, [this] { action("MailToUsAction")->trigger(); });
    connect(CustomizeForm, &CustomizeToolbarForm::newMenuRequested, this, [this] {
        QString caption;
        if (ui_.inputBox(CustomizeForm, "New menu", "Menu caption:", caption) && !caption.isEmpty())
            CustomizeForm->addMenu(caption);
    });
}

void TOrvQuilletForm::customizeActionBars()
{
    CustomizeForm->setBarsLayout(actionBars_->layout());
    if (ui_.showModal(*CustomizeForm) == mrOk)
        actionBars_->apply(CustomizeForm->barsLayout());
}

int TOrvQuilletForm::showProgramOptions(int page)
{
    PropertiesForm->selectPage(page);
    const int result = ui_.showModal(*PropertiesForm);
    if (result != mrOk)
        PropertiesForm->loadServerSettings();
    return result;
}

void TOrvQuilletForm::refreshGroupList()
{
    GroupListView->clear();
    QList<QTreeWidgetItem*> rows;
    for (const GroupEntry& group : project_.groups) {
        auto* row = new QTreeWidgetItem({toQt(group.name), toQt(group.description)});
        row->setIcon(0, stateIcons_[0]);
        rows << row;
    }
    GroupListView->addTopLevelItems(rows);
}

void TOrvQuilletForm::refreshSmtpList()
{
    SMTPList->clear();
    QList<QTreeWidgetItem*> rows;
    for (const SmtpAccount& account : project_.accounts) {
        auto* row = new QTreeWidgetItem({toQt(account.host), toQt(account.user), toQt(account.password),
                                         toQt(account.port), toQt(account.fromName), toQt(account.fromAddress),
                                         toQt(account.replyTo), toQt(account.enabled)});
        row->setIcon(0, stateIcons_[account.enabled == kTrue ? 4 : 3]);
        rows << row;
    }
    SMTPList->addTopLevelItems(rows);
}

void TOrvQuilletForm::beginProjectReplace()
{
    if (replaceDepth_++ == 0)
        emit projectAboutToBeReplaced();
}

void TOrvQuilletForm::endProjectReplace()
{
    if (--replaceDepth_ > 0)
        return;
    refreshGroupList();
    refreshSmtpList();
    emit projectReplaced();
}

void TOrvQuilletForm::showProjectName()
{
    const QString name = toQt(project_.properties.Name.str());
    statusPanels_[0]->setText(name);
    setWindowTitle(texts::kTitlePrefix + name);
}

int TOrvQuilletForm::groupListWidth() const
{
    if (Splitter1->isVisible())
        return Splitter1->sizes().value(0, pendingGroupListWidth_);
    return pendingGroupListWidth_;
}

void TOrvQuilletForm::setGroupListWidth(int width)
{
    pendingGroupListWidth_ = width;
    if (Splitter1->isVisible()) {
        const int total = Splitter1->width() - Splitter1->handleWidth();
        Splitter1->setSizes({width, std::max(1, total - width)});
    }
}

void TOrvQuilletForm::start()
{
    formShow();
    show();
    setGroupListWidth(pendingGroupListWidth_);
}

void TOrvQuilletForm::formShow()
{
    // 1. The empty recipient record list.
    project_.recipients.clear();
    // 2. The layout file written when the program ends.
    layoutFilePath_ = localFile(layoutFilePath());
    // 3. Hints go to status bar panel 2 from now on.
    hintsInstalled_ = true;
    // 4. The page "Recipients".
    MainPageControl->setCurrentIndex(0);
    // 5. ReadSettings; 6. LoadServerSettings.
    runGuarded([this] { readSettings(); });
    runGuarded([this] { PropertiesForm->loadServerSettings(); });
    // 7. The start-up dialog opens or creates the first project.
    lifecycle_->showStartupDialog();
    // 8. The template list.
    emit templateListRequested();
}

void TOrvQuilletForm::readSettings()
{
    SettingsStore store;
    const OptionSettings options = store.readOptions();
    move(options.placement.left, options.placement.top);
    resize(options.placement.width, options.placement.height);
    switch (options.winState) {
    case kWindowMaximised: setWindowState(Qt::WindowMaximized); break;
    case kWindowMinimised: setWindowState(Qt::WindowMinimized); break;
    default: setWindowState(Qt::WindowNoState); break;
    }
    project_.path = options.projectPath.substr(0, kMaxShortStringLength);
    setGroupListWidth(options.groupListWidth);
}

void TOrvQuilletForm::writeSettings()
{
    SettingsStore store;
    const Qt::WindowStates state = windowState();
    const int winState = state & Qt::WindowMinimized   ? kWindowMinimised
                         : state & Qt::WindowMaximized ? kWindowMaximised
                                                       : kWindowNormal;
    store.writeWindowState(winState);
    // Only the normal state's placement is kept, so a window closed maximised restores to it.
    if (winState == kWindowNormal && !(state & Qt::WindowFullScreen))
        store.writePlacement({width(), height(), x(), y()});
    store.writeProjectPath(project_.path);
    store.writeGroupListWidth(groupListWidth());
    PropertiesForm->writeServerSettings(store);
    store.sync();
}

void TOrvQuilletForm::closeEvent(QCloseEvent* event)
{
    // FormCloseQuery: the project's closing step; Cancel keeps the program running.
    if (!lifecycle_->closeProject()) {
        event->ignore();
        return;
    }
    // FormClose.
    runGuarded([this] { writeSettings(); });
    event->accept();
}

void TOrvQuilletForm::programEnding()
{
    const QString path = layoutFilePath_.isEmpty() ? localFile(layoutFilePath()) : layoutFilePath_;
    runGuarded([this, &path] { actionBars_->writeLayoutFile(path); });
}

bool TOrvQuilletForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        if (hintsInstalled_)
            statusPanels_[2]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

} // namespace quillet
