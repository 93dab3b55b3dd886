#pragma once

class QTcpSocket;

// TCP settings shared by every sync connection, dialled or accepted.
namespace tavrin::SyncConnection {

inline constexpr int kConnectTimeoutMs = 8000;
inline constexpr int kKeepAliveIdleSeconds = 5;

// Keep-alive with a 5 s idle time, no-delay, and a read buffer of one read's worth so a fast
// sender cannot make the socket hold more than that. Call again once connected: the idle time
// needs the connected descriptor.
void configure(QTcpSocket* socket);

} // namespace tavrin::SyncConnection
