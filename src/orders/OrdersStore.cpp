#include "orders/OrdersStore.h"

#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "editing/PhotoEdits.h"
#include "orders/MediaThumbnailer.h"
#include "organizer/MediaFile.h"
#include "organizer/PathText.h"
#include "organizer/PhotoFile.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFuture>
#include <QJsonArray>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

namespace tavrin {

namespace {

constexpr int watchDebounceMs = 200;

const QString& topLevelName()
{
    static const QString name = QStringLiteral("Fichiers");
    return name;
}

// Folders that file browsers show as one document rather than a folder to open.
bool isPackage(const QFileInfo& info)
{
    static const QSet<QString> packageExtensions{
        QStringLiteral("app"),          QStringLiteral("bundle"),   QStringLiteral("framework"),
        QStringLiteral("photoslibrary"), QStringLiteral("fcpbundle"), QStringLiteral("lrdata"),
        QStringLiteral("rtfd"),          QStringLiteral("pkg"),      QStringLiteral("plugin")};
    return packageExtensions.contains(PathText::pathExtension(info.fileName()).toString().toLower());
}

QFileInfoList listEntries(const QString& folder, QDir::Filters filters)
{
    const QFileInfo info(folder);
    if (!info.exists())
        throw Error(QStringLiteral("Le dossier « ") + info.fileName() + QStringLiteral(" » est introuvable."));
    if (!info.isDir())
        throw Error(QStringLiteral("« ") + info.fileName() + QStringLiteral(" » n’est pas un dossier."));
    if (!info.isReadable())
        throw Error(QStringLiteral("Impossible de lire le dossier « ") + info.fileName() + QStringLiteral(" »."));
    return QDir(folder).entryInfoList(filters | QDir::NoDotAndDotDot, QDir::NoSort);
}

const QCollator& fileBrowserCollator()
{
    static thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::French, QLocale::France));
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

template <typename T, typename Name>
void sortByName(QList<T>& items, Name name)
{
    // Sort keys make each comparison a byte compare: an order of thousands of files stays quick.
    const QCollator& collator = fileBrowserCollator();
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) keys.emplace_back(collator.sortKey(name(items[i])), i);
    // Names equal but for case (IMG.JPG, img.jpg) keep one order whatever the directory's order.
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        const int byCollator = a.first.compare(b.first);
        if (byCollator != 0) return byCollator < 0;
        return name(items[a.second]) < name(items[b.second]);
    });
    QList<T> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

QStringList photosOf(const QStringList& files)
{
    QStringList photos;
    for (const QString& file : files)
        if (!MediaFile::isVideo(file)) photos.push_back(file);
    return photos;
}

QString newID() { return TavrinJSON::uuidString(QUuid::createUuid()); }

} // namespace

QJsonObject toJson(const OrderWatermark& watermark)
{
    return {{QStringLiteral("id"), watermark.id},
            {QStringLiteral("name"), watermark.name},
            {QStringLiteral("bookmark"), TavrinJSON::dataValue(watermark.bookmark)}};
}

OrderWatermark orderWatermarkFromJson(const QJsonObject& object)
{
    OrderWatermark watermark;
    watermark.id = TavrinJSON::requireString(object, QLatin1StringView("id"));
    watermark.name = TavrinJSON::requireString(object, QLatin1StringView("name"));
    const std::optional<QByteArray> data = TavrinJSON::optionalData(object, QLatin1StringView("bookmark"));
    if (!data) throw DecodingError(QStringLiteral("Filigrane sans accès enregistré."));
    watermark.bookmark = *data;
    return watermark;
}

// One running batch edit, shared with its worker thread.
struct OrdersStore::Batch {
    std::atomic<bool> cancelled{false};
    QFuture<void> future;
};

QString OrdersStore::topLevelSectionName() { return topLevelName(); }

int OrdersStore::compareNames(const QString& a, const QString& b) { return fileBrowserCollator().compare(a, b); }

QList<OrderFolder> OrdersStore::directories(const QString& folder)
{
    QList<OrderFolder> folders;
    for (const QFileInfo& entry : listEntries(folder, QDir::Dirs)) {
        if (isPackage(entry)) continue;
        folders.push_back({entry.fileName(), entry.absoluteFilePath()});
    }
    sortByName(folders, [](const OrderFolder& f) { return f.name; });
    return folders;
}

