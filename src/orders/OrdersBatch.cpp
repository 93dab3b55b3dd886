// Batch watermark and retouch of an order's photos, one photo after another off the main
// thread, cancellable between two photos.
#include "orders/OrdersStore.h"

#include "base/Error.h"
#include "editing/PhotoEdits.h"
#include "orders/BatchPhotos.h"

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace tavrin {

using BatchPhotos::photosOf;

// One running batch edit, shared with its worker thread.
struct OrdersStore::Batch {
    std::atomic<bool> cancelled{false};
    QFuture<void> future;
};

OrdersStore::~OrdersStore()
{
    // The worker posts back to this object: it must be done before the object goes.
    if (m_batch) {
        m_batch->cancelled = true;
        m_batch->future.waitForFinished();
    }
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

} // namespace tavrin
