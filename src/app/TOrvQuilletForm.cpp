#include "TOrvQuilletForm.h"

#include "ActionBars.h"
#include "ActionList.h"
#include "AppTexts.h"
#include "CustomizeToolbarForm.h"
#include "ProjectLifecycle.h"
#include "TAboutForm.h"

#include "addressbook/forms/AddressBookController.h"
#include "mailing/forms/MailingController.h"
#include "mailing/forms/SmtpAccountsPage.h"
#include "mailing/forms/TemplatesPage.h"
#include "project/ProgramFolder.h"
#include "project/forms/ProjectFormTexts.h"
#include "project/forms/TPropertiesForm.h"
#include "project/settings/SettingsStore.h"
#include "widgets/DesktopOpen.h"
#include "widgets/Icons.h"
#include "widgets/TextBoundary.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <stdexcept>

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

// The widest the status bar's project name grows, so that a long name leaves room for the
// counts and the hints; the whole name is the panel's tool tip.
constexpr int kMaxNamePanelWidth = 250;

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

} // namespace

TOrvQuilletForm::TOrvQuilletForm(UserInterface& ui, QWidget* parent) : QMainWindow(parent), ui_(ui)
{
    setObjectName("TOrvQuilletForm");
    setWindowTitle(texts::kProgramTitle);
    setWindowIcon(stateIcon(StateIcon::Template));

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

    MainPageControl = new QTabWidget(this);
    MainPageControl->setObjectName("MainPageControl");
    setCentralWidget(MainPageControl);
    createStatusBar();

    // The windows, each once and hidden, in start-up order.
    AboutForm = new TAboutForm(this);
    lifecycle_ = std::make_unique<ProjectLifecycle>(*this);
    lifecycle_->createDialogs();
    PropertiesForm = new TPropertiesForm(this);
    connect(PropertiesForm->TlsCaFileButton, &QToolButton::clicked, this, [this] { chooseTrustedCertificates(); });
    lifecycle_->createLateDialogs();
    CustomizeForm = new CustomizeToolbarForm(actionList_, this);

    project_.onChangedFlag = [this](bool changed) { action(ActionId::SaveProjectAction)->setEnabled(changed); };
    bindOwnActions();

    addressBook_ = std::make_unique<AddressBookController>(*this);
    connect(addressBook_.get(), &AddressBookController::recipientCountsChanged, statusPanels_[1], &QLabel::setText);
    mailing_ = std::make_unique<MailingController>(*this, *addressBook_, *PropertiesForm);
    placePages();
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
        a->setText(QString::fromLatin1(definition.caption));
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
        if (const std::optional<ActionId> id = actionIdOf(name))
            actionsById_[static_cast<int>(*id)] = a;
    }
    // Every id must have its action, so that no window binds to nothing.
    for (int id = 0; id < kActionIdCount; ++id)
        if (!actionsById_[id])
            throw std::logic_error("The action list has no action " +
                                   actionName(static_cast<ActionId>(id)).toStdString());
}

QAction* TOrvQuilletForm::action(const QString& name) const
{
    const auto found = actionsByName_.find(name);
    return found != actionsByName_.end() ? found->second : nullptr;
}

QAction* TOrvQuilletForm::action(ActionId id) const
{
    const int index = static_cast<int>(id);
    if (index < 0 || index >= kActionIdCount || !actionsById_[index])
        throw std::logic_error("No action with id " + std::to_string(index));
    return actionsById_[index];
}

void TOrvQuilletForm::bindAction(ActionId id, std::function<void()> handler)
{
    connect(action(id), &QAction::triggered, this, [this, handler = std::move(handler)] { runGuarded(handler); });
}

void TOrvQuilletForm::runGuarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        showException(error);
    }
}

void TOrvQuilletForm::showException(const std::exception& error, const QString& moreLines)
{
    ui_.messageBox(this, errorBoxText(error.what()) + moreLines, texts::kErrorBoxCaption, MessageIcon::Stop,
                   MessageButtons::Ok);
}

void TOrvQuilletForm::placePages()
{
    auto* tab1 = pageWith(actionBars_->toolBar(1), addressBook_->view());
    tab1->setObjectName("TabSheet1");
    MainPageControl->addTab(tab1, texts::kRecipientsPage);
    auto* tab2 = pageWith(actionBars_->toolBar(2), mailing_->smtpAccountsPage().view());
    tab2->setObjectName("TabSheet2");
    MainPageControl->addTab(tab2, texts::kSmtpServersPage);
    auto* tab3 = pageWith(actionBars_->toolBar(3), mailing_->templatesPage().view());
    tab3->setObjectName("TabSheet3");
    MainPageControl->addTab(tab3, texts::kTemplatesPage);
}