QList<OrderMedia> OrdersStore::media(const QString& folder)
{
    QList<OrderMedia> files;
    const QSet<QString>& photos = PhotoFile::extensions();
    const QSet<QString>& videos = MediaFile::videoExtensions();
    for (const QFileInfo& entry : listEntries(folder, QDir::Files)) {
        const QString name = entry.fileName();
        const QString extension = PathText::pathExtension(name).toString().toLower();
        const bool video = videos.contains(extension);
        if (!video && !photos.contains(extension)) continue;
        files.push_back({entry.absoluteFilePath(), video});
    }
    sortByName(files, [](const OrderMedia& m) { return PathText::lastPathComponent(m.url).toString(); });
    return files;
}

OrdersStore::OrdersStore(QObject* parent, std::optional<QString> fileURL)
    : QObject(parent)
    , m_watchDebounce(new QTimer(this))
    , m_file(fileURL ? *fileURL : QDir(AppSupport::ordersFolder()).filePath(QStringLiteral("settings.json")))
{
    m_watchDebounce->setSingleShot(true);
    m_watchDebounce->setInterval(watchDebounceMs);
    connect(m_watchDebounce, &QTimer::timeout, this, &OrdersStore::refreshFromDisk);

    struct Read {
        QJsonObject object;
        QByteArray bytes;
    };
    const std::optional<Read> read =
        m_file.load<Read>([](const QByteArray& data) { return Read{TavrinJSON::decodeObject(data), data}; });
    if (read) {
        m_written = read->bytes;
        const QJsonObject& o = read->object;
        // A key of the wrong type is ignored on its own; the rest of the file still counts.
        auto guarded = [](auto f) {
            try {
                f();
            } catch (const std::exception&) {
            }
        };
        guarded([&] { m_rootBookmark = TavrinJSON::optionalData(o, QLatin1StringView("rootBookmark")); });
        guarded([&] { m_rootName = TavrinJSON::optionalString(o, QLatin1StringView("rootName")); });
        guarded([&] { m_selectedFolderID = TavrinJSON::optionalString(o, QLatin1StringView("selectedFolderPath")); });
        guarded([&] {
            if (o.value(QLatin1StringView("watermarks")).isArray())
                m_watermarks = TavrinJSON::requireList<OrderWatermark>(o, QLatin1StringView("watermarks"),
                                                                       orderWatermarkFromJson);
        });
        if (!m_watermarks.isEmpty()) {
            std::optional<QString> stored;
            guarded([&] { stored = TavrinJSON::optionalString(o, QLatin1StringView("selectedWatermarkID")); });
            const bool listed = stored && std::any_of(m_watermarks.cbegin(), m_watermarks.cend(),
                                                      [&](const OrderWatermark& w) { return w.id == *stored; });
            m_selectedWatermarkID = listed ? *stored : m_watermarks.first().id;
        } else {
            std::optional<QByteArray> legacy;
            guarded([&] { legacy = TavrinJSON::optionalData(o, QLatin1StringView("watermarkBookmark")); });
            if (legacy) {
                std::optional<QString> name;
                guarded([&] { name = TavrinJSON::optionalString(o, QLatin1StringView("watermarkName")); });
                m_watermarks = {{newID(), name.value_or(QStringLiteral("Filigrane")), *legacy}};
                m_selectedWatermarkID = m_watermarks.first().id;
            }
        }
        guarded([&] {
            if (o.value(QLatin1StringView("retouch")).isObject())
                m_retouch = photoRetouchSettingsFromJson(o.value(QLatin1StringView("retouch")).toObject());
        });
        const QJsonObject apps = o.value(QLatin1StringView("openWithApps")).toObject();
        for (auto it = apps.begin(); it != apps.end(); ++it)
            if (it.value().isString()) m_openWithApps.insert(it.key(), it.value().toString());
        for (const QJsonValue& path : o.value(QLatin1StringView("deliveredPaths")).toArray())
            if (path.isString()) m_deliveredPaths.insert(path.toString());
    }
    QTimer::singleShot(0, this, &OrdersStore::prefetchWatermarkURLs);
}

void OrdersStore::followDiskChanges()
{
    if (std::exchange(m_followsDisk, true)) return;
    // The folder must exist to be watched, before anything was ever written in it.
    QDir().mkpath(QFileInfo(m_file.path()).absolutePath());
    followFolderOf(m_file.path(), this, [this] { reloadIfChanged(); });
}

