#include "editing/CropEditorModel.h"

#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
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
#include <mutex>

namespace tavrin {

namespace CropEditorGeometry {

CropCanvasLayout cropLayout(QSizeF imageSize, const QRectF& crop, QSizeF canvas)
{
    const QRectF photo(QPointF(0, 0), imageSize);
    const QRectF u = photo.united(crop);
    const double cw = canvas.width();
    const double ch = canvas.height();
    const double byHeight = std::max(ch - 16, 1.0);
    const double scale = u.height() <= 1 ? byHeight / 1.0
                                         : std::min(std::max(cw - 8, 1.0) / std::max(u.width(), 1.0), byHeight / u.height());
    const double ox = (cw - scale * u.width()) / 2;
    const double oy = (ch - scale * u.height()) / 2;
    const auto place = [&](const QRectF& r) {
        return QRectF(ox + scale * (r.left() - u.left()), oy + scale * (r.top() - u.top()), scale * r.width(),
                      scale * r.height());
    };
    return {place(photo), place(crop), scale};
}

namespace {
double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }
} // namespace

std::optional<CropHandle> hitTest(QPointF p, const QRectF& c)
{
    constexpr double zoneInset = 26, zoneRadius = 18, grab = 12;
    const QPointF zones[] = {{c.left() + zoneInset, c.top() + zoneInset},
                             {c.right() - zoneInset, c.top() + zoneInset},
                             {c.left() + zoneInset, c.bottom() - zoneInset},
                             {c.right() - zoneInset, c.bottom() - zoneInset}};
    for (const QPointF& zone : zones)
        if (distance(p, zone) <= zoneRadius) return CropHandle::rotate();

    const std::pair<CropEdge, QPointF> corners[] = {{CropEdge::topLeft, c.topLeft()},
                                                    {CropEdge::topRight, c.topRight()},
                                                    {CropEdge::bottomLeft, c.bottomLeft()},
                                                    {CropEdge::bottomRight, c.bottomRight()}};
    CropEdge nearest = CropEdge::topLeft;
    double best = distance(p, c.topLeft());
    for (const auto& [edge, point] : corners) {
        const double d = distance(p, point);
        if (d < best) {
            best = d;
            nearest = edge;
        }
    }
    if (best <= grab) return CropHandle::ofEdge(nearest);

    if (!c.adjusted(-grab, -grab, grab, grab).contains(p)) return std::nullopt;
    const bool alongX = c.left() + grab < p.x() && p.x() < c.right() - grab;
    const bool alongY = c.top() + grab < p.y() && p.y() < c.bottom() - grab;
    if (std::abs(p.y() - c.top()) <= grab && alongX) return CropHandle::ofEdge(CropEdge::top);
    if (std::abs(p.y() - c.bottom()) <= grab && alongX) return CropHandle::ofEdge(CropEdge::bottom);
    if (std::abs(p.x() - c.left()) <= grab && alongY) return CropHandle::ofEdge(CropEdge::left);
    if (std::abs(p.x() - c.right()) <= grab && alongY) return CropHandle::ofEdge(CropEdge::right);
    if (c.contains(p)) return CropHandle::move();
    return std::nullopt;
}

CropCursor cursorFor(const std::optional<CropHandle>& handle)
{
    if (!handle) return CropCursor::arrow;
    switch (handle->kind) {
    case CropHandle::Kind::move: return CropCursor::openHand;
    case CropHandle::Kind::rotate: return CropCursor::cross;
    case CropHandle::Kind::edge: break;
    }
    switch (handle->edge) {
    case CropEdge::left:
    case CropEdge::right: return CropCursor::sizeHor;
    case CropEdge::top:
    case CropEdge::bottom: return CropCursor::sizeVer;
    // Top-left to bottom-right is the forward diagonal of Qt's cursors.
    case CropEdge::topLeft:
    case CropEdge::bottomRight: return CropCursor::sizeFDiag;
    case CropEdge::topRight:
    case CropEdge::bottomLeft: return CropCursor::sizeBDiag;
    }
    return CropCursor::arrow;
}

double limitedAngle(double degrees)
{
    while (degrees > 180) degrees -= 360;
    while (degrees < -180) degrees += 360;
    return std::clamp(degrees, -45.0, 45.0);
}

namespace {

// Half the width and height of the box around the frame once turned by `angle` degrees: the frame
// lies inside the photo exactly when that box does.
QSizeF turnedHalfExtent(QSizeF size, double angle)
{
    const double radians = angle * M_PI / 180.0;
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    return {(size.width() * c + size.height() * s) / 2, (size.width() * s + size.height() * c) / 2};
}

} // namespace

bool reachesBeyond(const QRectF& crop, double angle, QSizeF imageSize)
{
    if (crop.isEmpty() || imageSize.isEmpty()) return false;
    // Half a working pixel of slack: the base crop touches the photo's edges exactly.
    constexpr double slack = 0.5;
    const QSizeF half = turnedHalfExtent(crop.size(), angle);
    const QPointF c = crop.center();
    return c.x() - half.width() < -slack || c.x() + half.width() > imageSize.width() + slack ||
           c.y() - half.height() < -slack || c.y() + half.height() > imageSize.height() + slack;
}

QRectF fittedCrop(const QRectF& crop, double angle, QSizeF imageSize)
{
    if (crop.isEmpty() || imageSize.isEmpty()) return crop;
    const QSizeF half = turnedHalfExtent(crop.size(), angle);
    // The largest frame of this shape and angle that the photo holds sits at its centre; a frame
    // already small enough keeps its size.
    const double scale = std::min({1.0, imageSize.width() / 2 / half.width(), imageSize.height() / 2 / half.height()});
    const QSizeF fitted = crop.size() * scale;
    const QSizeF fittedHalf = half * scale;
    // The centre stays where the fitted frame allows it, else moves the least it must.
    const double cx = std::clamp(crop.center().x(), fittedHalf.width(), imageSize.width() - fittedHalf.width());
    const double cy = std::clamp(crop.center().y(), fittedHalf.height(), imageSize.height() - fittedHalf.height());
    return {cx - fitted.width() / 2, cy - fitted.height() / 2, fitted.width(), fitted.height()};
}

} // namespace CropEditorGeometry

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

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::failed;
    QString message;
};

} // namespace

