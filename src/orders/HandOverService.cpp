#include "orders/HandOverService.h"

#include "base/Error.h"
#include "editing/RetouchBridges.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLocale>
#include <QMimeDatabase>
#include <QNetworkInterface>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtConcurrent>

#include <vips/vips8>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrin {

namespace {

constexpr qint64 chunkSize = 64 * 1024;
constexpr qint64 writeAhead = 256 * 1024; // bytes queued in the socket beyond which we wait

const QByteArray archiveName = QByteArrayLiteral("photos.zip");

QString plural(int count, const char* word)
{
    return QString::number(count) + u' ' + QString::fromUtf8(word) + (count == 1 ? QString() : QStringLiteral("s"));
}

QString sizeText(qint64 bytes)
{
    const QLocale fr(QLocale::French, QLocale::France);
    if (bytes < 1000 * 1000) return fr.toString(std::max<qint64>(1, (bytes + 999) / 1000)) + QStringLiteral("\u00A0ko");
    if (bytes < 1000LL * 1000 * 1000) return fr.toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral("\u00A0Mo");
    return fr.toString(double(bytes) / 1e9, 'f', 2) + QStringLiteral("\u00A0Go");
}

QString html(const QString& text) { return text.toHtmlEscaped(); }

bool constantTimeEqual(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) diff |= uchar(a[i] ^ b[i]);
    return diff == 0;
}

// A decimal index without sign, leading zeros or overflow.
int parseIndex(const QByteArray& text, int count)
{
    if (text.isEmpty() || text.size() > 6 || (text.size() > 1 && text[0] == '0')) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value < count ? value : -1;
}

bool isVideoName(const QString& name)
{
    static const QStringList videos{"mov", "mp4", "m4v", "m4p", "mpg", "mpeg", "avi", "mkv", "mts", "m2ts", "3gp", "webm"};
    return videos.contains(QFileInfo(name).suffix().toLower());
}

QByteArray makeThumbnail(const QString& path, int size)
{
    if (isVideoName(path)) return {};
    try {
        RetouchBridges::ensureVips();
        vips::VImage image = vips::VImage::thumbnail(
            QFile::encodeName(path).constData(), size,
            vips::VImage::option()->set("height", size)->set("size", VIPS_SIZE_DOWN));
        if (image.has_alpha()) image = image.flatten(vips::VImage::option()->set("background", std::vector<double>{255, 255, 255}));
        if (image.interpretation() != VIPS_INTERPRETATION_sRGB && image.interpretation() != VIPS_INTERPRETATION_B_W)
            image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
        VipsBlob* blob = image.jpegsave_buffer(vips::VImage::option()->set("Q", 80)->set("strip", true));
        size_t length = 0;
        const void* data = vips_blob_get(blob, &length);
        QByteArray jpeg(static_cast<const char*>(data), qsizetype(length));
        vips_area_unref(VIPS_AREA(blob));
        return jpeg;
    } catch (const std::exception&) {
        return {}; // not an image libvips reads: the page shows a plain tile
    }
}

struct Preparation {
    std::optional<quint32> crc;
    QByteArray thumbnail;
};

QString uniqueName(const QString& name, QSet<QString>& taken)
{
    QString candidate = name;
    const QFileInfo info(name);
    for (int n = 2; taken.contains(candidate.toLower()); ++n)
        candidate = info.completeBaseName() + QStringLiteral(" (%1)").arg(n) +
                    (info.suffix().isEmpty() ? QString() : u'.' + info.suffix());
    taken.insert(candidate.toLower());
    return candidate;
}

} // namespace

QString fileCountText(int count) { return plural(count, "fichier"); }

