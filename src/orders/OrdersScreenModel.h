#pragma once

// The logic of the orders screen without any widget: gallery items with their "Saut de numéros"
// separators, the summary texts, the order search and the click selection. The view draws what
// these give.

#include "orders/OrdersStore.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace tavrin {

// A media file of the gallery, or a separator between two photos whose numbers jump.
struct OrderGalleryItem {
    std::optional<OrderMedia> media;
    QString separatorID; // set for a separator only
    bool isSeparator() const { return !media.has_value(); }
    bool operator==(const OrderGalleryItem&) const = default;
};

namespace OrdersScreen {

// The label of a separator.
QString separatorLabel();
// A jump of this many numbers or more between two photos shows a separator.
constexpr qint64 separatorGap = 6;

QList<OrderGalleryItem> galleryItems(const OrderSection& section);
// "2 types · 5 fichiers"; "Aucun contenu exploitable" when there is nothing.
QString summaryLine(const QList<OrderSection>& sections);
QString selectionSummary(qsizetype count);
// The orders whose name contains the trimmed query, ignoring case and accents.
QList<OrderFolder> filteredFolders(const QList<OrderFolder>& folders, const QString& query);
QList<OrderMedia> allFiles(const QList<OrderSection>& sections);

} // namespace OrdersScreen

// The selected files of the gallery (screen state, never saved).
class OrdersSelection {
public:
    enum class Outcome { selectionChanged, openCrop };
    struct Modifiers {
        bool shift = false;
        bool command = false;
    };

    // A click on `media` among `allFiles` (gallery order).
    Outcome handleClick(const QList<OrderMedia>& allFiles, const OrderMedia& media, Modifiers modifiers,
                        bool cropEditorOpen = false);
    void selectRange(const QList<OrderMedia>& allFiles, const QString& anchor, const OrderMedia& media);
    void selectAll(const QList<OrderMedia>& allFiles);
    // The selected files still listed, in gallery order.
    QList<OrderMedia> selectedMedia(const QList<OrderMedia>& allFiles) const;

    const QSet<QString>& selectedIDs() const { return m_selectedIDs; }
    const std::optional<QString>& lastClickedID() const { return m_lastClickedID; }

private:
    QSet<QString> m_selectedIDs;
    std::optional<QString> m_lastClickedID;
};

} // namespace tavrin
