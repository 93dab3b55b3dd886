#include "sync/DevicePickerModel.h"

#include "sync/SyncService.h"

#include <algorithm>

namespace tavrin::DevicePickerModel {

namespace {
bool isAndroid(const QString& name) { return name.startsWith(QStringLiteral("TAVRIN Android")); }
QString plural(qsizetype n) { return n >= 2 ? QStringLiteral("s") : QString(); }
} // namespace

QString labelTitle(const SyncService& service)
{
    const QStringList& preferred = service.preferredPeerNames();
    if (preferred.isEmpty()) {
        const qsizetype listed = service.listedPeerNames().size();
        if (listed == 0) return QStringLiteral("Choisir un appareil");
        return QString::number(listed) + QStringLiteral(" appareil") + plural(listed) + QStringLiteral(" à proximité");
    }
    if (preferred.size() == 1) {
        const QString friendly = SyncService::friendlyName(preferred.first());
        return service.isNearby(preferred.first()) ? friendly : friendly + QStringLiteral(" · hors de portée");
    }
    const qsizetype online =
        std::count_if(preferred.begin(), preferred.end(), [&](const QString& p) { return service.isNearby(p); });
    return QString::number(preferred.size()) + QStringLiteral(" appareils · ") + QString::number(online) + QStringLiteral(" en ligne");
}

QString pickerSymbol(const SyncService& service)
{
    const QStringList& preferred = service.preferredPeerNames();
    const QStringList listed = preferred.isEmpty() ? service.listedPeerNames() : QStringList();
    const QString first = !preferred.isEmpty() ? preferred.first() : listed.isEmpty() ? QString() : listed.first();
    if (isAndroid(first)) return QStringLiteral("candybarphone");
    return preferred.size() >= 2 ? QStringLiteral("antenna.radiowaves.left.and.right") : QStringLiteral("iphone");
}

QString deviceSymbol(const QString& name) { return isAndroid(name) ? QStringLiteral("candybarphone") : QStringLiteral("iphone"); }

QString deviceState(const SyncService& service, const QString& name)
{
    if (service.isLinked(name)) return QStringLiteral("Synchronisé");
    if (!service.isNearby(name)) return QStringLiteral("Hors de portée");
    return service.isPreferred(name) ? QStringLiteral("Lien en cours") : QStringLiteral("En ligne");
}

QString badgeHelp(const SyncStatus& status, const QString& statusTitle)
{
    return status.kind == SyncStatus::Kind::synced ? statusTitle : QStringLiteral("Cliquer pour relancer la synchro");
}

} // namespace tavrin::DevicePickerModel
