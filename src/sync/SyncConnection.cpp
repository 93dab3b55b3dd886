#include "sync/SyncConnection.h"

#include "sync/SyncEnvelope.h"

#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace tavrin::SyncConnection {

void configure(QTcpSocket* socket)
{
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(SyncFraming::kReadChunk);
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0) return;
    const int idle = kKeepAliveIdleSeconds;
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
}

} // namespace tavrin::SyncConnection
