#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for the web import tests: each request is answered by a
// handler, possibly late or never, and the server counts how many requests wait at once. It can
// listen on several ports, which the client counts as different sites.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace tavrin::test {

struct HttpResponse {
    int status = 200;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    int delayMs = 0;
    bool neverAnswer = false;
};

struct HttpRequest {
    QString path; // with its query
    QByteArray head;  // request line and headers as received
    quint16 port = 0;
};

class LocalHttpServer : public QObject {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LocalHttpServer(Handler handler, int portCount = 1);
    ~LocalHttpServer() override;

    quint16 port(int index = 0) const;
    QUrl url(const QString& pathAndQuery, int portIndex = 0) const;

    QList<HttpRequest> requests;
    int inFlight = 0;
    int peakInFlight = 0;

private:
    void serve(class QTcpSocket* socket, quint16 port);

    Handler m_handler;
    std::vector<std::unique_ptr<QTcpServer>> m_servers;
};

// Runs the event loop until `done` holds or `seconds` pass; returns `done()`.
bool waitFor(const std::function<bool()>& done, int seconds = 20);

} // namespace tavrin::test
