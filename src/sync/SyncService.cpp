#include "sync/SyncService.h"

#include "base/UserDefaults.h"
#include "sync/AvahiDiscovery.h"
#include "sync/SyncPeerLink.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace tavrin {

namespace {

const QString kPreferredKey = QStringLiteral("tavrin.preferredPeerNames.mac.v2");
const QString kLegacyPreferredKey = QStringLiteral("tavrin.preferredPeerName.mac");

QString peerNameKey(const QString& role) { return QStringLiteral("tavrin.peerName.") + role + QStringLiteral(".v3"); }

} // namespace

// ---- creation ----------------------------------------------------------------------------------

SyncService::SyncService(const QString& role, std::unique_ptr<ServiceDiscovery> discovery, QObject* parent)
    : QObject(parent), m_role(role), m_discovery(discovery ? std::move(discovery) : std::make_unique<AvahiDiscovery>())
{
    UserDefaults& defaults = UserDefaults::standard();
    const QString nameKey = peerNameKey(role);
    m_peerName = defaults.string(nameKey).value_or(QString());
    if (m_peerName.isEmpty()) {
        m_peerName = newPeerName(role);
        defaults.setString(nameKey, m_peerName);
        defaults.synchronize();
    }
    if (role == u"mac") {
        if (defaults.contains(kPreferredKey)) {
            m_preferredPeerNames = uniqueDeviceNames(defaults.stringList(kPreferredKey));
        } else if (const auto legacy = defaults.string(kLegacyPreferredKey); legacy && !legacy->isEmpty()) {
            m_preferredPeerNames = {*legacy};
        }
    }

    for (Task* task : {&m_reconnectTask, &m_fallbackConnectTask}) {
        task->timer.setSingleShot(true);
        connect(&task->timer, &QTimer::timeout, this, [task] {
            const auto action = task->action;
            if (action) action();
        });
    }
    connect(m_discovery.get(), &ServiceDiscovery::published, this, &SyncService::onPublished);
    connect(m_discovery.get(), &ServiceDiscovery::publishFailed, this, &SyncService::onPublishFailed);
    connect(m_discovery.get(), &ServiceDiscovery::unavailable, this, &SyncService::onDiscoveryUnavailable);
    connect(m_discovery.get(), &ServiceDiscovery::browseFailed, this, &SyncService::onBrowseFailed);
    connect(m_discovery.get(), &ServiceDiscovery::resultsChanged, this, &SyncService::handleBrowseResults);
}

SyncService::~SyncService()
{
    m_reconnectTask.timer.stop();
    m_fallbackConnectTask.timer.stop();
    for (const LinkPtr& link : m_links) {
        link->dropped = true;
        link->connection->disconnect(this);
        link->connection->abort();
    }
    m_discovery->disconnect(this);
}

std::optional<QString> SyncService::connectedPeerName() const
{
    if (m_connectedPeerNames.isEmpty()) return std::nullopt;
    return m_connectedPeerNames.first();
}

quint16 SyncService::listeningPort() const { return m_listener ? m_listener->serverPort() : 0; }

void SyncService::setStatus(const SyncStatus& status)
{
    if (m_status == status) return;
    m_status = status;
    Q_EMIT changed();
}

void SyncService::schedule(Task& task, int milliseconds, std::function<void()> action)
{
    task.timer.stop();
    task.action = std::move(action);
    task.timer.start(milliseconds);
}

// ---- status ----------------------------------------------------------------------------------

void SyncService::refreshAggregateStatus()
{
    QStringList ready;
    for (const LinkPtr& link : m_links)
        if (link->isReady) ready.push_back(link->name);
    std::sort(ready.begin(), ready.end());
    if (ready != m_connectedPeerNames) {
        m_connectedPeerNames = ready;
        Q_EMIT changed();
    }
    if (ready.size() >= 2)
        setStatus(SyncStatus::synced(QString::number(ready.size()) + QStringLiteral(" appareils")));
    else if (ready.size() == 1)
        setStatus(SyncStatus::synced(ready.first()));
    else if (m_links.empty())
        setStatus(SyncStatus::searching());
}