// The newest write asked for each photo. Writes run in order, so one with a newer write of the same
// photo queued behind it can stop early: the newer one puts a newer look on disk anyway.
struct CropEditorModel::WriteQueue {
    std::mutex mutex;
    quint64 counter = 0;
    QHash<QString, quint64> latest;

    quint64 request(const QString& url)
    {
        const std::lock_guard lock(mutex);
        latest[url] = ++counter;
        return counter;
    }
    bool isLatest(const QString& url, quint64 ticket)
    {
        const std::lock_guard lock(mutex);
        return latest.value(url) == ticket;
    }
};

namespace {

} // namespace

// What a write needs, captured on the main thread.
struct CropEditorModel::WriteJob {
    QString url;
    std::optional<CropSnapshot> snapshot;
    PhotoRetouchSettings retouch;
    // Drawn over the whole photo when no crop is validated, as the batch edits do.
    std::optional<vips::VImage> unvalidatedWatermark;
    quint64 writeGeneration = 0;
    std::shared_ptr<std::atomic<quint64>> currentWriteGeneration;
    std::shared_ptr<WriteQueue> queue;
    quint64 ticket = 0;
    // A validation waits for its own write, so it is never given up for a newer one.
    bool supersedable = true;

    WriteResult run() const
    {
        // Looked at between the slow stages, so that a dropped write stops taking cores.
        const auto stale = [&] {
            return currentWriteGeneration->load() != writeGeneration || (supersedable && !queue->isLatest(url, ticket));
        };
        if (stale()) return {WriteOutcome::skipped, {}};
        try {
            PhotoOriginals::ensureBackup(url);
            const QString source = PhotoOriginals::hasBackup(url) ? PhotoOriginals::backupPath(url) : url;
            if (!snapshot && retouch.isNeutral() && !unvalidatedWatermark) {
                if (source != url) PhotoOriginals::replaceWithCopy(source, url);
                PhotoEditMemory::forgetThumbnail(url);
                return {WriteOutcome::written, {}};
            }
            const std::optional<vips::VImage> photo = PhotoComposer::loadImage(source);
            if (!photo) throw PhotoEditError(PhotoEditError::Kind::unreadablePhoto);
            // Retouched here rather than in renderLook, so that the stages can be checked between.
            vips::VImage image = *photo;
            std::optional<FloatImage> retouched;
            if (!retouch.isNeutral()) {
                const FloatImage decoded = RetouchBridges::fromVips(image);
                if (stale()) return {WriteOutcome::skipped, {}};
                retouched = PhotoRetoucher::apply(decoded, retouch, RetouchQuality::full);
                if (stale()) return {WriteOutcome::skipped, {}};
                if (retouched) image = RetouchBridges::toVips(*retouched);
            }
            CropEditState look;
            vips::VImage page;
            if (snapshot) {
                look.format = snapshot->format;
                look.zoom = snapshot->zoom;
                look.offset = snapshot->offset;
                look.angle = snapshot->angle;
                look.includeWatermark = snapshot->watermark.has_value();
                look.cropValidated = true;
                page = PhotoComposer::renderLook(image, look, snapshot->watermark);
            } else {
                page = image;
                if (unvalidatedWatermark) page = PhotoComposer::drawBottomCoverWatermark(*unvalidatedWatermark, page);
            }
            // The page is rendered lazily: realise it before the last look at the generation,
            // so that a file changed by someone else meanwhile is left alone.
            page = page.copy_memory();
            if (stale()) return {WriteOutcome::skipped, {}};
            PhotoComposer::write(page, url);
            PhotoEditMemory::forgetThumbnail(url);
            return {WriteOutcome::written, {}};
        } catch (const Error& error) {
            return {WriteOutcome::failed, error.message()};
        } catch (const vips::VError&) {
            return {WriteOutcome::failed, PhotoEditError::description(PhotoEditError::Kind::composeFailed)};
        }
    }
};

