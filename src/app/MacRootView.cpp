#include "app/MacRootView.h"

#include "app/AboutDialog.h"
#include "app/TavrinApp.h"
#include "base/DataFileNotices.h"
#include "base/Error.h"
#include "base/UserDefaults.h"
#include "library/views/MacSidebar.h"
#include "library/views/TableurView.h"
#include "orders/views/OrdersCropEditor.h"
#include "orders/views/OrdersView.h"
#include "handover/views/HandOverDialog.h"
#include "sales/views/OrderPaymentBar.h"
#include "sales/views/SalesDialogs.h"
#include "showcase/views/ShowcaseDialog.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"
#include "printing/views/PrintPhotosMenu.h"
#include "organizer/RiderFoldersModel.h"
#include "organizer/views/RiderFoldersView.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "programme/views/ProgrammeBrowserView.h"
#include "reception/ReceptionController.h"
#include "reception/views/ReceptionPanel.h"
#include "sync/views/NearbyDevicePicker.h"
#include "sync/views/SyncBadge.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"
#include "ui/FusedGroup.h"
#include "ui/Symbols.h"
#include "ui/SplitterMemory.h"
#include "ui/Theme.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QDockWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrin {

namespace {

bool isTransferFile(const QUrl& url)
{
    return url.isLocalFile() && QFileInfo(url.toLocalFile()).suffix().toLower() == u"tavrin";
}

} // namespace

MacRootView::MacRootView(TavrinApp& app, QWidget* parent) : QMainWindow(parent), m_app(app)
{
    setWindowTitle(QStringLiteral("Tavrin"));
    setAcceptDrops(true);
    setMinimumSize(860, 520);
    restoreWindowGeometry();
    Theme::apply(m_app.libraryStore.appearance());
    m_reception = new ReceptionController(m_app.libraryStore, m_app.workspaceStore, this);
    connect(&m_app.libraryStore, &LibraryStore::appearanceChanged, this,
            [this] { Theme::apply(m_app.libraryStore.appearance()); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTopBar());
    layout->addWidget(buildNoticeBanner());
    m_pages = new QStackedWidget(central);
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);

    installSections();
    installReception();
    // The sidebar's width comes back at the next start.
    if (auto* splitter = m_tableur->findChild<QSplitter*>(QString(), Qt::FindDirectChildrenOnly))
        SplitterMemory::remember(splitter, QStringLiteral("tableur"));
    buildMenus();
    connectCommands();
    connect(&m_app.libraryStore, &LibraryStore::importGenerationChanged, this, &MacRootView::showImportResult);
    connect(this, &MacRootView::firstShown, &m_app, &TavrinApp::windowFirstShown);
    connect(qGuiApp, &QGuiApplication::aboutToQuit, this, [this] {
        if (m_shown && isVisible()) saveWindowGeometry();
    });
    // Files set aside while the stores loaded are told now, later ones as they happen.
    connect(&DataFileNotices::instance(), &DataFileNotices::posted, this, &MacRootView::showDataFileNotices);
    showDataFileNotices();

    const QString stored = UserDefaults::standard().string(kMacWorkspaceSectionKey).value_or(QString());
    m_section = macWorkspaceSectionFrom(stored).value_or(MacWorkspaceSection::tableur);
    m_sectionBar->setChecked(int(m_section));
    m_pages->setCurrentIndex(int(m_section));
}

MacRootView::~MacRootView()
{
    if (m_workspace) m_workspace->model()->stopFollowing();
}