bool OrdersStore::reloadIfChanged()
{
    if (!takeInFromDisk()) return false;
    // What this store held and the disk did not goes there now.
    if (encoded() != m_written) persist();
    Q_EMIT deliveredChanged();
    return true;
}

bool OrdersStore::takeInFromDisk()
{
    if (!m_file.changedOnDisk()) return false;
    struct Theirs {
        QJsonObject object;
        QByteArray bytes;
    };
    // An unreadable version is left for the next write to set aside.
    const std::optional<Theirs> theirs =
        m_file.load<Theirs>([](const QByteArray& data) { return Theirs{TavrinJSON::decodeObject(data), data}; });
    if (!theirs) return false;
    QJsonObject base;
    try {
        base = TavrinJSON::decodeObject(m_written);
    } catch (const std::exception&) {
    }
    m_written = theirs->bytes;

    const qsizetype before = m_deliveredPaths.size();
    for (const QJsonValue& path : theirs->object.value(QLatin1StringView("deliveredPaths")).toArray())
        if (path.isString()) m_deliveredPaths.insert(path.toString());
    // An application chosen here since the last read wins; otherwise the other program's choice.
    const QJsonObject baseApps = base.value(QLatin1StringView("openWithApps")).toObject();
    const QJsonObject apps = theirs->object.value(QLatin1StringView("openWithApps")).toObject();
    for (auto it = apps.begin(); it != apps.end(); ++it) {
        if (!it.value().isString()) continue;
        const auto ours = m_openWithApps.constFind(it.key());
        if (ours == m_openWithApps.cend() || *ours == baseApps.value(it.key()).toString())
            m_openWithApps.insert(it.key(), it.value().toString());
    }
    return m_deliveredPaths.size() != before;
}

OrdersStore::~OrdersStore()
{
    // The worker posts back to this object: it must be done before the object goes.
    if (m_batch) {
        m_batch->cancelled = true;
        m_batch->future.waitForFinished();
    }
}

void OrdersStore::setErrorMessage(const std::optional<QString>& message)
{
    if (m_errorMessage == message) return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void OrdersStore::reload()
{
    setErrorMessage(std::nullopt);
    std::optional<QString> root;
    if (m_rootBookmark)
        root = m_access.resolve(*m_rootBookmark, this, [this](const QByteArray& fresh) {
            m_rootBookmark = fresh;
            persist();
        });
    auto clear = [this] {
        m_folders.clear();
        m_sections.clear();
        stopWatchingFolders();
        Q_EMIT foldersChanged();
        Q_EMIT sectionsChanged();
    };
    if (!root) {
        clear();
        return;
    }
    try {
        m_folders = directories(*root);
    } catch (const Error& error) {
        clear();
        setErrorMessage(error.message());
        return;
    }
    Q_EMIT foldersChanged();
    const bool listed = m_selectedFolderID && std::any_of(m_folders.cbegin(), m_folders.cend(), [this](const OrderFolder& f) {
                            return f.url == *m_selectedFolderID;
                        });
    if (!listed) {
        m_selectedFolderID = m_folders.isEmpty() ? std::nullopt : std::optional<QString>(m_folders.first().url);
        ++m_generation;
        persist();
    }
    loadSections();
    if (m_folders.isEmpty()) watchFolders({*root});
}

void OrdersStore::storeRoot(const QString& folder)
{
    m_access.retainAccess(folder);
    if (!QFileInfo(folder).isDir()) return;
    m_rootBookmark = FolderReference::create(folder);
    m_rootName = QFileInfo(FolderReference::standardizedPath(folder)).fileName();
    m_selectedFolderID.reset();
    m_sections.clear();
    ++m_generation;
    persist();
    reload();
}

void OrdersStore::selectFolder(const std::optional<QString>& folderID)
{
    if (m_selectedFolderID != folderID) ++m_generation;
    m_selectedFolderID = folderID;
    persist();
    loadSections();
}

void OrdersStore::loadSections()
{
    ++m_sectionLoads;
    const auto folder = std::find_if(m_folders.cbegin(), m_folders.cend(), [this](const OrderFolder& f) {
        return m_selectedFolderID && f.url == *m_selectedFolderID;
    });
    if (folder == m_folders.cend()) {
        m_sections.clear();
        stopWatchingFolders();
        Q_EMIT sectionsChanged();
        return;
    }
    auto mediaOrEmpty = [](const QString& path) {
        try {
            return media(path);
        } catch (const Error&) {
            return QList<OrderMedia>{};
        }
    };
    QList<OrderSection> sections;
    QList<OrderFolder> subfolders;
    try {
        subfolders = directories(folder->url);
    } catch (const Error&) {
    }
    for (const OrderFolder& sub : subfolders) sections.push_back({sub.name, sub.url, mediaOrEmpty(sub.url)});
    const QList<OrderMedia> top = mediaOrEmpty(folder->url);
    if (!top.isEmpty()) sections.prepend({topLevelName(), folder->url, top});
    m_sections = std::move(sections);
    if (m_errorMessage) setErrorMessage(std::nullopt);
    Q_EMIT sectionsChanged();

    // The root too, so that an order folder made by another program (the showcase) is listed at once.
    QStringList paths{QFileInfo(folder->url).absolutePath(), folder->url};
    for (const OrderSection& section : m_sections) paths.push_back(section.url);
    for (const OrderSection& section : m_sections)
        for (const OrderMedia& file : section.files) paths.push_back(file.url);
    watchFolders(paths);
}

void OrdersStore::watchFolders(const QStringList& paths)
{
    QSet<QString> wanted;
    for (const QString& path : paths) wanted.insert(FolderReference::standardizedPath(path));
    if (wanted == m_watchedPaths) return;
    stopWatchingFolders();
    m_watchedPaths = wanted;
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &OrdersStore::scheduleDiskRefresh);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &OrdersStore::scheduleDiskRefresh);
    // Paths that cannot be watched are skipped by the watcher itself.
    if (!wanted.isEmpty()) m_watcher->addPaths(QStringList(wanted.cbegin(), wanted.cend()));
}