CropEditorModel::CropEditorModel(QObject* parent)
    : QObject(parent),
      m_writeGeneration(std::make_shared<std::atomic<quint64>>(0)),
      m_latestPreview(std::make_shared<std::atomic<quint64>>(0)),
      m_writeQueue(std::make_shared<WriteQueue>()),
      m_persistTimer(new QTimer(this))
{
    m_persistTimer->setSingleShot(true);
    m_persistTimer->setInterval(retouchPersistDelayMs);
    connect(m_persistTimer, &QTimer::timeout, this, [this] {
        // The full-size write waits for the preview on screen rather than take its cores.
        if (m_previewInFlight) m_persistWaitsForPreview = true;
        else persistLookToDisk();
    });
    // Writes run one at a time, in the order asked, so an older look never lands after a newer one.
    m_writePool.setMaxThreadCount(1);
    m_workPool.setMaxThreadCount(2);
}

CropEditorModel::~CropEditorModel()
{
    // A change still waiting for its delayed write goes to disk before the model goes away.
    if (m_isOpen) persistCurrent();
    m_persistTimer->stop();
    m_writePool.waitForDone();
    m_workPool.waitForDone();
    discardSessionCopy();
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
    return m_baseImage && CropEditorGeometry::reachesBeyond(cropRect(), m_angle, imageSize());
}

void CropEditorModel::fitCropToPhoto()
{
    if (!m_baseImage || m_activeHandle || !cropReachesBeyondPhoto()) return;
    const QSizeF size = imageSize();
    const QRectF rect = CropEditorGeometry::fittedCrop(cropRect(), m_angle, size);
    const double zoom = PhotoComposer::zoom(rect, size, aspectRatio(m_format, size.width(), size.height()));
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
    CropEditState look = currentState();
    look.offset = m_offset * workingScale();
    return PhotoComposer::cropRect(look, imageSize());
}

CropCanvasLayout CropEditorModel::layout(QSizeF canvas) const
{
    return CropEditorGeometry::cropLayout(imageSize(), cropRect(), canvas);
}

std::optional<CropHandle> CropEditorModel::hitTest(QPointF point, QSizeF canvas) const
{
    if (!m_baseImage) return std::nullopt;
    return CropEditorGeometry::hitTest(point, layout(canvas).crop);
}

