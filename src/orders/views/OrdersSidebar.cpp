#include "orders/views/OrdersSidebar.h"

#include "base/FolderReference.h"
#include "editing/views/RetouchPanel.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/OpenWithApps.h"
#include "orders/OrdersScreenModel.h"
#include "handover/views/HandOverDialog.h"
#include "orders/views/OpenPanels.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

} // namespace

QPixmap WatermarkChoiceRow::onCheckerboard(const QImage& image, int side)
{
    // A watermark is mostly white on transparent: over a checkerboard its shape shows whatever
    // the appearance behind it.
    QPixmap pixmap(side, side);
    pixmap.fill(QColor(0xd4, 0xd4, 0xd4));
    QPainter painter(&pixmap);
    constexpr int tile = 8;
    for (int y = 0; y < side; y += tile)
        for (int x = (y / tile) % 2 == 0 ? tile : 0; x < side; x += 2 * tile)
            painter.fillRect(x, y, tile, tile, QColor(0x8c, 0x8c, 0x8c));
    const QSize drawn = image.size().scaled(side, side, Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint((side - drawn.width()) / 2, (side - drawn.height()) / 2), drawn), image);
    return pixmap;
}

WatermarkChoiceRow::WatermarkChoiceRow(const QString& name, const std::optional<QString>& file, bool isSelected, QWidget* parent)
    : QFrame(parent), m_thumbnail(new QLabel(this)),
      m_select(new CapsuleButton(CapsuleKind::tinyIcon, QStringLiteral("Utiliser ce filigrane"),
                                 isSelected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), this)),
      m_remove(new CapsuleButton(CapsuleKind::tinyIcon, QStringLiteral("Retirer ce filigrane de la liste"), QStringLiteral("trash"), this)),
      m_selected(isSelected)
{
    setObjectName(QStringLiteral("watermarkRow"));
    setToolTip(QStringLiteral("Utiliser ce filigrane"));
    m_thumbnail->setFixedSize(thumbnailPixels, thumbnailPixels);
    m_thumbnail->setAlignment(Qt::AlignCenter);
    m_thumbnail->setAutoFillBackground(false);
    auto* nameLabel = new QLabel(name, this);
    nameLabel->setTextFormat(Qt::PlainText);
    nameLabel->setWordWrap(true);
    if (isSelected) {
        QFont font = nameLabel->font();
        font.setWeight(QFont::DemiBold);
        nameLabel->setFont(font);
    }
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(Theme::smallSpacing, Theme::smallSpacing, Theme::smallSpacing, Theme::smallSpacing);
    layout->addWidget(m_thumbnail);
    layout->addWidget(nameLabel, 1);
    layout->addWidget(m_select);
    layout->addWidget(m_remove);
    connect(m_select, &QAbstractButton::clicked, this, &WatermarkChoiceRow::selectRequested);
    connect(m_remove, &QAbstractButton::clicked, this, &WatermarkChoiceRow::removeRequested);
    if (file) {
        MediaThumbnailer::shared().thumbnail(*file, false, thumbnailPixels, this, [this](const QString&, const QImage& image) {
            if (!image.isNull()) m_thumbnail->setPixmap(onCheckerboard(image, thumbnailPixels));
        });
    }
}

void WatermarkChoiceRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) Q_EMIT selectRequested();
    QFrame::mousePressEvent(event);
}

