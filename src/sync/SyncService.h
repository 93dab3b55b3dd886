#pragma once

#include "library/LibrarySnapshot.h"
#include "sync/ServiceDiscovery.h"
#include "sync/SyncEnvelope.h"
#include "sync/SyncPeer.h"
#include "sync/SyncStatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace tavrin {

// Finds the photographer's phones on the local network, keeps one TCP link to each device the
// user chose, asks each for its library and hands every library received to onLibraryReceived.
// It never sends a library of its own. Everything runs on the main thread.
class SyncService : public QObject {
    Q_OBJECT

public:
    // DNS-SD goes through Avahi unless another discovery is given.
    explicit SyncService(const QString& role, std::unique_ptr<ServiceDiscovery> discovery = {}, QObject* parent = nullptr);
    ~SyncService() override;

    const QString& role() const { return m_role; }
    const SyncStatus& status() const { return m_status; }
    std::optional<QString> connectedPeerName() const;
    // Names of the ready links, sorted.
    const QStringList& connectedPeerNames() const { return m_connectedPeerNames; }
    // Devices found now, one per device, sorted by name.
    const QList<SyncPeer>& nearbyPeers() const { return m_nearbyPeers; }
    const QStringList& preferredPeerNames() const { return m_preferredPeerNames; }
    // This device's name, as advertised.
    const QString& peerName() const { return m_peerName; }
    bool isStarted() const { return m_isStarted; }

    // Receives every library a device sends.
    std::function<void(const LibrarySnapshot&)> onLibraryReceived;

    void start(bool refresh);
    void restart();
    void refreshPeers();
    void setPeerEnabled(const QString& name, bool enabled);
    void forgetPeer(const QString& name);
    bool isPreferred(const QString& name) const;
    bool isLinked(const QString& name) const;
    bool isNearby(const QString& name) const;
    QString statusTitle() const;
    // The devices offered in the picker: nearby ones and chosen ones, one per device, sorted.
    QStringList listedPeerNames() const;

    // The TCP port links are accepted on; 0 before start.
    quint16 listeningPort() const;
    // The most bytes any link's receive buffer has held.
    qsizetype bufferHighWater() const { return m_bufferHighWater; }

    // Names as DNS-SD hands them out: "TAVRIN iOS 1A2B (2)" is the same device as "tavrin ios 1a2b".
    static QString baseName(const QString& name);
    static bool sameDevice(const QString& a, const QString& b);
    // "iPhone 1A2B" for "TAVRIN iOS 1A2B (2)".
    static QString friendlyName(const QString& name);
    // Trimmed, without empty names, the first name of each device kept, in order.
    static QStringList uniqueDeviceNames(const QStringList& names);
    // "TAVRIN Mac " (or iOS, Android) followed by four random upper-case hexadecimal characters.
    static QString newPeerName(const QString& role);

    static inline const QString kWifiUnavailable = QStringLiteral("Wi‑Fi local indisponible");
    static inline const QString kNetworkDenied = QStringLiteral("Autorisez le réseau local dans Réglages");
    static inline const QString kBrowseFailed = QStringLiteral("Recherche impossible");
    static inline const QString kSendFailed = QStringLiteral("Envoi impossible");

Q_SIGNALS:
    // The status, the nearby, chosen or connected devices changed.
    void changed();

private:
    struct PeerLink;
    using LinkPtr = std::shared_ptr<PeerLink>;
    // A delayed main-thread action; restarting it cancels the previous one.
    struct Task {
        QTimer timer;
        std::function<void()> action;
    };

    void setStatus(const SyncStatus& status);
    void schedule(Task& task, int milliseconds, std::function<void()> action);

    void startListener();
    void startBrowser();
    void startPathMonitor();
    void onPathSatisfied(bool satisfied);
    void restartDiscovery(bool force);
    void scheduleDiscoveryRestart();

    void onPublished();
    void onPublishFailed(const QString& message, bool denied);
    void onDiscoveryUnavailable();
    void onBrowseFailed(bool denied);
    void handleBrowseResults(const QList<BrowseResult>& results);

    void considerConnecting(const SyncEndpoint& endpoint, const QString& name);
    void connectTo(const SyncEndpoint& endpoint, const QString& name);
    void acceptIncoming();
    void attachLink(QTcpSocket* connection, const QString& name, const std::optional<SyncEndpoint>& dial);
    void linkReady(const LinkPtr& link);
    void receive(const LinkPtr& link);
    void handleEnvelope(const LinkPtr& link, SyncEnvelope&& envelope);
    void send(const SyncEnvelope& envelope, const LinkPtr& link);
    void dropLink(const LinkPtr& link);
    void dropLinks(const QString& name);
    void handleLinkDisconnect(const LinkPtr& link);
    bool hasLinkFor(const QString& name) const;
    void refreshAggregateStatus();

    std::optional<SyncPeer> nearbyPeer(const QString& name) const;
    void setPreferred(const QStringList& names);

    QString m_role;
    SyncStatus m_status;
    QStringList m_connectedPeerNames;
    QList<SyncPeer> m_nearbyPeers;
    QStringList m_preferredPeerNames;
    QString m_peerName;

    std::unique_ptr<ServiceDiscovery> m_discovery;
    QTcpServer* m_listener = nullptr;
    bool m_browsing = false;
    std::vector<LinkPtr> m_links;
    bool m_isStarted = false;
    bool m_pathMonitorStarted = false;
    Task m_reconnectTask;
    Task m_fallbackConnectTask;
    QElapsedTimer m_lastDiscoveryRestart; // invalid: never
    std::optional<bool> m_lastPathSatisfied;
    qsizetype m_bufferHighWater = 0;
};

} // namespace tavrin
