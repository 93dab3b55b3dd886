// Device names as the phones and this program advertise them: copies told apart by a " (2)"
// suffix, friendly names for the picker, and a new name for this device.
#include "sync/SyncPeerLink.h"
#include "sync/SyncService.h"

#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace tavrin {

namespace syncservice {
QString randomHex(int count) { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(count); }
} // namespace syncservice

namespace {

QString withoutCopySuffix(const QString& name)
{
    static const QRegularExpression suffix(QStringLiteral(" \\(\\d+\\)$"));
    QString s = name.trimmed();
    s.remove(suffix);
    return s;
}

} // namespace

QString SyncService::baseName(const QString& name) { return withoutCopySuffix(name); }

bool SyncService::sameDevice(const QString& a, const QString& b)
{
    return QString::compare(baseName(a), baseName(b), Qt::CaseInsensitive) == 0;
}

QString SyncService::friendlyName(const QString& name)
{
    const QString base = withoutCopySuffix(name);
    static const std::pair<QString, QString> prefixes[] = {
        {QStringLiteral("TAVRIN iOS "), QStringLiteral("iPhone ")},
        {QStringLiteral("TAVRIN Android "), QStringLiteral("Android ")},
        {QStringLiteral("TAVRIN Mac "), QStringLiteral("Mac ")},
    };
    for (const auto& [from, to] : prefixes)
        if (base.startsWith(from)) return to + base.mid(from.size());
    return base;
}

QStringList SyncService::uniqueDeviceNames(const QStringList& names)
{
    QStringList kept;
    for (const QString& raw : names) {
        const QString name = raw.trimmed();
        if (name.isEmpty()) continue;
        if (std::none_of(kept.begin(), kept.end(), [&](const QString& k) { return sameDevice(k, name); })) kept.push_back(name);
    }
    return kept;
}

QString SyncService::newPeerName(const QString& role)
{
    QString platform = role == u"ios" ? QStringLiteral("iOS") : role == u"android" ? QStringLiteral("Android") : QStringLiteral("Mac");
    return QStringLiteral("TAVRIN ") + platform + u' ' + syncservice::randomHex(4);
}

} // namespace tavrin
