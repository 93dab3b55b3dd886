#include "editing/CropEditorModel.h"

#include "base/Error.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoLookWriter.h"
#include "editing/PhotoOriginals.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

// The crop editor's writes: the look written to the photo after the last change, validations
// waiting for their own write, and the camera's file put back.

namespace tavrin {

namespace {

enum class WriteOutcome { written, skipped, failed };

} // namespace

struct CropEditorModel::WriteResult {
    WriteOutcome outcome = WriteOutcome::failed;
    QString message;
};

// Stops between its stages once a newer write of the photo (or its restoring) made this one stale.
CropEditorModel::WriteResult CropEditorModel::writeLook(const QString& url, const CropEditState& look,
                                                        const std::optional<vips::VImage>& watermark, const JobContext& job)
{
    using Result = WriteResult;
    try {
        const bool written = PhotoLookWriter::write(url, look, watermark, [&job] { return !job.isStale(); });
        return Result{written ? WriteOutcome::written : WriteOutcome::skipped, {}};
    } catch (const Error& error) {
        return Result{WriteOutcome::failed, error.message()};
    } catch (const vips::VError&) {
        return Result{WriteOutcome::failed, PhotoEditError::description(PhotoEditError::Kind::composeFailed)};
    }
}

namespace {

QString writeKey(const QString& url) { return QStringLiteral("write:") + url; }
QString validateKeyPrefix(const QString& url) { return QStringLiteral("validate:") + url + u'#'; }

} // namespace

// --- Writing -------------------------------------------------------------------------------------

void CropEditorModel::cancelPersistTask()
{
    m_persistTimer->stop();
    m_persistWaitsForPreview = false;
}

void CropEditorModel::scheduleRetouchPersist()
{
    ++m_persistGeneration;
    // Restarting the timer cancels the previous wait: slider drags write once, after the last move.
    m_persistWaitsForPreview = false;
    m_persistTimer->start();
}

void CropEditorModel::persistCurrent()
{
    cancelPersistTask();
    ++m_persistGeneration;
    // A photo only looked at stays untouched: no copy, no journal.
    if (m_didSave && currentState() == m_committed) return;
    if (m_loadedURL && m_sessionBaseURL) persistLookToDisk();
}

void CropEditorModel::persistLookToDisk(std::function<void(bool)> done)
{
    commitHistory();
    if (!m_loadedURL || !m_sessionBaseURL) {
        if (done) done(false);
        return;
    }
    writeJournal();
    const quint64 generation = m_persistGeneration;
    const QString url = *m_loadedURL;

    // A validated look is written with its baked geometry and the current retouch; otherwise only
    // the retouch and the watermark over the whole photo count.
    CropEditState look = currentState();
    if (m_cropValidated) {
        look = m_bakedState.value_or(currentState());
        look.retouch = m_retouchSettings;
        look.cropValidated = true;
    }
    std::optional<vips::VImage> watermark;
    if (look.includeWatermark) watermark = m_watermarkFull ? m_watermarkFull : m_watermarkImage;

    const auto work = [url, look, watermark](const JobContext& job) { return writeLook(url, look, watermark, job); };
    if (!done) {
        m_writes.run(writeKey(url), work, [this, url, generation](const WriteResult& result) { landWrite(url, generation, result); });
        return;
    }
    // A validation waits for its own write, so no newer write makes it stale; the older writes of
    // the photo are pointless now.
    m_writes.cancel(writeKey(url));
    const QString key = validateKeyPrefix(url) + QString::number(++m_saveCounter);
    m_pendingSaves.insert(key, std::move(done));
    m_writes.run(key, work, [this, url, generation, key](const WriteResult& result) {
        landWrite(url, generation, result);
        if (const std::function<void(bool)> finish = m_pendingSaves.take(key)) finish(result.outcome == WriteOutcome::written);
    });
}

void CropEditorModel::landWrite(const QString& url, quint64 generation, const WriteResult& result)
{
    const bool ok = result.outcome == WriteOutcome::written;
    // The file changed on disk whatever the editor shows now; the gallery must follow.
    if (ok) {
        if (m_onFileWritten) m_onFileWritten(url);
        Q_EMIT fileWritten(url);
    }
    const bool current = generation == m_persistGeneration && m_loadedURL && samePath(*m_loadedURL, url);
    if (current && ok) {
        m_hasOriginalBackup = PhotoOriginals::hasBackup(url);
        m_didSave = true;
        setErrorMessage(std::nullopt);
        emitState();
    } else if (result.outcome == WriteOutcome::failed) {
        setErrorMessage(result.message);
    }
}

void CropEditorModel::dropWrites(const QString& url)
{
    m_writes.cancel(writeKey(url));
    QList<std::function<void(bool)>> dropped;
    for (auto it = m_pendingSaves.begin(); it != m_pendingSaves.end();) {
        if (it.key().startsWith(validateKeyPrefix(url))) {
            m_writes.cancel(it.key());
            dropped.push_back(std::move(it.value()));
            it = m_pendingSaves.erase(it);
        } else {
            ++it;
        }
    }
    // A validation given up still answers, later, as a write that did not happen.
    for (std::function<void(bool)>& finish : dropped)
        QMetaObject::invokeMethod(this, [finish = std::move(finish)] { finish(false); }, Qt::QueuedConnection);
}

void CropEditorModel::flushWrites(const QStringList& photos, std::function<void()> ready)
{
    const bool touchesOpenPhoto = m_isOpen && m_loadedURL &&
                                  std::any_of(photos.cbegin(), photos.cend(), [&](const QString& p) { return samePath(p, *m_loadedURL); });
    if (touchesOpenPhoto) persistCurrent();
    if (m_writes.pendingCount() == 0) ready();
    else m_afterWrites.push_back(std::move(ready));
}

void CropEditorModel::save(std::function<void(bool)> done)
{
    const auto finish = [this, done = std::move(done)](bool ok) {
        if (done) done(ok);
        Q_EMIT saveFinished(ok);
    };
    if (!m_baseImage) {
        finish(false);
        return;
    }
    cancelPersistTask();
    commitHistory();
    CropEditState validated = currentState();
    validated.cropValidated = true;
    apply(validated);
    m_bakedState = validated;
    commitHistory();
    persistLookToDisk(finish);
}
void CropEditorModel::restoreUntouchedPhoto()
{
    const QString url = *m_loadedURL;
    if (!PhotoOriginals::hasBackup(url)) return;
    // Writes still queued for this photo would bring the edits back over the restored file.
    dropWrites(url);
    m_writes.run(QStringLiteral("restore:") + url, [url](const JobContext&) {
        QString failure;
        try {
            PhotoOriginals::restore(url);
            PhotoEditMemory::forgetThumbnail(url);
        } catch (const Error& error) {
            failure = error.message();
        }
        return failure;
    }, [this, url](const QString& failure) {
        if (!failure.isEmpty()) setErrorMessage(failure);
        else {
            if (m_onFileWritten) m_onFileWritten(url);
            Q_EMIT fileWritten(url);
        }
        if (!m_isOpen || !m_fileURL || !samePath(*m_fileURL, url)) return;
        clearImages();
        resetLook();
        emitState();
        startLoading(url, PhotoRetouchSettings{});
    });
}

} // namespace tavrin
