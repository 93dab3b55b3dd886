#include "sync/SyncService.h"

#include "base/UserDefaults.h"
#include "sync/AvahiDiscovery.h"
#include "sync/SyncConnection.h"
#include "sync/SyncFrameBuffer.h"

#include <QNetworkInformation>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>

#include <algorithm>

namespace tavrin {

namespace {

const QString kTavrinApp = QStringLiteral("TAVRIN");
const QString kPreferredKey = QStringLiteral("tavrin.preferredPeerNames.mac.v2");
const QString kLegacyPreferredKey = QStringLiteral("tavrin.preferredPeerName.mac");
constexpr int kFallbackConnectMs = 2000;
constexpr int kReconnectMs = 2000;
constexpr int kDiscoveryRestartMs = 3000;
constexpr qint64 kDiscoveryThrottleMs = 2000;
// Incoming connections that have not said which device they are. A device is one link at most
// once named; this bounds what unnamed connections can make us hold.
constexpr qsizetype kMaxPendingLinks = 8;

QString peerNameKey(const QString& role) { return QStringLiteral("tavrin.peerName.") + role + QStringLiteral(".v3"); }

QString withoutCopySuffix(const QString& name)
{
    static const QRegularExpression suffix(QStringLiteral(" \\(\\d+\\)$"));
    QString s = name.trimmed();
    s.remove(suffix);
    return s;
}

QString randomHex(int count) { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(count); }

} // namespace

struct SyncService::PeerLink {
    QString name;
    QTcpSocket* connection = nullptr;
    SyncFrameBuffer buffer;
    QByteArray readBuffer; // one read's worth, reused
    bool isReady = false;
    bool identified = false; // named by the device itself, or dialled under its name
    bool dropped = false;
};

// ---- names -------------------------------------------------------------------------------------

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
    return QStringLiteral("TAVRIN ") + platform + u' ' + randomHex(4);
}

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

// ---- starting, discovery -----------------------------------------------------------------------

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

// ---- links -------------------------------------------------------------------------------------

bool SyncService::hasLinkFor(const QString& name) const
{
    return std::any_of(m_links.begin(), m_links.end(), [&](const LinkPtr& l) { return sameDevice(l->name, name); });
}

void SyncService::considerConnecting(const SyncEndpoint& endpoint, const QString& name)
{
    if (isLinked(name) || hasLinkFor(name) || !isPreferred(name)) return;
    // Of two devices that see each other, one dials at once and the other gives it 2 s first.
    if (name != m_peerName && name < m_peerName) {
        connectTo(endpoint, name);
        return;
    }
    schedule(m_fallbackConnectTask, kFallbackConnectMs, [this, endpoint, name] {
        if (!m_isStarted || isLinked(name) || hasLinkFor(name) || !isPreferred(name)) return;
        connectTo(endpoint, name);
    });
}

void SyncService::connectTo(const SyncEndpoint& endpoint, const QString& name)
{
    auto* socket = new QTcpSocket(this);
    SyncConnection::configure(socket);
    attachLink(socket, name, endpoint);
}

void SyncService::acceptIncoming()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        if (m_preferredPeerNames.isEmpty()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const auto pending = [](const LinkPtr& l) { return !l->identified; };
        if (std::count_if(m_links.begin(), m_links.end(), pending) >= kMaxPendingLinks)
            dropLink(*std::find_if(m_links.begin(), m_links.end(), pending));
        SyncConnection::configure(socket);
        attachLink(socket, QStringLiteral("pending-") + randomHex(6), std::nullopt);
    }
}

void SyncService::attachLink(QTcpSocket* connection, const QString& name, const std::optional<SyncEndpoint>& dial)
{
    dropLinks(name);
    auto link = std::make_shared<PeerLink>();
    link->name = name;
    link->connection = connection;
    link->identified = dial.has_value();
    connection->setParent(this);
    m_links.push_back(link);
    if (m_status.kind != SyncStatus::Kind::synced) setStatus(SyncStatus::connecting(name));

    const std::weak_ptr<PeerLink> weak = link;
    const auto alive = [weak]() -> LinkPtr {
        LinkPtr l = weak.lock();
        return l && !l->dropped ? l : nullptr;
    };
    connect(connection, &QTcpSocket::readyRead, this, [this, alive] {
        if (const LinkPtr l = alive()) receive(l);
    });
    const auto lost = [this, alive] {
        if (const LinkPtr l = alive()) {
            receive(l); // what arrived before the end still counts
            handleLinkDisconnect(l);
        }
    };
    connect(connection, &QTcpSocket::disconnected, this, lost);
    connect(connection, &QTcpSocket::errorOccurred, this, [this, lost](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::SocketAccessError) setStatus(SyncStatus::failed(kNetworkDenied));
        lost();
    });

    if (!dial) {
        linkReady(link);
        return;
    }
    connect(connection, &QTcpSocket::connected, this, [this, alive] {
        if (const LinkPtr l = alive()) linkReady(l);
    });
    auto* timeout = new QTimer(connection);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, this, [this, alive] {
        if (const LinkPtr l = alive(); l && !l->isReady) handleLinkDisconnect(l);
    });
    timeout->start(SyncConnection::kConnectTimeoutMs);
    connection->connectToHost(dial->address, dial->port);
}

