#include "PhonePeer.h"

#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"
#include "sync/SyncConnection.h"
#include "sync/SyncService.h"

#include <QFile>
#include <QtEndian>

#include <cstdio>

namespace tavrin {

namespace {

constexpr int kDialFallbackMs = 2000;
constexpr int kRedialMs = 2000;
constexpr qint64 kFloodBytes = 24'000'000;
constexpr qint64 kFloodChunk = 65'536;

QByteArray rawFrame(const QByteArray& body)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), out.data());
    return out + body;
}

} // namespace

PhonePeer::PhonePeer(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_random(m_options.seed)
{
}

PhonePeer::~PhonePeer()
{
    for (const LinkPtr& link : m_links) link->socket->disconnect(this);
}

void PhonePeer::say(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool PhonePeer::start(QString& error)
{
    if (!libraryFrame(&error)) return false;
    if (!m_server.listen(QHostAddress::Any, m_options.port)) {
        error = QStringLiteral("écoute impossible sur le port ") + QString::number(m_options.port) + QStringLiteral(" : ") + m_server.errorString();
        return false;
    }
    connect(&m_server, &QTcpServer::newConnection, this, &PhonePeer::accept);
    say(QStringLiteral("port ") + QString::number(m_server.serverPort()));

    if (m_options.advertise || m_options.dial) {
        m_discovery = std::make_unique<AvahiDiscovery>();
        connect(m_discovery.get(), &ServiceDiscovery::published, this,
                [](const QString& name) { say(QStringLiteral("advertised ") + name); });
        connect(m_discovery.get(), &ServiceDiscovery::unavailable, this, [] { say(QStringLiteral("dns-sd unavailable")); });
        connect(m_discovery.get(), &ServiceDiscovery::resultsChanged, this, &PhonePeer::onResults);
        if (m_options.advertise)
            m_discovery->publish(m_options.name, m_server.serverPort(),
                                 {{QStringLiteral("app"), QStringLiteral("TAVRIN")}, {QStringLiteral("role"), m_options.role}});
        if (m_options.dial) m_discovery->startBrowsing();
    }
    if (m_options.connectTo) {
        const QString host = m_options.connectTo->first;
        dial(QString(), QHostAddress(host), m_options.connectTo->second);
    }
    return true;
}

std::optional<QByteArray> PhonePeer::libraryFrame(QString* error) const
{
    LibrarySnapshot library = LibrarySnapshot::empty();
    if (!m_options.libraryFile.isEmpty()) {
        QFile file(m_options.libraryFile);
        if (!file.open(QIODevice::ReadOnly)) {
            if (error) *error = QStringLiteral("impossible de lire ") + m_options.libraryFile;
            return std::nullopt;
        }
        try {
            library = decodeLibrary(file.readAll());
        } catch (const Error& e) {
            if (error) *error = QStringLiteral("bibliothèque illisible : ") + e.message();
            return std::nullopt;
        }
    }
    const auto frame = SyncFraming::frame(SyncEnvelope{SyncEnvelopeKind::library, m_options.role, library, m_options.name});
    if (!frame && error) *error = QStringLiteral("bibliothèque trop grande pour une trame");
    return frame;
}

// ---- links -------------------------------------------------------------------------------------

void PhonePeer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) attach(socket, QString(), false);
}

void PhonePeer::dial(const QString& desktop, const QHostAddress& address, quint16 port)
{
    auto* socket = new QTcpSocket(this);
    SyncConnection::configure(socket);
    attach(socket, desktop, true);
    socket->connectToHost(address, port);
}

void PhonePeer::attach(QTcpSocket* socket, const QString& desktop, bool dialled)
{
    auto link = std::make_shared<Link>();
    link->socket = socket;
    link->desktop = desktop;
    socket->setParent(this);
    m_links.push_back(link);
    const std::weak_ptr<Link> weak = link;

    if (m_options.slowReads) {
        socket->setReadBufferSize(1);
        link->reader = new QTimer(socket);
        connect(link->reader, &QTimer::timeout, this, [this, weak] {
            if (const LinkPtr l = weak.lock()) read(l, 1);
        });
        link->reader->start(20);
    } else {
        connect(socket, &QTcpSocket::readyRead, this, [this, weak] {
            if (const LinkPtr l = weak.lock()) read(l, SyncFraming::kReadChunk);
        });
    }
    connect(socket, &QTcpSocket::bytesWritten, this, [this, weak] {
        const LinkPtr l = weak.lock();
        if (!l || l->flood <= 0 || l->socket->bytesToWrite() > 4 * kFloodChunk) return;
        const qint64 n = std::min(l->flood, kFloodChunk);
        l->flood -= n;
        l->socket->write(QByteArray(n, 'x'));
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
        if (const LinkPtr l = weak.lock()) closed(l);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, weak] {
        if (const LinkPtr l = weak.lock()) closed(l);
    });
    if (dialled)
        connect(socket, &QTcpSocket::connected, this, [this, weak] {
            if (const LinkPtr l = weak.lock()) ready(l);
        });
    else
        ready(link);
}

void PhonePeer::ready(const LinkPtr& link)
{
    SyncConnection::configure(link->socket);
    if (m_options.slowReads) link->socket->setReadBufferSize(1);
    say(QStringLiteral("connected ") + (link->desktop.isEmpty() ? QStringLiteral("(incoming)") : link->desktop));
    if (m_options.oversized) {
        QByteArray header(4, Qt::Uninitialized);
        qToBigEndian(SyncFraming::kFrameLimit, header.data());
        link->socket->write(header);
        link->flood = kFloodBytes;
        link->socket->write(QByteArray(kFloodChunk, 'x'));
        return;
    }
    sendGarbage(link);
    sendEnvelope(link, SyncEnvelope{SyncEnvelopeKind::hello, m_options.role, std::nullopt, m_options.name});
}