// One page per section, in the order of the section bar.
void MacRootView::installSections()
{
    m_tableur = new TableurView(m_app.libraryStore);
    installSyncControls();
    m_riderFolders = new RiderFoldersView(m_app.riderFoldersStore);
    m_workspace = new SpreadsheetWorkspaceView(m_app.libraryStore, m_app.workspaceStore, m_tableur->spreadsheetPane());
    m_riderFolders->model()->library = &m_app.libraryStore;
    // A programme just replaced is what Ctrl+Z takes back first in the spreadsheet screen.
    SpreadsheetWorkspaceModel* workspaceModel = m_workspace->model();
    m_tableur->setPriorityUndo([workspaceModel] { return workspaceModel->replacementBanner().has_value(); },
                               [workspaceModel] { workspaceModel->undoProgrammeReplacement(); });
    connect(workspaceModel, &SpreadsheetWorkspaceModel::replacementBannerChanged, m_tableur, &TableurView::refreshUndo);
    m_pages->addWidget(m_riderFolders);
    m_pages->addWidget(m_tableur);
    auto* orders = new OrdersView(m_app.ordersStore);
    new OrdersCropEditor(*orders);
    orders->printMenu = PrintPhotosMenu::create;
    // What the stand sells: the prices and the takings under the showcase, each order's total and
    // payment in the list and under its title.
    auto* sales = new SalesBook(m_app.ordersStore, orders);
    orders->belowRoot = [&store = m_app.ordersStore, sales](QWidget* parent) {
        auto* column = new QWidget(parent);
        auto* layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(Theme::smallSpacing);
        layout->addWidget(ShowcaseDialog::button(store, column), 0, Qt::AlignLeft);
        layout->addWidget(SalesDialogs::buttons(*sales, column));
        return column;
    };
    orders->orderNote = [sales](const OrderFolder& folder) { return OrderPaymentBar::orderNote(*sales, folder); };
    orders->belowTitle = [sales](QWidget* parent) {
        auto* bar = new OrderPaymentBar(*sales, parent);
        // A receipt goes to the customer's phone as a hand-over does.
        bar->handOver = [](const QString& file, QWidget* window) { HandOverDialog::send(window, {file}, {}); };
        // Printed on the printer the photos last went to, as they are.
        bar->receiptPrinter = [] { return UserDefaults::standard().string(PrintInfoMemory::lastPrinterNameKey); };
        bar->printReceipt = [](const QString& printer, const QString& pdf) {
            QFile file(pdf);
            if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Le reçu est illisible."));
            const QByteArray bytes = file.readAll();
            PrintQueue::Job job(printer, QStringLiteral("Reçu"), {});
            job.begin();
            if (!job.write(bytes.constData(), size_t(bytes.size()))) {
                job.abandon();
                throw Error(QStringLiteral("L’imprimante « ") + printer + QStringLiteral(" » n’a pas pris le reçu."));
            }
            job.finish();
        };
        return bar;
    };
    connect(sales, &SalesBook::changed, orders, &OrdersView::orderNotesChanged);
    orders->hooksChanged();
    m_pages->addWidget(orders);

    // The done mark of each spreadsheet belongs to the workspace store.
    WorkspaceStore& workspace = m_app.workspaceStore;
    m_tableur->sidebar()->setDoneMarks({
        [&workspace](const QUuid& id) { return workspace.settings(id).isCompleted; },
        [&workspace](const QUuid& id, bool done) { workspace.setCompleted(done, id); },
    });
    connect(&workspace, &WorkspaceStore::settingsChanged, m_tableur->sidebar(), &MacSidebar::refreshDoneMarks);
    // A programme file goes to the rider folders while "Paniers" is shown, else to the workspace.
    connect(this, &MacRootView::importProgrammeRequested, this, [this](MacWorkspaceSection section) {
        if (section == MacWorkspaceSection::paniers) m_riderFolders->importProgramme();
        else m_workspace->importProgramme();
    });
    connect(this, &MacRootView::importProgrammeWebRequested, this, &MacRootView::openWebImport);
}

// The browser is made once and kept, its page engine loaded when it first shows. A programme it
// imports goes to the rider folders while "Paniers" is shown, else to the workspace; both keep
// it without a source file.
void MacRootView::openWebImport()
{
    if (!m_webImport) {
        m_webImport = new ProgrammeBrowserView(this);
        m_webImport->onImport = [this](const ProgrammeDocument& document) {
            if (m_section == MacWorkspaceSection::paniers) m_app.riderFoldersStore.adoptProgramme(document);
            else m_app.workspaceStore.adoptProgramme(document);
        };
    }
    m_webImport->show();
    m_webImport->raise();
    m_webImport->activateWindow();
}

