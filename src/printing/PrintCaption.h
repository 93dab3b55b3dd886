#pragma once

// The caption printed with each photo so that a rider finds his own among the prints
// (« BERTIN Camille · Quaprice du Bois · Grand Prix 1,40 m · Samedi 12 décembre »): its style,
// chosen once and remembered, where it goes on the print, and its text, read from the order and
// from the class the photo was organised in.

#include "programme/ProgrammeDocument.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>

namespace tavrin {

struct LibrarySnapshot;
class WorkspaceStore;

enum class CaptionPosition { under, over };

struct CaptionStyle {
    bool shown = false;
    CaptionPosition position = CaptionPosition::under;
    // The text's height in points before it is made smaller to fit.
    double points = 9;

    bool operator==(const CaptionStyle&) const = default;
};

namespace PrintCaption {

inline const QString captionKey = QStringLiteral("tavrin.printCaption");
inline constexpr double minimumPoints = 5, maximumPoints = 24;

// The style chosen last (none before any choice), and remembering a new one.
CaptionStyle remembered();
void remember(const CaptionStyle& style);

// Where a photo and its caption go in a print's cell, in the photo's own upright frame. The
// photo keeps the place it has without a caption; the caption goes in the white beside it when
// there is room, else on the photo's edge, never reaching its centre third.
struct Placement {
    QRectF photo;
    QRectF band;
    bool onPhoto = false;
    // The text's height, smaller than the style's when the photo's edge is narrow.
    double points = 0;
};
Placement place(QSizeF shown, const QRectF& cell, const CaptionStyle& style);

// The class a photo was organised for: its destination folder (riders' folders inside), title,
// day and riders.
struct ClassInfo {
    QString folder;
    QString title;
    QString day;
    QList<ImportedPerson> people;
};
// What captions are read from: the classes of the spreadsheet workspace.
struct Sources {
    QList<ClassInfo> classes;
};
Sources sourcesOf(const WorkspaceStore& workspace, const LibrarySnapshot& library);
// The window hands its own stores' view here; without it the data folder's stores are read.
void setSourcesProvider(std::function<Sources()> provider);
Sources currentSources();

// The caption of a photo: its rider (from the order's "commande.txt" or its rider folder), the
// horse, the class and the day, those that are known, joined by « · ». Reads the disk.
QString textFor(const QString& photo, const Sources& sources);
QHash<QString, QString> textsFor(const QStringList& photos, const Sources& sources);

} // namespace PrintCaption

} // namespace tavrin