// One client connection: reads one request at a time (bounded), answers it, streams bodies in
// chunks as the socket drains, and keeps the connection for the next request when asked to.
class HandOverConnection : public QObject {
public:
    HandOverConnection(HandOverService* service, QTcpSocket* socket)
        : QObject(service), m_service(service), m_socket(socket)
    {
        socket->setParent(this);
        // Our own reference to the socket: its acknowledgements stay readable after the peer
        // closed and Qt let go of its descriptor.
        m_fd = ::dup(int(socket->socketDescriptor()));
        socket->setReadBufferSize(service->m_options.maxHeaderBytes + 1024);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_timer.setSingleShot(true);
        m_drainPoll.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { close(); });
        connect(&m_drainPoll, &QTimer::timeout, this, [this] { checkDrained(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        // Both come while the descriptor is still open, so the last acknowledgement can be read.
        connect(socket, &QTcpSocket::disconnected, this, [this] { closedByPeer(); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this] { closedByPeer(); });
        startReading();
    }

    ~HandOverConnection() override { releaseDescriptor(); }

    bool readingRequest() const { return m_state == State::reading; }
    qint64 idleSince() const { return m_idleSince; }

    void close()
    {
        if (m_state == State::closed) return;
        m_state = State::closed;
        m_timer.stop();
        m_drainPoll.stop();
        m_file.close();
        m_socket->abort();
        releaseDescriptor();
        m_service->removeConnection(this);
        deleteLater();
    }

    // Preparation finished somewhere: a request waiting on it may go on.
    void retryWaiting()
    {
        if (m_state == State::waiting && m_service->isReady(m_pending)) respond(m_pending, m_pendingHead, m_pendingKeepAlive);
    }

private:
    enum class State { reading, waiting, sending, draining, closed };

    void startReading()
    {
        m_state = State::reading;
        m_idleSince = QDateTime::currentMSecsSinceEpoch();
        m_timer.start(m_service->m_options.idleTimeoutMs); // a deadline for the whole request, not reset by trickles
        onReadable();
    }

    void onReadable()
    {
        if (m_state != State::reading) return; // the next request waits in the socket's bounded buffer
        m_buffer += m_socket->read(m_service->m_options.maxHeaderBytes + 1 - m_buffer.size());
        qsizetype end = m_buffer.indexOf("\r\n\r\n");
        qsizetype skip = 4;
        if (const qsizetype bare = m_buffer.indexOf("\n\n"); bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            skip = 2;
        }
        if (end < 0) {
            if (m_buffer.size() > m_service->m_options.maxHeaderBytes) fail(431, "Request Header Fields Too Large");
            return;
        }
        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end + skip);
        handle(head);
    }

    void handle(const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
        if (request.size() != 3 || !request[1].startsWith('/') ||
            (request[2] != "HTTP/1.1" && request[2] != "HTTP/1.0"))
            return fail(400, "Bad Request");
        bool keepAlive = request[2] == "HTTP/1.1";
        bool uploading = false;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) return fail(400, "Bad Request");
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed().toLower();
            if (name == "connection") keepAlive = value == "keep-alive" || (keepAlive && value != "close");
            // Nothing is ever uploaded here: a body is never read, the connection ends after the 404.
            if (name == "transfer-encoding" || (name == "content-length" && value != "0")) uploading = true;
        }
        const QByteArray& method = request[0];
        // Any other method, like any unknown address, gets the one 404: nothing tells what exists.
        if (uploading || (method != "GET" && method != "HEAD")) return respond({}, false, false);
        const HandOverService::Resolved resolved = m_service->resolve(request[1]);
        if (!m_service->isReady(resolved)) {
            m_state = State::waiting;
            m_pending = resolved;
            m_pendingHead = method == "HEAD";
            m_pendingKeepAlive = keepAlive;
            m_timer.start(std::max(m_service->m_options.idleTimeoutMs, 60000)); // preparation of large files
            return;
        }
        respond(resolved, method == "HEAD", keepAlive);
    }

    void respond(const HandOverService::Resolved& resolved, bool headOnly, bool keepAlive)
    {
        HandOverService::Body body = m_service->body(resolved);
        int status = 200;
        if (resolved.route == HandOverService::Route::notFound || body.segments.isEmpty()) {
            status = 404;
            body = {};
            body.contentType = "text/html; charset=utf-8";
            const QByteArray text = "<!doctype html><meta charset=utf-8><title>Introuvable</title><p>Introuvable.</p>";
            body.segments = {{text, -1, text.size()}};
        }
        QByteArray header = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") + "\r\n";
        header += "Content-Type: " + body.contentType + "\r\n";
        header += "Content-Length: " + QByteArray::number(HandOverArchive::totalSize(body.segments)) + "\r\n";
        if (!body.disposition.isEmpty()) header += "Content-Disposition: " + body.disposition + "\r\n";
        header += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
        if (resolved.route == HandOverService::Route::page)
            header += "Content-Security-Policy: default-src 'none'; img-src 'self'; style-src 'unsafe-inline'\r\n";
        header += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";

        m_keepAlive = keepAlive;
        m_segments = headOnly ? QList<HandOverArchive::Segment>{} : body.segments;
        m_fetchedIndex = headOnly || status != 200 ? -2 : body.fetchedIndex;
        m_segment = 0;
        m_offset = 0;
        m_state = State::sending;
        m_socket->write(header);
        m_timer.start(m_service->m_options.idleTimeoutMs);
        pump();
    }

    void fail(int status, const char* reason)
    {
        QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                              "\r\nContent-Length: 0\r\nConnection: close\r\n";
        response += "\r\n";
        m_socket->write(response);
        m_segments.clear();
        m_keepAlive = false;
        m_fetchedIndex = -2;
        m_state = State::sending;
        m_timer.start(m_service->m_options.idleTimeoutMs);
        pump();
    }

    // Writes the next chunks while the socket's queue is short: never a whole file in memory.
    void pump()
    {
        if (m_state != State::sending) return;
        m_timer.start(m_service->m_options.idleTimeoutMs);
        while (m_socket->bytesToWrite() < writeAhead && m_segment < m_segments.size()) {
            const HandOverArchive::Segment& segment = m_segments[m_segment];
            if (segment.fileIndex < 0) {
                m_socket->write(segment.bytes);
                nextSegment();
                continue;
            }
            if (!m_file.isOpen()) {
                m_file.setFileName(m_service->filePath(segment.fileIndex));
                // A file that changed since the page was made would give a wrong length: cut it off.
                if (!m_file.open(QIODevice::ReadOnly) || m_file.size() != segment.size) return close();
            }
            const QByteArray chunk = m_file.read(std::min(chunkSize, segment.size - m_offset));
            if (chunk.isEmpty()) return close();
            m_socket->write(chunk);
            m_offset += chunk.size();
            if (m_offset == segment.size) nextSegment();
        }
        if (m_segment < m_segments.size() || m_socket->bytesToWrite() > 0) return;
        if (m_fetchedIndex == -2) return finishResponse();
        // Everything is queued; it counts only once the phone has acknowledged every byte.
        m_state = State::draining;
        m_drainPoll.start();
        checkDrained();
    }

    void nextSegment()
    {
        m_file.close();
        ++m_segment;
        m_offset = 0;
    }

    // Bytes sent but not yet acknowledged by the phone; -1 when the connection was reset (the
    // kernel then forgets the queue, which must not read as "all received").
    void releaseDescriptor()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    int unacknowledged() const
    {
        const int fd = m_fd;
        if (fd < 0) return -1;
        tcp_info info{};
        socklen_t length = sizeof info;
        if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
        if (info.tcpi_state != TCP_ESTABLISHED && info.tcpi_state != TCP_CLOSE_WAIT) return -1;
        int pending = 0;
        if (ioctl(fd, SIOCOUTQ, &pending) != 0) return -1;
        return pending;
    }

    // A phone that read everything may close at once; one that gave up resets the connection.
    void closedByPeer()
    {
        // The close may be seen before the last write's progress signal.
        if (m_state == State::sending && m_fetchedIndex != -2 && m_segment >= m_segments.size() && m_socket->bytesToWrite() == 0)
            m_state = State::draining;
        if (m_state == State::draining && unacknowledged() == 0) {
            const int index = m_fetchedIndex;
            close();
            m_service->noteFetched(index);
            return;
        }
        close();
    }

    void checkDrained()
    {
        if (m_state != State::draining) return;
        const int pending = unacknowledged();
        if (pending < 0) return close();
        if (pending > 0) {
            if (pending != m_lastPending) m_timer.start(m_service->m_options.idleTimeoutMs);
            m_lastPending = pending;
            return;
        }
        m_drainPoll.stop();
        const int index = m_fetchedIndex;
        m_fetchedIndex = -2;
        finishResponse();
        m_service->noteFetched(index);
    }

    void finishResponse()
    {
        m_segments.clear();
        if (!m_keepAlive) {
            m_state = State::closed;
            m_timer.stop();
            m_socket->disconnectFromHost();
            releaseDescriptor();
            m_service->removeConnection(this);
            deleteLater();
            return;
        }
        startReading();
    }

    HandOverService* m_service;
    QTcpSocket* m_socket;
    QTimer m_timer;
    QTimer m_drainPoll;
    State m_state = State::reading;
    QByteArray m_buffer;
    qint64 m_idleSince = 0;

    HandOverService::Resolved m_pending;
    bool m_pendingHead = false;
    bool m_pendingKeepAlive = false;

    QList<HandOverArchive::Segment> m_segments;
    int m_segment = 0;
    qint64 m_offset = 0;
    QFile m_file;
    bool m_keepAlive = false;
    int m_fetchedIndex = -2;
    int m_lastPending = -1;
    int m_fd = -1;
};

