#pragma once

// The logic of the orders screen without any widget: gallery items with their "Saut de numéros"
// separators, the summary texts, the order search and the click selection. The view draws what
// these give.

#include "orders/OrdersStore.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

// How the gallery shows the selected order: one block per type section, or every file as rows
// or cards.
enum class OrdersGalleryLayout { sections, list, grid };

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

// The user-defaults key of the layout, its raw values, and the layout of a raw value ("sections"
// for anything unknown).
QString galleryLayoutKey();
QString rawValue(OrdersGalleryLayout layout);
OrdersGalleryLayout galleryLayout(const QString& raw);

// One row of the gallery view: a section's header, a separator, a file, or the line saying that
// a section (or the whole layout) has no file.
struct GalleryRow {
    enum class Kind { sectionHeader, separator, media, empty };
    Kind kind = Kind::media;
    int section = -1; // the section of a header, a separator, a file or an empty line; -1 for none
    std::optional<OrderMedia> media;
    QString text;     // header: the section's name; separator: its label; empty: the message
    bool operator==(const GalleryRow&) const = default;
};
QList<GalleryRow> galleryRows(const QList<OrderSection>& sections, OrdersGalleryLayout layout);
QString noMediaText();

// What the detail area shows.
enum class Detail { noRoot, noOrderSelected, noSections, gallery };
Detail detail(const OrdersStore& store);
// The message of the order list when it shows no order; none when it lists some.
std::optional<QString> orderListEmptyText(const std::optional<QString>& rootName, const QList<OrderFolder>& folders,
                                          const QString& query);

QStringList paths(const QList<OrderMedia>& files);
// The files a double click opens: the selection when the clicked file is in it, else that file.
QStringList doubleClickTargets(const QList<OrderMedia>& selected, const OrderMedia& clicked);

// The help of the delivered mark, in full or in its compact form.
QString deliveredHelp(bool compact = false);
// Batches of more photos than this show a progress bar with a cancel button.
constexpr int quietBatchLimit = 3;
bool showsBatchProgress(int total);

// The actions of a file's context menu and of a section's header, with their state; the view
// only turns them into menu entries and buttons. Crop and print exist only once the screens
// that do them are plugged in.
struct Action {
    enum class Kind { crop, retouch, watermark, print, undo, handOver, openWith, chooseApplication };
    Kind kind;
    QString text;
    bool enabled = true;
    QString help; // shown while disabled
    bool operator==(const Action&) const = default;
};
struct ActionContext {
    bool retouchNeutral = true;
    bool batchRunning = false;
    bool watermarkSelected = false;
    bool canUndo = false; // the file has an untouched copy
    bool canCrop = false;
    bool canPrint = false;
};
QList<Action> mediaActions(const OrderMedia& media, const ActionContext& context);
QList<Action> sectionActions(const ActionContext& context);
ActionContext actionContext(const OrdersStore& store);

// Remembers `appPath` for the type of every file that has one; true when the store changed.
bool rememberOpenWith(OrdersStore& store, const QString& appPath, const QStringList& files);

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