// "Relancer la synchro" and the device picker at the sidebar's foot; the badge under "Créez un
// tableur", where a tap restarts the sync.
void MacRootView::installReception()
{
    m_receptionDock = new QDockWidget(QStringLiteral("Réception"), this);
    m_receptionDock->setObjectName(QStringLiteral("receptionDock"));
    m_receptionDock->setFeatures(QDockWidget::DockWidgetClosable);
    m_receptionDock->setWidget(new ReceptionPanel(*m_reception, m_receptionDock));
    // Narrow enough to leave the table its columns on a 1280-pixel screen.
    m_receptionDock->setMinimumWidth(340);
    m_receptionDock->setMaximumWidth(520);
    addDockWidget(Qt::RightDockWidgetArea, m_receptionDock);
    m_receptionDock->hide();

    QWidget* footer = m_tableur->sidebar()->syncFooter();
    m_currentClass = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Épreuve en cours"), QStringLiteral("checkmark.circle.fill"), footer);
    m_currentClass->setObjectName(QStringLiteral("currentClass"));
    m_currentClass->setToolTip(QStringLiteral("Les photos prises à partir de maintenant vont dans le dossier des photos de ce tableur"));
    footer->layout()->addWidget(m_currentClass);
    connect(m_currentClass, &CapsuleButton::clicked, this, [this] {
        if (const auto id = m_tableur->sidebar()->selectedSpreadsheetID()) m_reception->markCurrent(*id);
    });
    connect(m_tableur->sidebar(), &MacSidebar::selectionChanged, this, &MacRootView::refreshCurrentClass);
    connect(&m_app.workspaceStore, &WorkspaceStore::settingsChanged, this, &MacRootView::refreshCurrentClass);
    // Typing the rows of another class makes it the one being shot; a phone's rows do not.
    connect(&m_app.libraryStore, &LibraryStore::snapshotChanged, this, [this](const QUuid& id) {
        if (!id.isNull() && !m_app.libraryStore.isApplyingRemote() && m_tableur->sidebar()->selectedSpreadsheetID() == id)
            m_reception->rowTyped(id);
    });
    refreshCurrentClass();
}

void MacRootView::refreshCurrentClass()
{
    const auto id = m_tableur->sidebar()->selectedSpreadsheetID();
    const bool current = id && m_reception->isCurrent(*id);
    m_currentClass->setEnabled(id.has_value() && !current);
    m_currentClass->setText(current ? QStringLiteral("Épreuve en cours ✓") : QStringLiteral("Épreuve en cours"));
}

void MacRootView::showReception(bool shown)
{
    m_receptionDock->setVisible(shown);
}

void MacRootView::installSyncControls()
{
    SyncService& sync = m_app.syncService;
    QWidget* footer = m_tableur->sidebar()->syncFooter();
    footer->layout()->setContentsMargins(Theme::spacing, 0, Theme::spacing, Theme::spacing);
    footer->layout()->setSpacing(Theme::smallSpacing);
    auto* relaunch = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Relancer la synchro"),
                                       QStringLiteral("arrow.triangle.2.circlepath"), footer);
    relaunch->setObjectName(QStringLiteral("restartSync"));
    relaunch->setToolTip(QStringLiteral("Relancer la synchro avec iPhone ou Android"));
    connect(relaunch, &CapsuleButton::clicked, &sync, &SyncService::restart);
    footer->layout()->addWidget(relaunch);
    footer->layout()->addWidget(new NearbyDevicePicker(sync, footer));

    auto* badge = new SyncBadge;
    badge->follow(sync);
    m_tableur->syncBadgeSlot()->addWidget(badge, 0, Qt::AlignHCenter);
}