HandOverService::HandOverService(QObject* parent) : QObject(parent) {}

HandOverService::~HandOverService() { stop(); }

QHostAddress HandOverService::localNetworkAddress()
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

void HandOverService::send(const QStringList& paths, std::function<void(const QStringList&)> completion)
{
    stop();
    if (paths.isEmpty()) return;

    QList<File> files;
    QSet<QString> taken;
    const QMimeDatabase mimes;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        QFile probe(path);
        if (!info.isFile() || !probe.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("Le fichier « %1 » est introuvable ou illisible.").arg(info.fileName()));
        File file;
        file.path = info.absoluteFilePath();
        file.name = uniqueName(info.fileName(), taken);
        file.mimeType = mimes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().toUtf8();
        file.size = info.size();
        file.modified = info.lastModified();
        files.append(file);
    }

    const QHostAddress address = m_options.address.isNull() ? localNetworkAddress() : m_options.address;
    if (address.isNull())
        throw Error(QStringLiteral("Aucun réseau local : connectez l’ordinateur au même Wi‑Fi que le téléphone."));
    auto* server = new QTcpServer(this);
    server->setMaxPendingConnections(m_options.maxConnections);
    if (!server->listen(address, m_options.port)) {
        delete server;
        throw Error(QStringLiteral("Le partage par QR code n’a pas pu démarrer sur l’adresse %1.").arg(address.toString()));
    }
    m_server = server;
    connect(server, &QTcpServer::newConnection, this, &HandOverService::acceptConnections);

    QByteArray random(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), 4);
    m_token = random.toHex().toUpper(); // upper case keeps the QR code in its compact alphanumeric mode
    if (!m_options.token.isEmpty()) m_token = m_options.token.toUpper();
    m_files = files;
    m_completion = std::move(completion);
    const quint64 generation = ++m_generation;

    // Checksums for the archive and thumbnails for the page, off the main thread.
    const int thumbnailSize = m_options.thumbnailSize;
    for (int i = 0; i < m_files.size(); ++i) {
        auto* watcher = new QFutureWatcher<Preparation>(m_server);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, i] {
            const Preparation result = watcher->result();
            watcher->deleteLater();
            prepared(generation, i, result.crc, result.thumbnail);
        });
        const QString path = m_files[i].path;
        const qint64 size = m_files[i].size;
        watcher->setFuture(QtConcurrent::run([path, size, thumbnailSize] {
            return Preparation{HandOverArchive::fileCrc32(path, size), makeThumbnail(path, thumbnailSize)};
        }));
    }
    Q_EMIT progressChanged();
}

