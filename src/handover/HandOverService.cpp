#include "handover/HandOverService.h"

#include "base/Error.h"
#include "editing/RetouchBridges.h"
#include "net/HttpRoute.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QRandomGenerator>

#include <vips/vips8>

#include <cstring>

namespace tavrin {

namespace {

constexpr qint64 chunkSize = 64 * 1024;

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
        return RetouchBridges::jpegBytes(image, 80);
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

// Reads a response body laid out as segments (bytes held here, or whole files) at increasing
// offsets, as the server core asks for the next piece.
class SegmentReader {
public:
    SegmentReader(QList<HandOverArchive::Segment> segments, QStringList paths)
        : m_segments(std::move(segments)), m_paths(std::move(paths)) {}

    qint64 read(qint64 offset, char* buffer, qint64 capacity)
    {
        // Find the segment holding `offset` (the core asks in order; a restart scans again).
        if (offset < m_segmentStart) {
            m_segment = 0;
            m_segmentStart = 0;
            m_file.close();
        }
        while (m_segment < m_segments.size() && offset >= m_segmentStart + m_segments[m_segment].size) {
            m_segmentStart += m_segments[m_segment].size;
            ++m_segment;
            m_file.close();
        }
        if (m_segment >= m_segments.size()) return -1;
        const HandOverArchive::Segment& segment = m_segments[m_segment];
        const qint64 within = offset - m_segmentStart;
        const qint64 count = std::min(capacity, segment.size - within);
        if (segment.fileIndex < 0) {
            memcpy(buffer, segment.bytes.constData() + within, size_t(count));
            return count;
        }
        if (!m_file.isOpen()) {
            m_file.setFileName(m_paths.value(segment.fileIndex));
            // A file that changed since the page was made would give a wrong length: cut it off.
            if (!m_file.open(QIODevice::ReadOnly) || m_file.size() != segment.size) return -1;
        }
        if (m_file.pos() != within && !m_file.seek(within)) return -1;
        const qint64 got = m_file.read(buffer, std::min(count, chunkSize));
        return got > 0 ? got : -1;
    }

private:
    QList<HandOverArchive::Segment> m_segments;
    QStringList m_paths;
    int m_segment = 0;
    qint64 m_segmentStart = 0;
    QFile m_file;
};

HandOverService::HandOverService(QObject* parent) : QObject(parent) {}

HandOverService::~HandOverService() { stop(); }

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

    const QHostAddress address = m_options.address.isNull() ? http::Server::localNetworkAddress() : m_options.address;
    if (address.isNull())
        throw Error(QStringLiteral("Aucun réseau local : connectez l’ordinateur au même Wi‑Fi que le téléphone."));
    http::Server::Options serverOptions;
    serverOptions.address = address;
    serverOptions.port = m_options.port;
    serverOptions.maxConnections = m_options.maxConnections;
    serverOptions.maxPerAddress = m_options.maxConnections;
    serverOptions.timeoutSeconds = std::max(1, (m_options.idleTimeoutMs + 999) / 1000);
    serverOptions.connectionMemory = std::max(16 * 1024, m_options.maxHeaderBytes * 2);
    serverOptions.maxBodyBytes = 0; // nothing is ever uploaded here
    auto server = std::make_unique<http::Server>(serverOptions, [this](const http::Request& r) { return handle(r); });
    try {
        server->start();
    } catch (const Error&) {
        throw Error(QStringLiteral("Le partage par QR code n’a pas pu démarrer sur l’adresse %1.").arg(address.toString()));
    }

    QByteArray random(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), 4);
    {
        QMutexLocker lock(&m_mutex);
        m_token = random.toHex().toUpper(); // upper case keeps the QR code in its compact alphanumeric mode
        if (!m_options.token.isEmpty()) m_token = m_options.token.toUpper();
        m_files = files;
        m_stopping = false;
    }
    m_completion = std::move(completion);
    ++m_generation;
    m_server = std::move(server);

    // Checksums for the archive and thumbnails for the page, off the main thread.
    const int thumbnailSize = m_options.thumbnailSize;
    for (int i = 0; i < m_files.size(); ++i) {
        m_preparations.run(QString::number(i), [path = m_files[i].path, size = m_files[i].size, thumbnailSize](const JobContext&) {
            return Preparation{HandOverArchive::fileCrc32(path, size), makeThumbnail(path, thumbnailSize)};
        }, [this, i](const Preparation& result) { prepared(i, result.crc, result.thumbnail); });
    }
    Q_EMIT progressChanged();
}

void HandOverService::stop()
{
    ++m_generation;
    if (m_server) {
        {
            QMutexLocker lock(&m_mutex);
            m_stopping = true;
            m_ready.wakeAll();
        }
        m_server->stop(); // waits for the connections' threads
        m_server.reset();
    }
    m_preparations.cancelAll();
    m_completion = {};
    QMutexLocker lock(&m_mutex);
    m_token.clear();
    m_files.clear();
}

bool HandOverService::isRunning() const { return m_server != nullptr; }

QUrl HandOverService::url() const
{
    if (!m_server) return {};
    QMutexLocker lock(&m_mutex);
    return m_server->url(u'/' + QString::fromLatin1(m_token) + u'/');
}

QStringList HandOverService::files() const
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    for (const File& f : m_files) out.append(f.path);
    return out;
}