void PhonePeer::read(const LinkPtr& link, qint64 max)
{
    while (link->socket->bytesAvailable() > 0) {
        const QByteArray chunk = link->socket->read(max);
        const auto result = link->buffer.append(chunk, [&](SyncEnvelope&& envelope) {
            handle(link, envelope);
            return link->socket->state() == QAbstractSocket::ConnectedState;
        });
        if (result != SyncFrameBuffer::Result::waiting || max == 1) return;
    }
}

void PhonePeer::handle(const LinkPtr& link, const SyncEnvelope& envelope)
{
    if (envelope.peerName && !envelope.peerName->isEmpty() && link->desktop != *envelope.peerName) {
        link->desktop = *envelope.peerName;
        say(QStringLiteral("link ") + link->desktop);
    }
    say(QStringLiteral("received ") + rawValue(envelope.kind));
    if (envelope.kind == SyncEnvelopeKind::hello || envelope.kind == SyncEnvelopeKind::requestLibrary) sendLibrary(link);
}

void PhonePeer::sendEnvelope(const LinkPtr& link, const SyncEnvelope& envelope)
{
    if (const auto frame = SyncFraming::frame(envelope)) write(link, *frame);
}

void PhonePeer::sendLibrary(const LinkPtr& link)
{
    const auto frame = libraryFrame();
    if (!frame) return;
    if (!m_options.disconnectMidFrame) {
        write(link, *frame);
        say(QStringLiteral("sent library ") + QString::number(frame->size()));
        return;
    }
    write(link, frame->left(frame->size() / 2));
    link->socket->flush();
    say(QStringLiteral("dropping mid-frame"));
    QTimer::singleShot(100, link->socket, [socket = link->socket] { socket->abort(); });
}

void PhonePeer::write(const LinkPtr& link, const QByteArray& bytes)
{
    if (m_options.splitWrites <= 0) {
        link->socket->write(bytes);
        return;
    }
    link->pending += bytes;
    if (!link->writer) {
        link->writer = new QTimer(link->socket);
        connect(link->writer, &QTimer::timeout, this, [l = link.get(), piece = m_options.splitWrites] {
            if (l->pending.isEmpty()) return;
            l->socket->write(l->pending.left(piece));
            l->pending.remove(0, piece);
            l->socket->flush();
        });
        link->writer->start(1);
    }
}

void PhonePeer::sendGarbage(const LinkPtr& link)
{
    const LibrarySnapshot sample = LibrarySnapshot::empty();
    const QByteArray valid = encodeEnvelope(SyncEnvelope{SyncEnvelopeKind::library, m_options.role, sample, m_options.name});
    for (int i = 0; i < m_options.garbageFrames; ++i) {
        QByteArray body;
        switch (m_random.bounded(8)) {
        case 0: {
            body.resize(m_random.bounded(2000));
            for (char& c : body) c = char(m_random.bounded(256));
            break;
        }
        case 1: break; // empty text
        case 2: body = R"({"kind":"bye","platform":"ios"})"; break;
        case 3: body = R"({"kind":"hello","peerName":"x"})"; break; // no platform
        case 4: body = R"({"kind":"library","platform":"ios","snapshot":{"version":1}})"; break;
        case 5: body = valid.left(m_random.bounded(int(valid.size()))); break;
        case 6: body = "[1,2,3]"; break;
        case 7: {
            body = valid;
            body.replace("Z\"", "bad\"");
            break;
        }
        }
        write(link, rawFrame(body));
    }
}

void PhonePeer::closed(const LinkPtr& link)
{
    const auto it = std::find(m_links.begin(), m_links.end(), link);
    if (it == m_links.end()) return;
    m_links.erase(it);
    link->socket->disconnect(this);
    link->socket->deleteLater();
    say(QStringLiteral("closed ") + (link->desktop.isEmpty() ? QStringLiteral("(unnamed)") : link->desktop));
    if (!m_options.dial || link->desktop.isEmpty()) return;
    const QString desktop = link->desktop;
    QTimer::singleShot(kRedialMs, this, [this, desktop] { onResults(m_desktops); });
}

// ---- dialling ----------------------------------------------------------------------------------

bool PhonePeer::linkedTo(const QString& desktop) const
{
    return std::any_of(m_links.begin(), m_links.end(), [&](const LinkPtr& l) { return SyncService::sameDevice(l->desktop, desktop); });
}

void PhonePeer::onResults(const QList<BrowseResult>& results)
{
    m_desktops.clear();
    for (const BrowseResult& r : results)
        if (r.txt && r.txt->value(QStringLiteral("role")) == u"mac" && r.txt->value(QStringLiteral("app")) == u"TAVRIN")
            m_desktops.push_back(r);
    for (const BrowseResult& desktop : std::as_const(m_desktops)) {
        if (linkedTo(desktop.name)) continue;
        // The same rule as the desktop's: the one seeing a smaller name dials at once.
        const bool now = desktop.name < m_options.name;
        QTimer::singleShot(now ? 0 : kDialFallbackMs, this, [this, desktop] {
            const bool stillThere = std::any_of(m_desktops.begin(), m_desktops.end(),
                                                [&](const BrowseResult& d) { return d.name == desktop.name; });
            if (stillThere && !linkedTo(desktop.name)) dial(desktop.name, desktop.endpoint.address, desktop.endpoint.port);
        });
    }
}

} // namespace tavrin
