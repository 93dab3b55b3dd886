#include "showcase/ShowcaseService.h"

#include "base/Error.h"
#include "net/HttpRoute.h"
#include "orders/OrdersStore.h"
#include "organizer/PhotoFile.h"
#include "showcase/ShowcasePage.h"

#include <QDir>
#include <QFileInfo>

namespace tavrin {

namespace {

constexpr int maxVisitorsRemembered = 100000;

http::Response html(int status, const QByteArray& body)
{
    http::Response r = http::Response::text(status, "text/html; charset=utf-8", body);
    r.addHeader("Cache-Control", "no-store");
    static const QByteArray policy = "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; script-src " +
                                     ShowcasePage::scriptHash() + "; form-action 'self'; base-uri 'none'";
    r.addHeader("Content-Security-Policy", policy);
    r.addHeader("X-Content-Type-Options", "nosniff");
    r.addHeader("Referrer-Policy", "no-referrer");
    r.addHeader("X-Frame-Options", "DENY");
    return r;
}

// The photos a rider's page shows (a RAW sent with its JPEG shows as the JPEG), as the catalogue
// lists them.
QStringList photosIn(const QString& folder)
{
    QStringList photos;
    try {
        for (const OrderMedia& m : OrdersStore::media(folder))
            if (!m.isVideo && PhotoFile::isPhoto(m.url)) photos << m.url;
    } catch (const std::exception&) {
        // A folder gone meanwhile has nothing to prepare.
    }
    return photos;
}

http::Response notFound()
{
    return html(404, ShowcasePage::message(QStringLiteral("Introuvable"), QStringLiteral("Cette page n’existe pas.")));
}

// "12" of "/cavalier/12"; a strict decimal below a bound.
int identifier(const QByteArray& text) { return http::parseIndex(text, 1000000); }

} // namespace

ShowcaseService::ShowcaseService(QObject* parent) : QObject(parent) {}

ShowcaseService::~ShowcaseService() { stop(); }

QStringList ShowcaseService::defaultFormats()
{
    return {QStringLiteral("IMPRESSION A5"), QStringLiteral("IMPRESSION A4"), QStringLiteral("FICHIERS")};
}

http::Server::Options ShowcaseService::defaultServerOptions()
{
    http::Server::Options o;
    o.address = QHostAddress();
    o.maxConnections = 128;
    o.maxPerAddress = 16;
    o.timeoutSeconds = 15;
    o.connectionMemory = 32 * 1024;
    o.maxBodyBytes = 64 * 1024; // an order of a few hundred photos fits
    o.maxFormFields = 600;
    o.maxFieldBytes = 256;
    return o;
}

void ShowcaseService::start(const Options& options)
{
    stop();
    if (!QFileInfo(options.photos).isDir())
        throw Error(QStringLiteral("Le dossier des cavaliers « %1 » est introuvable.").arg(options.photos));
    if (!QFileInfo(options.orders).isDir())
        throw Error(QStringLiteral("Le dossier des commandes « %1 » est introuvable.").arg(options.orders));
    if (options.formats.isEmpty()) throw Error(QStringLiteral("Indiquez au moins un format."));
    m_options = options;
    m_catalogue = std::make_unique<ShowcaseCatalogue>(options.photos, options.programmes);
    m_previews = std::make_unique<ShowcasePreviews>(
        options.cacheFolder.isEmpty() ? ShowcasePreviews::defaultCacheFolder() : options.cacheFolder, options.watermark, 1600, options.cacheBound);
    m_orders = std::make_unique<ShowcaseOrders>(QFileInfo(options.orders).absoluteFilePath(), options.orderLimits);
    m_orders->prices = options.prices;
    m_orders->riderNumber = [catalogue = m_catalogue.get()](const QString& folder) { return catalogue->riderNumber(folder); };
    auto server = std::make_unique<http::Server>(options.server, [this](const http::Request& r) { return handle(r); });
    server->start();
    m_server = std::move(server);
    watchRiders();
}

void ShowcaseService::watchRiders()
{
    m_watcher = std::make_unique<QFileSystemWatcher>();
    m_watcher->addPath(QFileInfo(m_options.photos).absoluteFilePath());
    watchNewRiders(false);
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
        if (path == QFileInfo(m_options.photos).absoluteFilePath()) {
            watchNewRiders(true);
            return;
        }
        m_filled.insert(path);
        // Not restarted by each new file: while a folder fills, its previews follow it.
        if (!m_fillTimer.isActive()) m_fillTimer.start();
    });
    m_fillTimer.setSingleShot(true);
    m_fillTimer.setInterval(500);
    connect(&m_fillTimer, &QTimer::timeout, this, &ShowcaseService::prepareFilled, Qt::UniqueConnection);
}

