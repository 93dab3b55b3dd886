#pragma once

// The "Commandes" section of the window: the left column and the selected order's gallery, with
// the batch actions, their progress and the file menus. The logic lives in OrdersScreenModel;
// this binds it to widgets. Nothing is listed or decoded before the screen is first shown.

#include "orders/OrdersScreenModel.h"
#include "orders/views/OrdersSectionHeader.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;

namespace tavrin {

class CapsuleButton;
class EmptyState;
class FusedGroup;
class OrdersGallery;
class OrdersGalleryModel;
class OrdersSidebar;

class OrdersView : public QWidget {
    Q_OBJECT
public:
    explicit OrdersView(OrdersStore& store, QWidget* parent = nullptr);
    ~OrdersView() override;

    // Plugged in by the crop editor and printing; their menu entries and buttons exist only
    // while these are set. They are read each time a menu or header is made, so they can be set
    // at any time (call hooksChanged() to update what is already on screen).
    std::function<void(const QString& file)> openCrop;
    std::function<bool()> isCropEditorOpen;
    std::function<QMenu*(const QStringList& files, QWidget* parent)> printMenu;
    // Plugged in by the window before the screen is first shown: a widget under the root's button
    // (the showcase's).
    std::function<QWidget*(QWidget* parent)> belowRoot;
    // Also before the first show: a line under each order's name in the list (what it costs and
    // whether it was paid) and a widget on its own line under the selected order's title bar.
    std::function<QString(const OrderFolder& folder)> orderNote;
    std::function<QWidget*(QWidget* parent)> belowTitle;
    // What orderNote says changed: the list is written again.
    void orderNotesChanged();
    // After "Annuler les modifications" brought a file back to the camera's.
    std::function<void(const QString& file)> fileRestored;
    void hooksChanged();
    // Shows a widget (the crop editor) to the right of the gallery; nullptr hides it. The view
    // does not take ownership of a widget it stops showing.
    void setBesideGallery(QWidget* widget);
    QWidget* besideGallery() const { return m_beside; }

    OrdersStore& store() const { return m_store; }
    OrdersGalleryLayout galleryLayout() const { return m_layout; }
    void setGalleryLayout(OrdersGalleryLayout layout);
    const OrdersSelection& selection() const { return m_selection; }
    QList<OrderMedia> selectedMedia() const;
    void selectAll();
    // The gallery's click rules (modifiers as the mouse had them).
    void clickMedia(const OrderMedia& media, Qt::KeyboardModifiers modifiers);
    void doubleClickMedia(const OrderMedia& media);
    // A right click: the file becomes the selection unless it is already part of it.
    void selectForContextMenu(const OrderMedia& media);
    // The photo open in the crop editor, highlighted in the gallery; none when it is closed.
    void setEditingFile(const std::optional<QString>& file);
    // The context menu of a file; the caller owns it.
    QMenu* makeContextMenu(const OrderMedia& media, QWidget* parent = nullptr);

    bool isBuilt() const { return m_built; }
    OrdersSidebar* sidebar() const { return m_sidebar; }
    OrdersGallery* gallery() const { return m_gallery; }
    OrdersGalleryModel* galleryModel() const { return m_model; }
    FusedGroup* layoutPicker() const { return m_layoutPicker; }
    QStackedWidget* detailPages() const { return m_pages; }
    QLabel* summaryLabel() const { return m_summary; }
    QLabel* errorLabel() const { return m_error; }
    QWidget* batchBar() const { return m_batchBar; }
    QProgressBar* batchProgress() const { return m_batchProgress; }
    CapsuleButton* cancelBatchButton() const { return m_cancelBatch; }
    QList<OrdersSectionHeader*> sectionHeaders() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QWidget* buildGalleryPage();
    void refreshAll();
    void refreshDetail();
    void refreshGallery();
    void refreshActions();
    void refreshError();
    void refreshSelection();
    QList<OrderMedia> allFiles() const;
    OrdersScreen::ActionContext actionContext() const;
    // The batch actions over files (a section, or the whole order in the list and grid layouts).
    void runAction(OrdersScreen::Action::Kind kind, const QStringList& files, QWidget* anchor);
    void undoEdits(const QString& file);
    void handOver(const QStringList& files);
    void addOpenWith(QMenu* menu, const QStringList& files);
    void showLocalError(const QString& message);

    OrdersStore& m_store;
    OrdersSelection m_selection;
    std::optional<OrdersSelection> m_beforeClick;
    QElapsedTimer m_clickClock;
    QString m_lastClicked;
    OrdersGalleryLayout m_layout = OrdersGalleryLayout::sections;
    bool m_built = false;
    QString m_localError;
    OrdersSidebar* m_sidebar = nullptr;
    QStackedWidget* m_pages = nullptr;
    EmptyState* m_noRoot = nullptr;
    QLabel* m_noOrder = nullptr;
    QLabel* m_noSections = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_watermarkHint = nullptr;
    QLabel* m_error = nullptr;
    FusedGroup* m_layoutPicker = nullptr;
    CapsuleButton* m_selectAll = nullptr;
    QWidget* m_orderActions = nullptr; // the section actions over the whole order (list, grid)
    OrdersSectionHeader* m_orderActionsBar = nullptr;
    QWidget* m_batchBar = nullptr;
    QProgressBar* m_batchProgress = nullptr;
    CapsuleButton* m_cancelBatch = nullptr;
    QSplitter* m_splitter = nullptr;
    OrdersGallery* m_gallery = nullptr;
    OrdersGalleryModel* m_model = nullptr;
    QPointer<QWidget> m_beside; // not ours: its owner may delete it
    // What the gallery shows, to tell a new order from a reload of the same one.
    std::optional<QString> m_shownOrder;
    std::optional<QString> m_editingFile;
    OrdersGalleryLayout m_shownLayout = OrdersGalleryLayout::sections;
};

} // namespace tavrin
