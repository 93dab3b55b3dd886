#include "orders/views/OrdersGallery.h"

#include "base/FolderReference.h"
#include "photofiles/MediaThumbnailer.h"
#include "numbers/PathText.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

namespace tavrin {

using Kind = OrdersScreen::GalleryRow::Kind;

namespace {

QString pendingKey(const QString& path, int revision) { return path + u'\n' + QString::number(revision); }

} // namespace

OrdersGalleryModel::OrdersGalleryModel(OrdersStore& store, const OrdersSelection& selection, QObject* parent)
    : QAbstractListModel(parent), m_store(store), m_selection(selection), m_thumbs(96 * 1024), m_flush(new QTimer(this))
{
    // Requests made while the view paints are sent together once it is done.
    m_flush->setSingleShot(true);
    m_flush->setInterval(0);
    connect(m_flush, &QTimer::timeout, this, &OrdersGalleryModel::flushRequests);
}

void OrdersGalleryModel::setRows(QList<OrdersScreen::GalleryRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_rowsByPath.clear();
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].media) m_rowsByPath[FolderReference::standardizedPath(m_rows[i].media->url)].push_back(i);
    endResetModel();
    // Another order chosen: the thumbnails of the one left stop being made.
    cancelThumbnailsOutside([](int) { return true; });
}

QModelIndex OrdersGalleryModel::indexOf(const QString& path) const
{
    const auto rows = m_rowsByPath.value(FolderReference::standardizedPath(path));
    return rows.isEmpty() ? QModelIndex() : index(rows.first());
}

int OrdersGalleryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

QVariant OrdersGalleryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    const OrdersScreen::GalleryRow& row = m_rows[index.row()];
    switch (role) {
    case KindRole: return int(row.kind);
    case Qt::DisplayRole:
        return row.media ? PathText::lastPathComponent(row.media->url).toString() : row.text;
    case Qt::ToolTipRole:
        if (!row.media) return {};
        if (m_store.isDelivered(row.media->url))
            return QString(PathText::lastPathComponent(row.media->url).toString() + u'\n' + OrdersScreen::deliveredHelp());
        return PathText::lastPathComponent(row.media->url).toString();
    default: break;
    }
    if (!row.media) return {};
    const OrderMedia& media = *row.media;
    switch (role) {
    case PathRole: return media.url;
    case IsVideoRole: return media.isVideo;
    case SelectedRole: return m_selection.selectedIDs().contains(media.id());
    case DeliveredRole: return m_store.isDelivered(media.url);
    case EditingRole: return m_editing && FolderReference::standardizedPath(media.url) == *m_editing;
    case RevisionRole: return m_store.fileRevision(media.url);
    case ThumbnailRole: {
        const QString path = FolderReference::standardizedPath(media.url);
        const Thumb* thumb = currentThumb(path);
        if (thumb && !thumb->preview) return thumb->image;
        // A preview shows while the real thumbnail is made (asked again if it was cancelled).
        requestThumbnail(path, media.isVideo);
        return thumb ? thumb->image : QImage();
    }
    case PreviewRole: {
        const Thumb* thumb = currentThumb(FolderReference::standardizedPath(media.url));
        return thumb && thumb->preview;
    }
    case UnreadableRole: {
        const Thumb* thumb = currentThumb(FolderReference::standardizedPath(media.url));
        return thumb && !thumb->preview && thumb->image.isNull();
    }
    default: return {};
    }
}

void OrdersGalleryModel::requestThumbnail(const QString& path, bool isVideo) const
{
    const QString key = pendingKey(path, m_store.fileRevision(path));
    if (m_pending.contains(key)) return;
    m_pending.insert(key);
    m_queue.push_back({path, isVideo});
    m_flush->start();
}

const OrdersGalleryModel::Thumb* OrdersGalleryModel::currentThumb(const QString& path) const
{
    const Thumb* thumb = m_thumbs.object(path);
    return thumb && thumb->revision == m_store.fileRevision(path) ? thumb : nullptr;
}

void OrdersGalleryModel::flushRequests()
{
    // In the order the view drew its cells: the visible ones, top first.
    const auto queue = std::exchange(m_queue, {});
    for (const auto& [path, isVideo] : queue) {
        const int revision = m_store.fileRevision(path);
        MediaThumbnailer::shared().thumbnail(
            path, isVideo, thumbnailPixels, this,
            [this, path, revision](const QString&, const QImage& image) { delivered(path, revision, image); },
            [this, path, revision](const QString&, const QImage& image) { delivered(path, revision, image, true); });
    }
}

