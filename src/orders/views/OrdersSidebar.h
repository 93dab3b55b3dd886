#pragma once

// The left column of the orders screen: the root folder, the order search and list, the retouch
// popover, the watermark list, and what acts on the selected files (summary, open with, hand-over,
// print).

#include "orders/OrdersStore.h"

#include <QFrame>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QScrollArea;
class QVBoxLayout;

namespace tavrin {

class CapsuleButton;
class CapsuleMenu;
class RetouchPanel;

// One watermark of the list: its 72-pixel image and name; a click uses it, the trash removes it.
class WatermarkChoiceRow : public QFrame {
    Q_OBJECT
public:
    static constexpr int thumbnailPixels = 72;
    WatermarkChoiceRow(const QString& name, const std::optional<QString>& file, bool isSelected, QWidget* parent = nullptr);

    CapsuleButton* selectButton() const { return m_select; }
    CapsuleButton* removeButton() const { return m_remove; }
    QLabel* thumbnail() const { return m_thumbnail; }
    bool isSelected() const { return m_selected; }
    // The thumbnail as shown: the image fitted and centred on a grey checkerboard.
    static QPixmap onCheckerboard(const QImage& image, int side);

Q_SIGNALS:
    void selectRequested();
    void removeRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* m_thumbnail;
    CapsuleButton* m_select;
    CapsuleButton* m_remove;
    bool m_selected;
};

class OrdersSidebar : public QWidget {
    Q_OBJECT
public:
    explicit OrdersSidebar(OrdersStore& store, QWidget* parent = nullptr);

    // Provided by the screen: the selected files, in gallery order.
    std::function<QStringList()> selectedFiles;
    // The print menu for files, offered while canPrint says printing is plugged in.
    std::function<QMenu*(const QStringList& files, QWidget* parent)> printMenu;
    std::function<bool()> canPrint;
    // A line under an order's name (its total and payment), when given.
    std::function<QString(const OrderFolder& folder)> orderNote;

    // A widget on its own line under the root's button (the showcase's); the sidebar owns it.
    void addBelowRoot(QWidget* widget);

    void refreshOrders();
    void refreshWatermarks();
    void refreshSelection();
    void refreshRetouch();

    CapsuleButton* rootButton() const { return m_rootButton; }
    QLineEdit* search() const { return m_search; }
    CapsuleButton* clearSearch() const { return m_clearSearch; }
    QListWidget* orderList() const { return m_orders; }
    QLabel* orderListEmpty() const { return m_ordersEmpty; }
    CapsuleButton* retouchButton() const { return m_retouchButton; }
    RetouchPanel* retouchPanel() const { return m_retouchPanel; }
    QWidget* retouchPopover() const { return m_retouchPopover; }
    QScrollArea* retouchScroll() const { return m_retouchScroll; }
    QLabel* retouchStatus() const { return m_retouchStatus; }
    QList<WatermarkChoiceRow*> watermarkRows() const { return m_watermarkRows; }
    QLabel* watermarksEmpty() const { return m_watermarksEmpty; }
    CapsuleButton* addWatermarkButton() const { return m_addWatermark; }
    QLabel* selectionSummary() const { return m_selectionSummary; }
    CapsuleMenu* openWithButton() const { return m_openWith; }
    QLabel* openWithHint() const { return m_openWithHint; }
    CapsuleButton* handOverButton() const { return m_handOver; }
    CapsuleButton* printButton() const { return m_print; }

    // Fills the open-with menu for the selection (done when it opens).
    void fillOpenWithMenu();
    void openRetouchPopover();
    void handOverSelection();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString itemText(const OrderFolder& folder) const;
    QStringList selection() const { return selectedFiles ? selectedFiles() : QStringList(); }

    OrdersStore& m_store;
    CapsuleButton* m_rootButton;
    QLabel* m_rootName;
    QLineEdit* m_search;
    CapsuleButton* m_clearSearch;
    QListWidget* m_orders;
    QLabel* m_ordersEmpty;
    CapsuleButton* m_retouchButton;
    QFrame* m_retouchPopover;
    QScrollArea* m_retouchScroll;
    RetouchPanel* m_retouchPanel;
    QLabel* m_retouchStatus;
    QVBoxLayout* m_watermarkList;
    QList<WatermarkChoiceRow*> m_watermarkRows;
    QLabel* m_watermarksEmpty;
    CapsuleButton* m_addWatermark;
    QLabel* m_selectionSummary;
    CapsuleMenu* m_openWith;
    QLabel* m_openWithHint;
    CapsuleButton* m_handOver;
    CapsuleButton* m_print;
    bool m_fillingOrders = false;
};

} // namespace tavrin
