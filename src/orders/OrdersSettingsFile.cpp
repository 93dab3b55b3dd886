// Orders/settings.json: the root, the selection, the watermarks, the retouch settings, the
// applications chosen per file type and the delivered files; read at start, taken in when
// another program writes it, and written under the data-folder lock.
#include "orders/OrdersStore.h"

#include "base/TavrinJSON.h"

#include <QJsonArray>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace tavrin {

QJsonObject toJson(const OrderWatermark& watermark)
{
    return {{QStringLiteral("id"), watermark.id},
            {QStringLiteral("name"), watermark.name},
            {QStringLiteral("bookmark"), TavrinJSON::dataValue(watermark.bookmark)}};
}

OrderWatermark orderWatermarkFromJson(const QJsonObject& object)
{
    OrderWatermark watermark;
    watermark.id = TavrinJSON::requireString(object, QLatin1StringView("id"));
    watermark.name = TavrinJSON::requireString(object, QLatin1StringView("name"));
    const std::optional<QByteArray> data = TavrinJSON::optionalData(object, QLatin1StringView("bookmark"));
    if (!data) throw DecodingError(QStringLiteral("Filigrane sans accès enregistré."));
    watermark.bookmark = *data;
    return watermark;
}

namespace {

// The keys the orders read themselves; any other object in the file is another room's annex.
bool isOrdersKey(const QString& key)
{
    static const QSet<QString> keys{
        QStringLiteral("rootBookmark"), QStringLiteral("rootName"),     QStringLiteral("selectedFolderPath"),
        QStringLiteral("watermarks"),   QStringLiteral("selectedWatermarkID"), QStringLiteral("watermarkBookmark"),
        QStringLiteral("watermarkName"), QStringLiteral("retouch"),     QStringLiteral("openWithApps"),
        QStringLiteral("deliveredPaths")};
    return keys.contains(key);
}

QMap<QString, QJsonObject> annexesOf(const QJsonObject& file)
{
    QMap<QString, QJsonObject> out;
    for (auto it = file.begin(); it != file.end(); ++it)
        if (!isOrdersKey(it.key()) && it.value().isObject()) out.insert(it.key(), it.value().toObject());
    return out;
}

// Three-way merge of one annex: a member left as it was here takes their version.
QJsonObject mergedAnnex(const QJsonObject& ours, const QJsonObject& base, const QJsonObject& theirs)
{
    QJsonObject out = ours;
    QSet<QString> members;
    for (const QJsonObject* o : {&ours, &base, &theirs})
        for (auto it = o->begin(); it != o->end(); ++it) members.insert(it.key());
    for (const QString& m : members) {
        if (ours.value(m) != base.value(m)) continue;
        if (theirs.contains(m))
            out.insert(m, theirs.value(m));
        else
            out.remove(m);
    }
    return out;
}

} // namespace

QString OrdersStore::newWatermarkID() { return TavrinJSON::uuidString(QUuid::createUuid()); }

void OrdersStore::loadSettingsFile()
{
    if (const std::optional<QJsonObject> read = m_file.load()) {
        const QJsonObject& o = *read;
        // A key of the wrong type is ignored on its own; the rest of the file still counts.
        auto guarded = [](auto f) {
            try {
                f();
            } catch (const std::exception&) {
            }
        };
        guarded([&] { m_rootBookmark = TavrinJSON::optionalData(o, QLatin1StringView("rootBookmark")); });
        guarded([&] { m_rootName = TavrinJSON::optionalString(o, QLatin1StringView("rootName")); });
        guarded([&] { m_selectedFolderID = TavrinJSON::optionalString(o, QLatin1StringView("selectedFolderPath")); });
        guarded([&] {
            if (o.value(QLatin1StringView("watermarks")).isArray())
                m_watermarks = TavrinJSON::requireList<OrderWatermark>(o, QLatin1StringView("watermarks"),
                                                                       orderWatermarkFromJson);
        });
        if (!m_watermarks.isEmpty()) {
            std::optional<QString> stored;
            guarded([&] { stored = TavrinJSON::optionalString(o, QLatin1StringView("selectedWatermarkID")); });
            const bool listed = stored && std::any_of(m_watermarks.cbegin(), m_watermarks.cend(),
                                                      [&](const OrderWatermark& w) { return w.id == *stored; });
            m_selectedWatermarkID = listed ? *stored : m_watermarks.first().id;
        } else {
            std::optional<QByteArray> legacy;
            guarded([&] { legacy = TavrinJSON::optionalData(o, QLatin1StringView("watermarkBookmark")); });
            if (legacy) {
                std::optional<QString> name;
                guarded([&] { name = TavrinJSON::optionalString(o, QLatin1StringView("watermarkName")); });
                m_watermarks = {{newWatermarkID(), name.value_or(QStringLiteral("Filigrane")), *legacy}};
                m_selectedWatermarkID = m_watermarks.first().id;
            }
        }
        guarded([&] {
            if (o.value(QLatin1StringView("retouch")).isObject())
                m_retouch = photoRetouchSettingsFromJson(o.value(QLatin1StringView("retouch")).toObject());
        });
        const QJsonObject apps = o.value(QLatin1StringView("openWithApps")).toObject();
        for (auto it = apps.begin(); it != apps.end(); ++it)
            if (it.value().isString()) m_openWithApps.insert(it.key(), it.value().toString());
        for (const QJsonValue& path : o.value(QLatin1StringView("deliveredPaths")).toArray())
            if (path.isString()) m_deliveredPaths.insert(path.toString());
        m_annexes = annexesOf(o);
    }
}

