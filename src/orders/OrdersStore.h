#pragma once

// The orders workspace: a root folder whose sub-folders are orders, each order's sub-folders are
// type sections of photos and videos. The store lists them, keeps the watermark list, the retouch
// panel's settings and the delivered files in Orders/settings.json, runs the batch edits off the
// main thread and follows the selected order on disk.

#include "base/FolderReference.h"
#include "base/SharedJsonFile.h"
#include "editing/PhotoRetouchSettings.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace tavrin {

struct OrderFolder {
    QString name;
    QString url; // absolute path of the folder
    bool operator==(const OrderFolder&) const = default;
};

// An order that arrived by itself (from the showcase) carries a hidden marker until it is opened.
namespace NewOrder {
inline QString markerName() { return QStringLiteral(".tavrin-nouvelle-commande"); }
bool isNew(const QString& orderFolder);
void markOpened(const QString& orderFolder);
} // namespace NewOrder

struct OrderMedia {
    QString url; // absolute path of the file
    bool isVideo = false;
    QString id() const { return url; }
    bool operator==(const OrderMedia&) const = default;
};

struct OrderSection {
    QString name;
    QString url;
    QList<OrderMedia> files;
    bool operator==(const OrderSection&) const = default;
};

struct OrderWatermark {
    QString id;
    QString name;
    QByteArray bookmark;
    bool operator==(const OrderWatermark&) const = default;
};

QJsonObject toJson(const OrderWatermark& watermark);
OrderWatermark orderWatermarkFromJson(const QJsonObject& object);

class OrdersStore : public QObject {
    Q_OBJECT
public:
    // The name of the section of the media lying directly in the order folder.
    static QString topLevelSectionName();

    // `fileURL` defaults to settings.json in the data folder's Orders folder.
    explicit OrdersStore(QObject* parent = nullptr, std::optional<QString> fileURL = std::nullopt);
    ~OrdersStore() override;

    // The direct sub-folders (no hidden entries, no packages), in file-browser order. Throws
    // tavrin::Error with a French message when the folder cannot be listed.
    static QList<OrderFolder> directories(const QString& folder);
    // The direct photo and video files, in file-browser order. Throws like directories().
    static QList<OrderMedia> media(const QString& folder);
    // An order's sections as the screen shows them: the media lying in the folder first, then one
    // per sub-folder; a folder that cannot be listed counts as empty.
    static QList<OrderSection> sectionsOf(const QString& orderFolder);
    // File-browser comparison: digits as numbers, case ignored, French rules.
    static int compareNames(const QString& a, const QString& b);