void HandOverService::stop()
{
    ++m_generation;
    const QList<HandOverConnection*> connections = m_connections;
    for (HandOverConnection* connection : connections) connection->close();
    m_connections.clear();
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    m_completion = {};
    m_token.clear();
    m_files.clear();
}

bool HandOverService::isRunning() const { return m_server != nullptr; }

QUrl HandOverService::url() const
{
    if (!m_server) return {};
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_server->serverAddress().toString());
    url.setPort(m_server->serverPort());
    url.setPath(u'/' + QString::fromLatin1(m_token) + u'/');
    return url;
}

QStringList HandOverService::files() const
{
    QStringList out;
    for (const File& f : m_files) out.append(f.path);
    return out;
}

QStringList HandOverService::fetchedFiles() const
{
    QStringList out;
    for (const File& f : m_files)
        if (f.fetched) out.append(f.path);
    return out;
}

int HandOverService::fetchedCount() const { return int(fetchedFiles().size()); }

void HandOverService::acceptConnections()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        if (int(m_connections.size()) >= m_options.maxConnections) {
            // Make room by dropping whoever has been slowest to send a request, so that idle or
            // trickling sockets cannot lock a real client out.
            HandOverConnection* oldest = nullptr;
            for (HandOverConnection* c : m_connections)
                if (c->readingRequest() && (!oldest || c->idleSince() < oldest->idleSince())) oldest = c;
            if (oldest) oldest->close();
        }
        if (int(m_connections.size()) >= m_options.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connections.append(new HandOverConnection(this, socket));
    }
}

