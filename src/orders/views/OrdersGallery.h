#pragma once

// The gallery of the selected order: one list view over a flat model of section headers,
// separators and files, drawn by a delegate, so that an order of a thousand photos costs one
// widget. Thumbnails are asked for when a cell is first drawn and made off the main thread; the
// camera's embedded preview stands in until the real one comes.

#include "orders/OrdersScreenModel.h"

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QListView>
#include <QSet>
#include <QStyledItemDelegate>

#include <functional>

class QTimer;

namespace tavrin {

class OrdersGalleryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1, // OrdersScreen::GalleryRow::Kind as int
        PathRole,
        IsVideoRole,
        SelectedRole,
        DeliveredRole,
        RevisionRole,
        ThumbnailRole, // QImage, null until made (asking starts the making)
        EditingRole,   // the file is the one open in the crop editor
        PreviewRole,   // the thumbnail shown is the camera's preview, the real one is on its way
        UnreadableRole, // the file could not be read: no thumbnail will come
    };
    // Shown in the cell of a file that cannot be read.
    static QString unreadableText() { return QStringLiteral("Photo illisible"); }
    // The size the thumbnails are made at; cells draw them scaled down.
    static constexpr int thumbnailPixels = 480;
    // The longest side kept in the model's own cache: what a card shows.
    static constexpr int cellPixels = 220;

    OrdersGalleryModel(OrdersStore& store, const OrdersSelection& selection, QObject* parent = nullptr);

    void setRows(QList<OrdersScreen::GalleryRow> rows);
    const QList<OrdersScreen::GalleryRow>& rows() const { return m_rows; }
    QModelIndex indexOf(const QString& path) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Redraws the selection and delivered marks.
    void marksChanged();
    // The file open in the crop editor (none when it is closed), marked in its cell.
    void setEditingFile(const std::optional<QString>& path);
    const std::optional<QString>& editingFile() const { return m_editing; }
    // Forgets the file's thumbnail and redraws its cell (a new revision of the file).
    void fileEdited(const QString& standardizedPath);

    // Thumbnails asked for and not delivered yet.
    int pendingThumbnails() const { return int(m_pending.size() + m_queue.size()); }
    bool hasThumbnail(const QString& path) const;
    bool hasPreview(const QString& path) const;
    // Stops making the thumbnails of the cells `near` says are far from sight; they are asked for
    // again when drawn.
    void cancelThumbnailsOutside(const std::function<bool(int row)>& near);

Q_SIGNALS:
    // Every thumbnail asked for has arrived.
    void thumbnailsSettled();

private:
    struct Thumb {
        QImage image; // null when the file could not be read
        int revision = 0;
        bool preview = false;
    };
    void requestThumbnail(const QString& path, bool isVideo) const;
    void flushRequests();
    void delivered(const QString& path, int revision, const QImage& image, bool preview = false);
    const Thumb* currentThumb(const QString& path) const;

    OrdersStore& m_store;
    const OrdersSelection& m_selection;
    QList<OrdersScreen::GalleryRow> m_rows;
    QHash<QString, QList<int>> m_rowsByPath; // standardized path → rows
    mutable QCache<QString, Thumb> m_thumbs; // cost in kilobytes
    mutable QSet<QString> m_pending;         // path + '\n' + revision
    mutable QList<std::pair<QString, bool>> m_queue;
    QTimer* m_flush;
    std::optional<QString> m_editing; // standardized
};

class OrdersGalleryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit OrdersGalleryDelegate(QListView* view);

    void setLayout(OrdersGalleryLayout layout) { m_layout = layout; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr QSize cardSize{216, 200};
    static constexpr int rowHeight = 64;
    static constexpr int headerHeight = 44;

private:
    int fullWidth() const;
    void paintCard(QPainter* painter, const QRect& rect, const QModelIndex& index, const QPalette& palette) const;
    void paintRow(QPainter* painter, const QRect& rect, const QModelIndex& index, const QPalette& palette) const;
    void paintDelivered(QPainter* painter, const QRect& rect, const QPalette& palette) const;
    void paintEditing(QPainter* painter, const QRectF& rect) const;

    QListView* m_view;
    OrdersGalleryLayout m_layout = OrdersGalleryLayout::sections;
};

// The list view: clicks with their modifiers, double clicks and context menus on files are
// reported by row; the selection itself is the screen's, never the view's.
class OrdersGallery : public QListView {
    Q_OBJECT
public:
    explicit OrdersGallery(QWidget* parent = nullptr);

    void setGalleryLayout(OrdersGalleryLayout layout);
    OrdersGalleryDelegate* galleryDelegate() const { return m_delegate; }

Q_SIGNALS:
    void mediaClicked(int row, Qt::KeyboardModifiers modifiers);
    void mediaDoubleClicked(int row);
    void mediaContextMenu(int row, const QPoint& globalPos);
    void selectAllRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void cancelFarThumbnails();
    QTimer* m_scrolled;

    int mediaRowAt(const QPoint& pos) const;
    OrdersGalleryDelegate* m_delegate;
};

} // namespace tavrin