void OrdersStore::stopWatchingFolders()
{
    m_watchDebounce->stop();
    m_pendingWatchPaths.clear();
    delete m_watcher;
    m_watcher = nullptr;
    m_watchedPaths.clear();
}

void OrdersStore::scheduleDiskRefresh(const QString& path)
{
    m_pendingWatchPaths.insert(path);
    m_watchDebounce->start();
}

void OrdersStore::refreshFromDisk()
{
    const QSet<QString> paths = std::exchange(m_pendingWatchPaths, {});
    bool needsReload = false;
    bool rootChanged = false;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        // The only watched folder that is neither the order nor one of its sections: the root.
        if (info.isDir() && path != m_selectedFolderID &&
            std::none_of(m_sections.cbegin(), m_sections.cend(), [&](const OrderSection& s) { return s.url == path; })) {
            rootChanged = true;
        } else if (info.exists() && !info.isDir()) {
            noteEdited(path);
            // A program saving by replacing the file ends the old file's watch: follow the new one.
            if (m_watcher && !m_watcher->files().contains(path)) m_watcher->addPath(path);
        } else {
            // Gone, or a folder (whose entries changed): the sections are listed again.
            needsReload = true;
        }
    }
    if (rootChanged) reload();
    else if (needsReload) loadSections();
}

void OrdersStore::noteEdited(const QString& file)
{
    const QString path = FolderReference::standardizedPath(file);
    // The gallery asks again for this file's thumbnail: it must not find the old pixels.
    MediaThumbnailer::shared().remove(path);
    const int revision = ++m_fileRevisions[path];
    Q_EMIT fileEdited(path, revision);
}

int OrdersStore::fileRevision(const QString& file) const
{
    return m_fileRevisions.value(FolderReference::standardizedPath(file), 0);
}

QStringList OrdersStore::deliveryKeys(const QString& file)
{
    QStringList keys;
    for (const QString& key : {QDir::isAbsolutePath(file) ? file : QDir::current().absoluteFilePath(file),
                               FolderReference::standardizedPath(file)})
        if (!key.isEmpty() && !keys.contains(key)) keys.push_back(key);
    return keys;
}

void OrdersStore::markDelivered(const QStringList& files)
{
    QSet<QString> keys;
    for (const QString& file : files)
        for (const QString& key : deliveryKeys(file)) keys.insert(key);
    if (keys.isEmpty()) return;
    m_deliveredPaths.unite(keys);
    persist();
    Q_EMIT deliveredChanged();
}

bool OrdersStore::isDelivered(const QString& file) const
{
    const QStringList keys = deliveryKeys(file);
    return std::any_of(keys.cbegin(), keys.cend(), [this](const QString& k) { return m_deliveredPaths.contains(k); });
}

