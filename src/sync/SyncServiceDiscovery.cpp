// Starting the service: the listener, DNS-SD advertising and browsing, and the network path.
#include "sync/SyncService.h"

#include "sync/SyncPeerLink.h"

#include <QNetworkInformation>
#include <QTcpServer>

namespace tavrin {

using namespace syncservice;

void SyncService::start(bool refresh)
{
    if (m_isStarted) {
        if (m_status.kind != SyncStatus::Kind::synced) restartDiscovery(refresh);
        return;
    }
    m_isStarted = true;
    setStatus(SyncStatus::searching());
    startListener();
    startBrowser();
    startPathMonitor();
}

void SyncService::restart()
{
    if (!m_isStarted) {
        start(false);
        return;
    }
    while (!m_links.empty()) dropLink(m_links.front());
    if (!m_connectedPeerNames.isEmpty()) {
        m_connectedPeerNames.clear();
        Q_EMIT changed();
    }
    setStatus(SyncStatus::searching());
    restartDiscovery(true);
}

void SyncService::refreshPeers()
{
    m_discovery->stopBrowsing();
    m_browsing = false;
    startBrowser();
}

void SyncService::startListener()
{
    if (m_listener) return;
    auto* listener = new QTcpServer(this);
    if (!listener->listen(QHostAddress::Any, 0)) {
        delete listener;
        setStatus(SyncStatus::failed(kWifiUnavailable));
        return;
    }
    m_listener = listener;
    connect(m_listener, &QTcpServer::newConnection, this, &SyncService::acceptIncoming);
    m_discovery->publish(m_peerName, m_listener->serverPort(), {{QStringLiteral("app"), kTavrinApp}, {QStringLiteral("role"), m_role}});
}

void SyncService::startBrowser()
{
    if (m_browsing) return;
    m_browsing = true;
    m_discovery->startBrowsing();
}

void SyncService::startPathMonitor()
{
    if (m_pathMonitorStarted) return;
    m_pathMonitorStarted = true;
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) return;
    QNetworkInformation* info = QNetworkInformation::instance();
    const auto satisfied = [](QNetworkInformation::Reachability r) {
        return r == QNetworkInformation::Reachability::Local || r == QNetworkInformation::Reachability::Site ||
               r == QNetworkInformation::Reachability::Online;
    };
    // Where the network stands now is the starting point, not a change.
    m_lastPathSatisfied = satisfied(info->reachability());
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this, satisfied](QNetworkInformation::Reachability r) { onPathSatisfied(satisfied(r)); });
}

void SyncService::onPathSatisfied(bool satisfied)
{
    const std::optional<bool> previous = std::exchange(m_lastPathSatisfied, satisfied);
    if (m_isStarted && m_status.kind != SyncStatus::Kind::synced && satisfied && previous != satisfied)
        restartDiscovery(true);
}

void SyncService::restartDiscovery(bool force)
{
    if (!force && m_lastDiscoveryRestart.isValid() && m_lastDiscoveryRestart.elapsed() < kDiscoveryThrottleMs) return;
    m_lastDiscoveryRestart.start();
    m_reconnectTask.timer.stop();
    m_fallbackConnectTask.timer.stop();
    m_discovery->stopBrowsing();
    m_browsing = false;
    if (!m_nearbyPeers.isEmpty()) {
        m_nearbyPeers.clear();
        Q_EMIT changed();
    }
    startListener();
    startBrowser();
}

void SyncService::scheduleDiscoveryRestart()
{
    schedule(m_reconnectTask, kDiscoveryRestartMs, [this] {
        if (m_isStarted && m_status.kind != SyncStatus::Kind::synced) restartDiscovery(true);
    });
}

void SyncService::onPublished()
{
    if (m_status.kind == SyncStatus::Kind::failed) setStatus(SyncStatus::searching());
}

void SyncService::onPublishFailed(const QString& message, bool denied)
{
    setStatus(SyncStatus::failed(denied ? kNetworkDenied : message));
    scheduleDiscoveryRestart();
}

void SyncService::onDiscoveryUnavailable()
{
    // Links already up keep working without the daemon.
    if (m_status.kind == SyncStatus::Kind::synced) return;
    setStatus(SyncStatus::failed(kWifiUnavailable));
    scheduleDiscoveryRestart();
}

void SyncService::onBrowseFailed(bool denied)
{
    if (denied) {
        setStatus(SyncStatus::failed(kNetworkDenied));
        return;
    }
    if (m_status.kind == SyncStatus::Kind::synced) return;
    setStatus(SyncStatus::failed(kBrowseFailed));
    scheduleDiscoveryRestart();
}

void SyncService::handleBrowseResults(const QList<BrowseResult>& results)
{
    QList<SyncPeer> peers;
    for (const BrowseResult& r : results) {
        if (r.txt) {
            if (r.txt->contains(QStringLiteral("app")) && r.txt->value(QStringLiteral("app")) != kTavrinApp) continue;
            if (r.txt->value(QStringLiteral("role")) == m_role) continue; // desktops ignore desktops
        }
        if (r.name == m_peerName) continue;
        const auto same = std::find_if(peers.begin(), peers.end(), [&](const SyncPeer& p) { return sameDevice(p.name, r.name); });
        if (same == peers.end()) {
            peers.push_back({r.name, r.endpoint});
            continue;
        }
        // One device on several interfaces: its shortest name and its best endpoint.
        if (r.name.size() <= same->name.size()) same->name = r.name;
        if (r.endpoint.score() > same->endpoint.score()) same->endpoint = r.endpoint;
    }
    std::sort(peers.begin(), peers.end(), [](const SyncPeer& a, const SyncPeer& b) { return a.name < b.name; });
    if (peers != m_nearbyPeers) {
        m_nearbyPeers = peers;
        Q_EMIT changed();
    }
    const QStringList preferred = m_preferredPeerNames;
    for (const QString& name : preferred)
        if (const auto peer = nearbyPeer(name)) considerConnecting(peer->endpoint, peer->name);
}

} // namespace tavrin