QStringList HandOverService::fetchedFiles() const
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    for (const File& f : m_files)
        if (f.fetched) out.append(f.path);
    return out;
}

int HandOverService::fetchedCount() const { return int(fetchedFiles().size()); }

int HandOverService::connectionCount() const { return m_server ? m_server->connectionCount() : 0; }

http::Response HandOverService::handle(const http::Request& request)
{
    // Any other method, any upload, like any unknown address, gets the one 404: nothing tells what exists.
    if (request.hasBody || (request.method != "GET" && request.method != "HEAD")) {
        http::Response refused = respond({}, false);
        refused.close = request.hasBody;
        return refused;
    }
    return respond(request.target, request.method == "GET");
}

http::Response HandOverService::respond(const QByteArray& target, bool get)
{
    QMutexLocker lock(&m_mutex);
    const Resolved resolved = target.isNull() ? Resolved{} : resolve(target);
    // Preparation of large files may take a while; the request waits for it.
    QDeadlineTimer deadline(std::max(m_options.idleTimeoutMs, 60000));
    while (!isReady(resolved) && !m_stopping && !deadline.hasExpired()) m_ready.wait(&m_mutex, QDeadlineTimer(100));
    Body body = isReady(resolved) ? this->body(resolved) : Body{};
    QStringList paths;
    for (const File& f : m_files) paths.append(f.path);
    const quint64 generation = m_generation;
    lock.unlock();

    http::Response response;
    response.status = 200;
    if (resolved.route == Route::notFound || body.segments.isEmpty()) {
        response.status = 404;
        body = {};
        body.contentType = "text/html; charset=utf-8";
        const QByteArray text = "<!doctype html><meta charset=utf-8><title>Introuvable</title><p>Introuvable.</p>";
        body.segments = {{text, -1, text.size()}};
    }
    response.contentType = body.contentType;
    if (!body.disposition.isEmpty()) response.addHeader("Content-Disposition", body.disposition);
    response.addHeader("Cache-Control", "no-store");
    response.addHeader("X-Content-Type-Options", "nosniff");
    response.addHeader("Referrer-Policy", "no-referrer");
    if (resolved.route == Route::page)
        response.addHeader("Content-Security-Policy", "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'");
    if (body.segments.size() == 1 && body.segments[0].fileIndex < 0) {
        response.body = body.segments[0].bytes;
    } else {
        auto reader = std::make_shared<SegmentReader>(body.segments, paths);
        response.streamSize = HandOverArchive::totalSize(body.segments);
        response.stream = [reader](qint64 offset, char* buffer, qint64 capacity) { return reader->read(offset, buffer, capacity); };
    }
    const int index = body.fetchedIndex;
    if (get && response.status == 200 && index != -2) {
        // It counts only once the phone has acknowledged every byte.
        response.awaitAcknowledgement = true;
        // The connections' threads end before the service does (stop() waits for them).
        response.finished = [this, index, generation](bool taken) {
            if (!taken) return;
            QMetaObject::invokeMethod(this, [this, index, generation] {
                if (m_generation == generation) noteFetched(index);
            }, Qt::QueuedConnection);
        };
    }
    return response;
}

HandOverService::Resolved HandOverService::resolve(const QByteArray& target) const
{
    if (m_token.isEmpty()) return {};
    QByteArray path = target;
    if (const qsizetype query = path.indexOf('?'); query >= 0) path.truncate(query);
    const QList<QByteArray> parts = http::segments(path);
    if (parts.size() < 2 || !parts[0].isEmpty() || !http::constantTimeEqual(parts[1], m_token)) return {};
    if (parts.size() == 2 || (parts.size() == 3 && parts[2].isEmpty())) return {Route::page, -1};
    if (parts.size() == 3 && parts[2] == archiveName) return archiveAvailable() ? Resolved{Route::archive, -1} : Resolved{};
    if (parts.size() == 4 && parts[2] == "t" && parts[3].endsWith(".jpg")) {
        const int index = http::parseIndex(parts[3].chopped(4), int(m_files.size()));
        return index >= 0 ? Resolved{Route::thumbnail, index} : Resolved{};
    }
    if (parts.size() == 5 && parts[2] == "f") {
        const int index = http::parseIndex(parts[3], int(m_files.size()));
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

void HandOverService::prepared(int index, std::optional<quint32> crc, const QByteArray& thumbnail)
{
    QMutexLocker lock(&m_mutex);
    if (index >= m_files.size()) return;
    File& f = m_files[index];
    f.crc = crc;
    f.thumbnail = thumbnail;
    f.prepared = true;
    m_ready.wakeAll();
}

void HandOverService::noteFetched(int index)
{
    QMutexLocker lock(&m_mutex);
    if (index < -1 || index >= m_files.size()) return;
    bool changed = false;
    for (int i = 0; i < m_files.size(); ++i) {
        if ((index == -1 || index == i) && !m_files[i].fetched) {
            m_files[i].fetched = true;
            changed = true;
        }
    }
    if (!changed) return;
    const bool all = std::all_of(m_files.cbegin(), m_files.cend(), [](const File& f) { return f.fetched; });
    lock.unlock();
    Q_EMIT progressChanged();
    if (!all) return;
    // Every file reached the phone: stop, then tell.
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