void OrdersStore::addWatermark(const QString& file)
{
    m_access.retainAccess(file);
    const QString standardized = FolderReference::standardizedPath(file);
    for (const OrderWatermark& watermark : std::as_const(m_watermarks)) {
        const auto cached = m_watermarkURLs.constFind(watermark.id);
        if (cached != m_watermarkURLs.cend() && FolderReference::standardizedPath(*cached) == standardized) {
            m_selectedWatermarkID = watermark.id;
            persist();
            Q_EMIT watermarksChanged();
            return;
        }
    }
    if (!QFileInfo(standardized).isFile()) {
        setErrorMessage(QStringLiteral("Impossible d’enregistrer l’accès à ce filigrane."));
        return;
    }
    const OrderWatermark watermark{newID(), QFileInfo(standardized).fileName(), FolderReference::create(standardized)};
    m_watermarks.push_back(watermark);
    m_watermarkURLs.insert(watermark.id, standardized);
    m_selectedWatermarkID = watermark.id;
    if (m_errorMessage) setErrorMessage(std::nullopt);
    persist();
    Q_EMIT watermarksChanged();
}

void OrdersStore::selectWatermark(const QString& id)
{
    if (std::none_of(m_watermarks.cbegin(), m_watermarks.cend(), [&](const OrderWatermark& w) { return w.id == id; }))
        return;
    m_selectedWatermarkID = id;
    persist();
    Q_EMIT watermarksChanged();
}

void OrdersStore::removeWatermark(const QString& id)
{
    m_watermarks.removeIf([&](const OrderWatermark& w) { return w.id == id; });
    m_watermarkURLs.remove(id);
    if (m_selectedWatermarkID == id)
        m_selectedWatermarkID = m_watermarks.isEmpty() ? std::nullopt : std::optional<QString>(m_watermarks.first().id);
    persist();
    Q_EMIT watermarksChanged();
}

std::optional<QString> OrdersStore::resolveWatermark()
{
    if (!m_selectedWatermarkID || m_watermarks.isEmpty()) return std::nullopt;
    const auto cached = m_watermarkURLs.constFind(*m_selectedWatermarkID);
    if (cached != m_watermarkURLs.cend()) return *cached;
    return resolveAndCache(*m_selectedWatermarkID);
}

std::optional<QString> OrdersStore::resolveAndCache(const QString& id)
{
    const auto watermark = std::find_if(m_watermarks.cbegin(), m_watermarks.cend(), [&](const OrderWatermark& w) { return w.id == id; });
    if (watermark == m_watermarks.cend()) return std::nullopt;
    const std::optional<QString> path = m_access.resolve(watermark->bookmark, this, [this, id](const QByteArray& fresh) {
        for (OrderWatermark& w : m_watermarks)
            if (w.id == id) w.bookmark = fresh;
        persist();
    });
    if (path) m_watermarkURLs.insert(id, *path);
    return path;
}

void OrdersStore::prefetchWatermarkURLs()
{
    // Resolving a reference is one stat on Linux: no need to leave the main thread for it.
    for (const OrderWatermark& watermark : QList<OrderWatermark>(m_watermarks))
        if (!m_watermarkURLs.contains(watermark.id)) resolveAndCache(watermark.id);
}

void OrdersStore::setRetouch(const PhotoRetouchSettings& settings)
{
    if (m_retouch == settings) return;
    m_retouch = settings;
    persist();
    Q_EMIT retouchChanged();
}

void OrdersStore::setOpenWithApp(const QString& fileType, const QString& app)
{
    m_openWithApps.insert(fileType, app);
    persist();
}

bool OrdersStore::applyWatermark(const QStringList& files)
{
    const QStringList photos = photosOf(files);
    if (photos.isEmpty() || m_batch) return false;
    const std::optional<QString> watermark = resolveWatermark();
    if (!watermark) {
        setErrorMessage(QStringLiteral("Choisissez d’abord un fichier filigrane."));
        return false;
    }
    return startBatch(photos, false, [watermark = *watermark](const QString& photo) { PhotoEdits::applyWatermark(photo, watermark); });
}