    const std::optional<QString>& rootName() const { return m_rootName; }
    const QList<OrderFolder>& folders() const { return m_folders; }
    const std::optional<QString>& selectedFolderID() const { return m_selectedFolderID; }
    const QList<OrderSection>& sections() const { return m_sections; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    const QList<OrderWatermark>& watermarks() const { return m_watermarks; }
    const std::optional<QString>& selectedWatermarkID() const { return m_selectedWatermarkID; }
    const PhotoRetouchSettings& retouch() const { return m_retouch; }
    bool isRetouching() const { return m_isRetouching; }
    // True while any batch edit (watermark or retouch) runs; further batches are refused.
    bool isBatchRunning() const { return m_batch != nullptr; }
    const QMap<QString, QString>& openWithApps() const { return m_openWithApps; }
    const QSet<QString>& deliveredPaths() const { return m_deliveredPaths; }
    const QSet<QString>& watchedPaths() const { return m_watchedPaths; }
    const QString& fileURL() const { return m_file.path(); }
    // The store's generation: it changes whenever the root or the selected order changes, so that
    // late batch results for another order are dropped.
    quint64 generation() const { return m_generation; }

    void reload();
    void storeRoot(const QString& folder);
    // Selects an order by its path (none clears the selection).
    void selectFolder(const std::optional<QString>& folderID);

    void addWatermark(const QString& file);
    void selectWatermark(const QString& id);
    void removeWatermark(const QString& id);
    std::optional<QString> resolveWatermark();

    void setRetouch(const PhotoRetouchSettings& settings);
    void setOpenWithApp(const QString& fileType, const QString& app);

    // Batch edits run on a low-priority thread, after the crop editor's pending write of the same
    // photos (setBeforeBatch); each photo lands on the main thread as it is done. Returns
    // false when nothing was started (only videos, no watermark, neutral retouch, a batch running).
    bool applyWatermark(const QStringList& files);
    bool applyRetouch(const QStringList& files);
    // Stops a running batch after the photo being edited; the photos done keep their edit.
    void cancelBatch();
    // Asked before a batch starts on `photos`, on this thread: whoever may still write them (the
    // crop editor) writes what it has pending, then calls `start`. Without it the batch starts at once.
    void setBeforeBatch(std::function<void(const QStringList& photos, std::function<void()> start)> hook)
    {
        m_beforeBatch = std::move(hook);
    }

    void noteEdited(const QString& file);
    // 0 for a file never edited.
    int fileRevision(const QString& file) const;

    static QStringList deliveryKeys(const QString& file);
    void markDelivered(const QStringList& files);
    bool isDelivered(const QString& file) const;

    // What other rooms keep in this file beside the orders (prices, payments): an object under a
    // key of their own, written back untouched by the orders and merged member by member with
    // another program's writes (a member changed here since the last read wins).
    QJsonObject annex(const QString& key) const { return m_annexes.value(key); }
    void setAnnex(const QString& key, const QJsonObject& value);

    // Every write first takes in what another program (tavrin-cli, the hand-over, a second
    // window) wrote since: the files it marked delivered and the applications it remembered; the
    // rest of the file stays this store's. The window also follows such writes as they happen.
    void followDiskChanges();
    // Takes in settings.json when another program wrote it; true when the delivered files changed.
    bool reloadIfChanged();

    // Test hook: how many times the sections were rebuilt.
    int sectionLoads() const { return m_sectionLoads; }

Q_SIGNALS:
    void foldersChanged();
    void sectionsChanged();
    void errorMessageChanged();
    void watermarksChanged();
    void retouchChanged();
    void deliveredChanged();
    void annexesChanged();
    // The thumbnail of the file must be rebuilt (the cache entry dropped, the cell refreshed).
    void fileEdited(const QString& standardizedPath, int revision);
    void isRetouchingChanged(bool retouching);
    void batchStarted(int total);
    void batchProgress(int done, int total);
    void batchFinished(bool cancelled);

private:
    struct Batch;
    void loadSettingsFile();
    static QString newWatermarkID();
    void loadSections();
    void watchFolders(const QStringList& paths);
    void stopWatchingFolders();
    void scheduleDiskRefresh(const QString& path);
    void refreshFromDisk();
    void persist();
    QByteArray encoded() const;
    // Takes in what another program wrote: the delivered files it marked, the applications it
    // chose; true when the delivered files changed.
    bool takeIn(const QJsonObject& base, const QJsonObject& theirs);
    void setErrorMessage(const std::optional<QString>& message);
    void prefetchWatermarkURLs();
    std::optional<QString> resolveAndCache(const QString& id);
    bool startBatch(const QStringList& photos, bool retouching, std::function<void(const QString&)> work);
    void runBatch(const std::shared_ptr<Batch>& batch, const QStringList& photos, bool retouching,
                  std::function<void(const QString&)> work);
    void finishBatch(quint64 generation, const std::optional<QString>& lastError, bool cancelled);
    // A photo the batch rewrote (its thumbnails already forgotten off this thread).
    void landBatchPhoto(quint64 generation, const QString& photo);

    std::optional<QString> m_rootName;
    QList<OrderFolder> m_folders;
    std::optional<QString> m_selectedFolderID;
    QList<OrderSection> m_sections;
    std::optional<QString> m_errorMessage;
    QList<OrderWatermark> m_watermarks;
    std::optional<QString> m_selectedWatermarkID;
    PhotoRetouchSettings m_retouch;
    bool m_isRetouching = false;
    QHash<QString, QString> m_watermarkURLs;
    QHash<QString, int> m_fileRevisions;
    QMap<QString, QString> m_openWithApps;
    QSet<QString> m_deliveredPaths;
    QMap<QString, QJsonObject> m_annexes;
    std::optional<QByteArray> m_rootBookmark;
    FolderAccess m_access;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_watchDebounce = nullptr;
    QSet<QString> m_pendingWatchPaths;
    QSet<QString> m_watchedPaths;
    SharedJsonFile<QJsonObject> m_file;
    quint64 m_generation = 0;
    std::shared_ptr<Batch> m_batch;
    // Batch edits, one photo after another on a low-priority thread.
    class BackgroundJobs* m_batchJobs = nullptr;
    std::function<void(const QStringList&, std::function<void()>)> m_beforeBatch;
    int m_sectionLoads = 0;
};

} // namespace tavrin
