#pragma once

// What the parts of SyncService share: one link's state and the timings of discovery and links.

#include "sync/SyncFrameBuffer.h"
#include "sync/SyncService.h"

#include <QString>
#include <QTcpSocket>

namespace tavrin::syncservice {

inline const QString kTavrinApp = QStringLiteral("TAVRIN");
constexpr int kFallbackConnectMs = 2000;
constexpr int kReconnectMs = 2000;
constexpr int kDiscoveryRestartMs = 3000;
constexpr qint64 kDiscoveryThrottleMs = 2000;
// Incoming connections that have not said which device they are. A device is one link at most
// once named; this bounds what unnamed connections can make us hold.
constexpr qsizetype kMaxPendingLinks = 8;

QString randomHex(int count);

} // namespace tavrin::syncservice

namespace tavrin {

struct SyncService::PeerLink {
    QString name;
    QTcpSocket* connection = nullptr;
    SyncFrameBuffer buffer;
    QByteArray readBuffer; // one read's worth, reused
    bool isReady = false;
    bool identified = false; // named by the device itself, or dialled under its name
    bool dropped = false;
};

} // namespace tavrin
