#pragma once

#include <QHostAddress>
#include <QMap>
#include <QString>

#include <optional>

namespace tavrin {

// Where a discovered device listens, and over which kind of interface it was found.
struct SyncEndpoint {
    enum class Interface { unbound, wifi, wired, other, unknown };

    QHostAddress address;
    quint16 port = 0;
    int interfaceIndex = 0;
    Interface interface = Interface::unbound;

    // Preferred endpoint of a device seen several times: unbound 4, Wi-Fi 3, wired 2, other 1.
    int score() const;
    // The kind of the local interface with that index (0: unbound).
    static Interface interfaceKind(int interfaceIndex);

    bool operator==(const SyncEndpoint&) const = default;
};

// A device currently found on the network, under its advertised service name.
struct SyncPeer {
    QString name;
    SyncEndpoint endpoint;

    bool operator==(const SyncPeer&) const = default;
};

// One resolved DNS-SD result; `txt` is none when the service has no TXT record.
struct BrowseResult {
    QString name;
    std::optional<QMap<QString, QString>> txt;
    SyncEndpoint endpoint;

    bool operator==(const BrowseResult&) const = default;
};

} // namespace tavrin