void ShowcaseService::watchNewRiders(bool prepare)
{
    const QStringList watched = m_watcher->directories();
    const QDir root(m_options.photos);
    // Newest first: at opening, the riders of the class just organised are made ready first.
    const QDateTime recent = QDateTime::currentDateTime().addSecs(-recentRidersHours * 3600);
    for (const QFileInfo& folder : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time)) {
        const QString path = folder.absoluteFilePath();
        if (watched.contains(path)) continue;
        m_watcher->addPath(path);
        if (prepare) {
            // A folder made since the showcase opened may have its photos already.
            m_filled.insert(path);
        } else if (m_previews && folder.lastModified() >= recent) {
            // Filled before the showcase opened, today: its visitors are about to come.
            m_previews->prepare(path, [path] { return photosIn(path); });
        }
    }
    if (prepare && !m_filled.isEmpty() && !m_fillTimer.isActive()) m_fillTimer.start();
}

void ShowcaseService::prepareFilled()
{
    if (!m_previews) return;
    for (const QString& folder : std::as_const(m_filled)) m_previews->prepare(folder, [folder] { return photosIn(folder); });
    m_filled.clear();
}

void ShowcaseService::stop()
{
    m_fillTimer.stop();
    m_filled.clear();
    m_watcher.reset();
    if (m_server) m_server->stop();
    m_server.reset();
}

QUrl ShowcaseService::url() const
{
    if (!m_server) return {};
    return m_server->url(QStringLiteral("/"));
}

int ShowcaseService::visitorCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_visitors.size());
}

QStringList ShowcaseService::orderFolders() const
{
    QMutexLocker lock(&m_mutex);
    return m_placed;
}

void ShowcaseService::noteVisitor(const QHostAddress& peer)
{
    QMutexLocker lock(&m_mutex);
    const QString key = peer.toString();
    if (m_visitors.contains(key) || m_visitors.size() >= maxVisitorsRemembered) return;
    m_visitors.insert(key);
    const int count = int(m_visitors.size());
    QMetaObject::invokeMethod(this, [this, count] { Q_EMIT visitorsChanged(count); }, Qt::QueuedConnection);
}

http::Response ShowcaseService::handle(const http::Request& request)
{
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (!read && request.method != "POST") {
        http::Response r = html(405, ShowcasePage::message(QStringLiteral("Introuvable"), QStringLiteral("Cette page n’existe pas.")));
        r.addHeader("Allow", "GET, HEAD, POST");
        r.close = request.hasBody;
        return r;
    }
    const QList<QByteArray> parts = http::segments(request.target);
    if (request.method == "POST") {
        if (request.target != "/commande") {
            http::Response r = notFound();
            r.close = true;
            return r;
        }
        if (request.bodyRefused) {
            http::Response r = html(413, ShowcasePage::message(QStringLiteral("Commande trop longue"),
                                                               QStringLiteral("Cette commande est trop longue pour être envoyée.")));
            r.close = true;
            return r;
        }
        return order(request);
    }
    if (request.hasBody) {
        http::Response r = notFound();
        r.close = true;
        return r;
    }
    if (request.target == "/") return searchPage(request);
    if (parts.size() == 3 && parts[1] == "cavalier") return riderPage(parts[2]);
    if (parts.size() == 3 && parts[1] == "apercu") return previewImage(parts[2]);
    return notFound();
}