bool OrdersStore::applyRetouch(const QStringList& files)
{
    const QStringList photos = photosOf(files);
    if (photos.isEmpty() || m_batch) return false;
    const PhotoRetouchSettings settings = m_retouch;
    const std::optional<QString> watermark = resolveWatermark();
    if (settings.isNeutral()) {
        setErrorMessage(QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche."));
        return false;
    }
    return startBatch(photos, true, [settings, watermark](const QString& photo) { PhotoEdits::applyRetouch(photo, settings, watermark); });
}

bool OrdersStore::startBatch(const QStringList& photos, bool retouching, std::function<void(const QString&)> work)
{
    auto batch = std::make_shared<Batch>();
    m_batch = batch;
    if (retouching) {
        m_isRetouching = true;
        Q_EMIT isRetouchingChanged(true);
    }
    setErrorMessage(std::nullopt);
    Q_EMIT batchStarted(int(photos.size()));
    const quint64 generation = m_generation;
    batch->future = QtConcurrent::run(QThreadPool::globalInstance(), [this, batch, photos, retouching, work, generation] {
        QStringList edited;
        std::optional<QString> lastError;
        int done = 0;
        for (const QString& photo : photos) {
            if (batch->cancelled) break;
            try {
                work(photo);
                edited.push_back(photo);
            } catch (const Error& error) {
                lastError = error.message();
                if (retouching) edited.push_back(photo);
            } catch (const std::exception& error) {
                lastError = QString::fromUtf8(error.what());
                if (retouching) edited.push_back(photo);
            }
            ++done;
            QMetaObject::invokeMethod(
                this, [this, done, total = int(photos.size())] { Q_EMIT batchProgress(done, total); }, Qt::QueuedConnection);
        }
        const bool cancelled = batch->cancelled;
        QMetaObject::invokeMethod(
            this, [this, generation, edited, lastError, cancelled] { finishBatch(generation, edited, lastError, cancelled); },
            Qt::QueuedConnection);
    });
    return true;
}

void OrdersStore::cancelBatch()
{
    if (m_batch) m_batch->cancelled = true;
}

void OrdersStore::finishBatch(quint64 generation, const QStringList& edited, const std::optional<QString>& lastError,
                              bool cancelled)
{
    m_batch.reset();
    if (m_isRetouching) {
        m_isRetouching = false;
        Q_EMIT isRetouchingChanged(false);
    }
    // Files of an order no longer shown need no refresh, and its messages would mislead.
    if (generation == m_generation) {
        for (const QString& photo : edited) noteEdited(photo);
        setErrorMessage(lastError);
    }
    Q_EMIT batchFinished(cancelled);
}

QByteArray OrdersStore::encoded() const
{
    QJsonObject o;
    if (m_rootBookmark) o.insert(QStringLiteral("rootBookmark"), TavrinJSON::dataValue(*m_rootBookmark));
    if (m_rootName) o.insert(QStringLiteral("rootName"), *m_rootName);
    if (m_selectedFolderID) o.insert(QStringLiteral("selectedFolderPath"), *m_selectedFolderID);
    o.insert(QStringLiteral("watermarks"), TavrinJSON::toArray(m_watermarks, [](const OrderWatermark& w) { return toJson(w); }));
    if (m_selectedWatermarkID) o.insert(QStringLiteral("selectedWatermarkID"), *m_selectedWatermarkID);
    o.insert(QStringLiteral("retouch"), toJson(m_retouch));
    QJsonObject apps;
    for (auto it = m_openWithApps.cbegin(); it != m_openWithApps.cend(); ++it) apps.insert(it.key(), it.value());
    o.insert(QStringLiteral("openWithApps"), apps);
    QStringList delivered(m_deliveredPaths.cbegin(), m_deliveredPaths.cend());
    std::sort(delivered.begin(), delivered.end());
    o.insert(QStringLiteral("deliveredPaths"), QJsonArray::fromStringList(delivered));

    return TavrinJSON::encode(o);
}

void OrdersStore::persist()
{
    QDir().mkpath(QFileInfo(m_file.path()).absolutePath());
    // Held from reading another program's version to writing ours, so that none of its marks is lost.
    const DataFolderLock held = m_file.lock();
    const bool tookIn = takeInFromDisk();
    const QByteArray data = encoded();
    // An unchanged file is not written again.
    if (data != m_written || m_file.holdsUnreadableFile())
        if (m_file.write(data)) m_written = data;
    if (tookIn) Q_EMIT deliveredChanged();
}

} // namespace tavrin
