#include "orders/OrdersStore.h"

#include "base/AppSupport.h"
#include "base/Error.h"
#include "base/TavrinJSON.h"
#include "photofiles/MediaThumbnailer.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>

namespace tavrin {

namespace {

constexpr int watchDebounceMs = 200;

} // namespace

OrdersStore::OrdersStore(QObject* parent, std::optional<QString> fileURL)
    : QObject(parent)
    , m_watchDebounce(new QTimer(this))
    , m_file(fileURL ? *fileURL : QDir(AppSupport::ordersFolder()).filePath(QStringLiteral("settings.json")),
             {TavrinJSON::decodeObject, [this] { return encoded(); },
              [this](const QJsonObject& base, const QJsonObject& theirs) { return takeIn(base, theirs); }, {}})
{
    m_watchDebounce->setSingleShot(true);
    m_watchDebounce->setInterval(watchDebounceMs);
    connect(m_watchDebounce, &QTimer::timeout, this, &OrdersStore::refreshFromDisk);

    loadSettingsFile();
    QTimer::singleShot(0, this, &OrdersStore::prefetchWatermarkURLs);
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
    QList<OrderSection> sections = sectionsOf(folder->url);
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
    const OrderWatermark watermark{newWatermarkID(), QFileInfo(standardized).fileName(), FolderReference::create(standardized)};
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

} // namespace tavrin