OrdersSidebar::OrdersSidebar(OrdersStore& store, QWidget* parent)
    : QWidget(parent), m_store(store),
      m_rootButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Dossier contenant les commandes"), QStringLiteral("folder"), this)),
      m_rootName(secondaryLabel(QString(), this)), m_search(new QLineEdit(this)),
      m_clearSearch(new CapsuleButton(CapsuleKind::glass, QStringLiteral("×"), QString(), this)),
      m_orders(new QListWidget(this)), m_ordersEmpty(secondaryLabel(QString(), this)),
      m_retouchButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Réglages de retouche…"), QString(), this)),
      m_retouchPopover(new QFrame(this, Qt::Popup)), m_retouchScroll(new QScrollArea(m_retouchPopover)),
      m_retouchPanel(new RetouchPanel),
      m_retouchStatus(secondaryLabel(QStringLiteral("Retouche en cours…"), this)), m_watermarkList(new QVBoxLayout),
      m_watermarksEmpty(secondaryLabel(QStringLiteral("Aucun fichier filigrane"), this)),
      m_addWatermark(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Ajouter un filigrane…"), QStringLiteral("plus"), this)),
      m_selectionSummary(secondaryLabel(QString(), this)),
      m_openWith(new CapsuleMenu(CapsuleKind::glass, QStringLiteral("Ouvrir avec"), QString(), this)),
      m_openWithHint(secondaryLabel(QStringLiteral("Sélectionnez des fichiers"), this)),
      m_handOver(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Partager par QR code"), QString(), this)),
      m_print(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Imprimer…"), QString(), this))
{
    setObjectName(QStringLiteral("ordersSidebar"));
    setMinimumWidth(250);
    setMaximumWidth(340);

    m_rootButton->setObjectName(QStringLiteral("ordersRoot"));
    m_search->setObjectName(QStringLiteral("ordersSearch"));
    m_search->setPlaceholderText(QStringLiteral("Rechercher une commande"));
    m_clearSearch->setObjectName(QStringLiteral("ordersClearSearch"));
    m_clearSearch->setToolTip(QStringLiteral("Effacer la recherche"));
    m_clearSearch->setVisible(false);
    m_orders->setObjectName(QStringLiteral("ordersList"));
    m_orders->setFrameShape(QFrame::NoFrame);
    m_orders->setUniformItemSizes(true);
    m_orders->viewport()->setAutoFillBackground(false);
    m_retouchButton->setObjectName(QStringLiteral("ordersRetouch"));
    m_retouchButton->setToolTip(QStringLiteral("Choisir les réglages qui s’appliquent aux retouches"));
    m_retouchPopover->setObjectName(QStringLiteral("ordersRetouchPopover"));
    m_retouchPopover->setFrameShape(QFrame::StyledPanel);
    auto* popoverLayout = new QVBoxLayout(m_retouchPopover);
    popoverLayout->setContentsMargins(Theme::smallSpacing, Theme::smallSpacing, Theme::smallSpacing, Theme::smallSpacing);
    // The panel is taller than a laptop screen: it scrolls inside the popover, whose height
    // follows the screen.
    m_retouchScroll->setObjectName(QStringLiteral("ordersRetouchScroll"));
    m_retouchScroll->setWidgetResizable(true);
    m_retouchScroll->setFrameShape(QFrame::NoFrame);
    m_retouchScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_retouchPanel->setContentsMargins(Theme::spacing, Theme::spacing, Theme::spacing, Theme::spacing);
    m_retouchScroll->setWidget(m_retouchPanel);
    popoverLayout->addWidget(m_retouchScroll);
    m_retouchStatus->setVisible(false);
    m_addWatermark->setObjectName(QStringLiteral("ordersAddWatermark"));
    m_selectionSummary->setObjectName(QStringLiteral("ordersSelectionSummary"));
    m_openWith->setObjectName(QStringLiteral("ordersOpenWith"));
    m_openWith->menu()->setToolTipsVisible(true);
    m_handOver->setObjectName(QStringLiteral("ordersHandOver"));
    m_handOver->setToolTip(QStringLiteral("Partager les fichiers sélectionnés par QR code"));
    m_print->setObjectName(QStringLiteral("ordersPrintSelection"));
    m_print->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::spacing + 4, Theme::spacing + 4, Theme::spacing + 4, Theme::spacing + 4);
    layout->setSpacing(Theme::spacing);
    auto* rootRow = new QHBoxLayout;
    rootRow->setSpacing(Theme::smallSpacing);
    rootRow->addWidget(m_rootButton, 1);
    layout->addLayout(rootRow);
    layout->addWidget(m_rootName);
    auto* search = new QHBoxLayout;
    search->setSpacing(Theme::smallSpacing);
    search->addWidget(m_search, 1);
    search->addWidget(m_clearSearch);
    layout->addLayout(search);
    layout->addWidget(m_orders, 1);
    // Without orders the message takes the list's room, so the column below stays where it is.
    m_ordersEmpty->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(m_ordersEmpty, 1);
    layout->addWidget(heading(QStringLiteral("Retouche"), this));
    layout->addWidget(m_retouchButton);
    layout->addWidget(m_retouchStatus);
    layout->addWidget(heading(QStringLiteral("Filigranes"), this));
    m_watermarkList->setSpacing(2);
    layout->addLayout(m_watermarkList);
    layout->addWidget(m_watermarksEmpty);
    layout->addWidget(m_addWatermark);
    layout->addWidget(heading(QStringLiteral("Sélection"), this));
    layout->addWidget(m_selectionSummary);
    layout->addWidget(m_openWithHint);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(Theme::smallSpacing);
    actions->addWidget(m_openWith);
    actions->addWidget(m_print);
    actions->addStretch(1);
    layout->addLayout(actions);
    layout->addWidget(m_handOver);

    connect(m_rootButton, &QAbstractButton::clicked, this, [this] {
        OpenPanels::pickFolder(window(), QStringLiteral("Dossier des commandes"), QStringLiteral("Choisir"),
                               [this, guard = QPointer(this)](const QString& folder) {
                                   if (guard) m_store.storeRoot(folder);
                               });
    });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_clearSearch->setVisible(!text.isEmpty());
        refreshOrders();
    });
    connect(m_clearSearch, &QAbstractButton::clicked, m_search, &QLineEdit::clear);
    // Opening a new order from the showcase, even the one already current, ends its « Nouvelle commande ».
    const auto opened = [this](QListWidgetItem* item) {
        const QString id = item->data(Qt::UserRole).toString();
        if (!NewOrder::isNew(id)) return;
        NewOrder::markOpened(id);
        item->setText(itemText({QFileInfo(id).fileName(), id}));
    };
    connect(m_orders, &QListWidget::itemClicked, this, opened);
    connect(m_orders, &QListWidget::currentItemChanged, this, [this, opened](QListWidgetItem* item) {
        if (m_fillingOrders || !item) return;
        opened(item);
        const QString id = item->data(Qt::UserRole).toString();
        if (m_store.selectedFolderID() != id) m_store.selectFolder(id);
    });
    connect(m_retouchButton, &QAbstractButton::clicked, this, &OrdersSidebar::openRetouchPopover);
    connect(m_retouchPanel, &RetouchPanel::settingsChanged, &m_store, &OrdersStore::setRetouch);
    connect(m_addWatermark, &QAbstractButton::clicked, this, [this] {
        OpenPanels::pickImage(window(), QStringLiteral("Fichier filigrane"), QStringLiteral("Choisir"),
                              [this, guard = QPointer(this)](const QString& file) {
                                  if (guard) m_store.addWatermark(file);
                              });
    });
    connect(m_openWith->menu(), &QMenu::aboutToShow, this, &OrdersSidebar::fillOpenWithMenu);
    connect(m_print, &QAbstractButton::clicked, this, [this] {
        // The print menu is made for the selection of the moment.
        if (!printMenu) return;
        if (QMenu* menu = printMenu(selection(), this)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(m_print->mapToGlobal(QPoint(0, m_print->height())));
        }
    });
    connect(m_handOver, &QAbstractButton::clicked, this, &OrdersSidebar::handOverSelection);
}