QWidget* MacRootView::placeholderPage(MacWorkspaceSection section)
{
    return new EmptyState(symbol(section), title(section));
}

void MacRootView::setSectionPage(MacWorkspaceSection section, QWidget* page)
{
    const int index = int(section);
    QWidget* old = m_pages->widget(index);
    m_pages->insertWidget(index, page);
    if (old) {
        m_pages->removeWidget(old);
        old->deleteLater();
    }
    m_pages->setCurrentIndex(int(m_section));
}

QWidget* MacRootView::sectionPage(MacWorkspaceSection section) const { return m_pages->widget(int(section)); }

void MacRootView::setSection(MacWorkspaceSection section)
{
    m_sectionBar->setChecked(int(section));
    m_pages->setCurrentIndex(int(section));
    if (section == m_section && UserDefaults::standard().string(kMacWorkspaceSectionKey) == rawValue(section)) return;
    // Written at once: a session ended without a clean quit still reopens on this section.
    UserDefaults::standard().setString(kMacWorkspaceSectionKey, rawValue(section));
    UserDefaults::standard().synchronize();
    if (section == m_section) return;
    m_section = section;
    Q_EMIT sectionChanged(section);
}

QWidget* MacRootView::buildTopBar()
{
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(Theme::largeSpacing, Theme::spacing, Theme::spacing, Theme::spacing);

    m_sectionBar = new FusedGroup(true, bar);
    for (MacWorkspaceSection s : allMacWorkspaceSections) m_sectionBar->addButton(title(s), symbol(s), int(s));
    connect(m_sectionBar, &FusedGroup::idClicked, this, [this](int id) { setSection(MacWorkspaceSection(id)); });

    auto* appearance = new CapsuleMenu(CapsuleKind::icon, QStringLiteral("Apparence"), QStringLiteral("circle.lefthalf.filled"), bar);
    appearance->setObjectName(QStringLiteral("appearanceMenu"));
    buildAppearanceMenu(appearance->menu());
    m_receptionToggle = new CapsuleButton(CapsuleKind::icon, QStringLiteral("Réception"), QStringLiteral("antenna.radiowaves.left.and.right"), bar);
    m_receptionToggle->setObjectName(QStringLiteral("receptionToggle"));
    m_receptionToggle->setToolTip(QStringLiteral("Réception : appareils par FTP, cartes, sauvegarde"));
    connect(m_receptionToggle, &CapsuleButton::clicked, this, [this] { showReception(!m_receptionDock->isVisible()); });

    // The section bar stays centred: equal stretch on both sides, the buttons at the end.
    layout->addSpacing(appearance->sizeHint().width() + m_receptionToggle->sizeHint().width() + layout->spacing());
    layout->addStretch(1);
    layout->addWidget(m_sectionBar);
    layout->addStretch(1);
    layout->addWidget(m_receptionToggle);
    layout->addWidget(appearance);
    return bar;
}

void MacRootView::buildAppearanceMenu(QMenu* menu)
{
    menu->setTitle(QStringLiteral("Apparence"));
    menu->setIcon(Symbols::icon(QStringLiteral("circle.lefthalf.filled")));
    auto* group = new QActionGroup(menu);
    for (AppearancePreference preference : allAppearancePreferences) {
        QAction* action = menu->addAction(title(preference));
        action->setCheckable(true);
        action->setData(int(preference));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, preference] { m_app.libraryStore.setAppearance(preference); });
    }
    auto check = [this, group] {
        for (QAction* action : group->actions())
            action->setChecked(action->data().toInt() == int(m_app.libraryStore.appearance()));
    };
    check();
    connect(&m_app.libraryStore, &LibraryStore::appearanceChanged, menu, check);
}