void SyncService::linkReady(const LinkPtr& link)
{
    SyncConnection::configure(link->connection);
    link->isReady = true;
    m_fallbackConnectTask.timer.stop();
    send({SyncEnvelopeKind::hello, m_role, std::nullopt, m_peerName}, link);
    send({SyncEnvelopeKind::requestLibrary, m_role, std::nullopt, std::nullopt}, link);
    refreshAggregateStatus();
}

void SyncService::receive(const LinkPtr& link)
{
    QTcpSocket* socket = link->connection;
    if (link->readBuffer.isEmpty()) link->readBuffer.resize(SyncFraming::kReadChunk);
    while (!link->dropped && socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(link->readBuffer.data(), SyncFraming::kReadChunk);
        if (n <= 0) break;
        const auto result = link->buffer.append(QByteArrayView(link->readBuffer).first(n), [&](SyncEnvelope&& envelope) {
            handleEnvelope(link, std::move(envelope));
            return !link->dropped;
        });
        m_bufferHighWater = std::max(m_bufferHighWater, link->buffer.highWater());
        if (result == SyncFrameBuffer::Result::refused) {
            // Nothing more is read from a sender that announced an oversized frame.
            handleLinkDisconnect(link);
            return;
        }
    }
}

void SyncService::handleEnvelope(const LinkPtr& link, SyncEnvelope&& envelope)
{
    if (envelope.peerName && !envelope.peerName->isEmpty()) {
        const QString& name = *envelope.peerName;
        if (!isPreferred(name)) {
            dropLink(link);
            refreshAggregateStatus();
            return;
        }
        if (link->name != name) {
            // One link per device: this one replaces any other to the same device.
            for (const LinkPtr& other : std::vector<LinkPtr>(m_links))
                if (other != link && sameDevice(other->name, name)) dropLink(other);
            link->name = name;
        }
        link->identified = true;
    }
    switch (envelope.kind) {
    case SyncEnvelopeKind::hello: send({SyncEnvelopeKind::requestLibrary, m_role, std::nullopt, std::nullopt}, link); break;
    case SyncEnvelopeKind::library:
        if (envelope.snapshot && onLibraryReceived) onLibraryReceived(*envelope.snapshot);
        break;
    case SyncEnvelopeKind::requestLibrary: break; // this program never sends its library
    }
    refreshAggregateStatus();
}

void SyncService::send(const SyncEnvelope& envelope, const LinkPtr& link)
{
    const auto frame = SyncFraming::frame(envelope);
    if (!frame) {
        setStatus(SyncStatus::failed(kSendFailed));
        return;
    }
    link->connection->write(*frame); // write errors surface as the link's failure
}

void SyncService::dropLink(const LinkPtr& link)
{
    link->dropped = true;
    link->connection->disconnect(this);
    link->connection->abort();
    link->connection->deleteLater();
    std::erase(m_links, link);
}

void SyncService::dropLinks(const QString& name)
{
    for (const LinkPtr& link : std::vector<LinkPtr>(m_links))
        if (sameDevice(link->name, name)) dropLink(link);
}

void SyncService::handleLinkDisconnect(const LinkPtr& link)
{
    if (link->dropped) return;
    const QString name = link->name;
    dropLink(link);
    refreshAggregateStatus();
    if (!m_isStarted || !isPreferred(name) || !nearbyPeer(name)) return;
    schedule(m_reconnectTask, kReconnectMs, [this, name] {
        if (!m_isStarted || !isPreferred(name) || isLinked(name)) return;
        // The device may have come back on another port meanwhile: use what is found now.
        if (const auto peer = nearbyPeer(name)) considerConnecting(peer->endpoint, peer->name);
    });
}

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