// On its own line: beside the root button it would cut that button's text on a laptop.
void OrdersSidebar::addBelowRoot(QWidget* widget)
{
    widget->setParent(this);
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, widget);
}

// Painted from the palette of the moment, so that it follows the appearance.
void OrdersSidebar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::sidebarBackground(palette()));
}

QString OrdersSidebar::itemText(const OrderFolder& folder) const
{
    QString text = folder.name;
    // An order sent from the showcase says so until it is opened.
    if (NewOrder::isNew(folder.url)) text += QStringLiteral("\nNouvelle commande");
    if (orderNote)
        if (const QString note = orderNote(folder); !note.isEmpty()) text += u'\n' + note;
    return text;
}

void OrdersSidebar::refreshOrders()
{
    m_rootName->setText(m_store.rootName().value_or(QString()));
    m_rootName->setVisible(m_store.rootName().has_value());
    const QList<OrderFolder> shown = OrdersScreen::filteredFolders(m_store.folders(), m_search->text());
    m_fillingOrders = true;
    m_orders->clear();
    for (const OrderFolder& folder : shown) {
        auto* item = new QListWidgetItem(itemText(folder), m_orders);
        item->setData(Qt::UserRole, folder.url);
        item->setToolTip(folder.url);
        if (m_store.selectedFolderID() == folder.url) m_orders->setCurrentItem(item);
    }
    m_fillingOrders = false;
    const auto empty = OrdersScreen::orderListEmptyText(m_store.rootName(), m_store.folders(), m_search->text());
    m_ordersEmpty->setText(empty.value_or(QString()));
    m_ordersEmpty->setVisible(empty.has_value());
    m_orders->setVisible(!empty.has_value());
}

