#pragma once

// The browser's favourite sites, kept in "programme-favorites.json" and seeded with the timing
// providers' home pages. Seeding is versioned so that a site added to the built-in list later
// reaches users who already have favourites, without bringing back one they removed since.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

namespace tavrin {

struct ProgrammeFavorite {
    QUuid id;
    QString title;
    QString url;

    bool operator==(const ProgrammeFavorite&) const = default;
};

QJsonObject toJson(const ProgrammeFavorite& favorite);
// Strict: a missing key or a wrong type throws DecodingError.
ProgrammeFavorite programmeFavoriteFromJson(const QJsonObject& o);

namespace ProgrammeFavorites {

constexpr int kSeedVersion = 2;

// "CSo Timing", "Horse Timing", "OChrono", "WinJump Results", in that order.
const QList<ProgrammeFavorite>& builtIns();

// Trimmed, without one trailing "/", lower-cased: the form in which favourites are compared.
QString normalizedURL(QStringView url);

// The stored favourites, seeded with the built-in sites missing from a file of an older seed; the
// built-in list when there is no readable file.
QList<ProgrammeFavorite> load();
void save(const QList<ProgrammeFavorite>& items);

} // namespace ProgrammeFavorites
} // namespace tavrin