void HandOverService::removeConnection(HandOverConnection* connection) { m_connections.removeOne(connection); }

HandOverService::Resolved HandOverService::resolve(const QByteArray& target) const
{
    if (m_token.isEmpty()) return {};
    QByteArray path = target;
    if (const qsizetype query = path.indexOf('?'); query >= 0) path.truncate(query);
    const QList<QByteArray> parts = path.split('/');
    if (parts.size() < 2 || !parts[0].isEmpty() || !constantTimeEqual(parts[1], m_token)) return {};
    if (parts.size() == 2 || (parts.size() == 3 && parts[2].isEmpty())) return {Route::page, -1};
    if (parts.size() == 3 && parts[2] == archiveName) return archiveAvailable() ? Resolved{Route::archive, -1} : Resolved{};
    if (parts.size() == 4 && parts[2] == "t" && parts[3].endsWith(".jpg")) {
        const int index = parseIndex(parts[3].chopped(4), int(m_files.size()));
        return index >= 0 ? Resolved{Route::thumbnail, index} : Resolved{};
    }
    if (parts.size() == 5 && parts[2] == "f") {
        const int index = parseIndex(parts[3], int(m_files.size()));
        // The name is decorative (it names the download) but must be the file's own.
        if (index >= 0 && QUrl::fromPercentEncoding(parts[4]) == m_files[index].name) return {Route::file, index};
    }
    return {};
}

bool HandOverService::isReady(const Resolved& resolved) const
{
    if (resolved.route == Route::thumbnail) return m_files.value(resolved.index).prepared;
    if (resolved.route == Route::archive)
        return std::all_of(m_files.cbegin(), m_files.cend(), [](const File& f) { return f.prepared; });
    return true;
}

bool HandOverService::archiveAvailable() const
{
    QList<HandOverArchive::Entry> entries;
    for (const File& f : m_files) entries.append({f.name, f.size, 0, f.modified});
    return m_files.size() > 1 && HandOverArchive::fits(entries) &&
           std::none_of(m_files.cbegin(), m_files.cend(), [](const File& f) { return f.prepared && !f.crc; });
}

HandOverService::Body HandOverService::body(const Resolved& resolved) const
{
    Body body;
    switch (resolved.route) {
    case Route::notFound: break;
    case Route::page: {
        const QByteArray text = page();
        body.contentType = "text/html; charset=utf-8";
        body.segments = {{text, -1, text.size()}};
        break;
    }
    case Route::thumbnail: {
        const QByteArray& jpeg = m_files[resolved.index].thumbnail;
        if (jpeg.isEmpty()) break;
        body.contentType = "image/jpeg";
        body.segments = {{jpeg, -1, jpeg.size()}};
        break;
    }
    case Route::file: {
        const File& f = m_files[resolved.index];
        body.contentType = f.mimeType.isEmpty() ? "application/octet-stream" : f.mimeType;
        body.disposition = "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(f.name);
        body.segments = {{{}, resolved.index, f.size}};
        body.fetchedIndex = resolved.index;
        break;
    }
    case Route::archive: {
        QList<HandOverArchive::Entry> entries;
        for (const File& f : m_files) {
            if (!f.crc) return {};
            entries.append({f.name, f.size, *f.crc, f.modified});
        }
        body.contentType = "application/zip";
        body.disposition = "attachment; filename=\"" + archiveName + '"';
        body.segments = HandOverArchive::layout(entries);
        body.fetchedIndex = -1;
        break;
    }
    }
    return body;
}