void OrdersGalleryModel::cancelThumbnailsOutside(const std::function<bool(int row)>& near)
{
    const QSet<QString> pending = m_pending;
    for (const QString& key : pending) {
        const QString path = key.left(key.lastIndexOf(u'\n'));
        const QList<int> rows = m_rowsByPath.value(path);
        if (std::any_of(rows.cbegin(), rows.cend(), near)) continue;
        m_pending.remove(key);
        m_queue.removeIf([&](const auto& request) { return request.first == path; });
        MediaThumbnailer::shared().cancel(path, thumbnailPixels, this);
    }
}

void OrdersGalleryModel::delivered(const QString& path, int revision, const QImage& image, bool preview)
{
    if (preview) {
        // Only in place of nothing: never over the real thumbnail, never after it was cancelled.
        if (m_store.fileRevision(path) != revision || !m_pending.contains(pendingKey(path, revision)) || currentThumb(path)) return;
        auto* thumb = new Thumb{image, revision, true};
        m_thumbs.insert(path, thumb, std::max<qsizetype>(1, image.sizeInBytes() / 1024));
        for (int row : m_rowsByPath.value(path)) Q_EMIT dataChanged(index(row), index(row), {ThumbnailRole, PreviewRole});
        return;
    }
    m_pending.remove(pendingKey(path, revision));
    // A newer revision of the file is on its way; this one would show old pixels.
    if (m_store.fileRevision(path) == revision) {
        // Kept at the size a card draws it, in device pixels so that it stays sharp on dense screens.
        const int side = int(cellPixels * std::max(1.0, qApp->devicePixelRatio()));
        QImage kept = image.isNull() || std::max(image.width(), image.height()) <= side
                          ? image
                          : image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        auto* thumb = new Thumb{kept, revision};
        m_thumbs.insert(path, thumb, std::max<qsizetype>(1, thumb->image.sizeInBytes() / 1024));
        for (int row : m_rowsByPath.value(path)) Q_EMIT dataChanged(index(row), index(row), {ThumbnailRole, PreviewRole, UnreadableRole});
    }
    if (pendingThumbnails() == 0) Q_EMIT thumbnailsSettled();
}

bool OrdersGalleryModel::hasThumbnail(const QString& path) const
{
    const QString standardized = FolderReference::standardizedPath(path);
    const Thumb* thumb = m_thumbs.object(standardized);
    return thumb && thumb->revision == m_store.fileRevision(standardized) && !thumb->image.isNull() && !thumb->preview;
}

bool OrdersGalleryModel::hasPreview(const QString& path) const
{
    const Thumb* thumb = currentThumb(FolderReference::standardizedPath(path));
    return thumb && thumb->preview;
}

void OrdersGalleryModel::marksChanged()
{
    if (!m_rows.isEmpty()) Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {SelectedRole, DeliveredRole});
}

void OrdersGalleryModel::setEditingFile(const std::optional<QString>& path)
{
    const std::optional<QString> standardized = path ? std::optional(FolderReference::standardizedPath(*path)) : std::nullopt;
    if (standardized == m_editing) return;
    QList<int> touched;
    if (m_editing) touched += m_rowsByPath.value(*m_editing);
    if (standardized) touched += m_rowsByPath.value(*standardized);
    m_editing = standardized;
    for (int row : touched) Q_EMIT dataChanged(index(row), index(row), {EditingRole});
}

void OrdersGalleryModel::fileEdited(const QString& standardizedPath)
{
    m_thumbs.remove(standardizedPath);
    for (int row : m_rowsByPath.value(standardizedPath)) Q_EMIT dataChanged(index(row), index(row), {ThumbnailRole, RevisionRole});
}

// ---------------------------------------------------------------------------------------------

OrdersGalleryDelegate::OrdersGalleryDelegate(QListView* view) : QStyledItemDelegate(view), m_view(view) {}

int OrdersGalleryDelegate::fullWidth() const
{
    // Full-width rows leave room for the spacing on both sides, so that they never wrap alone.
    return std::max(cardSize.width(), m_view->viewport()->width() - 2 * m_view->spacing() - 2);
}

QSize OrdersGalleryDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    switch (Kind(index.data(OrdersGalleryModel::KindRole).toInt())) {
    case Kind::sectionHeader: return {fullWidth(), headerHeight};
    case Kind::separator: return {fullWidth(), 24};
    case Kind::empty: return {fullWidth(), 48};
    case Kind::media: break;
    }
    return m_layout == OrdersGalleryLayout::list ? QSize(fullWidth(), rowHeight) : cardSize;
}

void OrdersGalleryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QPalette& palette = option.palette;
    const QRect rect = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    switch (Kind(index.data(OrdersGalleryModel::KindRole).toInt())) {
    case Kind::sectionHeader: break; // the header widget covers it
    case Kind::separator: {
        // A thin rule with its label in the middle: the numbers jump here.
        const QString label = index.data(Qt::DisplayRole).toString();
        QFont font = option.font;
        font.setPointSizeF(font.pointSizeF() * 0.9);
        painter->setFont(font);
        const int textWidth = QFontMetrics(font).horizontalAdvance(label) + 2 * Theme::spacing;
        const int y = rect.center().y();
        painter->setPen(QPen(Theme::divider(palette), 1));
        const int middle = rect.center().x();
        painter->drawLine(rect.left() + Theme::spacing, y, middle - textWidth / 2, y);
        painter->drawLine(middle + textWidth / 2, y, rect.right() - Theme::spacing, y);
        painter->setPen(Theme::secondaryText(palette));
        painter->drawText(rect, Qt::AlignCenter, label);
        break;
    }
    case Kind::empty:
        painter->setPen(Theme::secondaryText(palette));
        painter->drawText(rect.adjusted(Theme::spacing, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
        break;
    case Kind::media:
        if (m_layout == OrdersGalleryLayout::list) paintRow(painter, rect, index, palette);
        else paintCard(painter, rect, index, palette);
        break;
    }
    painter->restore();
}

namespace {

void paintThumbnail(QPainter* painter, const QRect& area, const QModelIndex& index, const QPalette& palette)
{
    const QImage image = index.data(OrdersGalleryModel::ThumbnailRole).value<QImage>();
    const bool isVideo = index.data(OrdersGalleryModel::IsVideoRole).toBool();
    if (image.isNull()) {
        // The cell's place, at its final size, until the thumbnail comes; a file that cannot be
        // read says so where there is room.
        painter->fillRect(area, Theme::capsuleFill(palette));
        if (area.height() >= 80 && index.data(OrdersGalleryModel::UnreadableRole).toBool()) {
            painter->setPen(Theme::secondaryText(palette));
            painter->drawText(area, Qt::AlignCenter | Qt::TextWordWrap, OrdersGalleryModel::unreadableText());
        }
    } else {
        const QSize size = image.size().scaled(area.size(), Qt::KeepAspectRatio);
        const QRect target(area.center().x() - size.width() / 2 + 1, area.center().y() - size.height() / 2 + 1, size.width(),
                           size.height());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, image);
    }
    if (isVideo) {
        // A play mark tells a video from a photo at a glance.
        const int side = std::min(28, area.height() / 3);
        const QRectF badge(area.left() + 6, area.bottom() - side - 5, side, side);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 0, 0, 150));
        painter->drawEllipse(badge);
        QPainterPath triangle;
        const QPointF c = badge.center();
        triangle.moveTo(c + QPointF(-side * 0.15, -side * 0.22));
        triangle.lineTo(c + QPointF(side * 0.25, 0));
        triangle.lineTo(c + QPointF(-side * 0.15, side * 0.22));
        triangle.closeSubpath();
        painter->setBrush(Qt::white);
        painter->drawPath(triangle);
    }
}

} // namespace

void OrdersGalleryDelegate::paintDelivered(QPainter* painter, const QRect& rect, const QPalette&) const
{
    const QIcon mark = Symbols::icon(QStringLiteral("checkmark.circle.fill"), Theme::green(Theme::isDark()));
    mark.paint(painter, rect);
}

void OrdersGalleryDelegate::paintCard(QPainter* painter, const QRect& rect, const QModelIndex& index, const QPalette& palette) const
{
    const bool selected = index.data(OrdersGalleryModel::SelectedRole).toBool();
    const QRectF card = QRectF(rect).adjusted(2, 2, -2, -2);
    painter->setPen(Qt::NoPen);
    painter->setBrush(selected ? palette.color(QPalette::Highlight).lighter(Theme::isDark() ? 60 : 170) : Theme::capsuleFill(palette));
    painter->drawRoundedRect(card, 8, 8);
    if (selected) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 3));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(card.adjusted(1.5, 1.5, -1.5, -1.5), 7, 7);
    }
    const QRect image = rect.adjusted(10, 10, -10, -42);
    paintThumbnail(painter, image, index, palette);
    const QRect name(rect.left() + 10, rect.bottom() - 36, rect.width() - 20, 28);
    const bool delivered = index.data(OrdersGalleryModel::DeliveredRole).toBool();
    painter->setPen(palette.color(QPalette::Text));
    const QRect text = delivered ? name.adjusted(0, 0, -22, 0) : name;
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
    if (delivered) paintDelivered(painter, QRect(name.right() - 18, name.center().y() - 9, 18, 18), palette);
    if (index.data(OrdersGalleryModel::EditingRole).toBool()) paintEditing(painter, card);
}

// The photo open in the crop editor: an orange ring and a crop badge, apart from the selection's
// accent, so the photographer sees which photo the editor beside the gallery shows.
void OrdersGalleryDelegate::paintEditing(QPainter* painter, const QRectF& rect) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor orange = Theme::orange(Theme::isDark());
    painter->setPen(QPen(orange, 3));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(rect.adjusted(1.5, 1.5, -1.5, -1.5), 7, 7);
    const QRectF badge(rect.right() - 30, rect.top() + 6, 24, 24);
    painter->setPen(Qt::NoPen);
    painter->setBrush(orange);
    painter->drawEllipse(badge);
    Symbols::icon(QStringLiteral("crop"), Qt::white).paint(painter, badge.adjusted(5, 5, -5, -5).toAlignedRect());
    painter->restore();
}