CropCursor CropEditorModel::cursorAt(QPointF point, QSizeF canvas) const
{
    return CropEditorGeometry::cursorFor(hitTest(point, canvas));
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
    const quint64 generation = ++m_loadGeneration;
    const std::optional<QString> watermarkURL = m_watermarkURL;
    jobStarted();
    m_workPool.start([this, url, initial, generation, watermarkURL] {
        LoadedCrop loaded;
        QString copy;
        // The untouched copy is what every write starts from, so the frame is placed on it.
        const QString source = PhotoOriginals::hasBackup(url) ? PhotoOriginals::backupPath(url) : url;
        if (QDir().mkpath(sessionFolder())) {
            const QString suffix = QFileInfo(url).suffix();
            copy = QDir(sessionFolder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                                  (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
            if (!QFile::copy(source, copy)) copy.clear();
        }
        if (!copy.isEmpty()) {
            if (const auto working = PhotoComposer::loadImage(copy, workingMaxPixel)) {
                try {
                    const auto full = PhotoComposer::loadImage(copy);
                    loaded.fullSize = full ? QSizeF(full->width(), full->height()) : QSizeF(working->width(), working->height());
                    loaded.image = RetouchBridges::fromVips(*working);
                    loaded.preview = displayImage(*loaded.image);
                } catch (const std::exception&) {
                    loaded.image.reset();
                }
            }
        }
        loaded.watermark = loadWatermark(watermarkURL, workingMaxPixel);
        loaded.watermarkFull = loadWatermark(watermarkURL, std::nullopt);
        QMetaObject::invokeMethod(this, [this, url, initial, generation, loaded = std::move(loaded), copy]() mutable {
            jobEnded();
            if (generation != m_loadGeneration) {
                if (!copy.isEmpty()) QFile::remove(copy);
                return;
            }
            landLoad(url, initial, std::move(loaded), copy);
        }, Qt::QueuedConnection);
    });
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
    const quint64 generation = ++m_watermarkGeneration;
    const quint64 loadGeneration = m_loadGeneration;
    const std::optional<QString> url = m_watermarkURL;
    jobStarted();
    m_workPool.start([this, url, generation, loadGeneration] {
        auto preview = loadWatermark(url, workingMaxPixel);
        auto full = loadWatermark(url, std::nullopt);
        QMetaObject::invokeMethod(this, [this, generation, loadGeneration, preview, full] {
            jobEnded();
            if (generation != m_watermarkGeneration || loadGeneration != m_loadGeneration) return;
            m_watermarkImage = preview;
            m_watermarkFull = full;
            m_watermarkPreview = preview ? PhotoComposer::toQImage(*preview) : QImage();
            Q_EMIT watermarkImageChanged();
        }, Qt::QueuedConnection);
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
    m_writeGeneration->fetch_add(1);
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
    ++m_loadGeneration;
    ++m_watermarkGeneration;
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
    ++m_previewGeneration;
    m_latestPreview->store(m_previewGeneration);
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
    const quint64 generation = ++m_previewGeneration;
    m_latestPreview->store(generation);
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
    const auto latest = m_latestPreview;
    m_previewInFlight = true;
    jobStarted();
    m_workPool.start([this, base, settings, generation, latest] {
        std::optional<FloatImage> retouched;
        QImage shown;
        // Slider drags queue many previews; only the newest is worth computing.
        if (latest->load() == generation) {
            retouched = PhotoRetoucher::apply(base, settings, RetouchQuality::preview);
            if (retouched) shown = displayImage(*retouched);
        }
        QMetaObject::invokeMethod(this, [this, generation, retouched, shown] {
            jobEnded();
            if (generation != m_previewGeneration) return;
            m_previewInFlight = false;
            if (retouched) {
                m_sourceImage = retouched;
                m_preview = shown;
                Q_EMIT previewChanged();
            }
            if (m_persistWaitsForPreview) {
                m_persistWaitsForPreview = false;
                persistLookToDisk();
            }
        }, Qt::QueuedConnection);
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
    const std::optional<CropHandle> handle = CropEditorGeometry::hitTest(press, layout.crop);
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
    const QSizeF size = imageSize();
    const QPointF centred((size.width() - rect.width()) / 2, (size.height() - rect.height()) / 2);
    const QPointF moved = rect.topLeft() - centred;
    const QSizeF offset = QSizeF(moved.x(), moved.y()) / workingScale();
    if (offset != m_offset) {
        m_offset = offset;
        emitState();
    }
}

void CropEditorModel::applyGesture(QPointF translation, double scale)
{
    if (!m_activeHandle || !m_baseImage) return;
    const QSizeF size = imageSize();
    const double k = workingScale();
    const QPointF t = translation / std::max(scale, 1e-9);
    switch (m_activeHandle->kind) {
    case CropHandle::Kind::move: {
        CropEditState look = currentState();
        look.offset = m_dragStartOffset * k + QSizeF(t.x(), t.y());
        setOffsetFromWorkingOrigin(PhotoComposer::keepOverlap(PhotoComposer::cropRect(look, size), size));
        break;
    }
    case CropHandle::Kind::edge: {
        const double aspect = aspectRatio(m_format, size.width(), size.height());
        const QRectF rect = PhotoComposer::resizedCrop(m_dragStartCrop, m_activeHandle->edge, QSizeF(t.x(), t.y()), size, aspect);
        const double zoom = PhotoComposer::zoom(rect, size, aspect);
        if (zoom != m_zoom) {
            m_zoom = zoom;
            emitState();
        }
        setOffsetFromWorkingOrigin(rect);
        break;
    }
    case CropHandle::Kind::rotate: {
        const QPointF s(m_dragStartVector.width(), m_dragStartVector.height());
        const QPointF c = s + translation;
        if (std::hypot(s.x(), s.y()) <= 4 || std::hypot(c.x(), c.y()) <= 4) break;
        const double turned = (std::atan2(c.y(), c.x()) - std::atan2(s.y(), s.x())) * 180 / M_PI;
        const double angle = CropEditorGeometry::limitedAngle(m_dragStartAngle + turned);
        if (angle != m_angle) {
            m_angle = angle;
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
    const QSizeF size = imageSize();
    CropEditState look = currentState();
    look.offset = m_offset * workingScale() + QSizeF(dx, dy);
    setOffsetFromWorkingOrigin(PhotoComposer::keepOverlap(PhotoComposer::cropRect(look, size), size));
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

    WriteJob job;
    job.url = *m_loadedURL;
    job.retouch = m_retouchSettings;
    if (m_cropValidated) {
        const CropEditState baked = m_bakedState.value_or(currentState());
        CropSnapshot snapshot;
        snapshot.url = job.url;
        snapshot.zoom = baked.zoom;
        snapshot.offset = baked.offset;
        snapshot.angle = baked.angle;
        snapshot.format = baked.format;
        if (baked.includeWatermark) snapshot.watermark = m_watermarkFull ? m_watermarkFull : m_watermarkImage;
        snapshot.retouch = m_retouchSettings;
        job.snapshot = snapshot;
    } else if (m_includeWatermark) {
        job.unvalidatedWatermark = m_watermarkFull ? m_watermarkFull : m_watermarkImage;
    }
    job.writeGeneration = m_writeGeneration->load();
    job.currentWriteGeneration = m_writeGeneration;
    job.queue = m_writeQueue;
    job.ticket = m_writeQueue->request(job.url);
    job.supersedable = !done;

    jobStarted();
    m_writePool.start([this, job = std::move(job), generation, done = std::move(done)] {
        const WriteResult result = job.run();
        QMetaObject::invokeMethod(this, [this, url = job.url, result, generation, done] {
            jobEnded();
            const bool ok = result.outcome == WriteOutcome::written;
            // The file changed on disk whatever the editor shows now; the gallery must follow.
            if (ok) {
                if (m_onFileWritten) m_onFileWritten(url);
                Q_EMIT fileWritten(url);
            }
            const bool current = generation == m_persistGeneration && m_loadedURL && samePath(*m_loadedURL, url);
            if (current) {
                if (ok) {
                    m_hasOriginalBackup = PhotoOriginals::hasBackup(url);
                    m_didSave = true;
                    setErrorMessage(std::nullopt);
                    emitState();
                } else if (result.outcome == WriteOutcome::failed) {
                    setErrorMessage(result.message);
                }
            } else if (result.outcome == WriteOutcome::failed) {
                setErrorMessage(result.message);
            }
            if (done) done(ok);
        }, Qt::QueuedConnection);
    });
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
    m_writeGeneration->fetch_add(1);
    jobStarted();
    m_writePool.start([this, url] {
        QString failure;
        try {
            PhotoOriginals::restore(url);
            PhotoEditMemory::forgetThumbnail(url);
        } catch (const Error& error) {
            failure = error.message();
        }
        QMetaObject::invokeMethod(this, [this, url, failure] {
            jobEnded();
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
        }, Qt::QueuedConnection);
    });
}

} // namespace tavrin