void MacRootView::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Fichier"));
    const QList<MenuCommand>& commands = CommandBus::menuCommands();
    for (qsizetype i = 0; i < commands.size(); ++i) {
        // New items, then the sections, then the imports.
        if (i == 2 || i == 5) file->addSeparator();
        const MenuCommand& command = commands[i];
        QAction* action = file->addAction(command.title);
        action->setShortcut(command.shortcut);
        action->setObjectName(command.name);
        connect(action, &QAction::triggered, &m_app.commands, [this, name = command.name] { m_app.commands.post(name); });
    }
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quitter"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    // The notes' undo and redo, with the shortcuts the table answers to; used from the menu in
    // another section, they show the notes they changed.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Éditi&on"));
    edit->setObjectName(QStringLiteral("editMenu"));
    for (QAction* action : {m_tableur->undoAction(), m_tableur->redoAction()}) {
        edit->addAction(action);
        connect(action, &QAction::triggered, this, [this] { setSection(MacWorkspaceSection::tableur); });
    }

    // The same appearance choice as the top bar's, reachable from the keyboard.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&Affichage"));
    QMenu* appearance = view->addMenu(QString());
    appearance->setObjectName(QStringLiteral("appearanceSubmenu"));
    buildAppearanceMenu(appearance);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Ai&de"));
    const MenuCommand& aboutCommand = CommandBus::aboutCommand();
    QAction* about = help->addAction(aboutCommand.title);
    about->setObjectName(aboutCommand.name);
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, &m_app.commands, [this, name = aboutCommand.name] { m_app.commands.post(name); });
}

void MacRootView::showAbout()
{
    if (!m_about) m_about = new AboutDialog(this);
    m_about->open();
    m_about->raise();
}

void MacRootView::connectCommands()
{
    CommandBus& bus = m_app.commands;
    connect(&bus, &CommandBus::tavrinNewDay, this, [this] {
        setSection(MacWorkspaceSection::tableur);
        m_tableur->newDay();
    });
    connect(&bus, &CommandBus::tavrinNewSpreadsheet, this, [this] {
        setSection(MacWorkspaceSection::tableur);
        m_tableur->newSpreadsheet();
    });
    connect(&bus, &CommandBus::tavrinShowPaniers, this, [this] { setSection(MacWorkspaceSection::paniers); });
    connect(&bus, &CommandBus::tavrinShowTableur, this, [this] { setSection(MacWorkspaceSection::tableur); });
    connect(&bus, &CommandBus::tavrinShowCommandes, this, [this] { setSection(MacWorkspaceSection::commandes); });
    connect(&bus, &CommandBus::tavrinImportProgramme, this, [this] { Q_EMIT importProgrammeRequested(m_section); });
    connect(&bus, &CommandBus::tavrinImportProgrammeWeb, this, [this] { Q_EMIT importProgrammeWebRequested(m_section); });
    connect(&bus, &CommandBus::tavrinShowAbout, this, &MacRootView::showAbout);
}

void MacRootView::showImportResult()
{
    const std::optional<QString>& banner = m_app.libraryStore.lastImportBanner();
    if (!banner) return;
    const QString text = banner->isEmpty() ? QStringLiteral("Fichier importé") : *banner;
    m_tableur->restoreSelection();
    // Several files opened at once each add their line to the alert already shown.
    if (m_importAlert && m_importAlert->isVisible()) {
        m_importAlert->setText(m_importAlert->text() + u'\n' + text);
        return;
    }
    if (!m_importAlert) {
        m_importAlert = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Tavrin"), QString(), QMessageBox::Ok, this);
        m_importAlert->setObjectName(QStringLiteral("importAlert"));
    }
    m_importAlert->setText(text);
    m_importAlert->open();
}