void HandOverService::prepared(quint64 generation, int index, std::optional<quint32> crc, const QByteArray& thumbnail)
{
    if (generation != m_generation || index >= m_files.size()) return;
    File& f = m_files[index];
    f.crc = crc;
    f.thumbnail = thumbnail;
    f.prepared = true;
    const QList<HandOverConnection*> connections = m_connections;
    for (HandOverConnection* c : connections)
        if (m_connections.contains(c)) c->retryWaiting();
}

void HandOverService::noteFetched(int index)
{
    if (index < -1 || index >= m_files.size()) return;
    bool changed = false;
    for (int i = 0; i < m_files.size(); ++i) {
        if ((index == -1 || index == i) && !m_files[i].fetched) {
            m_files[i].fetched = true;
            changed = true;
        }
    }
    if (!changed) return;
    Q_EMIT progressChanged();
    if (!std::all_of(m_files.cbegin(), m_files.cend(), [](const File& f) { return f.fetched; })) return;
    // Every file reached the phone: stop, then tell (after the connection that got here unwinds).
    const QStringList paths = files();
    auto completion = std::move(m_completion);
    stop();
    QMetaObject::invokeMethod(this, [this, paths, completion] {
        if (completion) completion(paths);
        Q_EMIT delivered(paths);
    }, Qt::QueuedConnection);
}

QByteArray HandOverService::page() const
{
    const QString token = QString::fromLatin1(m_token);
    QString items;
    for (int i = 0; i < m_files.size(); ++i) {
        const File& f = m_files[i];
        const QString href = u'/' + token + QStringLiteral("/f/") + QString::number(i) + u'/' +
                             QString::fromLatin1(QUrl::toPercentEncoding(f.name));
        const QString tile = !f.prepared || !f.thumbnail.isEmpty()
                                 ? QStringLiteral("<img src=\"/%1/t/%2.jpg\" alt=\"\" loading=\"lazy\">").arg(token).arg(i)
                                 : QStringLiteral("<span class=\"tile\">%1</span>")
                                       .arg(isVideoName(f.name) ? QStringLiteral("Vidéo") : QStringLiteral("Fichier"));
        items += QStringLiteral("<li><a href=\"%1\" download=\"%2\">%3<span class=\"name\">%2</span>"
                                "<span class=\"size\">%4 · Télécharger</span></a></li>\n")
                     .arg(html(href), html(f.name), tile, sizeText(f.size));
    }
    QString all;
    if (archiveAvailable()) {
        qint64 total = 0;
        for (const File& f : m_files) total += f.size;
        all = QStringLiteral("<p><a class=\"all\" href=\"/%1/%2\" download>Tout télécharger (archive ZIP, %3)</a></p>")
                  .arg(token, QString::fromLatin1(archiveName), sizeText(total));
    }
    const QString text = QStringLiteral(
        "<!doctype html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>Vos photos</title><style>"
        "body{font-family:system-ui,sans-serif;margin:0 auto;max-width:40em;padding:1em;color:#222;background:#fafafa}"
        "h1{font-size:1.4em;margin:.2em 0}ul{list-style:none;padding:0}li{margin:.6em 0}"
        "li a{display:flex;align-items:center;gap:.8em;text-decoration:none;color:inherit;background:#fff;"
        "border-radius:.6em;padding:.5em;box-shadow:0 1px 3px #0002}"
        "img,.tile{width:5em;height:5em;object-fit:cover;border-radius:.3em;background:#ddd;flex:none;"
        "display:flex;align-items:center;justify-content:center;font-size:.8em}"
        ".name{flex:1;word-break:break-all}.size{color:#666;font-size:.85em;white-space:nowrap}"
        ".all{display:block;text-align:center;padding:.8em;border-radius:.6em;background:#1f6feb;color:#fff;"
        "text-decoration:none;font-weight:600}"
        "</style></head><body><h1>Vos photos</h1><p>%1 à enregistrer sur ce téléphone.</p>%2<ul>\n%3</ul></body></html>\n")
                             .arg(fileCountText(int(m_files.size())), all, items);
    return text.toUtf8();
}

} // namespace tavrin
