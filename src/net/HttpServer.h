#pragma once

// The server core of the services Tavrin offers on the stand's network (the hand-over, the
// showcase): libmicrohttpd with one thread per connection, bounded in connections (in all and per
// address), time, memory per connection (request line and headers), body size and form fields.
// The handler runs on the connection's thread and must be thread-safe.

#include "net/HttpMessage.h"

#include <QHostAddress>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

struct MHD_Daemon;

namespace tavrin::http {

class Server {
public:
    struct Options {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 0;              // 0: any free port
        int maxConnections = 64;
        int maxPerAddress = 16;        // 0: no limit of its own
        int timeoutSeconds = 10;       // a connection with nothing moving for that long is dropped
        int connectionMemory = 32 * 1024; // request line, headers and form buffers of one connection
        qint64 maxBodyBytes = 0;       // larger bodies are never read: the handler sees `bodyRefused`
        int maxFormFields = 200;
        int maxFieldBytes = 512;
    };
    using Handler = std::function<Response(const Request&)>;

    Server(Options options, Handler handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Throws Error (French) when the address cannot be served.
    void start();
    // Closes every connection and waits for their threads; handlers see `stopping()` meanwhile.
    void stop();

    bool isRunning() const { return m_daemon != nullptr; }
    bool stopping() const { return m_stopping.load(); }
    quint16 port() const { return m_port; }
    const QHostAddress& address() const { return m_options.address; }
    // The address a browser opens for `path` on this server.
    QUrl url(const QString& path) const;
    const Options& options() const { return m_options; }
    int connectionCount() const;

    // The address the services are served on by default: an IPv4 address of a running Wi-Fi or
    // wired interface, private ranges first; null when there is none.
    static QHostAddress localNetworkAddress();

    // Internal to the connection handling.
    struct Context;

private:
    Options m_options;
    Handler m_handler;
    MHD_Daemon* m_daemon = nullptr;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<Context> m_context;
};

} // namespace tavrin::http
