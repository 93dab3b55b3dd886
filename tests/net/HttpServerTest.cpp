#include "net/HttpRoute.h"
#include "net/HttpServer.h"

#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using namespace tavrin;

namespace {

// One blocking exchange over a raw socket: what came back before the server closed (or 5 s).
QByteArray exchange(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000)) return {};
    socket.write(request);
    socket.waitForBytesWritten(3000);
    QByteArray data;
    while (socket.waitForReadyRead(5000)) data += socket.readAll();
    return data + socket.readAll();
}

int status(const QByteArray& reply) { return reply.mid(9, 3).toInt(); }

struct Echo {
    http::Server::Options options;
    std::atomic<int> calls{0};
    http::Request last;
    std::unique_ptr<http::Server> server;

    void start()
    {
        server = std::make_unique<http::Server>(options, [this](const http::Request& r) {
            ++calls;
            last = r;
            if (r.bodyRefused) return http::Response::text(413, "text/plain", "trop grand");
            QByteArray text = r.method + ' ' + r.target;
            for (const auto& [k, v] : r.form) text += '\n' + k.toUtf8() + '=' + v.toUtf8();
            return http::Response::text(200, "text/plain; charset=utf-8", text);
        });
        server->start();
    }
};

} // namespace

TEST(HttpRoute, readsTargetsStrictly)
{
    EXPECT_EQ(http::segments("/a/b%2Fc/"), (QList<QByteArray>{"", "a", "b%2Fc", ""}));
    EXPECT_EQ(http::decode("%C3%89lan+n%C2%B03", true), QString("Élan n°3"));
    EXPECT_EQ(http::decode("a+b"), QString("a+b"));
    const auto query = http::parseQuery("q=dupont+%C3%A9&x&=v");
    ASSERT_EQ(query.size(), 3);
    EXPECT_EQ(query[0].second, QString("dupont é"));
    EXPECT_EQ(http::parseIndex("12", 13), 12);
    for (const char* bad : {"", "012", "-1", "13", "1a", "9999999"}) EXPECT_EQ(http::parseIndex(bad, 13), -1) << bad;
    EXPECT_TRUE(http::constantTimeEqual("ABC", "ABC"));
    EXPECT_FALSE(http::constantTimeEqual("ABC", "ABD"));
}

TEST(HttpServer, readsBoundedFormsAndRefusesWhatExceedsItsLimits)
{
    Echo echo;
    echo.options.maxBodyBytes = 200;
    echo.options.maxFormFields = 3;
    echo.options.maxFieldBytes = 13;
    echo.options.connectionMemory = 8 * 1024;
    echo.start();
    const quint16 port = echo.server->port();
    ASSERT_NE(port, 0);

    const QByteArray form = "nom=Dupont+%C3%89lise&photo=a.jpg&photo=b.jpg&photo=c.jpg&long=0123456789ABCDEF";
    const QByteArray reply = exchange(port, "POST /commande HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                                QByteArray::number(form.size()) + "\r\n\r\n" + form);
    EXPECT_EQ(status(reply), 200);
    EXPECT_TRUE(reply.contains("POST /commande\nnom=Dupont Élise\nphoto=a.jpg\nphoto=b.jpg")) << reply.constData();
    EXPECT_EQ(echo.last.form.size(), 3);
    EXPECT_TRUE(echo.last.formTruncated);

    // A declared body over the limit is never read; a chunked one is cut where it passes the limit.
    const QByteArray big = exchange(port, "POST /commande HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\nabc");
    EXPECT_EQ(status(big), 413);
    QByteArray chunked = "POST /c HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 10; ++i) chunked += "20\r\n" + QByteArray(32, 'a') + "\r\n";
    chunked += "0\r\n\r\n";
    EXPECT_EQ(status(exchange(port, chunked)), 413);

    // Headers beyond the connection's memory never reach the handler.
    const int before = echo.calls;
    QByteArray endless = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 400; ++i) endless += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(40, 'z') + "\r\n";
    const QByteArray refused = exchange(port, endless + "\r\n");
    EXPECT_TRUE(refused.isEmpty() || status(refused) >= 400) << refused.left(40).constData();
    EXPECT_EQ(echo.calls, before);
    EXPECT_EQ(status(exchange(port, "GET /%2e%2e/x?q=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")), 200);
    EXPECT_EQ(echo.last.target, QByteArray("/%2e%2e/x")); // left encoded for the service to judge
    EXPECT_EQ(echo.last.queryValue("q"), QString("1"));
}

TEST(HttpServer, boundsConnectionsPerAddressAndDropsIdleOnes)
{
    Echo echo;
    echo.options.maxPerAddress = 3;
    echo.options.timeoutSeconds = 1;
    echo.start();
    const quint16 port = echo.server->port();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port);
        idle.back()->waitForConnected(1000);
    }
    QThread::msleep(300);
    EXPECT_LE(echo.server->connectionCount(), 3);
    // Once the idle ones time out, a real request gets through.
    QThread::msleep(1500);
    EXPECT_EQ(status(exchange(port, "GET /ok HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")), 200);
    echo.server->stop();
    EXPECT_FALSE(echo.server->isRunning());
}