void OrdersGalleryDelegate::paintRow(QPainter* painter, const QRect& rect, const QModelIndex& index, const QPalette& palette) const
{
    const bool selected = index.data(OrdersGalleryModel::SelectedRole).toBool();
    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette.color(QPalette::Highlight));
        painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 6, 6);
    }
    const QRect image(rect.left() + 6, rect.top() + 4, (rect.height() - 8) * 3 / 2, rect.height() - 8);
    paintThumbnail(painter, image, index, palette);
    const bool delivered = index.data(OrdersGalleryModel::DeliveredRole).toBool();
    QRect text(image.right() + Theme::spacing * 2, rect.top(), rect.right() - image.right() - Theme::spacing * 3, rect.height());
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    if (delivered) {
        const QString hint = OrdersScreen::deliveredHelp(true);
        const int hintWidth = painter->fontMetrics().horizontalAdvance(hint);
        paintDelivered(painter, QRect(text.right() - hintWidth - 24, rect.center().y() - 9, 18, 18), palette);
        painter->drawText(QRect(text.right() - hintWidth, rect.top(), hintWidth, rect.height()), Qt::AlignVCenter, hint);
        text.setRight(text.right() - hintWidth - 32);
    }
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
    if (index.data(OrdersGalleryModel::EditingRole).toBool()) paintEditing(painter, QRectF(rect).adjusted(1, 1, -1, -1));
}

// ---------------------------------------------------------------------------------------------

OrdersGallery::OrdersGallery(QWidget* parent)
    : QListView(parent), m_scrolled(new QTimer(this)), m_delegate(new OrdersGalleryDelegate(this))
{
    // Once scrolling rests, the thumbnails of cells left far behind stop being made: the ones now
    // in sight come first.
    m_scrolled->setSingleShot(true);
    m_scrolled->setInterval(150);
    connect(m_scrolled, &QTimer::timeout, this, &OrdersGallery::cancelFarThumbnails);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_scrolled, qOverload<>(&QTimer::start));
    setObjectName(QStringLiteral("ordersGallery"));
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setUniformItemSizes(false);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setSpacing(Theme::smallSpacing);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(false);
    setFrameShape(QFrame::NoFrame);
    setGalleryLayout(OrdersGalleryLayout::sections);
}

void OrdersGallery::setGalleryLayout(OrdersGalleryLayout layout)
{
    m_delegate->setLayout(layout);
    // Cards flow in rows and wrap; full-width rows (headers, separators) start a new line.
    setViewMode(layout == OrdersGalleryLayout::list ? QListView::ListMode : QListView::IconMode);
    setFlow(layout == OrdersGalleryLayout::list ? QListView::TopToBottom : QListView::LeftToRight);
    setWrapping(layout != OrdersGalleryLayout::list);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setSpacing(Theme::smallSpacing);
    scheduleDelayedItemsLayout();
}

int OrdersGallery::mediaRowAt(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || Kind(index.data(OrdersGalleryModel::KindRole).toInt()) != Kind::media) return -1;
    return index.row();
}

void OrdersGallery::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const int row = mediaRowAt(event->position().toPoint());
    if (row >= 0 && event->button() == Qt::LeftButton) Q_EMIT mediaClicked(row, event->modifiers());
    event->accept();
}

void OrdersGallery::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int row = mediaRowAt(event->position().toPoint());
    if (row >= 0 && event->button() == Qt::LeftButton) Q_EMIT mediaDoubleClicked(row);
    event->accept();
}

// No rubber band, no drag: the selection is made by clicks only.
void OrdersGallery::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

void OrdersGallery::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = mediaRowAt(event->pos());
    if (row >= 0) Q_EMIT mediaContextMenu(row, event->globalPos());
    event->accept();
}

void OrdersGallery::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::SelectAll)) {
        Q_EMIT selectAllRequested();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void OrdersGallery::cancelFarThumbnails()
{
    auto* gallery = qobject_cast<OrdersGalleryModel*>(model());
    if (!gallery) return;
    // Two screens above and below stay: a photographer scrolling back finds them made.
    const QRect kept = viewport()->rect().adjusted(0, -2 * viewport()->height(), 0, 2 * viewport()->height());
    gallery->cancelThumbnailsOutside([&](int row) { return visualRect(gallery->index(row)).intersects(kept); });
}

void OrdersGallery::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    // Full-width rows follow the new width.
    scheduleDelayedItemsLayout();
}

} // namespace tavrin