QWidget* MacRootView::buildNoticeBanner()
{
    m_noticeBanner = new QWidget(this);
    m_noticeBanner->setObjectName(QStringLiteral("dataFileNotice"));
    m_noticeBanner->setAutoFillBackground(true);
    QPalette palette = m_noticeBanner->palette();
    QColor fill = Theme::orange(Theme::isDark());
    fill.setAlphaF(0.18f);
    palette.setColor(QPalette::Window, fill);
    m_noticeBanner->setPalette(palette);
    auto* layout = new QHBoxLayout(m_noticeBanner);
    layout->setContentsMargins(Theme::largeSpacing, Theme::spacing, Theme::spacing, Theme::spacing);
    m_noticeText = new QLabel(m_noticeBanner);
    m_noticeText->setWordWrap(true);
    // The path can be copied to find the file.
    m_noticeText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_noticeText, 1);
    auto* close = new QPushButton(QStringLiteral("Fermer"), m_noticeBanner);
    connect(close, &QPushButton::clicked, m_noticeBanner, [this] {
        m_noticeText->clear();
        m_noticeBanner->hide();
    });
    layout->addWidget(close, 0, Qt::AlignTop);
    m_noticeBanner->hide();
    return m_noticeBanner;
}

void MacRootView::showDataFileNotices()
{
    const QStringList notices = DataFileNotices::instance().takePending();
    if (notices.isEmpty()) return;
    const QString shown = m_noticeText->text();
    m_noticeText->setText(((shown.isEmpty() ? QStringList() : QStringList{shown}) + notices).join(u'\n'));
    m_noticeBanner->show();
}

// The size and place the window had when it was last closed; the first time, 1180 × 760 when the
// screen holds it with the window manager's frame, else the whole screen (a 1280 × 720 laptop).
void MacRootView::restoreWindowGeometry()
{
    const std::optional<QString> stored = UserDefaults::standard().string(QString::fromLatin1(windowGeometryKey));
    if (stored && restoreGeometry(QByteArray::fromBase64(stored->toLatin1()))) return;
    const QSize preferred(1180, 760);
    // The frame is known only once the window is shown: room for a title bar and borders.
    const QSize frameRoom(16, 48);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && !QRect(QPoint(), screen->availableGeometry().size()).contains(QRect(QPoint(), preferred + frameRoom))) {
        resize(preferred.boundedTo(screen->availableGeometry().size()).expandedTo(minimumSize()));
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    resize(preferred);
}

// Once the window manager has framed the window, the frame, title bar included, is brought within
// the screen's available area (a size kept from a larger screen, a frame larger than thought).
void MacRootView::fitFrameOnScreen()
{
    if (!m_fitPending || !screen() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
    const QRect frame = frameGeometry(), inner = geometry();
    if (frame == inner) return; // not framed yet
    m_fitPending = false;
    const QRect available = screen()->availableGeometry();
    if (available.contains(frame)) return;
    const QSize margins = frame.size() - inner.size();
    const QSize size = frame.size().boundedTo(available.size()) - margins;
    resize(size.expandedTo(minimumSize()));
    const QSize framed = size.expandedTo(minimumSize()) + margins;
    move(std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() + 1 - framed.width())),
         std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() + 1 - framed.height())));
}

void MacRootView::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    fitFrameOnScreen();
}

void MacRootView::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    fitFrameOnScreen();
}

void MacRootView::saveWindowGeometry()
{
    UserDefaults::standard().setString(QString::fromLatin1(windowGeometryKey), QString::fromLatin1(saveGeometry().toBase64()));
    UserDefaults::standard().synchronize();
}

void MacRootView::closeEvent(QCloseEvent* event)
{
    saveWindowGeometry();
    QMainWindow::closeEvent(event);
}

void MacRootView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    // Without a window manager no frame ever comes: nothing to fit after a while.
    m_fitPending = true;
    QTimer::singleShot(3000, this, [this] { m_fitPending = false; });
    fitFrameOnScreen();
    m_tableur->restoreSelection();
    Q_EMIT firstShown();
}

void MacRootView::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), isTransferFile)) event->acceptProposedAction();
}

void MacRootView::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (isTransferFile(url)) m_app.libraryStore.importTavrinFile(url.toLocalFile());
    event->acceptProposedAction();
}

} // namespace tavrin
