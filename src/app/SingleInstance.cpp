#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <unistd.h>

namespace tavrin {

namespace {

// One request per connection: a compact JSON array of paths and a line break; the answer is
// "ok" and a line break.
constexpr char kAcknowledgement[] = "ok\n";

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), m_name(serverName(dataFolder))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

QString SingleInstance::serverName(const QString& dataFolder)
{
    const QString canonical = QFileInfo(dataFolder).absoluteFilePath();
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
    return dir + QStringLiteral("/tavrin-") + QString::number(getuid()) + u'-' + QString::fromLatin1(digest);
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(1000)) return HandOver::noInstance;
    socket.write(QJsonDocument(QJsonArray::fromStringList(paths)).toJson(QJsonDocument::Compact) + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return HandOver::noAnswer;
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        if (!socket.waitForReadyRead(timeoutMs)) return HandOver::noAnswer;
        answer += socket.readAll();
    }
    return answer == kAcknowledgement ? HandOver::accepted : HandOver::noAnswer;
}

bool SingleInstance::listen()
{
    if (m_server.listen(m_name)) return true;
    QLocalServer::removeServer(m_name);
    return m_server.listen(m_name);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0) return;
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            const QJsonDocument request = QJsonDocument::fromJson(buffer->left(end));
            socket->write(kAcknowledgement);
            socket->flush();
            socket->disconnectFromServer();
            QStringList paths;
            for (const QJsonValue& v : request.array()) paths.push_back(v.toString());
            Q_EMIT filesReceived(paths);
        });
    }
}

} // namespace tavrin