http::Response ShowcaseService::searchPage(const http::Request& request)
{
    noteVisitor(request.peer);
    const QString text = request.queryValue(QStringLiteral("q")).left(80);
    const bool searched = !text.trimmed().isEmpty();
    return html(200, ShowcasePage::search(text, searched ? m_catalogue->search(text) : QList<ShowcaseCatalogue::Rider>{}, searched));
}

http::Response ShowcaseService::riderPage(const QByteArray& id)
{
    const std::optional<ShowcaseCatalogue::Rider> rider = m_catalogue->rider(identifier(id));
    if (!rider) return notFound();
    return html(200, ShowcasePage::rider(*rider, m_catalogue->photos(rider->id), m_options.formats, {}, m_options.prices));
}

http::Response ShowcaseService::previewImage(const QByteArray& name)
{
    if (!name.endsWith(".jpg")) return notFound();
    const std::optional<ShowcaseCatalogue::Photo> photo = m_catalogue->photo(identifier(name.chopped(4)));
    if (!photo) return notFound();
    const QByteArray jpeg = m_previews->preview(photo->path);
    if (jpeg.isEmpty()) return notFound();
    http::Response r = http::Response::text(200, "image/jpeg", jpeg);
    r.addHeader("Cache-Control", "private, max-age=3600");
    r.addHeader("X-Content-Type-Options", "nosniff");
    return r;
}

http::Response ShowcaseService::order(const http::Request& request)
{
    const std::optional<ShowcaseCatalogue::Rider> rider = m_catalogue->rider(identifier(request.formValue(QStringLiteral("cavalier")).toLatin1()));
    if (!rider) return notFound();
    const QList<ShowcaseCatalogue::Photo> photos = m_catalogue->photos(rider->id);
    const auto page = [&](int status, const QString& error) {
        return html(status, ShowcasePage::rider(*rider, photos, m_options.formats, error, m_options.prices));
    };
    if (request.formTruncated) return page(413, QStringLiteral("Cette commande est trop longue pour être envoyée."));

    ShowcaseOrders::Order order;
    order.name = request.formValue(QStringLiteral("nom")).left(80);
    order.telephone = request.formValue(QStringLiteral("telephone")).left(30);
    order.from = request.peer;
    QSet<QString> chosen;
    for (const QString& value : request.formValues(QStringLiteral("photo"))) chosen.insert(value);
    // Only this rider's photos, by the identifiers the page gave.
    for (const ShowcaseCatalogue::Photo& p : photos) {
        if (!chosen.contains(QString::number(p.id))) continue;
        QString format = request.formValue(QStringLiteral("format-%1").arg(p.id));
        if (!m_options.formats.contains(format)) format = m_options.formats.first();
        order.lines.append({p.path, format});
    }
    if (order.name.trimmed().isEmpty()) return page(400, QStringLiteral("Indiquez votre nom."));
    if (order.lines.isEmpty()) return page(400, QStringLiteral("Cochez au moins une photo."));
    QString folder;
    try {
        folder = m_orders->place(order);
    } catch (const Error& e) {
        return page(e.message().startsWith(QStringLiteral("Trop de commandes")) ? 429 : 400, e.message());
    }
    {
        QMutexLocker lock(&m_mutex);
        m_placed.append(folder);
    }
    QMetaObject::invokeMethod(this, [this, folder] { Q_EMIT orderPlaced(folder); }, Qt::QueuedConnection);
    const std::optional<qint64> total = m_options.prices.sections.isEmpty()
                                            ? std::nullopt
                                            : std::optional<qint64>(ShowcaseOrders::bill(m_options.prices, order.lines).total);
    return html(200, ShowcasePage::confirmation(order.name.simplified(), int(order.lines.size()), total));
}

} // namespace tavrin