void OrdersSidebar::refreshWatermarks()
{
    qDeleteAll(m_watermarkRows);
    m_watermarkRows.clear();
    for (const OrderWatermark& watermark : m_store.watermarks()) {
        const auto resolved = FolderReference::resolve(watermark.bookmark);
        auto* row = new WatermarkChoiceRow(watermark.name, resolved ? std::optional(resolved->path) : std::nullopt,
                                           m_store.selectedWatermarkID() == watermark.id, this);
        connect(row, &WatermarkChoiceRow::selectRequested, this, [this, id = watermark.id] { m_store.selectWatermark(id); });
        // Removing deletes the row: it is done once its click has been handled.
        connect(row, &WatermarkChoiceRow::removeRequested, this, [this, id = watermark.id] { m_store.removeWatermark(id); },
                Qt::QueuedConnection);
        m_watermarkList->addWidget(row);
        m_watermarkRows.push_back(row);
    }
    m_watermarksEmpty->setVisible(m_watermarkRows.isEmpty());
}

void OrdersSidebar::refreshSelection()
{
    const QStringList files = selection();
    m_selectionSummary->setText(OrdersScreen::selectionSummary(files.size()));
    m_openWithHint->setVisible(files.isEmpty());
    m_openWith->setVisible(!files.isEmpty());
    m_print->setVisible(!files.isEmpty() && canPrint && canPrint());
    m_handOver->setEnabled(!files.isEmpty());
}

void OrdersSidebar::refreshRetouch()
{
    m_retouchPanel->setSettings(m_store.retouch());
    m_retouchStatus->setVisible(m_store.isRetouching());
}

void OrdersSidebar::openRetouchPopover()
{
    m_retouchPanel->setSettings(m_store.retouch());
    const QMargins margins = m_retouchPopover->layout()->contentsMargins();
    const QSize panel = m_retouchPanel->sizeHint();
    QSize size(panel.width() + m_retouchScroll->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right(),
               panel.height() + margins.top() + margins.bottom());
    QPoint at = m_retouchButton->mapToGlobal(QPoint(m_retouchButton->width() + Theme::spacing, 0));
    if (const QScreen* screen = m_retouchButton->screen()) {
        const QRect available = screen->availableGeometry();
        size.setHeight(std::min(size.height(), available.height() - 2 * Theme::spacing));
        at.setY(std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() - size.height())));
    }
    m_retouchPopover->resize(size);
    m_retouchPopover->move(at);
    m_retouchPopover->show();
}

void OrdersSidebar::fillOpenWithMenu()
{
    QMenu* menu = m_openWith->menu();
    menu->clear();
    const QStringList files = selection();
    if (files.isEmpty()) return;
    for (const OpenWithApp& app : OpenWithApps::apps(files)) {
        QAction* action = menu->addAction(QIcon::fromTheme(app.icon), app.name);
        connect(action, &QAction::triggered, this, [this, app, files] {
            OrdersScreen::rememberOpenWith(m_store, app.path, files);
            OpenWithApps::open(files, app.id);
        });
    }
    if (!menu->isEmpty()) menu->addSeparator();
    menu->addAction(QStringLiteral("Choisir une autre application…"), this, [this, files] {
        OpenPanels::pickApplication(window(), [this, guard = QPointer(this), files](const OpenWithApp& app) {
            if (!guard) return;
            OrdersScreen::rememberOpenWith(m_store, app.path, files);
            OpenWithApps::open(files, app.id);
        });
    });
}

void OrdersSidebar::handOverSelection()
{
    const QStringList files = selection();
    HandOverDialog::send(window(), files, [store = QPointer<OrdersStore>(&m_store)](const QStringList& delivered) {
        if (store) store->markDelivered(delivered);
    });
}

} // namespace tavrin
