// Links to the chosen devices: dialling and accepting, reading frames, handing each library
// received to the merge, and dropping or redialling a link.
#include "sync/SyncService.h"

#include "sync/SyncConnection.h"
#include "sync/SyncPeerLink.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace tavrin {

using namespace syncservice;

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

} // namespace tavrin