void OrdersStore::followDiskChanges()
{
    m_file.follow(this, [this] { reloadIfChanged(); });
}

bool OrdersStore::reloadIfChanged()
{
    const auto taken = m_file.reload();
    if (!taken.changed) return false;
    // What this store held and the disk did not goes there now. Only after a change: the rest of
    // the file is each program's own, and two windows writing theirs back would never stop.
    if (taken.heldMore) persist();
    Q_EMIT deliveredChanged();
    return true;
}

bool OrdersStore::takeIn(const QJsonObject& base, const QJsonObject& theirs)
{
    const qsizetype before = m_deliveredPaths.size();
    for (const QJsonValue& path : theirs.value(QLatin1StringView("deliveredPaths")).toArray())
        if (path.isString()) m_deliveredPaths.insert(path.toString());
    // An application chosen here since the last read wins; otherwise the other program's choice.
    const QJsonObject baseApps = base.value(QLatin1StringView("openWithApps")).toObject();
    const QJsonObject apps = theirs.value(QLatin1StringView("openWithApps")).toObject();
    for (auto it = apps.begin(); it != apps.end(); ++it) {
        if (!it.value().isString()) continue;
        const auto ours = m_openWithApps.constFind(it.key());
        if (ours == m_openWithApps.cend() || *ours == baseApps.value(it.key()).toString())
            m_openWithApps.insert(it.key(), it.value().toString());
    }
    const QMap<QString, QJsonObject> baseAnnexes = annexesOf(base);
    const QMap<QString, QJsonObject> theirAnnexes = annexesOf(theirs);
    QSet<QString> keys(baseAnnexes.keyBegin(), baseAnnexes.keyEnd());
    for (auto it = theirAnnexes.keyBegin(); it != theirAnnexes.keyEnd(); ++it) keys.insert(*it);
    bool annexesMoved = false;
    for (const QString& key : keys) {
        const QJsonObject merged = mergedAnnex(m_annexes.value(key), baseAnnexes.value(key), theirAnnexes.value(key));
        if (merged == m_annexes.value(key)) continue;
        annexesMoved = true;
        if (merged.isEmpty())
            m_annexes.remove(key);
        else
            m_annexes.insert(key, merged);
    }
    if (annexesMoved) Q_EMIT annexesChanged();
    return m_deliveredPaths.size() != before;
}

void OrdersStore::setAnnex(const QString& key, const QJsonObject& value)
{
    if (m_annexes.value(key) == value) return;
    if (value.isEmpty())
        m_annexes.remove(key);
    else
        m_annexes.insert(key, value);
    persist();
    Q_EMIT annexesChanged();
}

QByteArray OrdersStore::encoded() const
{
    QJsonObject o;
    if (m_rootBookmark) o.insert(QStringLiteral("rootBookmark"), TavrinJSON::dataValue(*m_rootBookmark));
    if (m_rootName) o.insert(QStringLiteral("rootName"), *m_rootName);
    if (m_selectedFolderID) o.insert(QStringLiteral("selectedFolderPath"), *m_selectedFolderID);
    o.insert(QStringLiteral("watermarks"), TavrinJSON::toArray(m_watermarks, [](const OrderWatermark& w) { return toJson(w); }));
    if (m_selectedWatermarkID) o.insert(QStringLiteral("selectedWatermarkID"), *m_selectedWatermarkID);
    o.insert(QStringLiteral("retouch"), toJson(m_retouch));
    QJsonObject apps;
    for (auto it = m_openWithApps.cbegin(); it != m_openWithApps.cend(); ++it) apps.insert(it.key(), it.value());
    o.insert(QStringLiteral("openWithApps"), apps);
    QStringList delivered(m_deliveredPaths.cbegin(), m_deliveredPaths.cend());
    std::sort(delivered.begin(), delivered.end());
    o.insert(QStringLiteral("deliveredPaths"), QJsonArray::fromStringList(delivered));
    for (auto it = m_annexes.cbegin(); it != m_annexes.cend(); ++it) o.insert(it.key(), it.value());

    return TavrinJSON::encode(o);
}

void OrdersStore::persist()
{
    if (m_file.save().tookIn) Q_EMIT deliveredChanged();
}

} // namespace tavrin