QTreeWidget* TOrvQuilletForm::groupListView() const
{
    return addressBook_->groupListView();
}

QTreeView* TOrvQuilletForm::recipientListView() const
{
    return addressBook_->recipientListView();
}

QSplitter* TOrvQuilletForm::splitter() const
{
    return addressBook_->splitter();
}

QTreeWidget* TOrvQuilletForm::smtpList() const
{
    return mailing_->smtpAccountsPage().list();
}

QTreeWidget* TOrvQuilletForm::templateListView() const
{
    return mailing_->templatesPage().list();
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
        // Panels 0 and 1 grow from their widths to show the project name and the recipient
        // counts whole; a very long name is cut so that the hints keep their room.
        statusPanels_[i]->setMinimumWidth(widths[i]);
        if (i == 0)
            statusPanels_[i]->setMaximumWidth(kMaxNamePanelWidth);
        bar->addPermanentWidget(statusPanels_[i], i == 2 ? 1 : 0);
    }
    // A chosen code page is named, so a project is not read under the wrong one unnoticed.
    if (const char* chosen = chosenCodePageName()) {
        auto* codePage = new QLabel(QString(texts::kCodePageStatus).arg(registeredCharsetName(chosen)));
        codePage->setObjectName("CodePagePanel");
        codePage->setFrameShape(QFrame::Panel);
        codePage->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(codePage);
    }
}

QLabel* TOrvQuilletForm::statusPanel(int index) const
{
    return index >= 0 && index < 3 ? statusPanels_[index] : nullptr;
}

void TOrvQuilletForm::bindOwnActions()
{
    ProjectLifecycle& life = *lifecycle_;
    bindAction(ActionId::CreateDefaultAction, [&life] { life.createDefault(); });
    bindAction(ActionId::NewProjectAction, [&life] { life.newProject(); });
    bindAction(ActionId::OpenDefaultAction, [&life] { life.openDefault(); });
    bindAction(ActionId::OpenProjectAction, [&life] { life.openProject(); });
    bindAction(ActionId::SaveProjectAction, [&life] { life.saveProject(); });
    bindAction(ActionId::SaveAsAction, [&life] { life.saveAs(); });
    bindAction(ActionId::ProjectPropAction, [&life] { life.projectProperties(); });
    bindAction(ActionId::ExitAction, [this] { close(); });
    bindAction(ActionId::HowToUseAction,
               [this] { openHelpPage(ui_, this, localFile(helpFolder()) + '/' + texts::kHelpIndex); });
    bindAction(ActionId::HomePageAction, [this] { openLink(ui_, this, texts::kHomePage); });
    bindAction(ActionId::MailToUsAction, [this] { openLink(ui_, this, QString("mailto:") + texts::kContactAddress); });
    bindAction(ActionId::AboutAction, [this] { ui_.showModal(*AboutForm); });
    bindAction(ActionId::ProgOptionsAction, [this] { showProgramOptions(-1); });
    bindAction(ActionId::CustomizeActionBars, [this] { customizeActionBars(); });
    connect(AboutForm, &TAboutForm::homePageRequested, this, [this] { action(ActionId::HomePageAction)->trigger(); });
    connect(AboutForm, &TAboutForm::mailToUsRequested, this, [this] { action(ActionId::MailToUsAction)->trigger(); });
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
    // What was there before, for Cancel: the stored settings are those confirmed with OK, and
    // the built-in server's edits are kept for the run only.
    const QString builtInPort = PropertiesForm->BuildInPortEdit->text();
    const QString builtInFrom = PropertiesForm->BuildInFromEdit->text();
    PropertiesForm->selectPage(page);
    PropertiesForm->loadPins(SettingsStore());
    const int result = ui_.showModal(*PropertiesForm);
    if (result == mrOk) {
        // Confirmed settings reach the store at once, so nothing can take them back.
        SettingsStore store;
        PropertiesForm->writeServerSettings(store);
        PropertiesForm->writeMessageSettings(store);
        store.sync();
    } else {
        PropertiesForm->loadServerSettings();
        PropertiesForm->loadMessageSettings(SettingsStore());
        PropertiesForm->BuildInPortEdit->setText(builtInPort);
        PropertiesForm->BuildInFromEdit->setText(builtInFrom);
    }
    return result;
}

