// Batch watermark and retouch of an order's photos, one photo after another on a low-priority
// background thread, cancellable between two photos. The main thread only counts: each photo's
// thumbnails are forgotten by the worker, and its revision bumped as it lands.
#include "orders/OrdersStore.h"

#include "base/BackgroundJobs.h"
#include "base/Error.h"
#include "base/FolderReference.h"
#include "editing/PhotoEdits.h"
#include "orders/BatchPhotos.h"
#include "photofiles/MediaThumbnailer.h"

#include <QPointer>

#include <atomic>

namespace tavrin {

using BatchPhotos::photosOf;

// One batch edit, shared with its worker.
struct OrdersStore::Batch {
    std::atomic<bool> cancelled{false};
};

OrdersStore::~OrdersStore()
{
    // The worker posts back to this object: it must be done before the object goes.
    if (m_batch) m_batch->cancelled = true;
    delete m_batchJobs;
    m_batchJobs = nullptr;
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
    // The crop editor may still have a look of one of these photos to write: the batch starts
    // from it, never from an older one, and nothing older lands over the batch's result.
    auto start = [store = QPointer<OrdersStore>(this), batch, photos, retouching, work = std::move(work)]() mutable {
        if (store && store->m_batch == batch) store->runBatch(batch, photos, retouching, std::move(work));
    };
    if (m_beforeBatch) m_beforeBatch(photos, std::move(start));
    else start();
    return true;
}

void OrdersStore::runBatch(const std::shared_ptr<Batch>& batch, const QStringList& photos, bool retouching,
                           std::function<void(const QString&)> work)
{
    if (!m_batchJobs) m_batchJobs = new BackgroundJobs(this, 1, BackgroundJobs::Priority::low);
    struct Outcome {
        std::optional<QString> lastError;
        bool cancelled = false;
    };
    const quint64 generation = m_generation;
    const int total = int(photos.size());
    m_batchJobs->run(QString(), [this, batch, photos, retouching, work, generation, total](const JobContext& job) {
        Outcome outcome;
        int done = 0;
        for (const QString& photo : photos) {
            if (batch->cancelled || job.isStale()) {
                outcome.cancelled = true;
                break;
            }
            bool edited = false;
            try {
                work(photo);
                edited = true;
            } catch (const Error& error) {
                outcome.lastError = error.message();
                edited = retouching;
            } catch (const std::exception& error) {
                outcome.lastError = QString::fromUtf8(error.what());
                edited = retouching;
            }
            // Forgetting the thumbnails touches the disk: done here, not on the window's thread.
            if (edited) MediaThumbnailer::shared().remove(photo);
            ++done;
            job.post([this, generation, photo, edited, done, total] {
                if (edited) landBatchPhoto(generation, photo);
                Q_EMIT batchProgress(done, total);
            });
        }
        return outcome;
    }, [this, generation](const Outcome& outcome) { finishBatch(generation, outcome.lastError, outcome.cancelled); });
}

void OrdersStore::landBatchPhoto(quint64 generation, const QString& photo)
{
    // Files of an order no longer shown need no refresh.
    if (generation != m_generation) return;
    const QString path = FolderReference::standardizedPath(photo);
    const int revision = ++m_fileRevisions[path];
    Q_EMIT fileEdited(path, revision);
}

void OrdersStore::cancelBatch()
{
    if (m_batch) m_batch->cancelled = true;
}

void OrdersStore::finishBatch(quint64 generation, const std::optional<QString>& lastError, bool cancelled)
{
    m_batch.reset();
    if (m_isRetouching) {
        m_isRetouching = false;
        Q_EMIT isRetouchingChanged(false);
    }
    // The messages of an order no longer shown would mislead.
    if (generation == m_generation) setErrorMessage(lastError);
    Q_EMIT batchFinished(cancelled);
}

} // namespace tavrin
