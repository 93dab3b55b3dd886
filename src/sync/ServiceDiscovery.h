#pragma once

#include "sync/SyncPeer.h"

#include <QList>
#include <QMap>
#include <QObject>

namespace tavrin {

// DNS-SD advertising and browsing for the sync service type. Results and failures arrive as
// signals on the main thread; the sync service maps them onto its statuses.
class ServiceDiscovery : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    static inline const QString kServiceType = QStringLiteral("_tavrin-sync._tcp");

    // Advertises `name` for the TCP port for the life of the object; advertised again by itself
    // after the daemon comes back.
    virtual void publish(const QString& name, quint16 port, const QMap<QString, QString>& txt) = 0;
    // A new browse of the service type: results of an earlier browse are forgotten.
    virtual void startBrowsing() = 0;
    virtual void stopBrowsing() = 0;

Q_SIGNALS:
    // The advertisement is on the network, under `name` or an alternative after a collision.
    void published(const QString& name);
    // `denied`: the system refused this program the local network.
    void publishFailed(const QString& message, bool denied);
    // No DNS-SD daemon can be reached: nothing can be advertised nor found.
    void unavailable();
    // The whole current result set, in the order the results were found.
    void resultsChanged(const QList<BrowseResult>& results);
    void browseFailed(bool denied);
};

} // namespace tavrin
