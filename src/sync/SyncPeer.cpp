#include "sync/SyncPeer.h"

#include <QNetworkInterface>

namespace tavrin {

int SyncEndpoint::score() const
{
    switch (interface) {
    case Interface::unbound: return 4;
    case Interface::wifi: return 3;
    case Interface::wired: return 2;
    case Interface::other: return 1;
    case Interface::unknown: return 0;
    }
    return 0;
}

SyncEndpoint::Interface SyncEndpoint::interfaceKind(int interfaceIndex)
{
    if (interfaceIndex <= 0) return Interface::unbound;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(interfaceIndex);
    if (!iface.isValid()) return Interface::unknown;
    switch (iface.type()) {
    case QNetworkInterface::Wifi: return Interface::wifi;
    case QNetworkInterface::Ethernet: return Interface::wired;
    default: return Interface::other; // loopback, virtual, peer-to-peer, tunnels…
    }
}

} // namespace tavrin
