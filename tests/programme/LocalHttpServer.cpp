#include "LocalHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace tavrin::test {

LocalHttpServer::LocalHttpServer(Handler handler, int portCount) : m_handler(std::move(handler))
{
    for (int i = 0; i < portCount; ++i) {
        auto server = std::make_unique<QTcpServer>();
        if (!server->listen(QHostAddress::LocalHost)) qFatal("cannot listen on 127.0.0.1");
        QTcpServer* raw = server.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] {
            while (QTcpSocket* socket = raw->nextPendingConnection()) serve(socket, raw->serverPort());
        });
        m_servers.push_back(std::move(server));
    }
}

LocalHttpServer::~LocalHttpServer() = default;

quint16 LocalHttpServer::port(int index) const { return m_servers.at(index)->serverPort(); }

QUrl LocalHttpServer::url(const QString& pathAndQuery, int portIndex) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port(portIndex)).arg(pathAndQuery));
}

void LocalHttpServer::serve(QTcpSocket* socket, quint16 port)
{
    socket->setParent(this);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, port, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) return;
        const QByteArray head = buffer->left(end);
        buffer->remove(0, end + 4);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        HttpRequest request{QString::fromLatin1(requestLine.value(1)), head, port};
        requests.push_back(request);
        peakInFlight = qMax(peakInFlight, ++inFlight);
        const HttpResponse response = m_handler(request);
        if (response.neverAnswer) return;
        const auto answer = [this, socket = QPointer(socket), response] {
            --inFlight;
            if (!socket) return;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
            bool typed = false, sized = false;
            for (const auto& [name, value] : response.headers) {
                out += name + ": " + value + "\r\n";
                typed = typed || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
                sized = sized || name.compare("Content-Length", Qt::CaseInsensitive) == 0;
            }
            if (!typed) out += "Content-Type: text/html\r\n";
            if (!sized) out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            out += "Connection: close\r\n\r\n";
            socket->write(out + response.body);
            socket->disconnectFromHost();
        };
        QTimer::singleShot(response.delayMs, this, answer);
    });
}

bool waitFor(const std::function<bool()>& done, int seconds)
{
    QDeadlineTimer deadline(seconds * 1000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}

} // namespace tavrin::test
