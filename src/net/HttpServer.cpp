#include "net/HttpServer.h"

#include "base/Error.h"
#include "net/HttpConnection.h"

#include <QNetworkInterface>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace tavrin::http {

Server::Server(Options options, Handler handler) : m_options(std::move(options)), m_handler(std::move(handler)) {}

Server::~Server() { stop(); }

void Server::start()
{
    stop();
    m_stopping = false;
    m_context = std::make_unique<Context>(Context{this, &m_options, &m_handler});

    sockaddr_storage storage{};
    const bool v6 = m_options.address.protocol() == QAbstractSocket::IPv6Protocol;
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(m_options.port);
        const Q_IPV6ADDR ip = m_options.address.toIPv6Address();
        memcpy(&a->sin6_addr, &ip, sizeof ip);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(m_options.port);
        a->sin_addr.s_addr = htonl(m_options.address.toIPv4Address());
    }
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION;
    if (v6) flags |= MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(
        flags, m_options.port, nullptr, nullptr, &connection::access, m_context.get(),
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr*>(&storage),
        MHD_OPTION_CONNECTION_LIMIT, unsigned(m_options.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, unsigned(m_options.maxPerAddress),
        MHD_OPTION_CONNECTION_TIMEOUT, unsigned(std::max(1, m_options.timeoutSeconds)),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(m_options.connectionMemory),
        MHD_OPTION_LISTEN_BACKLOG_SIZE, unsigned(std::max(16, m_options.maxConnections)),
        MHD_OPTION_THREAD_STACK_SIZE, size_t(1024 * 1024),
        MHD_OPTION_UNESCAPE_CALLBACK, &connection::keepEscaped, nullptr,
        MHD_OPTION_NOTIFY_COMPLETED, &connection::completed, m_context.get(),
        MHD_OPTION_END);
    if (!m_daemon) {
        m_context.reset();
        throw Error(QStringLiteral("Le service n’a pas pu démarrer sur l’adresse %1.").arg(m_options.address.toString()));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : m_options.port;
}

QUrl Server::url(const QString& path) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(address().toString());
    url.setPort(port());
    url.setPath(path);
    return url;
}

void Server::stop()
{
    if (!m_daemon) return;
    m_stopping = true;
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_context.reset();
    m_port = 0;
}

int Server::connectionCount() const
{
    if (!m_daemon) return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    return info ? int(info->num_connections) : 0;
}

QHostAddress Server::localNetworkAddress()
{
    QHostAddress best;
    int bestScore = -1;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) || (flags & QNetworkInterface::IsLoopBack))
            continue;
        const QString name = iface.name();
        // Containers and virtual machines are not where the customer's phone is.
        if (name.startsWith(QLatin1String("docker")) || name.startsWith(QLatin1String("veth")) ||
            name.startsWith(QLatin1String("br-")) || name.startsWith(QLatin1String("virbr")) ||
            name.startsWith(QLatin1String("vmnet")) || name.startsWith(QLatin1String("tun")) || name.startsWith(QLatin1String("wg")))
            continue;
        int kind = iface.type() == QNetworkInterface::Wifi ? 2 : iface.type() == QNetworkInterface::Ethernet ? 1 : 0;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLinkLocal() || ip.isLoopback()) continue;
            const bool isPrivate = ip.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
                                   ip.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
                                   ip.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
            const int score = (isPrivate ? 10 : 0) + kind;
            if (score > bestScore) {
                bestScore = score;
                best = ip;
            }
        }
    }
    return best;
}

} // namespace tavrin::http
