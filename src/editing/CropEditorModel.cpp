#include "editing/CropEditorModel.h"

#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoLookWriter.h"
#include "editing/PhotoOriginals.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace Geometry = CropEditorGeometry;

namespace {

bool samePath(const QString& a, const QString& b)
{
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

QString sessionFolder() { return QDir(QDir::tempPath()).filePath(QStringLiteral("tavrin-crop-session")); }

// 8-bit copy of the float bitmap for painting; rows are spread over the cores.
QImage displayImage(const FloatImage& image)
{
    if (image.isNull() || image.channels != 4) return {};
    QImage out(image.width, image.height, image.opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
    if (out.isNull()) return {};
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float* in = image.row(y);
            uchar* line = out.scanLine(y);
            for (std::size_t i = 0; i < image.rowValues(); ++i)
                line[i] = uchar(std::clamp(in[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            if (image.opaque)
                for (int x = 0; x < image.width; ++x) line[4 * x + 3] = 255;
        }
    });
    return out;
}

std::optional<vips::VImage> loadWatermark(const std::optional<QString>& url, std::optional<int> maxPixel)
{
    if (!url || url->isEmpty()) return std::nullopt;
    auto image = PhotoComposer::loadImage(*url, maxPixel);
    if (!image) return std::nullopt;
    try {
        // Held for the whole session: decoded now, not read again from a file that may change.
        return image->copy_memory();
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

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

CropEditorModel::CropEditorModel(QObject* parent) : QObject(parent), m_persistTimer(new QTimer(this))
{
    m_persistTimer->setSingleShot(true);
    m_persistTimer->setInterval(retouchPersistDelayMs);
    connect(m_persistTimer, &QTimer::timeout, this, [this] {
        // The full-size write waits for the preview on screen rather than take its cores.
        if (m_previewInFlight) m_persistWaitsForPreview = true;
        else persistLookToDisk();
    });
    connect(&m_writes, &BackgroundJobs::idle, this, [this] {
        for (const std::function<void()>& ready : std::exchange(m_afterWrites, {})) ready();
    });
}

CropEditorModel::~CropEditorModel()
{
    // A change still waiting for its delayed write goes to disk before the model goes away.
    if (m_isOpen) persistCurrent();
    m_persistTimer->stop();
    // The writes asked for run to their end; decoding and previews nobody will see are dropped.
    m_writes.waitForDone();
    m_work.cancelAll();
    m_work.waitForDone();
    discardSessionCopy();
    // Whoever waits for the writes is not left waiting.
    for (const std::function<void()>& ready : std::exchange(m_afterWrites, {})) ready();
}

// --- State ------------------------------------------------------------------------------------

QSizeF CropEditorModel::imageSize() const
{
    return m_baseImage ? QSizeF(m_baseImage->width, m_baseImage->height) : QSizeF();
}

double CropEditorModel::workingScale() const
{
    if (!m_baseImage || m_fullSize.width() <= 0) return 1;
    return double(m_baseImage->width) / m_fullSize.width();
}

CropEditState CropEditorModel::currentState() const
{
    CropEditState s;
    s.format = m_format;
    s.includeWatermark = m_includeWatermark;
    s.zoom = m_zoom;
    s.offset = m_offset;
    s.angle = m_angle;
    s.retouch = m_retouchSettings;
    s.cropValidated = m_cropValidated;
    return s;
}

void CropEditorModel::apply(const CropEditState& state)
{
    const bool retouchChanged = state.retouch != m_retouchSettings;
    m_format = state.format;
    m_includeWatermark = state.includeWatermark;
    m_zoom = state.zoom;
    m_offset = state.offset;
    m_angle = state.angle;
    m_retouchSettings = state.retouch;
    m_cropValidated = state.cropValidated;
    if (retouchChanged && m_baseImage) renderPreview();
}

bool CropEditorModel::hasGeometryEdits() const
{
    return m_zoom != 1 || m_offset != QSizeF(0, 0) || m_angle != 0 || m_includeWatermark;
}

QString CropEditorModel::undoText() const { return m_history.isEmpty() ? revertToOriginalText() : undoLastText(); }
QString CropEditorModel::undoLastText() { return QStringLiteral("Annuler la dernière modification (Ctrl+Z)"); }
QString CropEditorModel::revertToOriginalText() { return QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"); }
QString CropEditorModel::validateText() { return QStringLiteral("Valider le recadrage (Entrée)"); }
QString CropEditorModel::rotateHelpText() { return QStringLiteral("Corriger l’angle"); }
QString CropEditorModel::fitToPhotoText() { return QStringLiteral("Ajuster à la photo"); }
QString CropEditorModel::beyondPhotoText()
{
    return QStringLiteral("Le cadre dépasse de la photo : la partie hors photo sera imprimée en blanc.");
}

bool CropEditorModel::cropReachesBeyondPhoto() const
{
    return m_baseImage && Geometry::reachesBeyond(cropRect(), m_angle, imageSize());
}

void CropEditorModel::fitCropToPhoto()
{
    if (!m_baseImage || m_activeHandle || !cropReachesBeyondPhoto()) return;
    const QSizeF size = imageSize();
    const QRectF rect = Geometry::fittedCrop(cropRect(), m_angle, size);
    const double zoom = Geometry::zoomOfFrame(rect, size, m_format);
    if (zoom != m_zoom) {
        m_zoom = zoom;
        emitState();
    }
    setOffsetFromWorkingOrigin(rect);
    commitHistory();
}

QRectF CropEditorModel::cropRect() const
{
    if (!m_baseImage) return {};
    return Geometry::frameInPhoto(currentState(), imageSize(), workingScale());
}

CropCanvasLayout CropEditorModel::layout(QSizeF canvas) const
{
    return Geometry::cropLayout(imageSize(), cropRect(), canvas);
}

std::optional<CropHandle> CropEditorModel::hitTest(QPointF point, QSizeF canvas) const
{
    if (!m_baseImage) return std::nullopt;
    return Geometry::hitTest(point, layout(canvas).crop);
}

CropCursor CropEditorModel::cursorAt(QPointF point, QSizeF canvas) const
{
    return Geometry::cursorFor(hitTest(point, canvas));
}

bool CropEditorModel::hasPendingPersist() const { return m_persistTimer->isActive() || m_persistWaitsForPreview; }

void CropEditorModel::setErrorMessage(const std::optional<QString>& message)
{
    if (message == m_errorMessage) return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void CropEditorModel::setActiveHandle(const std::optional<CropHandle>& handle)
{
    if (handle == m_activeHandle) return;
    m_activeHandle = handle;
    Q_EMIT activeHandleChanged();
}

// --- Opening and closing ------------------------------------------------------------------------

PhotoRetouchSettings CropEditorModel::initialRetouch(const QString& url) const
{
    if (const auto journal = PhotoEditMemory::read(url)) return journal->current.retouch;
    // Edited before journals were kept: the preset is the best guess of what was applied.
    if (PhotoOriginals::hasBackup(url)) return m_presetForLegacy;
    return {};
}

void CropEditorModel::open(const QString& url, const std::optional<QString>& watermarkURL,
                           const PhotoRetouchSettings& retouch)
{
    if (m_isOpen && m_fileURL && samePath(*m_fileURL, url)) return;
    if (m_isOpen) persistCurrent();
    m_presetForLegacy = retouch;
    m_watermarkURL = watermarkURL;
    const PhotoRetouchSettings initial = initialRetouch(url);
    const bool wasOpen = m_isOpen;
    m_isOpen = true;
    m_fileURL = url;
    setErrorMessage(std::nullopt);
    setActiveHandle(std::nullopt);
    // Whatever belonged to the previous photo is gone before the new one lands, so no edit made
    // while loading can reach the wrong journal.
    clearImages();
    resetLook();
    if (!wasOpen) Q_EMIT openChanged(true);
    Q_EMIT fileChanged();
    emitState();
    startLoading(url, initial);
}

void CropEditorModel::startLoading(const QString& url, const PhotoRetouchSettings& initial)
{
    const std::optional<QString> watermarkURL = m_watermarkURL;
    // The load brings its own watermark images.
    m_work.cancel(QStringLiteral("watermarks"));
    struct Loaded {
        LoadedCrop crop;
        QString copy;
    };
    m_work.run(QStringLiteral("load"), [url, watermarkURL](const JobContext& job) {
        Loaded loaded;
        // The untouched copy is what every write starts from, so the frame is placed on it.
        const QString source = PhotoOriginals::hasBackup(url) ? PhotoOriginals::backupPath(url) : url;
        if (QDir().mkpath(sessionFolder())) {
            const QString suffix = QFileInfo(url).suffix();
            loaded.copy = QDir(sessionFolder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                                         (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
            if (!QFile::copy(source, loaded.copy)) loaded.copy.clear();
        }
        if (!loaded.copy.isEmpty()) {
            if (const auto working = PhotoComposer::loadImage(loaded.copy, workingMaxPixel)) {
                try {
                    const auto full = PhotoComposer::loadImage(loaded.copy);
                    loaded.crop.fullSize = full ? QSizeF(full->width(), full->height()) : QSizeF(working->width(), working->height());
                    loaded.crop.image = RetouchBridges::fromVips(*working);
                    loaded.crop.preview = displayImage(*loaded.crop.image);
                } catch (const std::exception&) {
                    loaded.crop.image.reset();
                }
            }
        }
        if (!job.isStale()) {
            loaded.crop.watermark = loadWatermark(watermarkURL, workingMaxPixel);
            loaded.crop.watermarkFull = loadWatermark(watermarkURL, std::nullopt);
        }
        // Nobody will land this load: its session copy goes now.
        if (job.isStale() && !loaded.copy.isEmpty()) QFile::remove(loaded.copy);
        return loaded;
    }, [this, url, initial](Loaded loaded) { landLoad(url, initial, std::move(loaded.crop), loaded.copy); });
}

void CropEditorModel::landLoad(const QString& url, const PhotoRetouchSettings& initial, LoadedCrop result,
                               const QString& sessionCopy)
{
    discardSessionCopy();
    if (!sessionCopy.isEmpty()) m_sessionBaseURL = sessionCopy;
    m_baseImage = std::move(result.image);
    m_sourceImage = m_baseImage;
    m_basePreview = result.preview;
    m_fullSize = result.fullSize;
    m_watermarkImage = result.watermark;
    m_watermarkFull = result.watermarkFull;
    m_watermarkPreview = m_watermarkImage ? PhotoComposer::toQImage(*m_watermarkImage) : QImage();
    m_loadedURL = url;
    m_hasOriginalBackup = PhotoOriginals::hasBackup(url);
    if (!m_baseImage) {
        m_sessionBaseURL.reset();
        setErrorMessage(PhotoEditError::description(PhotoEditError::Kind::unreadablePhoto));
    }
    restoreOpenedState(PhotoEditMemory::read(url), initial);
    // The untouched working copy shows until its retouched preview arrives.
    m_preview = m_basePreview;
    if (m_baseImage) renderPreview();
    Q_EMIT watermarkImageChanged();
    emitState();
    Q_EMIT loaded();
}

void CropEditorModel::restoreOpenedState(const std::optional<PhotoEditJournal>& journal, const PhotoRetouchSettings& initial)
{
    if (journal) {
        m_format = journal->current.format;
        m_includeWatermark = journal->current.includeWatermark;
        m_zoom = journal->current.zoom;
        m_offset = journal->current.offset;
        m_angle = journal->current.angle;
        m_retouchSettings = journal->current.retouch;
        m_cropValidated = journal->current.cropValidated;
        m_history = journal->history;
        m_committed = journal->current;
        m_bakedState = journal->current.cropValidated ? std::optional(journal->current) : std::nullopt;
    } else {
        m_zoom = 1;
        m_offset = QSizeF(0, 0);
        m_angle = 0;
        m_includeWatermark = false;
        m_cropValidated = false;
        m_retouchSettings = initial;
        m_history.clear();
        m_committed = currentState();
        m_bakedState.reset();
    }
    m_didSave = true;
}

void CropEditorModel::loadWatermarks()
{
    const std::optional<QString> url = m_watermarkURL;
    struct Watermarks {
        std::optional<vips::VImage> preview, full;
    };
    m_work.run(QStringLiteral("watermarks"), [url](const JobContext& job) {
        Watermarks w;
        w.preview = loadWatermark(url, workingMaxPixel);
        if (!job.isStale()) w.full = loadWatermark(url, std::nullopt);
        return w;
    }, [this](Watermarks w) {
        m_watermarkImage = w.preview;
        m_watermarkFull = w.full;
        m_watermarkPreview = w.preview ? PhotoComposer::toQImage(*w.preview) : QImage();
        Q_EMIT watermarkImageChanged();
    });
}

void CropEditorModel::setWatermark(const std::optional<QString>& url)
{
    m_watermarkURL = url;
    if (m_isOpen && m_loadedURL) loadWatermarks();
}

void CropEditorModel::reloadIfShowing(const QString& url)
{
    if (!m_isOpen || !m_fileURL || !samePath(*m_fileURL, url)) return;
    cancelPersistTask();
    // The file was changed by someone else: whatever was still to be written is dropped.
    dropWrites(*m_fileURL);
    m_didSave = true;
    const QString file = *m_fileURL;
    clearImages();
    resetLook();
    emitState();
    startLoading(file, initialRetouch(file));
}

void CropEditorModel::close()
{
    persistCurrent();
    cancelPersistTask();
    const bool wasOpen = m_isOpen;
    m_isOpen = false;
    m_fileURL.reset();
    m_work.cancel(QStringLiteral("load"));
    m_work.cancel(QStringLiteral("watermarks"));
    clearImages();
    resetLook();
    setErrorMessage(std::nullopt);
    setActiveHandle(std::nullopt);
    m_hasOriginalBackup = false;
    if (wasOpen) Q_EMIT openChanged(false);
    Q_EMIT fileChanged();
    emitState();
}

void CropEditorModel::clearImages()
{
    m_work.cancel(QStringLiteral("preview"));
    m_previewInFlight = false;
    m_loadedURL.reset();
    discardSessionCopy();
    m_baseImage.reset();
    m_sourceImage.reset();
    m_basePreview = QImage();
    m_preview = QImage();
    m_fullSize = QSizeF();
    m_watermarkImage.reset();
    m_watermarkFull.reset();
    m_watermarkPreview = QImage();
    Q_EMIT previewChanged();
    Q_EMIT watermarkImageChanged();
}

void CropEditorModel::resetLook()
{
    m_format = PrintFormat::a5;
    m_includeWatermark = false;
    m_zoom = 1;
    m_offset = QSizeF(0, 0);
    m_angle = 0;
    m_cropValidated = false;
    m_retouchSettings = PhotoRetouchSettings{};
    m_history.clear();
    m_committed = currentState();
    m_bakedState.reset();
    m_didSave = true;
}

void CropEditorModel::discardSessionCopy()
{
    if (m_sessionBaseURL) QFile::remove(*m_sessionBaseURL);
    m_sessionBaseURL.reset();
}

// --- Preview -----------------------------------------------------------------------------------

void CropEditorModel::renderPreview()
{
    // A newer preview makes the older one stale: slider drags compute only the newest.
    m_work.cancel(QStringLiteral("preview"));
    m_previewInFlight = false;
    if (!m_baseImage) return;
    if (m_retouchSettings.isNeutral()) {
        m_sourceImage = m_baseImage;
        m_preview = m_basePreview;
        Q_EMIT previewChanged();
        return;
    }
    const FloatImage base = *m_baseImage;
    const PhotoRetouchSettings settings = m_retouchSettings;
    struct Preview {
        std::optional<FloatImage> retouched;
        QImage shown;
    };
    m_previewInFlight = true;
    m_work.run(QStringLiteral("preview"), [base, settings](const JobContext& job) {
        Preview preview;
        try {
            // A newer slider move stops this render between steps.
            preview.retouched = PhotoRetoucher::apply(base, settings, RetouchQuality::preview, [&job] { return !job.isStale(); });
            if (preview.retouched) preview.shown = displayImage(*preview.retouched);
        } catch (const std::exception&) {
            // The untouched working copy keeps showing; the write still happens.
            preview.retouched.reset();
        }
        return preview;
    }, [this](Preview preview) {
        m_previewInFlight = false;
        if (preview.retouched) {
            m_sourceImage = std::move(preview.retouched);
            m_preview = preview.shown;
            Q_EMIT previewChanged();
        }
        if (m_persistWaitsForPreview) {
            m_persistWaitsForPreview = false;
            persistLookToDisk();
        }
    });
}

// --- Look changes -------------------------------------------------------------------------------

void CropEditorModel::writeJournal()
{
    if (!m_loadedURL) return;
    PhotoEditMemory::save(PhotoEditJournal{currentState(), m_history}, *m_loadedURL);
}

void CropEditorModel::commitHistory()
{
    const CropEditState current = currentState();
    if (current == m_committed) return;
    m_history.append(m_committed);
    while (m_history.size() > PhotoEditJournal::historyLimit) m_history.removeFirst();
    m_committed = current;
    m_didSave = false;
    writeJournal();
    emitState();
}

void CropEditorModel::setFormat(PrintFormat format)
{
    if (!m_baseImage || format == m_format) return;
    commitHistory();
    m_format = format;
    m_offset = QSizeF(0, 0);
    m_dragStartOffset = QSizeF(0, 0);
    commitHistory();
}

void CropEditorModel::setIncludeWatermark(bool include)
{
    if (!m_baseImage || include == m_includeWatermark) return;
    commitHistory();
    m_includeWatermark = include;
    commitHistory();
}

void CropEditorModel::setRetouchPreview(const PhotoRetouchSettings& settings)
{
    if (!m_baseImage || settings == m_retouchSettings) return;
    m_retouchSettings = settings;
    renderPreview();
    m_didSave = false;
    scheduleRetouchPersist();
    emitState();
}

// --- Gestures ------------------------------------------------------------------------------------

std::optional<CropHandle> CropEditorModel::beginGesture(QPointF press, const CropCanvasLayout& layout)
{
    const std::optional<CropHandle> handle = Geometry::hitTest(press, layout.crop);
    const QPointF fromCentre = press - layout.crop.center();
    beginGesture(handle, QSizeF(fromCentre.x(), fromCentre.y()));
    return handle;
}

void CropEditorModel::beginGesture(const std::optional<CropHandle>& handle, QSizeF vectorFromCentre)
{
    setActiveHandle(m_baseImage ? handle : std::nullopt);
    m_dragStartOffset = m_offset;
    m_dragStartCrop = cropRect();
    m_dragStartAngle = m_angle;
    m_dragStartVector = vectorFromCentre;
}

void CropEditorModel::setOffsetFromWorkingOrigin(const QRectF& rect)
{
    const QSizeF offset = Geometry::offsetOfFrame(rect, imageSize(), workingScale());
    if (offset != m_offset) {
        m_offset = offset;
        emitState();
    }
}

void CropEditorModel::applyGesture(QPointF translation, double scale)
{
    if (!m_activeHandle || !m_baseImage) return;
    const QSizeF size = imageSize();
    const QPointF t = translation / std::max(scale, 1e-9);
    switch (m_activeHandle->kind) {
    case CropHandle::Kind::move: {
        CropEditState start = currentState();
        start.offset = m_dragStartOffset;
        setOffsetFromWorkingOrigin(Geometry::movedFrame(start, QSizeF(t.x(), t.y()), size, workingScale()));
        break;
    }
    case CropHandle::Kind::edge: {
        const QRectF rect = Geometry::resizedFrame(m_dragStartCrop, m_activeHandle->edge, QSizeF(t.x(), t.y()), size, m_format);
        const double zoom = Geometry::zoomOfFrame(rect, size, m_format);
        if (zoom != m_zoom) {
            m_zoom = zoom;
            emitState();
        }
        setOffsetFromWorkingOrigin(rect);
        break;
    }
    case CropHandle::Kind::rotate: {
        const std::optional<double> angle =
            Geometry::turnedAngle(m_dragStartAngle, QPointF(m_dragStartVector.width(), m_dragStartVector.height()), translation);
        if (angle && *angle != m_angle) {
            m_angle = *angle;
            emitState();
        }
        break;
    }
    }
}

void CropEditorModel::finishGesture()
{
    setActiveHandle(std::nullopt);
    commitHistory();
}

void CropEditorModel::nudge(double dx, double dy)
{
    if (!m_baseImage || m_activeHandle) return;
    setOffsetFromWorkingOrigin(Geometry::movedFrame(currentState(), QSizeF(dx, dy), imageSize(), workingScale()));
    commitHistory();
}

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

void CropEditorModel::undoLast()
{
    if (!m_loadedURL) return;
    cancelPersistTask();
    ++m_persistGeneration;
    commitHistory();
    if (m_history.isEmpty()) {
        restoreUntouchedPhoto();
        return;
    }
    const CropEditState previous = m_history.takeLast();
    apply(previous);
    m_committed = previous;
    m_bakedState = previous.cropValidated ? std::optional(previous) : std::nullopt;
    writeJournal();
    emitState();
    persistLookToDisk();
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
