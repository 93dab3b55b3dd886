#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
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

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0) ::close(m_lockFd);
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

bool SingleInstance::holdLaunchLock()
{
    if (m_lockFd >= 0) return true;
    const int fd = ::open(QFile::encodeName(m_name + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

SingleInstance::Launch SingleInstance::launch(const QStringList& paths, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // A running instance answers once its event loop turns, which may take a while at start.
        switch (handOver(paths, int(std::max<qint64>(deadline.remainingTime(), 2000)))) {
        case HandOver::accepted: return Launch::handedOver;
        case HandOver::noAnswer: return Launch::noAnswer;
        case HandOver::noInstance: break;
        }
        // Nobody listens. Whoever holds the lock is the instance, or is starting to be one: only
        // it may remove a socket left behind and listen, so two launches never both do.
        if (holdLaunchLock()) {
            listen();
            return Launch::running;
        }
        if (deadline.hasExpired()) return Launch::noAnswer;
        QThread::msleep(50);
    }
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
