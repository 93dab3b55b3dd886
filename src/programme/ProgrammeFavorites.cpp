#include "programme/ProgrammeFavorites.h"

#include "base/AppSupport.h"
#include "base/JsonFile.h"
#include "base/TavrinJSON.h"

#include <QSet>

namespace tavrin {

using namespace TavrinJSON;

namespace {

const QLatin1StringView kId("id"), kTitle("title"), kUrl("url"), kSeedVersionKey("seedVersion"), kItems("items");

struct FavoritesFile {
    std::optional<qint64> seedVersion;
    QList<ProgrammeFavorite> items;
};

FavoritesFile decodeFavorites(const QByteArray& bytes)
{
    const QJsonObject o = decodeObject(bytes);
    return {optionalInt(o, kSeedVersionKey), requireList<ProgrammeFavorite>(o, kItems, programmeFavoriteFromJson)};
}

JsonFile favoritesFile() { return JsonFile(AppSupport::fileInFolder(QStringLiteral("programme-favorites.json"))); }

} // namespace

QJsonObject toJson(const ProgrammeFavorite& f)
{
    return {{kId, uuidString(f.id)}, {kTitle, f.title}, {kUrl, f.url}};
}

ProgrammeFavorite programmeFavoriteFromJson(const QJsonObject& o)
{
    return {requireUUID(o, kId), requireString(o, kTitle), requireString(o, kUrl)};
}

namespace ProgrammeFavorites {

const QList<ProgrammeFavorite>& builtIns()
{
    static const QList<ProgrammeFavorite> list{
        {QUuid(QStringLiteral("A1B2C3D4-E5F6-7890-ABCD-EF1234567890")), QStringLiteral("CSo Timing"),
         QStringLiteral("https://www.csotiming.com/")},
        {QUuid(QStringLiteral("B2C3D4E5-F617-8901-BCDE-F12345678901")), QStringLiteral("Horse Timing"),
         QStringLiteral("https://www.horsetiming.fr/")},
        {QUuid(QStringLiteral("C3D4E5F6-1718-9012-CDEF-123456789012")), QStringLiteral("OChrono"),
         QStringLiteral("https://www.ochrono.fr/")},
        {QUuid(QStringLiteral("D4E5F617-1890-1234-DEF0-234567890123")), QStringLiteral("WinJump Results"),
         QStringLiteral("https://results.winjump.fr/")},
    };
    return list;
}

QString normalizedURL(QStringView url)
{
    QString text = url.trimmed().toString();
    if (text.endsWith(u'/')) text.chop(1);
    return text.toLower();
}

QList<ProgrammeFavorite> load()
{
    JsonFile file = favoritesFile();
    std::optional<FavoritesFile> stored = file.load<FavoritesFile>(decodeFavorites);
    if (!stored) return builtIns();
    if (stored->seedVersion.value_or(0) >= kSeedVersion) return stored->items;
    QSet<QString> known;
    for (const ProgrammeFavorite& f : std::as_const(stored->items)) known.insert(normalizedURL(f.url));
    for (const ProgrammeFavorite& f : builtIns())
        if (!known.contains(normalizedURL(f.url))) stored->items.push_back(f);
    save(stored->items);
    return stored->items;
}

void save(const QList<ProgrammeFavorite>& items)
{
    JsonFile file = favoritesFile();
    // Reading first lets an unreadable file be set aside rather than written over.
    file.load<FavoritesFile>(decodeFavorites);
    QJsonObject o{{kSeedVersionKey, kSeedVersion}, {kItems, toArray(items, [](const ProgrammeFavorite& f) { return toJson(f); })}};
    file.write(encode(o));
}

} // namespace ProgrammeFavorites
} // namespace tavrin