// ---- choosing devices --------------------------------------------------------------------------

std::optional<SyncPeer> SyncService::nearbyPeer(const QString& name) const
{
    for (const SyncPeer& p : m_nearbyPeers)
        if (sameDevice(p.name, name)) return p;
    return std::nullopt;
}

bool SyncService::isPreferred(const QString& name) const
{
    return std::any_of(m_preferredPeerNames.begin(), m_preferredPeerNames.end(), [&](const QString& p) { return sameDevice(p, name); });
}

bool SyncService::isLinked(const QString& name) const
{
    return std::any_of(m_connectedPeerNames.begin(), m_connectedPeerNames.end(), [&](const QString& c) { return sameDevice(c, name); });
}

bool SyncService::isNearby(const QString& name) const { return nearbyPeer(name).has_value(); }

void SyncService::setPreferred(const QStringList& names)
{
    m_preferredPeerNames = uniqueDeviceNames(names);
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setStringList(kPreferredKey, m_preferredPeerNames);
    defaults.remove(kLegacyPreferredKey);
    defaults.synchronize();
    Q_EMIT changed();
}

void SyncService::setPeerEnabled(const QString& name, bool enabled)
{
    if (enabled) {
        const QString trimmed = name.trimmed();
        if (trimmed.isEmpty()) return;
        if (!isPreferred(trimmed)) setPreferred(m_preferredPeerNames + QStringList{trimmed});
        if (const auto peer = nearbyPeer(trimmed)) considerConnecting(peer->endpoint, peer->name);
        return;
    }
    QStringList kept = m_preferredPeerNames;
    kept.removeIf([&](const QString& p) { return sameDevice(p, name); });
    setPreferred(kept);
    dropLinks(name);
    refreshAggregateStatus();
}

void SyncService::forgetPeer(const QString& name)
{
    QStringList kept = m_preferredPeerNames;
    kept.removeIf([&](const QString& p) { return sameDevice(p, name); });
    setPreferred(kept);
    m_nearbyPeers.removeIf([&](const SyncPeer& p) { return sameDevice(p.name, name); });
    dropLinks(name);
    refreshAggregateStatus();
    // A forgotten device that is still around comes back from the browser as merely online.
    refreshPeers();
}

QStringList SyncService::listedPeerNames() const
{
    QStringList names;
    for (const SyncPeer& p : m_nearbyPeers) names.push_back(p.name);
    for (const QString& p : m_preferredPeerNames)
        if (!isNearby(p)) names.push_back(p);
    std::sort(names.begin(), names.end());
    return names;
}

QString SyncService::statusTitle() const
{
    switch (m_status.kind) {
    case SyncStatus::Kind::connecting: return QStringLiteral("Lien avec ") + friendlyName(m_status.payload) + QStringLiteral("…");
    case SyncStatus::Kind::synced:
        if (m_connectedPeerNames.size() >= 2)
            return QStringLiteral("Synchronisé · ") + QString::number(m_connectedPeerNames.size()) + QStringLiteral(" appareils");
        return QStringLiteral("Synchronisé · ") + friendlyName(m_status.payload);
    case SyncStatus::Kind::failed:
    case SyncStatus::Kind::idle: return m_status.title();
    case SyncStatus::Kind::searching: break;
    }
    const qsizetype nearbyPreferred =
        std::count_if(m_preferredPeerNames.begin(), m_preferredPeerNames.end(), [&](const QString& p) { return isNearby(p); });
    if (!m_preferredPeerNames.isEmpty() && nearbyPreferred == 0)
        return m_nearbyPeers.isEmpty() ? QStringLiteral("Recherche des appareils…") : QStringLiteral("Appareils hors de portée");
    if (m_preferredPeerNames.isEmpty())
        return m_nearbyPeers.isEmpty() ? QStringLiteral("Recherche…") : QStringLiteral("Choisissez un appareil");
    return QStringLiteral("Lien avec ") + QString::number(nearbyPreferred) + QStringLiteral(" appareil") +
           (nearbyPreferred >= 2 ? QStringLiteral("s") : QString()) + QStringLiteral("…");
}

} // namespace tavrin