void TOrvQuilletForm::chooseTrustedCertificates()
{
    FileDialogOptions options;
    options.title = texts::kCaFileChooseCaption;
    options.filter = texts::kCaFileFilter;
    options.initialPath = PropertiesForm->TlsCaFileEdit->text();
    const QString file = ui_.openFileName(PropertiesForm, options);
    if (!file.isEmpty())
        PropertiesForm->TlsCaFileEdit->setText(file);
}

void TOrvQuilletForm::beginProjectReplace()
{
    if (replaceDepth_++ == 0)
        addressBook_->projectAboutToBeReplaced();
}

void TOrvQuilletForm::endProjectReplace()
{
    if (--replaceDepth_ > 0)
        return;
    addressBook_->projectReplaced();
    mailing_->smtpAccountsPage().showAccounts();
}

void TOrvQuilletForm::showProjectName()
{
    const QString name = toQt(project_.properties.Name.str());
    statusPanels_[0]->setText(name);
    statusPanels_[0]->setToolTip(name);
    setWindowTitle(texts::kTitlePrefix + name);
}

void TOrvQuilletForm::showNoProject()
{
    statusPanels_[0]->clear();
    statusPanels_[0]->setToolTip({});
    setWindowTitle(texts::kProgramTitle);
}

int TOrvQuilletForm::groupListWidth() const
{
    if (addressBook_->splitter()->isVisible())
        return addressBook_->splitter()->sizes().value(0, pendingGroupListWidth_);
    return pendingGroupListWidth_;
}

void TOrvQuilletForm::setGroupListWidth(int width)
{
    pendingGroupListWidth_ = width;
    if (addressBook_->splitter()->isVisible()) {
        const int total = addressBook_->splitter()->width() - addressBook_->splitter()->handleWidth();
        addressBook_->splitter()->setSizes({width, std::max(1, total - width)});
    }
}

void TOrvQuilletForm::start(const QString& projectFile)
{
    formShow(projectFile);
    show();
    setGroupListWidth(pendingGroupListWidth_);
}

void TOrvQuilletForm::formShow(const QString& projectFile)
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
    runGuarded([this] {
        const SettingsStore store;
        PropertiesForm->loadServerSettings(store);
        PropertiesForm->loadMessageSettings(store);
    });
    // 7. The project file given opens; else, or when it cannot be read, the start-up dialog opens
    //    or creates the first project.
    bool opened = false;
    if (!projectFile.isEmpty())
        runGuarded([&] {
            lifecycle_->closeProject();
            lifecycle_->loadProjectFile(QFile::encodeName(QFileInfo(projectFile).absoluteFilePath()).toStdString());
            opened = lifecycle_->pathHoldsProject();
        });
    if (!opened)
        lifecycle_->showStartupDialog();
    // 8. The template list.
    runGuarded([this] { mailing_->templatesPage().LoadTemplateList(); });
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
    // The column widths the user gave; the first start keeps the lists' own. A column that fills
    // the rest keeps doing so.
    for (const auto& [name, view] : keptColumnLists()) {
        const std::vector<int> widths = store.readColumnWidths(name);
        QHeaderView* header = view->header();
        for (int i = 0; i < int(widths.size()) && i < header->count(); ++i)
            if (header->sectionResizeMode(i) == QHeaderView::Interactive)
                header->resizeSection(i, widths[std::size_t(i)]);
    }
}

std::vector<std::pair<QString, QTreeView*>> TOrvQuilletForm::keptColumnLists() const
{
    return {{"GroupListView", groupListView()},
            {"RecipientListView", recipientListView()},
            {"SMTPList", smtpList()},
            {"TemplateListView", templateListView()}};
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
    for (const auto& [name, view] : keptColumnLists()) {
        std::vector<int> widths;
        for (int i = 0; i < view->header()->count() && !view->isColumnHidden(i); ++i)
            widths.push_back(view->header()->sectionSize(i));
        store.writeColumnWidths(name, widths);
    }
    PropertiesForm->writeServerSettings(store);
    store.sync();
}

void TOrvQuilletForm::closeEvent(QCloseEvent* event)
{
    // Closing while a project is being read stops the load; the window stays.
    if (lifecycle_->loading()) {
        lifecycle_->cancelLoading();
        event->ignore();
        return;
    }
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
