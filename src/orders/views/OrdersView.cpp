#include "orders/views/OrdersView.h"

#include "base/UserDefaults.h"
#include "orders/OpenWithApps.h"
#include "orders/views/OrdersGallery.h"
#include "orders/views/OrdersSidebar.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"
#include "ui/FusedGroup.h"
#include "ui/SplitterMemory.h"
#include "ui/Theme.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tavrin {

using ActionKind = OrdersScreen::Action::Kind;

namespace {

QString fileCount(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" fichier") : QStringLiteral(" fichiers"));
}

QLabel* messageLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setContentsMargins(Theme::largeSpacing * 2, 0, Theme::largeSpacing * 2, 0);
    return label;
}

} // namespace

OrdersView::OrdersView(OrdersStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("ordersView"));
    m_layout = OrdersScreen::galleryLayout(UserDefaults::standard().string(OrdersScreen::galleryLayoutKey()).value_or(QString()));
}

OrdersView::~OrdersView()
{
    // A widget shown beside the gallery belongs to whoever gave it.
    if (m_beside) m_beside->setParent(nullptr);
}

void OrdersView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_built) return;
    // The window starts without this section's cost: the orders are listed when it first shows.
    build();
    m_store.reload();
    refreshAll();
}

void OrdersView::build()
{
    m_built = true;
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new OrdersSidebar(m_store, this);
    m_sidebar->selectedFiles = [this] { return OrdersScreen::paths(selectedMedia()); };
    m_sidebar->printMenu = [this](const QStringList& files, QWidget* parent) -> QMenu* {
        return printMenu ? printMenu(files, parent) : nullptr;
    };
    m_sidebar->canPrint = [this] { return bool(printMenu); };
    if (belowRoot) m_sidebar->addBelowRoot(belowRoot(m_sidebar));
    m_sidebar->orderNote = orderNote;
    layout->addWidget(m_sidebar);

    auto* detail = new QWidget(this);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    m_error = new QLabel(detail);
    m_error->setObjectName(QStringLiteral("ordersError"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    m_error->setContentsMargins(Theme::largeSpacing, Theme::spacing, Theme::largeSpacing, Theme::spacing);
    m_error->setVisible(false);
    detailLayout->addWidget(m_error);

    m_pages = new QStackedWidget(detail);
    m_noRoot = new EmptyState(QStringLiteral("folder"), QStringLiteral("Choisissez un dossier"),
                              QStringLiteral("Le bouton en haut de la colonne de gauche sert à indiquer le dossier d’où extraire les commandes."),
                              m_pages);
    m_noOrder = messageLabel(QStringLiteral("Sélectionnez un dossier dans la colonne de gauche."), m_pages);
    m_noSections = messageLabel(QStringLiteral("Ce dossier ne contient pas de types (par exemple IMPRESSION A5) ni de photos ou vidéos."), m_pages);
    m_pages->addWidget(m_noRoot);
    m_pages->addWidget(m_noOrder);
    m_pages->addWidget(m_noSections);
    m_pages->addWidget(buildGalleryPage());
    detailLayout->addWidget(m_pages, 1);
    layout->addWidget(detail, 1);

    auto* selectAllAction = new QAction(QStringLiteral("Tout sélectionner"), this);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(selectAllAction, &QAction::triggered, this, &OrdersView::selectAll);
    addAction(selectAllAction);

    connect(&m_store, &OrdersStore::foldersChanged, this, [this] {
        m_sidebar->refreshOrders();
        refreshDetail();
    });
    connect(&m_store, &OrdersStore::sectionsChanged, this, [this] {
        m_sidebar->refreshOrders();
        refreshGallery();
        refreshDetail();
        refreshSelection();
    });
    connect(&m_store, &OrdersStore::errorMessageChanged, this, [this] {
        m_localError.clear();
        refreshError();
    });
    connect(&m_store, &OrdersStore::watermarksChanged, this, [this] {
        m_sidebar->refreshWatermarks();
        refreshActions();
    });
    connect(&m_store, &OrdersStore::retouchChanged, this, [this] {
        m_sidebar->refreshRetouch();
        refreshActions();
    });
    connect(&m_store, &OrdersStore::deliveredChanged, m_model, &OrdersGalleryModel::marksChanged);
    connect(&m_store, &OrdersStore::fileEdited, m_model, [this](const QString& path) { m_model->fileEdited(path); });
    connect(&m_store, &OrdersStore::isRetouchingChanged, this, [this] {
        m_sidebar->refreshRetouch();
        refreshActions();
    });
    connect(&m_store, &OrdersStore::batchStarted, this, [this](int total) {
        refreshActions();
        if (!OrdersScreen::showsBatchProgress(total)) return;
        m_batchProgress->setRange(0, total);
        m_batchProgress->setValue(0);
        m_cancelBatch->setEnabled(true);
        m_batchBar->setVisible(true);
    });
    connect(&m_store, &OrdersStore::batchProgress, this, [this](int done, int total) {
        m_batchProgress->setRange(0, total);
        m_batchProgress->setValue(done);
    });
    connect(&m_store, &OrdersStore::batchFinished, this, [this] {
        m_batchBar->setVisible(false);
        refreshActions();
    });
}

QWidget* OrdersView::buildGalleryPage()
{
    auto* page = new QWidget(m_pages);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QWidget(page);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(Theme::largeSpacing, Theme::spacing + 4, Theme::largeSpacing, Theme::spacing);
    barLayout->setSpacing(Theme::spacing);
    m_title = new QLabel(bar);
    m_title->setTextFormat(Qt::PlainText);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_summary = new QLabel(bar);
    m_summary->setObjectName(QStringLiteral("ordersSummary"));
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    m_watermarkHint = new QLabel(QStringLiteral("Ajoutez un filigrane dans la colonne de gauche"), bar);
    m_watermarkHint->setForegroundRole(QPalette::PlaceholderText);
    // On a laptop with the crop editor or the reception panel open the bar runs short: the texts
    // wrap rather than being cut or pushing the buttons out of sight.
    m_title->setWordWrap(true);
    m_summary->setWordWrap(true);
    m_watermarkHint->setWordWrap(true);
    m_watermarkHint->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_selectAll = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Tout sélectionner"), QString(), bar);
    m_selectAll->setObjectName(QStringLiteral("ordersSelectAll"));
    m_selectAll->setToolTip(QStringLiteral("Tout sélectionner (Ctrl+A)"));
    m_layoutPicker = new FusedGroup(true, bar);
    m_layoutPicker->setObjectName(QStringLiteral("ordersLayoutPicker"));
    m_layoutPicker->setToolTip(QStringLiteral("Changer l’organisation des photos"));
    m_layoutPicker->addButton(QStringLiteral("Par type"), QString(), int(OrdersGalleryLayout::sections));
    m_layoutPicker->addButton(QStringLiteral("Liste"), QString(), int(OrdersGalleryLayout::list));
    m_layoutPicker->addButton(QStringLiteral("Grille"), QString(), int(OrdersGalleryLayout::grid));
    for (int id = 0; id < 3; ++id) m_layoutPicker->button(id)->setToolTip(m_layoutPicker->toolTip());
    m_layoutPicker->setChecked(int(m_layout));
    barLayout->addWidget(m_title);
    barLayout->addWidget(m_summary, 1);
    barLayout->addWidget(m_watermarkHint, 1);
    barLayout->addWidget(m_selectAll);
    barLayout->addWidget(m_layoutPicker);
    layout->addWidget(bar);
    if (belowTitle) layout->addWidget(belowTitle(page));

    // In the list and grid layouts the section actions act on the whole order.
    m_orderActions = new QWidget(page);
    auto* orderLayout = new QHBoxLayout(m_orderActions);
    orderLayout->setContentsMargins(Theme::spacing, 0, Theme::spacing, 0);
    m_orderActionsBar = new OrdersSectionHeader(QString(), QString(), m_orderActions);
    orderLayout->addWidget(m_orderActionsBar);
    connect(m_orderActionsBar, &OrdersSectionHeader::actionTriggered, this, [this](ActionKind kind, QWidget* anchor) {
        runAction(kind, OrdersScreen::paths(allFiles()), anchor);
    });
    layout->addWidget(m_orderActions);

    m_batchBar = new QWidget(page);
    m_batchBar->setObjectName(QStringLiteral("ordersBatchBar"));
    auto* batchLayout = new QHBoxLayout(m_batchBar);
    batchLayout->setContentsMargins(Theme::largeSpacing, Theme::smallSpacing, Theme::largeSpacing, Theme::smallSpacing);
    m_batchProgress = new QProgressBar(m_batchBar);
    m_batchProgress->setObjectName(QStringLiteral("ordersBatchProgress"));
    m_batchProgress->setFormat(QStringLiteral("%v / %m"));
    m_cancelBatch = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Annuler"), QString(), m_batchBar);
    m_cancelBatch->setObjectName(QStringLiteral("ordersCancelBatch"));
    batchLayout->addWidget(m_batchProgress, 1);
    batchLayout->addWidget(m_cancelBatch);
    m_batchBar->setVisible(false);
    layout->addWidget(m_batchBar);
    connect(m_cancelBatch, &QAbstractButton::clicked, this, [this] {
        m_cancelBatch->setEnabled(false);
        m_store.cancelBatch();
    });

    m_splitter = new QSplitter(Qt::Horizontal, page);
    m_splitter->setChildrenCollapsible(false);
    m_gallery = new OrdersGallery(m_splitter);
    m_model = new OrdersGalleryModel(m_store, m_selection, this);
    m_gallery->setModel(m_model);
    m_model->setEditingFile(m_editingFile);
    m_gallery->setGalleryLayout(m_layout);
    m_splitter->addWidget(m_gallery);
    m_splitter->setStretchFactor(0, 1);
    if (m_beside) {
        m_splitter->addWidget(m_beside);
        m_beside->show();
    }
    // Where the user left the line between the gallery and the crop editor.
    SplitterMemory::remember(m_splitter, QStringLiteral("ordersCropEditor"));
    layout->addWidget(m_splitter, 1);

    connect(m_layoutPicker, &FusedGroup::idClicked, this, [this](int id) { setGalleryLayout(OrdersGalleryLayout(id)); });
    connect(m_selectAll, &QAbstractButton::clicked, this, &OrdersView::selectAll);
    connect(m_gallery, &OrdersGallery::selectAllRequested, this, &OrdersView::selectAll);
    connect(m_gallery, &OrdersGallery::mediaClicked, this, [this](int row, Qt::KeyboardModifiers modifiers) {
        if (const auto& media = m_model->rows().value(row).media) clickMedia(*media, modifiers);
    });
    connect(m_gallery, &OrdersGallery::mediaDoubleClicked, this, [this](int row) {
        if (const auto& media = m_model->rows().value(row).media) doubleClickMedia(*media);
    });
    connect(m_gallery, &OrdersGallery::mediaContextMenu, this, [this](int row, const QPoint& at) {
        const auto media = m_model->rows().value(row).media;
        if (!media) return;
        selectForContextMenu(*media);
        QMenu* menu = makeContextMenu(*media, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
    });
    return page;
}

void OrdersView::refreshAll()
{
    m_sidebar->refreshOrders();
    m_sidebar->refreshWatermarks();
    m_sidebar->refreshRetouch();
    refreshGallery();
    refreshDetail();
    refreshSelection();
    refreshError();
}

void OrdersView::orderNotesChanged()
{
    if (m_built) m_sidebar->refreshOrders();
}

void OrdersView::hooksChanged()
{
    if (!m_built) return;
    refreshActions();
    m_sidebar->refreshSelection();
}

void OrdersView::setBesideGallery(QWidget* widget)
{
    if (widget == m_beside) return;
    if (m_beside) {
        m_beside->hide();
        m_beside->setParent(nullptr);
    }
    m_beside = widget;
    if (m_beside && m_splitter) {
        m_splitter->addWidget(m_beside);
        m_beside->show();
        SplitterMemory::restore(m_splitter, QStringLiteral("ordersCropEditor"));
    }
}

void OrdersView::setGalleryLayout(OrdersGalleryLayout layout)
{
    if (layout != m_layout) {
        m_layout = layout;
        UserDefaults::standard().setString(OrdersScreen::galleryLayoutKey(), OrdersScreen::rawValue(layout));
    }
    if (!m_built) return;
    m_layoutPicker->setChecked(int(layout));
    m_gallery->setGalleryLayout(layout);
    refreshGallery();
}

QList<OrderMedia> OrdersView::allFiles() const { return OrdersScreen::allFiles(m_store.sections()); }

QList<OrderMedia> OrdersView::selectedMedia() const { return m_selection.selectedMedia(allFiles()); }

void OrdersView::selectAll()
{
    m_selection.selectAll(allFiles());
    refreshSelection();
}

void OrdersView::clickMedia(const OrderMedia& media, Qt::KeyboardModifiers modifiers)
{
    const bool cropOpen = openCrop && isCropEditorOpen && isCropEditorOpen();
    const OrdersSelection::Modifiers held{modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::ControlModifier)};
    // The second press of a double click keeps the selection seen before the first one.
    const bool secondPress = m_clickClock.isValid() && m_clickClock.elapsed() <= QApplication::doubleClickInterval()
                             && m_lastClicked == media.id();
    if (!secondPress) m_beforeClick = m_selection;
    m_clickClock.start();
    m_lastClicked = media.id();
    if (m_selection.handleClick(allFiles(), media, held, cropOpen) == OrdersSelection::Outcome::openCrop) {
        openCrop(media.url);
        return;
    }
    refreshSelection();
}

void OrdersView::selectForContextMenu(const OrderMedia& media)
{
    // As in a file manager: a right click on a file outside the selection selects it alone, one
    // inside keeps the selection the menu's actions will act on.
    if (m_selection.selectedIDs().contains(media.id())) return;
    m_selection.handleClick(allFiles(), media, {}, false);
    refreshSelection();
}

void OrdersView::setEditingFile(const std::optional<QString>& file)
{
    m_editingFile = file;
    if (m_built) m_model->setEditingFile(file);
}

void OrdersView::doubleClickMedia(const OrderMedia& media)
{
    // The first click of a double click on a selected file must not have narrowed the selection.
    if (m_beforeClick && m_beforeClick->selectedIDs().contains(media.id())) {
        m_selection = *m_beforeClick;
        refreshSelection();
    }
    m_beforeClick.reset();
    OpenWithApps::openPreferred(m_store.openWithApps(), OrdersScreen::doubleClickTargets(selectedMedia(), media));
}

void OrdersView::refreshSelection()
{
    if (!m_built) return;
    m_model->marksChanged();
    m_sidebar->refreshSelection();
}

void OrdersView::refreshDetail()
{
    const OrdersScreen::Detail detail = OrdersScreen::detail(m_store);
    m_pages->setCurrentIndex(int(detail));
    if (detail != OrdersScreen::Detail::gallery) return;
    QString title;
    for (const OrderFolder& folder : m_store.folders())
        if (folder.url == m_store.selectedFolderID()) title = folder.name;
    m_title->setText(title);
    m_summary->setText(OrdersScreen::summaryLine(m_store.sections()));
}

void OrdersView::refreshGallery()
{
    const QList<OrderSection>& sections = m_store.sections();
    QList<OrdersScreen::GalleryRow> rows = OrdersScreen::galleryRows(sections, m_layout);
    // A reload that lists the same files (an edit touched the folder) keeps the gallery as it is.
    if (rows == m_model->rows() && !rows.isEmpty() && m_shownLayout == m_layout) {
        refreshActions();
        return;
    }
    const bool sameOrder = m_shownOrder == m_store.selectedFolderID() && m_shownLayout == m_layout;
    const int scrolled = m_gallery->verticalScrollBar()->value();
    m_shownOrder = m_store.selectedFolderID();
    m_shownLayout = m_layout;
    m_model->setRows(std::move(rows));
    // Files added or removed by another program leave the photographer where he was.
    if (sameOrder) {
        QTimer::singleShot(0, m_gallery, [gallery = m_gallery, scrolled] {
            gallery->doItemsLayout();
            gallery->verticalScrollBar()->setValue(scrolled);
        });
    }
    for (int row = 0; row < m_model->rows().size(); ++row) {
        const OrdersScreen::GalleryRow& item = m_model->rows()[row];
        if (item.kind != OrdersScreen::GalleryRow::Kind::sectionHeader) continue;
        auto* header = new OrdersSectionHeader(item.text, fileCount(sections[item.section].files.size()));
        connect(header, &OrdersSectionHeader::actionTriggered, this, [this, section = item.section](ActionKind kind, QWidget* anchor) {
            if (section < m_store.sections().size()) runAction(kind, OrdersScreen::paths(m_store.sections()[section].files), anchor);
        });
        m_gallery->setIndexWidget(m_model->index(row), header);
    }
    m_orderActions->setVisible(m_layout != OrdersGalleryLayout::sections);
    refreshActions();
}

QList<OrdersSectionHeader*> OrdersView::sectionHeaders() const
{
    QList<OrdersSectionHeader*> headers;
    if (!m_built) return headers;
    for (int row = 0; row < m_model->rows().size(); ++row)
        if (auto* header = qobject_cast<OrdersSectionHeader*>(m_gallery->indexWidget(m_model->index(row)))) headers.push_back(header);
    return headers;
}

OrdersScreen::ActionContext OrdersView::actionContext() const
{
    OrdersScreen::ActionContext context = OrdersScreen::actionContext(m_store);
    context.canCrop = bool(openCrop);
    context.canPrint = bool(printMenu);
    return context;
}

void OrdersView::refreshActions()
{
    if (!m_built) return;
    const QList<OrdersScreen::Action> actions = OrdersScreen::sectionActions(actionContext());
    for (OrdersSectionHeader* header : sectionHeaders()) header->setActions(actions);
    m_orderActionsBar->setActions(actions);
    m_watermarkHint->setVisible(m_store.watermarks().isEmpty());
}

void OrdersView::refreshError()
{
    const QString text = !m_localError.isEmpty() ? m_localError : m_store.errorMessage().value_or(QString());
    // The red of the appearance of the moment.
    QPalette palette = m_error->palette();
    palette.setColor(QPalette::WindowText, Theme::red(Theme::isDark()));
    m_error->setPalette(palette);
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void OrdersView::showLocalError(const QString& message)
{
    m_localError = message;
    refreshError();
}

} // namespace tavrin
